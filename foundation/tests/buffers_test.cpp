#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>

#include "foundation/buffers.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/records.h"
#include "foundation/variant_blocks.h"
#include "test_threads.h"

TEST(CountedBuffer, AllocSizesAndEmptyForms) {
  struct Case {
    int32_t n;
    bool wide;
    int32_t count;
    size_t bytes;  // 0: no block
  } cases[] = {
      {5, false, 5, 8}, {5, true, 5, 13}, {1, false, 1, 4}, {0, false, 0, 0}, {-3, true, 0, 0},
  };
  for (const Case& c : cases) {
    ZEQBuffer narrow;
    ZEQWideBuffer wide;
    const void* data;
    int32_t count;
    if (c.wide) {
      wide.Alloc(c.n);
      data = wide.data;
      count = wide.count;
    } else {
      narrow.Alloc(c.n);
      data = narrow.data;
      count = narrow.count;
    }
    EXPECT_EQ(c.count, count) << c.n;
    if (c.bytes == 0) {
      EXPECT_EQ(nullptr, data);
      continue;
    }
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(c.bytes, HeapBlockSize(data));
    for (size_t i = 0; i < c.bytes; ++i) ASSERT_EQ(0, static_cast<const char*>(data)[i]);
  }
}

TEST(CountedBuffer, ReplaceAndClearKeepTheCount) {
  ZEQBuffer buffer;
  buffer.Alloc(4);
  memcpy(buffer.data, "abcd", 4);
  EXPECT_STREQ("abcd", buffer.data);  // the terminator is already there
  auto* other = static_cast<char*>(HeapAllocZ(10));
  EXPECT_EQ(other, buffer.Replace(other));
  EXPECT_EQ(other, buffer.data);
  EXPECT_EQ(4, buffer.count);
  buffer.Clear();
  EXPECT_EQ(nullptr, buffer.data);
  EXPECT_EQ(4, buffer.count);
  buffer.Alloc(2);
  EXPECT_EQ(&buffer.data, buffer.FreeData());
  EXPECT_EQ(nullptr, buffer.data);
  buffer.Destroy();  // nothing left to free
}

TEST(CountedBuffer, StringQuadFreesOnlyTheSecondPair) {
  ZEQStringQuad quad;
  quad.Init();
  quad.first.Alloc(3);
  quad.second.Alloc(3);
  char* first = quad.first.data;
  quad.FreeSecond();
  EXPECT_EQ(nullptr, quad.second.data);
  EXPECT_EQ(first, quad.first.data);
}

// The freed block stays mapped inside the heap: look whether the secret
// survived there.
static bool SecretSurvives(const char* block, size_t size) {
  if (!IsReadableMemory(block, size)) return false;
  const char* needle = "hunter2hunter2";
  const char* end = block + size - 32;
  return std::search(block + 32, end, needle, needle + 14) != end;
}

TEST(CountedBuffer, SecureBufferWipesEveryBlockItLetsGo) {
  ZEQSecureBuffer secret;
  secret.Alloc(1000);
  for (int i = 0; i + 7 <= 1000; i += 7) memcpy(secret.data + i, "hunter2", 7);
  char* first = secret.data;
  // Assign with a count that no longer matches the block: the old block is
  // wiped whole, the new one is never overrun.
  auto* small = static_cast<char*>(HeapAllocZ(16));
  secret.Assign(small);
  EXPECT_FALSE(SecretSurvives(first, 1000));
  strcpy(small, "hunter2hunter2");
  secret.Free();
  EXPECT_EQ(nullptr, secret.data);
  EXPECT_EQ(1000, secret.count);
  secret.Free();  // a second free does nothing
}

TEST(LockGuard, UnlockTwiceLeavesOnce) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  auto othersCanEnter = [&cs]() {
    bool entered = false;
    EXPECT_TRUE(RunOnThreads(1, [&](int) {
      entered = TryEnterCriticalSection(&cs);
      if (entered) LeaveCriticalSection(&cs);
    }));
    return entered;
  };
  EnterCriticalSection(&cs);  // held by this thread outside the guard
  {
    ZEQLockGuard guard;
    guard.Lock(&cs);
    EXPECT_EQ(1, guard.held);
    guard.Unlock();
    guard.Unlock();
    EXPECT_EQ(0, guard.held);
    EXPECT_EQ(nullptr, guard.section);
    EXPECT_FALSE(othersCanEnter());
  }
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(othersCanEnter());

  ZEQLockGuard empty;
  empty.Lock(nullptr);
  EXPECT_EQ(1, empty.held);
  empty.Unlock();

  // Unwinding leaves the section.
  try {
    ZEQLockGuard guard(&cs);
    throw 1;
  } catch (int) {
  }
  EXPECT_TRUE(othersCanEnter());
  DeleteCriticalSection(&cs);
}

TEST(VariantBlocks, ClearReleasesTheSlotsInUse) {
  ZEQVariantArray16 block = {};
  for (int i = 0; i < 3; ++i) {
    block.slots[i].vt = VT_BSTR;
    block.slots[i].bstrVal = SysAllocString(L"text");
  }
  block.slots[3].vt = VT_I4;  // beyond the count: untouched
  block.count = 3;
  block.Clear();
  EXPECT_EQ(0, block.count);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(VT_EMPTY, block.slots[i].vt);
  EXPECT_EQ(VT_I4, block.slots[3].vt);
  block.count = -2;
  block.Clear();
  EXPECT_EQ(0, block.count);
  block.count = 99;  // never past the sixteen slots
  block.Clear();
  EXPECT_EQ(0, block.count);

  ZEQVariantVector vector = {};
  vector.count = 2;
  vector.data = HeapAllocArray<VARIANT>(2);
  vector.data[0].vt = VT_BSTR;
  vector.data[0].bstrVal = SysAllocString(L"one");
  vector.FreeItems();
  EXPECT_EQ(nullptr, vector.data);
  vector.FreeItems();
}
