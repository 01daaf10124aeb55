// Message pumps and thread message loops.
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/profiler.h"
#include "foundation/waits.h"

namespace {

void TranslateAndDispatch(MSG* message, HWND dialog) {
  if (ZEQPreTranslateMessage(message, dialog)) {
    TranslateMessage(message);
    DispatchMessageA(message);
  }
}

void RepostQuit(const MSG& message) { PostQuitMessage(static_cast<int>(message.wParam)); }

void LogGetMessageFailure() { ZEQLogPrintf("*** CRITICAL: GetMessageExt: returned -1"); }

}  // namespace

BOOL PumpPendingMessages(HWND dialog) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      RepostQuit(message);
      return FALSE;
    }
    TranslateAndDispatch(&message, dialog);
  }
  return TRUE;
}

void SleepPumpMessages(DWORD ms) {
  // A quit met on the way is held back and posted again at the end: left in
  // the queue it would wake every wait at once and turn the rest of the
  // sleep into a busy loop.
  bool quitMet = false;
  MSG quit = {};
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = TicksSince(start);
    if (elapsed >= ms) break;
    if (MsgWaitForMultipleObjectsEx(0, nullptr, ms - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0) {
      continue;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitMet = true;
        quit = message;
        break;
      }
      TranslateAndDispatch(&message, nullptr);
    }
  }
  if (quitMet) RepostQuit(quit);
}

BOOL CheckGetMessageResult(BOOL result) {
  if (result != -1) return result;
  LogGetMessageFailure();
  return 0;
}

int RunWindowMessageLoop(HWND window) {
  MSG message;
  for (;;) {
    const BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0) {
      RepostQuit(message);
      return 1;
    }
    if (result == -1) {
      LogGetMessageFailure();
      return 1;
    }
    TranslateAndDispatch(&message, window);
    if (!IsWindow(window)) return 1;
  }
}
