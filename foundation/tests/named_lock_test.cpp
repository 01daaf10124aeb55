#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "foundation/named_lock.h"

namespace {

TEST(NamedLock, KeepsItsNameAndSpinCount) {
  const std::pair<const char*, std::string> cases[] = {
      {"SIPSOCKET", "SIPSOCKET"},
      {nullptr, ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    ZEQNamedLock lock;
    std::memset(&lock, 'x', sizeof lock);
    lock.Init(c.first);
    EXPECT_EQ(c.second, lock.name);
    EXPECT_EQ(4000u, lock.spinCount);
    lock.Delete();
  }
  const std::string longName(200, 'n');
  ZEQNamedLock lock;
  lock.Init(longName.c_str());
  EXPECT_EQ(std::string(131, 'n'), lock.name);
  lock.Delete();
}

TEST(NamedLock, ExcludesOtherThreads) {
  ZEQNamedLock lock;
  lock.Init("ZEQCBUFFER");
  lock.Enter();
  BOOL otherGotIt = TRUE;
  std::thread([&] { otherGotIt = lock.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  EXPECT_TRUE(lock.TryEnter());  // the owner may enter again
  lock.Leave();
  lock.Leave();
  std::thread([&] {
    otherGotIt = lock.TryEnter();
    if (otherGotIt) lock.Leave();
  }).join();
  EXPECT_TRUE(otherGotIt);
  EXPECT_EQ(&lock.section, lock.Section());
  lock.Delete();
}

}  // namespace
