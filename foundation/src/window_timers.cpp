// Contexts of window and thread timers, one process-wide table under its own
// lock. The lock never covers SetTimer or KillTimer. The system numbers
// thread timers per thread, so a thread timer's key holds its thread too:
// two threads arming thread timers at once may well get the same id.
#include "foundation/window_timers.h"

#include <map>
#include <tuple>

#include "foundation/lock_guard.h"

namespace {

struct TimerRecord {
  uintptr_t context;
  UINT elapse;
  TIMERPROC procedure;
};

// (window, thread of a thread timer or 0, id).
using TimerKey = std::tuple<HWND, DWORD, UINT_PTR>;

TimerKey KeyOf(HWND window, DWORD thread, UINT_PTR id) { return TimerKey(window, window ? 0 : thread, id); }
TimerKey KeyHere(HWND window, UINT_PTR id) { return KeyOf(window, GetCurrentThreadId(), id); }

struct TimerTable {
  CRITICAL_SECTION lock;
  std::map<TimerKey, TimerRecord> records;
  TimerTable() { InitializeCriticalSection(&lock); }
};

// Never destroyed: timers may be killed by other static objects at exit.
TimerTable& Table() {
  static TimerTable* table = new TimerTable;
  return *table;
}

}  // namespace

UINT_PTR SetTimerExt(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure, uintptr_t context) {
  UINT_PTR armed = SetTimer(window, id, elapse, procedure);
  if (!armed) return 0;
  TimerTable& table = Table();
  ZEQLockGuard guard(&table.lock);
  table.records[KeyHere(window, armed)] = TimerRecord{context, elapse, procedure};
  return armed;
}

BOOL KillTimerExt(HWND window, UINT_PTR id) {
  if (!id) return FALSE;
  {
    TimerTable& table = Table();
    ZEQLockGuard guard(&table.lock);
    table.records.erase(KeyHere(window, id));
  }
  return KillTimer(window, id);
}

BOOL KillTimerExtSlot(UINT_PTR* slot, HWND window) {
  if (!slot || !*slot) return FALSE;
  UINT_PTR id = *slot;
  *slot = 0;
  return KillTimerExt(window, id);
}

uintptr_t GetTimerExtContext(HWND window, UINT_PTR id) {
  TimerTable& table = Table();
  ZEQLockGuard guard(&table.lock);
  auto found = table.records.find(KeyHere(window, id));
  return found == table.records.end() ? 0 : found->second.context;
}

uintptr_t TakeTimerExtContext(HWND window, DWORD thread, UINT_PTR id) {
  TimerTable& table = Table();
  ZEQLockGuard guard(&table.lock);
  auto found = table.records.find(KeyOf(window, thread, id));
  if (found == table.records.end()) return 0;
  uintptr_t context = found->second.context;
  table.records.erase(found);
  return context;
}
