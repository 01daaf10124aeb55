// The timer thread and its list of ZEQTimer records.
#include "foundation/timer_thread.h"

#include <ole2.h>
#include <process.h>

#include <algorithm>
#include <vector>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/waits.h"

namespace {

constexpr char kTimerTag[] = "+ZEQTIMER";
constexpr DWORD kTickMs = 10;

struct Entry {
  ZEQTimer* timer;
  DWORD stamp;  // start of the current interval
};

struct TimerState {
  CRITICAL_SECTION lock;
  std::vector<Entry> entries;
  volatile DWORD threadId = 0;
  HANDLE thread = nullptr;
  // 1 while a tick message is queued: at most one circulates.
  volatile LONG tickQueued = 0;
  volatile LONG ticks = 0;
  // Blinking behaviors and the window each one's blink goes to.
  CRITICAL_SECTION blinkLock;
  std::vector<std::pair<IUnknown*, HWND>> blinking;
  DWORD blinkTicks = 0;
  volatile LONG blinkPhase = 0;
  TimerState() {
    InitializeCriticalSection(&lock);
    InitializeCriticalSection(&blinkLock);
  }
};

// Never destroyed: timers may be released by other static objects at exit.
TimerState& State() {
  static TimerState* state = new TimerState;
  return *state;
}

Entry* FindEntry(TimerState& state, const ZEQTimer* timer) {
  for (auto& entry : state.entries)
    if (entry.timer == timer) return &entry;
  return nullptr;
}

void PostTick() {
  TimerState& state = State();
  DWORD thread = state.threadId;
  if (!thread) return;
  if (InterlockedExchange(&state.tickQueued, 1) == 0 &&
      !PostThreadMessageA(thread, CMSG_ZEQTIMERTHREADMSG, 0, 0))
    InterlockedExchange(&state.tickQueued, 0);
}

void Fire(ZEQTimer* timer) {
  InterlockedIncrement(&timer->fireCount);
  InterlockedExchange(&timer->fired, 1);
  ZEQTimerAddRef(timer);
  if (timer->flags & kZEQTimerNewThread) {
    uintptr_t thread = _beginthreadex(nullptr, 0, timer->callback, timer, 0, nullptr);
    if (thread)
      CloseHandle(reinterpret_cast<HANDLE>(thread));
    else
      ZEQTimerRelease(timer);
  } else if (timer->flags & kZEQTimerOnTimerThread) {
    if (timer->callback) timer->callback(timer);
    ZEQTimerRelease(timer);
  } else {
    HWND window = timer->target ? timer->target : ZEQGetMainWindow();
    if (!window || !SendNotifyMessageA(window, CMSG_ZEQTIMER, 0, reinterpret_cast<LPARAM>(timer)))
      ZEQTimerRelease(timer);
  }
}

void Tick() {
  TimerState& state = State();
  for (size_t index = 0;; ++index) {
    ZEQTimer* due = nullptr;
    {
      ZEQLockGuard guard(&state.lock);
      if (index >= state.entries.size()) break;
      Entry& entry = state.entries[index];
      ZEQTimer* timer = entry.timer;
      if (!IsTimerRecord(timer)) continue;
      if (GetTickCount() - entry.stamp < timer->interval && !timer->fireAtOnce) continue;
      entry.stamp = GetTickCount();
      InterlockedExchange(&timer->fireAtOnce, 0);
      if (!timer->active) continue;
      due = timer;
      // The firing's own reference keeps the record alive outside the lock.
      ZEQTimerAddRef(due);
      if (due->flags & kZEQTimerOneShot) {
        InterlockedExchange(&due->active, 0);
        if (due->slot) InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(due->slot), nullptr, due);
        due->slot = nullptr;
      }
    }
    Fire(due);
    if ((due->flags & kZEQTimerOneShot) && InterlockedExchange(&due->listed, 0) == 1) ZEQTimerRelease(due);
    ZEQTimerRelease(due);
  }
}

// Counts the walk's 10 ms; past 400 the phase flips (about every 41st walk,
// whatever the wall clock says).
void Blink() {
  TimerState& state = State();
  ZEQLockGuard guard(&state.blinkLock);
  state.blinkTicks += kTickMs;
  if (state.blinkTicks <= 400) return;
  state.blinkTicks = 0;
  LONG phase = InterlockedXor(&state.blinkPhase, 1) ^ 1;
  for (auto& entry : state.blinking) {
    entry.first->AddRef();
    if (!PostMessageA(entry.second, CMSG_ZEQBLINK, static_cast<WPARAM>(phase),
                      reinterpret_cast<LPARAM>(entry.first)))
      entry.first->Release();
  }
}

unsigned __stdcall thZEQTimerThread(void* started) {
  OleInitialize(nullptr);
  TimerState& state = State();
  MSG message;
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  state.threadId = GetCurrentThreadId();
  // From here on the thread's queue takes posted messages.
  SetEvent(static_cast<HANDLE>(started));
  PostTick();
  HANDLE pacing = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  for (;;) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) {
      ZEQLogPrintf("*** CRITICAL: GetMessageExt: returned -1");
      break;
    }
    try {
      if (message.message == CMSG_ZEQDESTROYTIMER) {
        if (pacing) CloseHandle(pacing);
        pacing = nullptr;
        PostQuitMessage(0);
      } else if (message.message == CMSG_ZEQTIMERTHREADMSG && !message.hwnd) {
        InterlockedExchange(&state.tickQueued, 0);
        InterlockedIncrement(&state.ticks);
        Tick();
        Blink();
        if (pacing) {
          HANDLE slot = pacing;
          WaitForHandleExt(&slot, kTickMs, nullptr, kZEQWaitThroughShutdown);
          PostTick();
        }
      }
    } catch (...) {
      ZEQLogUnexpected("thZEQTimerThread");
    }
  }
  state.threadId = 0;
  OleUninitialize();
  return 0;
}

}  // namespace

bool IsTimerRecord(const ZEQTimer* timer) { return IsTaggedRecord(timer, sizeof(ZEQTimer), kTimerTag); }

DWORD StartTimerThread() {
  TimerState& state = State();
  unsigned id = 0;
  InterlockedExchange(&state.tickQueued, 0);
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!started) return 0;
  uintptr_t thread = _beginthreadex(nullptr, 0, thZEQTimerThread, started, 0, &id);
  if (!thread) {
    CloseHandle(started);
    return 0;
  }
  state.thread = reinterpret_cast<HANDLE>(thread);
  // Messages posted before the thread has its queue would be lost.
  HANDLE both[2] = {started, state.thread};
  WaitForMultipleObjects(2, both, FALSE, 10000);
  CloseHandle(started);
  return id;
}

BOOL StopTimerThread(DWORD timeoutMs) {
  TimerState& state = State();
  HANDLE thread = state.thread;
  state.thread = nullptr;
  DWORD id = state.threadId;
  if (id) PostThreadMessageA(id, CMSG_ZEQDESTROYTIMER, 0, 0);
  if (!thread) return TRUE;
  BOOL ended = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return ended;
}

DWORD ZEQTimerThreadId() { return State().threadId; }

void ZEQTimerAddRef(ZEQTimer* timer) { InterlockedIncrement(&timer->references); }

void ZEQTimerRelease(ZEQTimer* timer) {
  if (!timer || timer->references <= 0) return;
  if (InterlockedDecrement(&timer->references) != 0) return;
  TimerState& state = State();
  {
    ZEQLockGuard guard(&state.lock);
    auto& entries = state.entries;
    entries.erase(std::remove_if(entries.begin(), entries.end(), [timer](const Entry& e) { return e.timer == timer; }),
                  entries.end());
  }
  ZEQTimerCleanup cleanup = timer->cleanup;
  timer->cleanup = nullptr;
  if (cleanup) cleanup(timer);
  ZEQRetireRecord(timer);
  HeapFreeZ(timer);
}

ZEQTimer* ZEQSetTimer(HWND target, ZEQTimer* volatile* slot, uint32_t interval, ZEQTimerCallback callback,
                      ZEQTimerCleanup cleanup, uintptr_t context, uint32_t flags) {
  TimerState& state = State();
  ZEQTimer* timer = nullptr;
  ZEQTimerCleanup oldCleanup = nullptr;
  {
    ZEQLockGuard guard(&state.lock);
    ZEQTimer* existing = slot ? *slot : nullptr;
    Entry* entry = existing ? FindEntry(state, existing) : nullptr;
    if (entry && IsTimerRecord(existing) && existing->listed) {
      timer = existing;
      oldCleanup = timer->cleanup;
      timer->cleanup = nullptr;
    } else {
      timer = static_cast<ZEQTimer*>(HeapAllocZ(sizeof(ZEQTimer)));
      ZEQStampRecord(timer, kTimerTag, nullptr);
      timer->references = 1;
      timer->listed = 1;
      state.entries.push_back(Entry{timer, GetTickCount()});
      entry = &state.entries.back();
    }
    timer->target = target;
    timer->interval = interval;
    timer->callback = callback;
    timer->cleanup = cleanup;
    timer->context = context;
    timer->flags = flags;
    timer->ownerThread = GetCurrentThreadId();
    timer->active = 1;
    timer->fired = 0;
    timer->fireAtOnce = (flags & kZEQTimerFireAtOnce) ? 1 : 0;
    timer->slot = slot;
    entry->stamp = GetTickCount();
    if (slot) *slot = timer;
  }
  if (oldCleanup) oldCleanup(timer);
  PostTick();
  return timer;
}

ZEQTimer* ZEQResetTimer(ZEQTimer* timer, uint32_t interval) {
  TimerState& state = State();
  ZEQLockGuard guard(&state.lock);
  Entry* entry = FindEntry(state, timer);
  if (!entry || !IsTimerRecord(timer)) return nullptr;
  entry->stamp = GetTickCount();
  timer->interval = interval;
  InterlockedExchange(&timer->active, 1);
  InterlockedExchange(&timer->fired, 0);
  return timer;
}

BOOL ZEQKillTimer(ZEQTimer* volatile* slot) {
  TimerState& state = State();
  ZEQTimer* timer = slot ? *slot : nullptr;
  bool release = false;
  {
    ZEQLockGuard guard(&state.lock);
    // The list is consulted before the record is read: a slot may hold a
    // record that is gone.
    Entry* entry = timer ? FindEntry(state, timer) : nullptr;
    if (!entry || !IsTimerRecord(timer) || !timer->listed) {
      // The record's whole address: eight digits on 32 bits, sixteen on 64.
      ZEQLogPrintf("ZEQKillTimer: [FAILED] Id: %0*llX", static_cast<int>(2 * sizeof(void*)),
                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(timer)));
      return FALSE;
    }
    InterlockedExchange(&timer->listed, 0);
    InterlockedExchange(&timer->active, 0);
    timer->slot = nullptr;
    auto& entries = state.entries;
    entries.erase(entries.begin() + (entry - entries.data()));
    *slot = nullptr;
    release = true;
  }
  if (release) ZEQTimerRelease(timer);
  return TRUE;
}

LRESULT ZEQReceiveTimerMessage(LPARAM lParam) {
  auto* timer = reinterpret_cast<ZEQTimer*>(lParam);
  if (!IsTimerRecord(timer)) return 0;
  // A timer reset since the firing was sent ignores it, but the firing's
  // reference is still dropped.
  if (timer->fired && timer->callback) timer->callback(timer);
  ZEQTimerRelease(timer);
  return 0;
}

size_t ZEQTimerListCount() {
  TimerState& state = State();
  ZEQLockGuard guard(&state.lock);
  return state.entries.size();
}

LONG ZEQTimerTickCount() { return State().ticks; }

void ZEQBlinkAdd(IUnknown* behavior, HWND window) {
  if (!behavior) return;
  TimerState& state = State();
  ZEQLockGuard guard(&state.blinkLock);
  for (auto& entry : state.blinking)
    if (entry.first == behavior) {
      entry.second = window;
      return;
    }
  state.blinking.emplace_back(behavior, window);
}

void ZEQBlinkRemove(IUnknown* behavior) {
  TimerState& state = State();
  ZEQLockGuard guard(&state.blinkLock);
  auto& list = state.blinking;
  list.erase(std::remove_if(list.begin(), list.end(), [behavior](const auto& e) { return e.first == behavior; }),
             list.end());
}

LONG ZEQBlinkPhase() { return State().blinkPhase; }
