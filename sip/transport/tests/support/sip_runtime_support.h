// Helpers of the SIP platform tests: the runtime's timer thread firing at a
// main window of the test, a user agent that counts what it is asked, and
// the global log written to a temporary file.
#pragma once
#include <windows.h>

#include <string>

#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/timer_thread.h"
#include "sip/agent_services.h"
#include <cstdio>
#include <vector>

// What a test's stand-in user agent was handed, as texts in order, shared
// by the tests that install one.
namespace sipagent {
inline std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}
// One recorded call: a format with up to two numbers.
inline std::string Text(const char* format, int a, int b = 0) {
  char text[96];
  snprintf(text, sizeof text, format, a, b);
  return text;
}
}  // namespace sipagent


// The timer thread and a main window that runs the timers' firings.
class SIPTimerRuntime {
 public:
  SIPTimerRuntime() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SIPTimerRuntimeTest";
    RegisterClassA(&wc);
    window_ = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    previous_ = ZEQGetMainWindow();
    ZEQSetMainWindow(window_);
    started_ = StartTimerThread() != 0;
  }
  ~SIPTimerRuntime() {
    StopTimerThread(10000);
    ZEQSetMainWindow(previous_);
    DestroyWindow(window_);
  }
  SIPTimerRuntime(const SIPTimerRuntime&) = delete;
  SIPTimerRuntime& operator=(const SIPTimerRuntime&) = delete;
  bool Started() const { return started_ && window_; }

  // Runs the thread's messages until done() or the time is up; done()'s
  // last answer.
  template <typename Done>
  static bool PumpUntil(Done done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > timeoutMs) return done();
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(2);
    }
    return true;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CMSG_ZEQTIMER) return ZEQReceiveTimerMessage(lParam);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  HWND previous_ = nullptr;
  bool started_ = false;
};

// A user agent that counts the calls of the transaction layer; installed
// for the life of the object.
struct SIPCountingAgent {
  static SIPCountingAgent*& Current() {
    static SIPCountingAgent* current = nullptr;
    return current;
  }
  volatile LONG resends = 0, errors = 0, endEvents = 0, asks = 0;
  int lastError = 0;
  bool endExpiredCalling = true;

  SIPCountingAgent() {
    Current() = this;
    SIPAgentServices services = {};
    services.resendLastMessage = [](const SIPTransactionHolder&) { InterlockedIncrement(&Current()->resends); };
    services.invokeTransactionError = [](const SIPTransactionHolder&, int code, int) {
      Current()->lastError = code;
      InterlockedIncrement(&Current()->errors);
    };
    services.invokeDestroyTransactionEvent = [](const SIPTransactionHolder&, uint32_t) {
      InterlockedIncrement(&Current()->endEvents);
    };
    services.askTerminateExpiredCalling = [](const SIPTransactionHolder&) {
      InterlockedIncrement(&Current()->asks);
      return Current()->endExpiredCalling;
    };
    SIPInstallAgentServices(&services);
  }
  ~SIPCountingAgent() {
    SIPInstallAgentServices(nullptr);
    Current() = nullptr;
  }
  SIPCountingAgent(const SIPCountingAgent&) = delete;
  SIPCountingAgent& operator=(const SIPCountingAgent&) = delete;
};

// The global log written to a temporary file for the life of the object.
class SIPCapturedLog {
 public:
  SIPCapturedLog() {
    char folder[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "sip", 0, path);
    file_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    previous_ = ZEQGlobalLog()->SetFile(file_);
  }
  ~SIPCapturedLog() {
    ZEQGlobalLog()->SetFile(previous_);
    CloseHandle(file_);
  }
  SIPCapturedLog(const SIPCapturedLog&) = delete;
  SIPCapturedLog& operator=(const SIPCapturedLog&) = delete;

  std::string Contents() {
    std::string text;
    SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file_, chunk, sizeof chunk, &got, nullptr) && got) text.append(chunk, got);
    return text;
  }
  // How often the text occurs in the log.
  size_t Count(const std::string& text) {
    std::string all = Contents();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) n++;
    return n;
  }

 private:
  HANDLE file_ = nullptr;
  HANDLE previous_ = nullptr;
};
