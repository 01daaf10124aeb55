#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "foundation/list.h"
#include "list_checks.h"

namespace {

constexpr int kWriters = 6;
constexpr int kEach = 400;

struct Shared {
  ZEQList* list;
  volatile LONG freed;
  volatile LONG stop;
  volatile LONG readerFaults;
};

struct Writer {
  Shared* shared;
  int id;
  int missing;
};

int CountFree(ZEQListItem*, uintptr_t context) {
  InterlockedIncrement(&reinterpret_cast<Shared*>(context)->freed);
  return 1;
}

// Keys of one writer, spread so that they interleave with the others' and
// straddle 0x80000000.
uintptr_t KeyOf(int writer, int i) {
  return static_cast<uintptr_t>(0x7FFFF000u + static_cast<uint32_t>(i) * kWriters * 3 + writer);
}

DWORD WINAPI WriterThread(void* arg) {
  auto* w = static_cast<Writer*>(arg);
  ZEQList* list = w->shared->list;
  for (int i = 0; i < kEach; ++i) {
    ZEQListItem* item = ZEQList::NewItem();
    item->freeCallback = CountFree;
    item->freeContext = reinterpret_cast<uintptr_t>(w->shared);
    list->Set(reinterpret_cast<void*>(KeyOf(w->id, i)), 0, i, 0, 0, ZEQLIST_POINTER_KEY, item);
  }
  for (int i = 0; i < kEach; ++i) {
    if (list->FindSorted(reinterpret_cast<void*>(KeyOf(w->id, i)), 0, 0, nullptr) < 0) ++w->missing;
  }
  // Replace every key once, remove the odd ones.
  for (int i = 0; i < kEach; ++i) list->SetByPointer(KeyOf(w->id, i), i + 1, 0);
  ZEQList* slot = list;
  for (int i = 1; i < kEach; i += 2) {
    if (!ZEQList::Remove(&slot, KeyOf(w->id, i))) ++w->missing;
  }
  return 0;
}

// Walks the list under its lock while the writers work: the order must hold
// at every moment.
DWORD WINAPI ReaderThread(void* arg) {
  auto* shared = static_cast<Shared*>(arg);
  ZEQList* slot = shared->list;
  while (!shared->stop) {
    ZEQList::LockIndirect(&slot);
    uintptr_t previous = 0;
    for (int i = 0; i < slot->count; ++i) {
      const uintptr_t key = slot->GetAt(i, false);
      if (i > 0 && key <= previous) InterlockedIncrement(&shared->readerFaults);
      previous = key;
    }
    ZEQList::UnlockIndirect(&slot);
    Sleep(0);
  }
  return 0;
}

}  // namespace

TEST(ListThreads, ConcurrentUpsertsSearchesAndRemovals) {
  Shared shared = {};
  ZEQList::Create(&shared.list);
  Writer writers[kWriters];
  HANDLE threads[kWriters + 1];
  for (int t = 0; t < kWriters; ++t) {
    writers[t] = {&shared, t, 0};
    threads[t] = CreateThread(nullptr, 0, WriterThread, &writers[t], 0, nullptr);
    ASSERT_NE(nullptr, threads[t]);
  }
  threads[kWriters] = CreateThread(nullptr, 0, ReaderThread, &shared, 0, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kWriters, threads, TRUE, 120000));
  shared.stop = 1;
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(threads[kWriters], 30000));
  for (HANDLE h : threads) CloseHandle(h);

  for (const Writer& w : writers) EXPECT_EQ(0, w.missing) << "writer " << w.id;
  EXPECT_EQ(0, shared.readerFaults);
  ZEQList& list = *shared.list;
  ExpectConsistent(list);
  ASSERT_EQ(kWriters * kEach / 2, list.count);
  std::vector<uintptr_t> words = WordsOf(list);
  for (size_t i = 1; i < words.size(); ++i) ASSERT_LT(words[i - 1], words[i]);
  for (int i = 0; i < list.count; ++i) EXPECT_EQ(0u, (list.GetItemAt(i)->value1 - 1) % 2);

  // One call per stored contents: the first contents of every item went at
  // the replacement, the second at the removal or the deletion.
  const LONG total = kWriters * kEach;
  EXPECT_EQ(total + total / 2, shared.freed);
  ZEQList::Delete(shared.list);
  EXPECT_EQ(2 * total, shared.freed);
}
