#include <gtest/gtest.h>

#include "foundation/heap.h"

TEST(Heap, BlocksAreZeroedWithTwoSpareBytes) {
  for (size_t size : {0u, 1u, 7u, 4096u}) {
    auto* p = static_cast<unsigned char*>(HeapAllocZ(size));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(size + 2, HeapBlockSize(p));
    for (size_t i = 0; i < size + 2; ++i) ASSERT_EQ(0, p[i]) << "byte " << i << " of " << size;
    HeapFreeZ(p);
  }
}
