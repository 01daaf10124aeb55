#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/lock.h"

namespace {

TEST(Lock, TheHolderMayEnterAgainAndLeavesAsOften) {
  ZEQLock lock;
  {
    ZEQLockScope outer(lock);
    ZEQLockScope inner(lock);
  }
  bool entered = false;
  std::thread([&] {
    ZEQLockScope hold(lock);
    entered = true;
  }).join();
  EXPECT_TRUE(entered);
}

TEST(Lock, ExcludesOtherThreadsFromTheGuardedUpdate) {
  ZEQLock lock;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        ZEQLockScope hold(lock);
        // A read, a yield point and a write: lost updates show without the lock.
        const long seen = counter;
        if (i % 1000 == 0) std::this_thread::yield();
        counter = seen + 1;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(80000, counter);
}

TEST(Lock, AnExceptionLeavesTheLock) {
  ZEQLock lock;
  try {
    ZEQLockScope hold(lock);
    throw std::runtime_error("unwind");
  } catch (const std::runtime_error&) {
  }
  bool entered = false;
  std::thread([&] {
    ZEQLockScope hold(lock);
    entered = true;
  }).join();
  EXPECT_TRUE(entered);
}

}  // namespace
