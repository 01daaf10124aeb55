// Waits on one handle and sleeps.
#include <objbase.h>

#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/profiler.h"
#include "foundation/records.h"
#include "foundation/text.h"
#include "foundation/waits.h"

namespace {

constexpr DWORD kSliceMs = 10;

bool SlotHoldsHandle(HANDLE* slot) {
  return slot && IsWritableMemory(slot, sizeof *slot) && IsHandleSet(*slot);
}

BOOL GiveUp(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// One slice of the wait; its result as the wait functions give it.
DWORD WaitOneSlice(HANDLE handle, DWORD wakeMask, DWORD flags) {
  try {
    if (flags & kZEQWaitCom) {
      DWORD index = 0;
      return SUCCEEDED(CoWaitForMultipleHandles(0, kSliceMs, 1, &handle, &index)) ? index : WAIT_TIMEOUT;
    }
    return MsgWaitForMultipleObjectsEx(1, &handle, kSliceMs, wakeMask, 0);
  } catch (...) {
    return kZEQWaitGaveUp;
  }
}

}  // namespace

BOOL IsValidHandle(HANDLE handle) { return IsHandleSet(handle); }

BOOL MsgWaitForHandleExt(HANDLE* slot, DWORD timeout, HWND dialog, DWORD flags) {
  const DWORD wakeMask = (flags & kZEQWaitPumpInput) ? QS_ALLINPUT : 0;
  // A handle that is already signalled costs no slice. (An unreadable slot
  // is left to the check below instead of being read here.)
  if (slot && IsWritableMemory(slot, sizeof *slot)) {
    switch (MsgWaitForMultipleObjects(1, slot, FALSE, 0, 0)) {
      case WAIT_OBJECT_0:
        return TRUE;
      case WAIT_ABANDONED_0:
        // The poll took the abandoned mutex; a slice would take it a second
        // time and report success.
        return GiveUp(kZEQWaitGaveUp);
    }
  }
  const DWORD start = GetTickCount();
  for (;;) {
    if (!SlotHoldsHandle(slot)) return GiveUp(kZEQWaitGaveUp);
    const DWORD result = WaitOneSlice(*slot, wakeMask, flags);
    // Shutdown wins even over a handle signalled during this slice.
    if (!(flags & kZEQWaitThroughShutdown) && ZEQIsShuttingDown()) return GiveUp(kZEQWaitGaveUp);
    switch (result) {
      case WAIT_OBJECT_0:
        return TRUE;
      case WAIT_OBJECT_0 + 1:
        if (!PumpPendingMessages(dialog)) return GiveUp(kZEQWaitGaveUp);
        break;
      case WAIT_TIMEOUT:
        break;
      case WAIT_ABANDONED_0:
        return GiveUp(kZEQWaitGaveUp);
      default:
        return GiveUp(result);
    }
    if (timeout != INFINITE && TicksSince(start) >= timeout) return GiveUp(WAIT_TIMEOUT);
  }
}

BOOL WaitForHandleExt(HANDLE* slot, DWORD timeout, HWND dialog, DWORD flags) {
  if (!SlotHoldsHandle(slot)) return GiveUp(kZEQWaitGaveUp);
  return MsgWaitForHandleExt(slot, timeout, dialog, flags);
}

BOOL SleepExt(DWORD ms) {
  const DWORD start = GetTickCount();
  try {
    while (TicksSince(start) < ms) Sleep(kSliceMs);
    return TRUE;
  } catch (...) {
    ZEQLogUnexpected("SleepExt");
    return FALSE;
  }
}
