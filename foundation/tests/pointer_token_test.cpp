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

#if defined(_WIN64)
// Records placed where an address's low half misleads: above 4 GiB (the low
// half names some other address) and inside the token range (the address
// itself looks like a token). Each is reached only through its own token.
TEST(PointerToken, PlacedRecordsAreReachedOnlyThroughTheirTokens) {
  void* high = nullptr;
  for (uintptr_t at = 0x500000000ull; !high && at < 0x50000000000ull; at += 0x100010000ull)
    high = VirtualAlloc(reinterpret_cast<void*>(at), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  void* low = nullptr;
  for (uintptr_t at = 0x30000000u; !low && at < 0x70000000u; at += 0x01010000u)
    low = VirtualAlloc(reinterpret_cast<void*>(at), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(nullptr, high);
  ASSERT_NE(nullptr, low);
  ASSERT_GT(reinterpret_cast<uintptr_t>(high), 0xFFFFFFFFull);
  for (void* record : {high, low}) {
    const uint32_t token = ZEQPointerToToken(record);
    const uint32_t lowHalf = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record));
    EXPECT_GE(token, kZEQFirstPointerToken);
    EXPECT_EQ(record, ZEQTokenToPointer(token));
    // The address's own number is no way back to the record.
    if (lowHalf != token) {
      EXPECT_NE(record, ZEQTokenToPointer(lowHalf));
    }
    ZEQReleasePointerToken(record);
    EXPECT_EQ(nullptr, ZEQTokenToPointer(token));
  }
  VirtualFree(high, 0, MEM_RELEASE);
  VirtualFree(low, 0, MEM_RELEASE);
}
#endif

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
