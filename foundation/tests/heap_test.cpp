#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/heap.h"
#include "foundation/records.h"

TEST(Heap, BlocksAreZeroedWithTwoSpareBytes) {
  for (size_t size : {0u, 1u, 7u, 4096u}) {
    auto* p = static_cast<unsigned char*>(HeapAllocZ(size));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(size + 2, HeapBlockSize(p));
    for (size_t i = 0; i < size + 2; ++i) ASSERT_EQ(0, p[i]) << "byte " << i << " of " << size;
    HeapFreeZ(p);
  }
}

TEST(Heap, ReallocGrowthIsZeroedAndShrinkKeepsTerminators) {
  auto* p = static_cast<unsigned char*>(HeapAllocZ(16));
  memset(p, 0xAB, 18);  // the spare bytes too: growth must not expose them
  p = static_cast<unsigned char*>(HeapReAllocZ(p, 4000));
  EXPECT_EQ(4002u, HeapBlockSize(p));
  for (size_t i = 0; i < 16; ++i) ASSERT_EQ(0xAB, p[i]);
  for (size_t i = 18; i < 4002; ++i) ASSERT_EQ(0, p[i]) << "byte " << i;
  memset(p, 0xCD, 4002);
  p = static_cast<unsigned char*>(HeapReAllocZ(p, 10));
  EXPECT_EQ(0xCD, p[9]);
  EXPECT_EQ(0, p[10]);
  EXPECT_EQ(0, p[11]);
  HeapFreeZ(p);
}

TEST(Heap, NewFollowsTheRule) {
  auto* numbers = new uint32_t[33];
  for (int i = 0; i < 33; ++i) ASSERT_EQ(0u, numbers[i]);
  EXPECT_EQ(33 * sizeof(uint32_t) + 2, HeapBlockSize(numbers));
  delete[] numbers;
  delete static_cast<int*>(nullptr);  // ignored
  EXPECT_EQ(0, HeapFreeSecure(nullptr, 10, true));
}

// A request the heap cannot serve throws a C++ exception that catch-all
// guards see; nothing returns NULL.
TEST(Heap, ExhaustionThrowsForEveryCaller) {
  // Larger than any address space can hold, yet no overflow in the "+2".
  const size_t huge = SIZE_MAX / 2;
  EXPECT_THROW(HeapAllocZ(huge), ZEQOutOfMemory);
  EXPECT_THROW(HeapAllocZ(SIZE_MAX), ZEQOutOfMemory);
  EXPECT_THROW(static_cast<void>(::operator new(huge)), std::bad_alloc);
  EXPECT_EQ(nullptr, ::operator new(huge, std::nothrow));

  bool seen = false;
  try {
    HeapAllocZ(huge);
  } catch (...) {
    seen = true;
  }
  EXPECT_TRUE(seen);

  // A failed resize leaves the block as it was.
  auto* p = static_cast<char*>(HeapAllocZ(8));
  strcpy(p, "intact");
  EXPECT_THROW(HeapReAllocZ(p, huge), ZEQOutOfMemory);
  EXPECT_STREQ("intact", p);
  HeapFreeZ(p);
}

// Reads a freed block's bytes (still mapped inside the heap) to see whether
// the secret survived.
static size_t SurvivingBytes(const unsigned char* block, size_t size, unsigned char secret) {
  size_t left = 0;
  if (!IsReadableMemory(block, size)) return 0;
  for (size_t i = 64; i < size - 64; ++i) left += block[i] == secret;
  return left;
}

TEST(Heap, SecureFreeWipesBeforeFreeing) {
  const size_t size = 2048;
  auto* plain = static_cast<unsigned char*>(HeapAllocZ(size));
  memset(plain, 'P', size);
  HeapFreeSecure(plain, size, false);
  // The heap itself leaves freed bytes alone, so the check below means something.
  EXPECT_GT(SurvivingBytes(plain, size, 'P'), 0u);
  auto* wiped = static_cast<unsigned char*>(HeapAllocZ(size));
  memset(wiped, 'S', size);
  // A length beyond the block is clamped to it.
  HeapFreeSecure(wiped, size * 4, true);
  EXPECT_EQ(0u, SurvivingBytes(wiped, size, 'S'));
}
