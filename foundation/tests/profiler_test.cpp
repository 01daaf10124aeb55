#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "foundation/heap.h"
#include "foundation/named_lock.h"
#include "foundation/profiler.h"

namespace {

// A clock the test moves by hand: the performance counter runs at 1 MHz.
struct FakeClock {
  static int64_t counter;
  static uint32_t ticks;
  static int64_t Counter() { return counter; }
  static int64_t Frequency() { return 1000000; }
  static uint32_t Ticks() { return ticks; }
  static void Advance(double counterSeconds, uint32_t tickMs) {
    counter += int64_t(counterSeconds * 1000000);
    ticks += tickMs;
  }
};
int64_t FakeClock::counter = 0;
uint32_t FakeClock::ticks = 0;
const ZEQProfilerClock kFake = {FakeClock::Counter, FakeClock::Frequency, FakeClock::Ticks};

class Profiler : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeClock::counter = 5000000000;
    FakeClock::ticks = 123456;
    profiler = HeapAllocArray<ZEQProfiler>(1)->Init("test profiler", &kFake);
  }
  void TearDown() override {
    profiler->Free();
    HeapFreeZ(profiler);
  }
  void ExpectStats(double count, double total, double last, double average) {
    EXPECT_EQ(count, profiler->lapCount);
    EXPECT_NEAR(total, profiler->lapTotal, 1e-9);
    EXPECT_NEAR(last, profiler->lastLap, 1e-9);
    EXPECT_NEAR(average, profiler->average->average, 1e-9);
  }
  ZEQProfiler* profiler = nullptr;
};

TEST_F(Profiler, ReadingWithAgreeingClocksCountsALap) {
  EXPECT_STREQ("test profiler", profiler->name);
  FakeClock::Advance(0.3, 300);
  EXPECT_NEAR(0.3, profiler->Elapsed(false), 1e-9);
  ExpectStats(1, 0.3, 0.3, 0.3);
  // Without restart the next reading still counts from the same start.
  FakeClock::Advance(0.2, 200);
  EXPECT_NEAR(0.5, profiler->Elapsed(false), 1e-9);
  ExpectStats(2, 0.8, 0.5, 0.4);
}

TEST_F(Profiler, AutoRestartMakesTheNextReadingRestartFirst) {
  EXPECT_EQ(0u, profiler->autoRestart);
  EXPECT_EQ(0u, profiler->restartPending);
  profiler->autoRestart = 1;
  profiler->Reset();
  EXPECT_EQ(1u, profiler->restartPending);
  FakeClock::Advance(0.3, 300);
  // Restarted first: nothing has elapsed since.
  EXPECT_NEAR(0.0, profiler->Elapsed(false), 1e-9);
  EXPECT_EQ(0u, profiler->restartPending);
  FakeClock::Advance(0.2, 200);
  EXPECT_NEAR(0.2, profiler->Elapsed(false), 1e-9);
}

TEST(ProfilersLock, OneNamedLockServesEveryCaller) {
  ZEQNamedLock* lock = ZEQProfilersLock();
  ASSERT_NE(nullptr, lock);
  EXPECT_EQ(lock, ZEQProfilersLock());
  EXPECT_STREQ("KESTOPROFIERS", lock->name);
  EXPECT_EQ(kZEQNamedLockSpinCount, lock->spinCount);
  lock->Enter();
  lock->Leave();
}

TEST_F(Profiler, ReadingWhoseClocksDisagreeIsReturnedButNotCounted) {
  FakeClock::Advance(2.0, 100);
  EXPECT_NEAR(2.0, profiler->Elapsed(false), 1e-9);
  ExpectStats(0, 0, 0, 0);
}

TEST_F(Profiler, ClockCheckAllowsHalfASecondEitherWay) {
  struct Case {
    double counterSeconds;
    uint32_t ticks;
    bool counted;
  };
  const Case cases[] = {
      {1.0, 500, true},    // counter 500 ms ahead
      {1.0, 499, false},
      {0.5, 1000, true},   // ticks 500 ms ahead
      {0.5, 1001, false},
      {0.0, 0, true},
      {1000.0, 1000000, true},
  };
  for (const auto& c : cases) {
    profiler->Reset();
    FakeClock::Advance(c.counterSeconds, c.ticks);
    profiler->Elapsed(true);
    EXPECT_EQ(c.counted ? 1.0 : 0.0, profiler->lapCount) << c.counterSeconds << " s against " << c.ticks << " ms";
  }
}

TEST_F(Profiler, RestartingReadingStartsTheNextLapButKeepsTotals) {
  FakeClock::Advance(0.3, 300);
  EXPECT_NEAR(0.3, profiler->Elapsed(true), 1e-9);
  FakeClock::Advance(0.5, 500);
  EXPECT_NEAR(0.5, profiler->Elapsed(true), 1e-9);
  ExpectStats(2, 0.8, 0.5, 0.4);

  profiler->Reset();
  ExpectStats(0, 0, 0, 0);
  FakeClock::Advance(0.1, 100);
  EXPECT_NEAR(0.1, profiler->Elapsed(false), 1e-9);
}

TEST_F(Profiler, ClockCheckHoldsAcrossTheTickCounterWrap) {
  FakeClock::ticks = 0xFFFFFF00u;
  profiler->Reset();
  FakeClock::Advance(0.4, 400);  // the tick counter wraps to 0x90
  EXPECT_NEAR(0.4, profiler->Elapsed(false), 1e-9);
  EXPECT_EQ(1.0, profiler->lapCount);
}

TEST_F(Profiler, NowCountsSecondsOfTheCounter) {
  double before = profiler->Now();
  FakeClock::Advance(2.5, 2500);
  EXPECT_NEAR(2.5, profiler->Now() - before, 1e-6);
}

TEST(ProfilerNames, LongNamesAreCut) {
  std::string name(600, 'n');
  auto* p = HeapAllocArray<ZEQProfiler>(1)->Init(name.c_str());
  EXPECT_EQ(kZEQProfilerNameMax, strlen(p->name));
  p->Free();
  HeapFreeZ(p);
}

// The real clocks, with bounds far wider than any scheduler delay.
TEST(ProfilerSystemClock, MeasuresASleepAndCountsIt) {
  auto* p = HeapAllocArray<ZEQProfiler>(1)->Init("system");
  double start = p->Now();
  Sleep(200);
  double elapsed = p->Elapsed(true);
  EXPECT_GT(elapsed, 0.15);
  EXPECT_LT(elapsed, 30.0);
  EXPECT_EQ(1.0, p->lapCount);
  EXPECT_GT(p->Now() - start, 0.15);
  p->Free();
  HeapFreeZ(p);
}

TEST(ProfilerSystemClock, ReadingsFromManyThreadsAreSerialised) {
  auto* p = HeapAllocArray<ZEQProfiler>(1)->Init("threads");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([p] {
      for (int i = 0; i < 1000; ++i) p->Elapsed(true);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(4000.0, p->lapCount);
  EXPECT_EQ(25u, p->average->fillCount);
  p->Free();
  HeapFreeZ(p);
}

class RollingAverage : public ::testing::Test {
 protected:
  void SetUp() override { average.Create(25); }
  void TearDown() override { average.Free(); }
  ZEQRollingAverage average{};
};

TEST_F(RollingAverage, AveragesTheSamplesHeldUntilFull) {
  EXPECT_EQ(0.0, average.Average());
  EXPECT_DOUBLE_EQ(2.0, average.Add(2.0));
  EXPECT_DOUBLE_EQ(3.0, average.Add(4.0));
  EXPECT_EQ(2u, average.fillCount);
}

TEST_F(RollingAverage, TheTwentySixthSampleReplacesTheFirst) {
  for (int i = 1; i <= 25; ++i) average.Add(i);
  EXPECT_DOUBLE_EQ(13.0, average.average);
  EXPECT_DOUBLE_EQ(14.0, average.Add(26));  // samples 2..26
  EXPECT_DOUBLE_EQ(1.0, average.lastReplaced);
  EXPECT_EQ(25u, average.fillCount);
  EXPECT_EQ(1u, average.writeIndex);
}

TEST_F(RollingAverage, ZeroSamplesAndResetGiveZero) {
  for (int i = 0; i < 30; ++i) average.Add(0.0);
  EXPECT_EQ(0.0, average.average);
  average.Add(5.0);
  average.Reset();
  EXPECT_EQ(0.0, average.Average());
  EXPECT_EQ(0u, average.fillCount);
  EXPECT_DOUBLE_EQ(7.0, average.Add(7.0));
}

TEST(TicksSince, GivesTheTrueDifferenceAcrossTheWrap) {
  struct Case {
    uint32_t start, now, expected;
  };
  const Case cases[] = {
      {0, 0, 0},
      {5, 10, 5},
      {0xFFFFFFF0u, 0x10, 0x20},
      {0xFFFFFFFFu, 0, 1},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0},
      {1, 0, 0xFFFFFFFFu},
      {0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, TicksBetween(c.start, c.now)) << std::hex << c.start << " " << c.now;
  EXPECT_LT(TicksSince(GetTickCount()), 60000u);
}

}  // namespace
