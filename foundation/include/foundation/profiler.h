// Named stopwatch with statistics. A profiler measures seconds since its last
// restart on the high-resolution performance counter and cross-checks every
// reading against the tick counter: a reading whose two clocks disagree by
// more than half a second is returned but not counted as a lap. Accepted
// laps feed the lap count, the lap total, the last lap and a rolling average
// of the last 25 laps.
#pragma once
#include <cstddef>
#include <cstdint>

struct _RTL_CRITICAL_SECTION;

// Milliseconds from start to now on the 32-bit tick counter, across its wrap
// (the difference modulo 2^32).
uint32_t TicksBetween(uint32_t start, uint32_t now);
// TicksBetween(start, GetTickCount()).
uint32_t TicksSince(uint32_t start);

// The clocks a profiler reads; tests give their own.
struct ZEQProfilerClock {
  int64_t (*counter)();    // performance counter
  int64_t (*frequency)();  // its counts per second
  uint32_t (*ticks)();     // tick counter, milliseconds
};
const ZEQProfilerClock* ZEQSystemClock();

// Mean of the last n samples. Lives in a zeroed record; Create before use,
// Free after.
struct ZEQRollingAverage {
  _RTL_CRITICAL_SECTION* lock;
  double* ring;
  double average;        // last computed
  double lastReplaced;   // sample the last Add overwrote
  uint32_t fillCount;    // samples held, 0..n
  uint32_t writeIndex;   // next slot, 0..n-1
  uint32_t size;         // n

  void Create(uint32_t n);
  void Reset();
  double Add(double sample);  // returns the new average
  double Average();           // sum of the samples held / their count; 0 when none
  void Free();
};

constexpr size_t kZEQProfilerNameMax = 515;
constexpr uint32_t kZEQProfilerSamples = 25;
// Largest disagreement, in milliseconds, between the two clocks for a
// reading to count as a lap.
constexpr int64_t kZEQProfilerClockTolerance = 500;

struct ZEQProfiler {
  char name[kZEQProfilerNameMax + 1];
  int64_t startStamp;         // performance counter at the last restart
  int64_t frequency;          // refreshed at every reading
  double lastLap;             // seconds
  double lapCount;
  double lapTotal;            // seconds
  ZEQRollingAverage* average;
  uint32_t tickStamp;         // tick counter at the last restart
  uint32_t restartTick;       // tick counter at the last Reset
  // With autoRestart set, every restart arms restartPending, and the next
  // reading then restarts first (so each reading measures from the one
  // before). Both 0 after Init.
  uint32_t autoRestart;
  uint32_t restartPending;
  _RTL_CRITICAL_SECTION* lock;
  const ZEQProfilerClock* clock;

  // On a zeroed record. clock null: the system's clocks.
  ZEQProfiler* Init(const char* name, const ZEQProfilerClock* clock = nullptr);
  // Restarts and clears the statistics.
  void Reset();
  // Seconds since the last restart; with restart the reading becomes the new
  // start (the statistics are kept).
  double Elapsed(bool restart);
  // The profiler clock's current time in seconds; two readings subtract to
  // seconds.
  double Now();
  // Releases the lock and the rolling average; the record is its owner's.
  void Free();
};

struct ZEQNamedLock;
// The process-wide named lock "KESTOPROFIERS" that serialises the work on
// the named profilers of page script; made on first use, never deleted.
ZEQNamedLock* ZEQProfilersLock();
