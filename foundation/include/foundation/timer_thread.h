// The timer thread: timers that do not depend on a window's message loop are
// ZEQTimer records in one process-wide list, walked about every 10 ms by a
// single thread. A due timer fires on a new thread, on the timer thread
// itself, or on its target window's thread as CMSG_ZEQTIMER.
#pragma once
#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>

#include "foundation/records.h"

struct ZEQTimer;
// The callback has the form of a thread procedure (it may start a thread):
// it gets the timer.
using ZEQTimerCallback = unsigned(__stdcall*)(void* timer);
// Called when the timer is re-armed and when it is freed.
using ZEQTimerCleanup = void(__stdcall*)(ZEQTimer* timer);

// Timer flags.
constexpr uint32_t kZEQTimerNewThread = 0x1;   // the callback starts a thread and releases the timer itself
constexpr uint32_t kZEQTimerOnTimerThread = 0x2;
constexpr uint32_t kZEQTimerOneShot = 0x4;
constexpr uint32_t kZEQTimerFireAtOnce = 0x80000000u;
// Without 0x1 and 0x2 the timer fires at its target window (0: the main
// window) through CMSG_ZEQTIMER.

struct ZEQTimer {
  char tag[kZEQTagSize];  // "+ZEQTIMER"
  uint32_t header;
  volatile LONG references;  // the list's, plus one per firing in flight
  HWND target;
  uint32_t interval;  // ms
  ZEQTimerCallback callback;
  ZEQTimerCleanup cleanup;
  uint32_t flags;
  DWORD ownerThread;
  volatile LONG fireCount;
  volatile LONG fireAtOnce;
  volatile LONG active;
  volatile LONG fired;
  uintptr_t context;
  // Where the setter keeps the timer; a fired one-shot timer clears it, so a
  // later ZEQKillTimer of that slot touches no freed record.
  ZEQTimer* volatile* slot;
  volatile LONG listed;  // 1 while the list's reference is held
};

// Starts the thread; its id, or 0 when it could not start.
DWORD StartTimerThread();
// Asks the thread to stop and waits (bounded) for its end; TRUE when it ended.
BOOL StopTimerThread(DWORD timeoutMs);
DWORD ZEQTimerThreadId();

// Arms a timer: re-arms the one in *slot when it is still listed (running
// its old clean-up first), else makes a new one; *slot receives it. A slot
// may be null (then nothing is cleared at a one-shot firing); a slot given
// must stay valid until the timer is killed or has fired once as one-shot.
ZEQTimer* ZEQSetTimer(HWND target, ZEQTimer* volatile* slot, uint32_t interval, ZEQTimerCallback callback,
                      ZEQTimerCleanup cleanup, uintptr_t context, uint32_t flags);
// Restarts the interval from now with a new interval, active again, fired
// cleared (a queued firing is then ignored). The timer, or null when it is
// not listed.
ZEQTimer* ZEQResetTimer(ZEQTimer* timer, uint32_t interval);
// Removes the timer in the slot from the list and drops the list's
// reference; the slot becomes 0. FALSE (logged) when the slot holds no
// listed timer.
BOOL ZEQKillTimer(ZEQTimer* volatile* slot);
// Drops one reference; the last frees the timer (clean-up first).
void ZEQTimerRelease(ZEQTimer* timer);
void ZEQTimerAddRef(ZEQTimer* timer);
bool IsTimerRecord(const ZEQTimer* timer);

// The window side of CMSG_ZEQTIMER: calls the callback of a fired timer and
// drops the firing's reference. Returns 0.
LRESULT ZEQReceiveTimerMessage(LPARAM lParam);

// The common blink phase of blinking controls: every 41st walk of the timer
// thread (about 410 ms) it flips, and every registered behavior gets
// CMSG_ZEQBLINK (wParam the phase, lParam the behavior with one added COM
// reference that the receiver releases) at the window of its container.
void ZEQBlinkAdd(IUnknown* behavior, HWND window);
void ZEQBlinkRemove(IUnknown* behavior);
LONG ZEQBlinkPhase();

// Entries in the timer list (tests and status lines).
size_t ZEQTimerListCount();
// Tick messages handled by the thread so far.
LONG ZEQTimerTickCount();
