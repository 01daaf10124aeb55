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
#include "package/application_package.h"
#include "package/signature.h"
#include "windows/program_windows.h"

namespace {

constexpr DWORD kTimerThreadJoin = 2000;

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

void ReleaseBrowserHostAndPackage() {
  ZEQUnregisterProtocol();
  ReleaseApplicationPackage();
  KESTOWipeSignatureData();
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
