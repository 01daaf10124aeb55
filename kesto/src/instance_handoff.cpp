// The single-instance hand-off and the child's watch over its main instance.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/profiler.h"
#include "foundation/text.h"
#include "foundation/waits.h"
#include "host/instance_names.h"
#include "kesto/instance_commands.h"
#include "kesto/startup.h"

namespace {

constexpr DWORD kHandOffTimeout = 5000;
constexpr uint32_t kRestartWait = 10000;

// The process's token user as a heap block, or null.
TOKEN_USER* TokenUserOf(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return nullptr;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  auto* user = size ? static_cast<TOKEN_USER*>(HeapAllocZ(size)) : nullptr;
  if (user && !GetTokenInformation(token, TokenUser, user, size, &size)) {
    HeapFreeZ(user);
    user = nullptr;
  }
  CloseHandle(token);
  return user;
}

bool SameImage(HANDLE process) {
  char own[MAX_PATH + 1] = "";
  char other[MAX_PATH + 1] = "";
  DWORD size = MAX_PATH;
  if (!GetModuleFileNameA(nullptr, own, MAX_PATH)) return false;
  if (!QueryFullProcessImageNameA(process, 0, other, &size)) return false;
  char ownLong[MAX_PATH + 1] = "";
  char otherLong[MAX_PATH + 1] = "";
  if (!GetLongPathNameA(own, ownLong, MAX_PATH)) StrCopyN(ownLong, own, sizeof ownLong);
  if (!GetLongPathNameA(other, otherLong, MAX_PATH)) StrCopyN(otherLong, other, sizeof otherLong);
  return _stricmp(ownLong, otherLong) == 0;
}

}  // namespace

bool IsTrustedInstanceWindow(HWND window) {
  DWORD processId = 0;
  if (!window || !GetWindowThreadProcessId(window, &processId) || !processId) return false;
  if (processId == GetCurrentProcessId()) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return false;
  bool trusted = SameImage(process);
  if (trusted) {
    TOKEN_USER* own = TokenUserOf(GetCurrentProcess());
    TOKEN_USER* other = TokenUserOf(process);
    trusted = own && other && EqualSid(own->User.Sid, other->User.Sid);
    HeapFreeZ(own);
    HeapFreeZ(other);
  }
  CloseHandle(process);
  return trusted;
}

void InstanceHandOff(const char* instanceName) {
  const uint32_t start = GetTickCount();
  char* title = FormatMainWindowTitle(instanceName);
  HWND target = nullptr;
  for (;;) {
    target = FindWindowExA(nullptr, nullptr, kMainWindowClassName, title);
    if (!target) break;
    if (!Startup().restart || TicksSince(start) >= kRestartWait) {
      Startup().restart = false;
      break;
    }
    Sleep(1000);
  }
  if (target && !IsTrustedInstanceWindow(target)) {
    ZEQLogPrintf("InstanceHandOff: [REFUSED] \"%s\" is not a main window of this program and user", title);
    target = nullptr;
  }
  if (!target) {
    HeapFreeZ(title);
    return;
  }
  // The command line as the first instance should see it.
  char* line = StrDupExtra(GetCommandLineA(), 0);
  TrimAndUnquote(line);
  InstanceCommandHeader* reply = KESTOInstanceSendCommand(title, static_cast<int>(std::strlen(line)), target,
                                                          KESTOMC_KESTOINSTANCEMSG, line, kHandOffTimeout,
                                                          kInstanceSendWait);
  HeapFreeZ(line);
  HeapFreeZ(title);
  const bool leave = reply && reply->result == kInstanceAnswerExit;
  HeapFreeZ(reply);
  if (leave) {
    ZEQSetExitCode(0);
    KESTOTerminate();
  }
}

DWORD WINAPI MonitorMainProcess(void*) {
  char pipe[MAX_PATH + 16];
  wsprintfA(pipe, "\\\\.\\pipe\\%s", Startup().mainInstanceName);
  for (;;) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool gone = false;
    for (int attempt = 0; attempt < 300 && handle == INVALID_HANDLE_VALUE; ++attempt) {
      handle = CreateFileA(pipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (handle != INVALID_HANDLE_VALUE) break;
      if (GetLastError() != ERROR_PIPE_BUSY) {
        gone = true;
        break;
      }
      WaitNamedPipeA(pipe, 100);
    }
    if (gone) break;
    if (handle == INVALID_HANDLE_VALUE) continue;  // busy all along: the main instance is still there
    ULONG serverId = 0;
    HANDLE server = nullptr;
    if (GetNamedPipeServerProcessId(handle, &serverId) && serverId) {
      server = OpenProcess(SYNCHRONIZE, FALSE, serverId);
    }
    CloseHandle(handle);
    if (server) {
      WaitForSingleObject(server, INFINITE);
      CloseHandle(server);
      break;
    }
    Sleep(1000);
  }
  ZEQLogPrintf("MonitorMainProcess: Finalizing current process. \"%s\" is not alive anymore",
               Startup().mainInstanceName);
  KESTOTerminate();
}
