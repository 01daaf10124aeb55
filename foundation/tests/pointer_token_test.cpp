#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <set>
#include <vector>

#include "foundation/pointer_token.h"
#include "test_threads.h"

TEST(PointerToken, RoundTripAndUnknownTokens) {
  int a = 0, b = 0;
  const uint32_t ta = ZEQPointerToToken(&a);
  const uint32_t tb = ZEQPointerToToken(&b);
  EXPECT_EQ(&a, ZEQTokenToPointer(ta));
  EXPECT_EQ(&b, ZEQTokenToPointer(tb));
  EXPECT_EQ(ta, ZEQPointerToToken(&a));  // one token per pointer
  EXPECT_EQ(0u, ZEQPointerToToken(nullptr));
  EXPECT_EQ(nullptr, ZEQTokenToPointer(0));
#if defined(_WIN64)
  EXPECT_NE(ta, tb);
  for (uint32_t t : {ta, tb}) {
    EXPECT_GE(t, kZEQFirstPointerToken);
    EXPECT_LE(t, 0x7FFFFFFFu);
  }
  EXPECT_EQ(nullptr, ZEQTokenToPointer(1));
  EXPECT_EQ(nullptr, ZEQTokenToPointer(0xFFFFFFFFu));
  ZEQReleasePointerToken(&a);
  EXPECT_EQ(nullptr, ZEQTokenToPointer(ta));
  EXPECT_EQ(&b, ZEQTokenToPointer(tb));
  // A pointer registered again gets a token that maps back to it.
  const uint32_t again = ZEQPointerToToken(&a);
  EXPECT_EQ(&a, ZEQTokenToPointer(again));
  ZEQReleasePointerToken(&a);
  ZEQReleasePointerToken(&b);
  ZEQReleasePointerToken(&b);  // twice is harmless
#else
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&a), ta);
#endif
}

TEST(PointerToken, ConcurrentRegistrationsStayDistinct) {
  constexpr int kThreads = 8;
  constexpr int kEach = 500;
  struct Work {
    std::vector<char> cells = std::vector<char>(kEach);
    std::vector<uint32_t> tokens;
    bool ok = true;
  };
  std::vector<Work> work(kThreads);
  ASSERT_TRUE(RunOnThreads(kThreads, [&work](int t) {
    Work& w = work[t];
    for (char& cell : w.cells) w.tokens.push_back(ZEQPointerToToken(&cell));
    for (int i = 0; i < kEach; ++i) w.ok &= ZEQTokenToPointer(w.tokens[i]) == &w.cells[i];
    for (char& cell : w.cells) ZEQReleasePointerToken(&cell);
  }));
  std::set<uint32_t> all;
  for (const Work& w : work) {
    EXPECT_TRUE(w.ok);
    all.insert(w.tokens.begin(), w.tokens.end());
  }
#if defined(_WIN64)
  // Tokens are handed out in order and are not reused before they wrap round.
  EXPECT_EQ(static_cast<size_t>(kThreads * kEach), all.size());
  for (const Work& w : work) EXPECT_EQ(nullptr, ZEQTokenToPointer(w.tokens.front()));
#endif
}
