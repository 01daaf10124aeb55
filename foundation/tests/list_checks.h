// Helpers of the list tests: invariant checks and a readable form of the
// list's keys.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/list.h"

// The chain visits the index's items in order, the tail ends it, the index
// has room and the key byte total matches.
inline void ExpectConsistent(ZEQList& list) {
  ASSERT_GE(list.count, 0);
  ASSERT_GT(list.capacity, static_cast<uint32_t>(list.count));
  ZEQListItem* item = list.head;
  uint32_t keyBytes = 0;
  for (int i = 0; i < list.count; ++i) {
    ASSERT_NE(nullptr, item) << "chain ends early at " << i;
    ASSERT_EQ(list.index[i], item) << "index and chain differ at " << i;
    ASSERT_TRUE(IsListItem(item));
    keyBytes += item->keyLength;
    if (i == list.count - 1) {
      ASSERT_EQ(list.tail, item);
    }
    item = item->next;
  }
  ASSERT_EQ(nullptr, item) << "chain runs past the count";
  if (list.count == 0) {
    ASSERT_EQ(nullptr, list.head);
    ASSERT_EQ(nullptr, list.tail);
  }
  ASSERT_EQ(keyBytes, list.keyBytes);
}

// Text keys in list order, joined by commas.
inline std::string KeysOf(ZEQList& list) {
  char* text = nullptr;
  list.JoinKeys(&text, nullptr, ",", 0);
  std::string keys = text;
  HeapFreeZ(text);
  return keys;
}

// Pointer keys in list order.
inline std::vector<uintptr_t> WordsOf(ZEQList& list) {
  std::vector<uintptr_t> words;
  for (int i = 0; i < list.count; ++i) words.push_back(list.GetAt(i, false));
  return words;
}
