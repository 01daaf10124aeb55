// Message pumps and thread message loops.
#include "foundation/list.h"
#include "foundation/lock_guard.h"
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

// The dialog window of a UI thread's loop: its first window, while the list
// holds any and is not busy.
HWND FirstWindow(ZEQUIThreadWindowList* list) {
  ZEQList* windows = list->windows;
  if (!windows) return nullptr;
  ZEQLockGuard hold(windows->lock);
  return windows->count > 0 ? reinterpret_cast<HWND>(windows->GetAt(0, false)) : nullptr;
}

bool WindowListEmpty(ZEQUIThreadWindowList* list) {
  ZEQList* windows = list->windows;
  if (!windows) return true;
  ZEQLockGuard hold(windows->lock);
  return windows->count == 0;
}

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
  ZEQLogPrintf("*** CRITICAL: GetMessageExt: returned -1");
  return 0;
}

namespace {

// The next message of a loop; false once the loop must end: at WM_QUIT
// (posted again for an enclosing loop) or when GetMessage fails.
bool NextLoopMessage(MSG* message) {
  const BOOL result = CheckGetMessageResult(GetMessageA(message, nullptr, 0, 0));
  if (result == 0 && message->message == WM_QUIT) RepostQuit(*message);
  return result != 0;
}

}  // namespace

int RunWindowMessageLoop(HWND window) {
  MSG message;
  while (NextLoopMessage(&message)) {
    TranslateAndDispatch(&message, window);
    if (!IsWindow(window)) break;
  }
  return 1;
}

int GetMessageExt(HWND window, ZEQUIThreadWindowList* list) {
  if (!list) SetPropA(window, "POSTQUITONDESTROY", HANDLE(1));
  bool quitPosted = false;
  MSG message;
  while (NextLoopMessage(&message)) {
    TranslateAndDispatch(&message, list ? FirstWindow(list) : nullptr);
    if (list && !quitPosted && WindowListEmpty(list)) {
      // The thread's last window has gone: one quit ends its loop.
      PostQuitMessage(0);
      quitPosted = true;
    }
  }
  return 1;
}
