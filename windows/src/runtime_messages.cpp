#include "windows/runtime_messages.h"

#include "foundation/registered_messages.h"
#include "foundation/script_calls.h"
#include "foundation/timer_thread.h"

BOOL ZEQHandleRuntimeMessage(HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
  LRESULT answer = 0;
  if (message == CMSG_ZEQINVOKEINTERFACE) {
    answer = ZEQReceiveInvokeMessage(window, lParam);
  } else if (message == CMSG_ZEQTIMER) {
    answer = ZEQReceiveTimerMessage(lParam);
  } else {
    if (message == WM_DESTROY) ZEQFlushWindowAPCs(window);
    return FALSE;
  }
  if (result) *result = answer;
  return TRUE;
}
