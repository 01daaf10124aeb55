#include "foundation/profiler.h"

#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/named_lock.h"

namespace {

int64_t SystemCounter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

int64_t SystemFrequency() {
  LARGE_INTEGER value;
  QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

uint32_t SystemTicks() { return GetTickCount(); }

const ZEQProfilerClock kSystemClock = {SystemCounter, SystemFrequency, SystemTicks};

CRITICAL_SECTION* NewLock() {
  auto* lock = HeapAllocArray<CRITICAL_SECTION>(1);
  InitializeCriticalSection(lock);
  return lock;
}

void DeleteLock(CRITICAL_SECTION*& lock) {
  if (!lock) return;
  DeleteCriticalSection(lock);
  HeapFreeZ(lock);
  lock = nullptr;
}


}  // namespace

uint32_t TicksBetween(uint32_t start, uint32_t now) { return now - start; }

uint32_t TicksSince(uint32_t start) { return TicksBetween(start, GetTickCount()); }

const ZEQProfilerClock* ZEQSystemClock() { return &kSystemClock; }

void ZEQRollingAverage::Create(uint32_t n) {
  lock = NewLock();
  ring = HeapAllocArray<double>(size_t(n) + 1);
  size = n;
  Reset();
}

void ZEQRollingAverage::Reset() {
  ZEQLockGuard hold(lock);
  for (uint32_t i = 0; i < size; ++i) ring[i] = 0;
  average = 0;
  lastReplaced = 0;
  writeIndex = 0;
  fillCount = 0;
}

double ZEQRollingAverage::Add(double sample) {
  ZEQLockGuard hold(lock);
  if (size == 0) return 0;
  lastReplaced = ring[writeIndex];
  ring[writeIndex] = sample;
  if (++writeIndex == size) writeIndex = 0;
  if (fillCount < size) ++fillCount;
  return Average();
}

double ZEQRollingAverage::Average() {
  ZEQLockGuard hold(lock);
  // Until the ring is full the filled slots are those from 0, because the
  // write index starts there.
  double sum = 0;
  for (uint32_t i = 0; i < fillCount; ++i) sum += ring[i];
  average = (fillCount == 0 || sum == 0) ? 0 : sum / fillCount;
  return average;
}

void ZEQRollingAverage::Free() {
  DeleteLock(lock);
  HeapFreeZ(ring);
  ring = nullptr;
  size = fillCount = writeIndex = 0;
}

ZEQProfiler* ZEQProfiler::Init(const char* text, const ZEQProfilerClock* source) {
  if (text) {
    size_t n = strnlen(text, kZEQProfilerNameMax);
    std::memcpy(name, text, n);
    name[n] = '\0';
  }
  clock = source ? source : &kSystemClock;
  autoRestart = 0;
  lock = NewLock();
  average = HeapAllocArray<ZEQRollingAverage>(1);
  average->Create(kZEQProfilerSamples);
  Reset();
  return this;
}

void ZEQProfiler::Reset() {
  ZEQLockGuard hold(lock);
  startStamp = clock->counter();
  tickStamp = clock->ticks();
  average->Reset();
  lastLap = lapTotal = lapCount = 0;
  restartPending = autoRestart;
  restartTick = clock->ticks();
}

double ZEQProfiler::Elapsed(bool restart) {
  ZEQLockGuard hold(lock);
  if (restartPending) {
    Reset();  // the lock is entered again by the same thread
    restartPending = 0;
  }
  const int64_t now = clock->counter();
  frequency = clock->frequency();
  const double elapsed = frequency > 0 ? double(now - startStamp) / double(frequency) : 0.0;

  const int64_t ticks = TicksBetween(tickStamp, clock->ticks());
  const double ms = elapsed * 1000;
  // Compared in doubles first, so that a counter gone wild cannot overflow
  // the truncating cast.
  if (std::fabs(ms - double(ticks)) <= double(kZEQProfilerClockTolerance + 1) &&
      std::llabs(int64_t(ms) - ticks) <= kZEQProfilerClockTolerance) {
    lapTotal += elapsed;
    lapCount += 1;
    average->Add(elapsed);
    lastLap = elapsed;
  }
  if (restart) {
    startStamp = now;
    tickStamp = clock->ticks();
  }
  return elapsed;
}

double ZEQProfiler::Now() {
  const int64_t hz = clock->frequency();
  return hz > 0 ? double(clock->counter()) / double(hz) : 0.0;
}

void ZEQProfiler::Free() {
  DeleteLock(lock);
  if (average) {
    average->Free();
    HeapFreeZ(average);
    average = nullptr;
  }
}

ZEQNamedLock* ZEQProfilersLock() {
  static ZEQNamedLock* lock = [] {
    auto* made = HeapAllocArray<ZEQNamedLock>(1);
    made->Init("KESTOPROFIERS");
    return made;
  }();
  return lock;
}
