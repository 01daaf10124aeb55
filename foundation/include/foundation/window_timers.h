// Window and thread timers that remember a caller's context: a timer
// procedure or a WM_TIMER handler finds its data from the window and the
// timer id alone. Thread timers use window 0 and belong to the thread that
// armed them: the calls below that take no thread mean the calling thread's
// own thread timers.
#pragma once
#include <windows.h>

#include <cstdint>

// Arms the timer with SetTimer and records the context under the id that
// SetTimer returns (re-arming an existing id replaces its context). The id,
// or 0 when SetTimer failed (nothing is recorded then).
UINT_PTR SetTimerExt(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure, uintptr_t context);
// Forgets the context of (window, id) and kills the timer; FALSE at once for
// id 0, else KillTimer's result.
BOOL KillTimerExt(HWND window, UINT_PTR id);
// KillTimerExt of the id in the slot, which becomes 0; FALSE for a slot
// holding 0.
BOOL KillTimerExtSlot(UINT_PTR* slot, HWND window);
// The context recorded for (window, id), or 0.
uintptr_t GetTimerExtContext(HWND window, UINT_PTR id);
// Removes the record of (window, id) and returns its context (0 when there
// is none), without killing the timer; for window 0 the thread timer of the
// given thread. Whoever takes a context owns it: a thread timer of another
// thread cannot be killed from here, and its procedure finds no context
// when it next fires.
uintptr_t TakeTimerExtContext(HWND window, DWORD thread, UINT_PTR id);
