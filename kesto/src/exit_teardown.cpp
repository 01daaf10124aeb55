// The package at start and end, and the orderly teardown.
#include "kesto/exit_teardown.h"

#include <winsock2.h>
#include <mmsystem.h>

#include <initializer_list>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/timer_thread.h"
#include "host/browser_settings.h"
#include "host/instance_names.h"
#include "host/zeq_protocol.h"
#include "kesto/pipe_server.h"
#include "kesto/startup.h"
#include "package/content_source.h"
#include "package/package_root.h"
#include "package/vfs.h"
#include "windows/program_windows.h"

namespace {

constexpr DWORD kTimerThreadJoin = 2000;
constexpr size_t kLoaderProbeBytes = 624;

// The process-wide state's last stage, when static objects are destroyed
// after the entry returned: the process is marked as ending and the log
// gets its closing entry if the run did not close it.
struct ProcessStateTeardown {
  ~ProcessStateTeardown() {
    ZEQSetApplicationState(kZEQAppProcessEnding);
    ZEQGlobalLog()->Close();
  }
} processStateTeardown;

}  // namespace

bool MountApplicationPackageAtStart(ZEQPackageDATA* package) {
  ZEQLogPrintf("MountApplicationPackage: [FAILED] \"%s\" - this build does not mount application packages",
               package ? package->path : "");
  return false;
}

bool IsLoaderDocumentAllowed(const char* path) {
  if (!path || !*path || IsMountedFile(path) || GetPackageRelativePath(path)) return true;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char head[kLoaderProbeBytes];
  DWORD read = 0;
  const BOOL ok = ReadFile(file, head, sizeof head, &read, nullptr);
  CloseHandle(file);
  return ok && IsAllowedContentSource(path, head, read);
}

void ReleaseApplicationPackage() {
  ZEQUnregisterProtocol();
  if (ZEQPackageDATA* package = ZEQGetApplicationPackage()) {
    ZEQSetApplicationPackage(nullptr);
    ZEQPackageRelease(package);
  }
  OleUninitialize();
}

void ZEQFinalizeUI() {
  ZEQSetApplicationState(kZEQAppFinalTeardown);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (const char* name : {"KESTO Ctrl Window", "KESTO Window", "KESTO Menu Window", "KESTO MessageBox Window",
                           kMainWindowClassName}) {
    UnregisterClassA(name, instance);
  }
  HWND main = Startup().mainWindow;
  if (IsWindow(main)) {
    if (GetWindowThreadProcessId(main, nullptr) == GetCurrentThreadId()) {
      DestroyWindow(main);
    } else {
      PostMessageA(main, CMSG_DESTROYWND, 0, 0);
    }
  }
  WSACleanup();
  StopPipeServer();
  // The timer thread walks the timer list and may call into bound system
  // functions: it ends before they are freed.
  if (ZEQTimerThreadId() && !StopTimerThread(kTimerThreadJoin)) {
    ZEQLogPrintf("ZEQFinalizeUI: the timer thread did not end within %u ms", unsigned(kTimerThreadJoin));
  }
  KESTOFreeDynamicAPIs();
  timeEndPeriod(1);
  OleUninitialize();
}
