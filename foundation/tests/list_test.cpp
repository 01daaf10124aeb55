#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "list_checks.h"
#include "test_threads.h"

namespace {

enum class Op { Insert, Set, RemoveAt, Clear };

struct Step {
  Op op;
  const char* key;
  int arg;  // Insert: position; Set: compare mode; RemoveAt: index
};

struct ListCase {
  const char* name;
  std::vector<Step> steps;
  const char* expected;
};

void RunStep(ZEQList& list, const Step& s) {
  const uint32_t length = s.key ? static_cast<uint32_t>(strlen(s.key) + 1) : 0;
  switch (s.op) {
    case Op::Insert:
      ASSERT_NE(nullptr, list.Insert(s.key, length, s.arg, 0, 0, ZEQLIST_TEXT_KEY, nullptr));
      break;
    case Op::Set:
      ASSERT_NE(nullptr, list.Set(s.key, length, 0, 0, s.arg, ZEQLIST_TEXT_KEY, nullptr));
      break;
    case Op::RemoveAt:
      list.RemoveAt(s.arg);
      break;
    case Op::Clear:
      list.Clear(false);
      break;
  }
}

const ListCase kCases[] = {
    {"positions clamp to head and tail",
     {{Op::Insert, "a", 0}, {Op::Insert, "b", 1000}, {Op::Insert, "c", 1}, {Op::Insert, "x", -5}},
     "x,a,c,b"},
    {"any position in an empty list", {{Op::Insert, "a", 7}}, "a"},
    {"count - 1 goes before the last",
     {{Op::Insert, "a", 9}, {Op::Insert, "b", 9}, {Op::Insert, "c", 9}, {Op::Insert, "d", 2}},
     "a,b,d,c"},
    {"upserts keep key order", {{Op::Set, "b", 0}, {Op::Set, "a", 0}, {Op::Set, "c", 0}}, "a,b,c"},
    {"mode 0 upsert replaces a key that differs in case",
     {{Op::Set, "b", 0}, {Op::Set, "a", 0}, {Op::Set, "c", 0}, {Op::Set, "B", 0}},
     "a,B,c"},
    {"mode 1 keeps both cases, upper first", {{Op::Set, "b", 1}, {Op::Set, "B", 1}}, "B,b"},
    {"mode 0 folds to lower case", {{Op::Set, "a", 0}, {Op::Set, "Z", 0}, {Op::Set, "_x", 0}}, "_x,a,Z"},
    {"mode 1 compares raw bytes", {{Op::Set, "a", 1}, {Op::Set, "Z", 1}, {Op::Set, "_x", 1}}, "Z,_x,a"},
    {"shorter text first", {{Op::Set, "abc", 1}, {Op::Set, "a", 1}, {Op::Set, "ab", 1}}, "a,ab,abc"},
    {"an empty key sorts first", {{Op::Set, "b", 1}, {Op::Set, "", 1}, {Op::Set, "a", 1}}, ",a,b"},
    {"removing the last makes its predecessor the tail",
     {{Op::Insert, "a", 9}, {Op::Insert, "b", 9}, {Op::Insert, "c", 9}, {Op::RemoveAt, nullptr, 2},
      {Op::Insert, "d", 9}},
     "a,b,d"},
    {"removing the head", {{Op::Insert, "a", 9}, {Op::Insert, "b", 9}, {Op::RemoveAt, nullptr, 0}}, "b"},
    {"removing the only item empties the list",
     {{Op::Insert, "a", 0}, {Op::RemoveAt, nullptr, 0}, {Op::Insert, "b", 5}},
     "b"},
    {"indexes outside the list are ignored",
     {{Op::Insert, "a", 0}, {Op::RemoveAt, nullptr, 1}, {Op::RemoveAt, nullptr, -1}},
     "a"},
    {"a cleared list is usable and unsorted",
     {{Op::Set, "b", 0}, {Op::Set, "a", 0}, {Op::Clear, nullptr, 0}, {Op::Insert, "z", 0},
      {Op::Insert, "y", 9}},
     "z,y"},
};

int CountingFree(ZEQListItem* item, uintptr_t context) {
  ++*reinterpret_cast<int*>(context);
  EXPECT_TRUE(IsListItem(item));
  return 1;
}

}  // namespace

TEST(List, OperationTable) {
  for (const ListCase& c : kCases) {
    ZEQList list;
    for (const Step& s : c.steps) RunStep(list, s);
    EXPECT_EQ(c.expected, KeysOf(list)) << c.name;
    ExpectConsistent(list);
  }
}

TEST(List, UpsertReplacesTheContentsOfTheSameItem) {
  ZEQList list;
  list.SetByName("b", 1, 0, 0, 0);
  list.SetByName("a", 2, 0, 0, 0);
  ZEQListItem* b = list.GetItemAt(1);
  const uint32_t sequence = b->sequence;
  EXPECT_EQ(b, list.SetByName("B", 7, 8, 0, 0));
  EXPECT_EQ(2, list.count);
  EXPECT_EQ(sequence, b->sequence);
  EXPECT_EQ(7u, b->value1);
  EXPECT_EQ(8u, b->value2);
  EXPECT_STREQ("B", b->KeyText());
  EXPECT_EQ(-1, b->position);
  EXPECT_TRUE(list.flags & ZEQLIST_SORTED);
  EXPECT_EQ(1, list.FindSortedByName("b", 0, 0));
  EXPECT_EQ(-1, list.FindSortedByName("b", 1, 0));
  ExpectConsistent(list);
}

TEST(List, SearchResultsAndRefusals) {
  ZEQList list;
  int position = 0;
  EXPECT_EQ(-1, list.FindSorted("a", 2, 0, &position));
  EXPECT_EQ(0x7FFFFFFF, position);
  EXPECT_NE(nullptr, list.SetByName("a", 0, 0, 0, 0));
  EXPECT_EQ(-1, list.FindByName(nullptr));
  EXPECT_EQ(-1, list.FindByName(""));
  EXPECT_EQ(-1, list.FindSortedByName("", 0, 0));
  EXPECT_EQ(-1, list.FindByNameW(L"", 0));
  EXPECT_EQ(nullptr, list.InsertNamed("", 0, 0, 0, 0));
  EXPECT_EQ(nullptr, list.SetByName(nullptr, 0, 0, 0, 0));
  EXPECT_EQ(nullptr, list.SetByNameW(L"", 0, 0, 0));
  EXPECT_EQ(0, list.FindByName("a"));
  EXPECT_EQ(-1, list.FindByName("A"));  // exact bytes
  EXPECT_EQ(0, list.Find("A", 2, ZEQLIST_NOCASE));
  EXPECT_EQ(-1, list.Find("a", 1, ZEQLIST_BYTES));  // a shorter key is another key

  ZEQList wide;
  wide.SetByNameW(L"beta", 1, 0, 0);
  wide.SetByNameW(L"Alpha", 2, 0, 0);
  EXPECT_EQ(0, wide.FindByNameW(L"ALPHA", 0));
  EXPECT_EQ(1, wide.FindByNameW(L"beta", 1));
  EXPECT_EQ(-1, wide.FindByNameW(L"bet", 1));
  EXPECT_EQ(ZEQLIST_TEXT_KEY, wide.GetItemAt(0)->flags);

  // Wide names whose first character has a zero low byte are keys like any
  // other, not empty ones that all compare equal.
  ZEQList names;
  ASSERT_NE(nullptr, names.SetByNameW(L"\x0100" L"a", 1, 0, 0));
  ASSERT_NE(nullptr, names.SetByNameW(L"\x4E00" L"b", 2, 0, 0));
  ASSERT_NE(nullptr, names.SetByNameW(L"\x0200", 3, 0, 0));
  EXPECT_EQ(3, names.count);
  for (const wchar_t* name : {L"\x0100" L"a", L"\x4E00" L"b", L"\x0200"}) {
    const int at = names.FindSorted(name, static_cast<uint32_t>((wcslen(name) + 1) * 2), 0, nullptr);
    ASSERT_GE(at, 0);
    EXPECT_EQ(0, wcscmp(name, reinterpret_cast<const wchar_t*>(names.GetItemAt(at)->key)));
  }
  EXPECT_EQ(-1, names.FindByNameW(L"\x0300", 0));

  ZEQListItem* named = list.InsertNamed("n", 0, 0, 0, 0x4);
  EXPECT_EQ(0x10000004u, named->flags);
}

// Pointer keys compare as one unsigned pointer-wide number, in search and in
// insertion, so keys above 0x80000000 (and beyond 32 bits) sort and are found.
TEST(List, PointerKeysSortAsUnsignedNumbers) {
  std::vector<uintptr_t> keys = {10, 2, 33, 0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000001u, 1};
  if (sizeof(uintptr_t) == 8) {
    const uint64_t wide[] = {0x100000000ull, 0xFFFF800000001000ull, 0x00007FF612340000ull,
                             0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull};
    for (uint64_t k : wide) keys.push_back(static_cast<uintptr_t>(k));
  }
  ZEQList list;
  for (uintptr_t k : keys) ASSERT_NE(nullptr, list.SetByPointer(k, k ^ 1, 0));
  std::vector<uintptr_t> sorted = keys;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, WordsOf(list));
  for (size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_EQ(static_cast<int>(i), list.FindSorted(reinterpret_cast<void*>(sorted[i]), 0, 0, nullptr));
  }
  // An upsert of a present key replaces, a removal finds its item.
  list.SetByPointer(0x80000000u, 5, 0);
  EXPECT_EQ(sorted.size(), static_cast<size_t>(list.count));
  ZEQList* slot = &list;
  for (uintptr_t k : keys) {
    ASSERT_EQ(1, ZEQList::Remove(&slot, k)) << std::hex << k;
    ExpectConsistent(list);
  }
  EXPECT_EQ(0, list.count);
  EXPECT_EQ(0, ZEQList::Remove(&slot, 10));
}

TEST(List, PointerKeysInAnUnsortedList) {
  ZEQList* list = nullptr;
  ZEQList::Create(&list);
  ASSERT_NE(nullptr, list);
  ZEQListItem* first = LLAddItemFlagged(&list, 0x90000000u, 1, 2);
  EXPECT_EQ(ZEQLIST_POINTER_KEY, first->flags);
  ZEQListItem* head = LLAddItemFlagged(&list, 7, 3, 4);
  EXPECT_EQ(head, list->head);
  ZEQList::InsertByPointer(&list, 5, 1000, 6, 0, 0x2);
  EXPECT_EQ(0x80000002u, list->tail->flags);
  EXPECT_EQ((std::vector<uintptr_t>{7, 0x90000000u, 5}), WordsOf(*list));
  EXPECT_EQ(1u, ZEQList::GetValueAtIndirect(&list, 1));
  EXPECT_EQ(0u, ZEQList::GetValueAtIndirect(&list, 3));
  EXPECT_EQ(1, ZEQList::Remove(&list, 0x90000000u));
  EXPECT_EQ((std::vector<uintptr_t>{7, 5}), WordsOf(*list));
  ZEQList::DeleteAt(&list);
  EXPECT_EQ(nullptr, list);
}

TEST(List, RemoveByWordNeverReadsTextKeys) {
  ZEQList list;
  list.SetByName("abc", 0, 0, 1, 0);
  ZEQList* slot = &list;
  EXPECT_EQ(0, ZEQList::Remove(&slot, 0x61));
  EXPECT_EQ(0, ZEQList::Remove(&slot, 1));
  EXPECT_EQ(1, list.count);
}

TEST(List, IndexGrowsInSteps) {
  ZEQList list;
  EXPECT_EQ(kZEQListIndexStep, list.capacity);
  for (uintptr_t i = 1; i < 512; ++i) list.Insert(reinterpret_cast<void*>(i), 0, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(512u, list.capacity);
  list.Insert(reinterpret_cast<void*>(512), 0, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(1024u, list.capacity);
  while (list.count > 3) list.RemoveAt(1);
  EXPECT_EQ(1024u, list.capacity);
  ExpectConsistent(list);
  list.Clear(false);
  EXPECT_EQ(512u, list.capacity);
  EXPECT_EQ(0u, list.sequence);
}

// Random insertions, removals and replacements against a vector model, far
// past one index step.
TEST(List, MatchesAVectorModel) {
  std::mt19937 random(20240611);
  ZEQList list;
  std::vector<std::string> model;
  for (int step = 0; step < 4000; ++step) {
    const int choice = random() % 10;
    const std::string key = "k" + std::to_string(step);
    if (choice < 6 || model.empty()) {
      const int position = static_cast<int>(random() % (model.size() + 3)) - 1;
      list.InsertNamed(key.c_str(), position, step, 0, 0);
      const size_t at = position < 1 ? 0 : std::min<size_t>(position, model.size());
      model.insert(model.begin() + at, key);
    } else if (choice < 9) {
      const int at = random() % model.size();
      ASSERT_EQ(1, list.RemoveAt(at));
      model.erase(model.begin() + at);
    } else {
      const int at = random() % model.size();
      ASSERT_NE(nullptr, list.SetAt(key.c_str(), key.size() + 1, at, step, 0, ZEQLIST_TEXT_KEY, nullptr));
      model[at] = key;
    }
    if (step % 250 == 0) ExpectConsistent(list);
  }
  ExpectConsistent(list);
  ASSERT_EQ(model.size(), static_cast<size_t>(list.count));
  for (size_t i = 0; i < model.size(); ++i) ASSERT_STREQ(model[i].c_str(), list.GetItemAt(i)->KeyText());
}

TEST(List, OwnershipBitsFreeTheValues) {
  ZEQList list;
  void* block = HeapAllocZ(32);
  BSTR text = SysAllocString(L"owned");
  ZEQListItem* owned = list.InsertNamed("owned", 0, reinterpret_cast<uintptr_t>(block),
                                        reinterpret_cast<uintptr_t>(text),
                                        ZEQLIST_VALUE1_HEAP | ZEQLIST_VALUE2_BSTR);
  ZEQListItem* kept = list.InsertNamed("kept", 9, 0x1234, 0x5678, 0);
  EXPECT_EQ(owned, list.ItemAt(0, nullptr));
  EXPECT_EQ(0u, owned->value1);
  EXPECT_EQ(0u, owned->value2);
  EXPECT_EQ(0u, owned->keyLength);
  EXPECT_EQ(nullptr, owned->KeyText());
  EXPECT_EQ(2, list.count);  // still linked and indexed
  list.ItemAt(1, nullptr);
  EXPECT_EQ(0x1234u, kept->value1);  // the caller's values stay
  EXPECT_EQ(0u, list.keyBytes);
  ExpectConsistent(list);
}

// Every stored content is handed to the free callback exactly once, whatever
// road releases it, and always under the list's lock.
TEST(List, FreeCallbacksRunOncePerContents) {
  int calls = 0;
  auto* list = new ZEQList;
  auto add = [&](const char* key) {
    ZEQListItem* item = list->SetByName(key, 1, 0, 1, 0);
    item->freeCallback = CountingFree;
    item->freeContext = reinterpret_cast<uintptr_t>(&calls);
    return item;
  };
  add("a");
  add("b");
  add("c");
  add("d");
  list->SetByName("b", 2, 0, 1, 0);  // contents of b replaced: one call
  EXPECT_EQ(1, calls);
  list->ItemAt(0, nullptr);  // contents of a released, item stays
  EXPECT_EQ(2, calls);
  list->RemoveAt(0);  // nothing more to hand back for a
  EXPECT_EQ(2, calls);
  ZEQList* slot = list;
  EXPECT_EQ(1, list->FindSortedByName("c", 1, 0));
  list->RemoveAt(1);  // c
  EXPECT_EQ(3, calls);
  char* keys = list->JoinKeys(nullptr, nullptr, nullptr, 1);  // b, d released
  HeapFreeZ(keys);
  EXPECT_EQ(5, calls);
  ZEQList::DeleteAt(&slot);
  EXPECT_EQ(5, calls);

  // Clearing and deleting release what is left once.
  calls = 0;
  list = new ZEQList;
  add("x");
  add("y");
  list->Clear(false);
  EXPECT_EQ(2, calls);
  add("z");
  ZEQList::Delete(list);
  EXPECT_EQ(3, calls);
}

TEST(List, CallbackReplacesOwnershipBitsAndRunsUnderTheLock) {
  static ZEQList* current = nullptr;
  static bool underLock = false;
  static uintptr_t seenValue = 0;
  ZEQList list;
  current = &list;
  ZEQListItem* item = list.InsertNamed("k", 0, reinterpret_cast<uintptr_t>(HeapAllocZ(8)), 0,
                                       ZEQLIST_VALUE1_HEAP);
  item->freeCallback = [](ZEQListItem* it, uintptr_t) -> int {
    underLock = current->lock->OwningThread == ULongToHandle(GetCurrentThreadId());
    seenValue = it->value1;
    HeapFreeZ(reinterpret_cast<void*>(it->value1));  // the callback owns the value now
    return 1;
  };
  const uintptr_t value = item->value1;
  list.RemoveAt(0);
  EXPECT_TRUE(underLock);
  EXPECT_EQ(value, seenValue);
}

TEST(List, AThrowingCallbackLeavesTheLock) {
  ZEQList list;
  ZEQListItem* item = list.InsertNamed("k", 0, 0, 0, 0);
  item->freeCallback = [](ZEQListItem*, uintptr_t) -> int { throw 7; };
  EXPECT_THROW(list.RemoveAt(0), int);
  // Another thread can take the lock again.
  EXPECT_TRUE(RunOnThreads(1, [&list](int) { list.FindByName("k"); }, 10000));
  ExpectConsistent(list);
}

TEST(List, JoinKeys) {
  ZEQList list;
  list.InsertNamed("ab", 9, 0, 0, 0);
  list.InsertNamed("cd", 9, 0, 0, 0);
  char* text = nullptr;
  uint32_t length = 99;
  list.JoinKeys(&text, &length, ", ", 0);
  EXPECT_STREQ("ab, cd", text);
  EXPECT_EQ(4u, length);  // separators are not counted
  HeapFreeZ(text);
  list.JoinKeys(&text, &length, nullptr, 0);
  EXPECT_STREQ("abcd", text);
  EXPECT_EQ(4u, length);
  HeapFreeZ(text);
  // Byte keys are copied by their length.
  list.Insert("xyz", 2, 9, 0, 0, 0, nullptr);
  list.JoinKeys(&text, &length, nullptr, 0);
  EXPECT_STREQ("abcdxy", text);
  HeapFreeZ(text);
  // Releasing leaves the items without keys.
  list.JoinKeys(&text, &length, "-", 1);
  EXPECT_STREQ("ab-cd-xy", text);
  HeapFreeZ(text);
  EXPECT_EQ(3, list.count);
  EXPECT_EQ(0u, list.keyBytes);
  EXPECT_EQ(",,", KeysOf(list));
  ExpectConsistent(list);

  // Pointer keys have no bytes to join, even when flagged as text.
  ZEQList pointers;
  pointers.SetByPointer(1, 0, 0);
  pointers.SetByPointer(2, 0, 0);
  EXPECT_EQ(",", KeysOf(pointers));
}

TEST(List, GuardFlagsRefuseQuietly) {
  ZEQList list;
  list.SetByName("a", 1, 0, 0, 0);
  list.closed = 1;
  EXPECT_EQ(nullptr, list.InsertNamed("b", 0, 0, 0, 0));
  EXPECT_EQ(nullptr, list.SetByName("b", 0, 0, 0, 0));
  EXPECT_NE(nullptr, list.SetByName("a", 2, 0, 0, 0));  // replacing is not inserting
  list.closed = 0;
  list.busy = 1;
  EXPECT_EQ(0u, list.GetAt(0, true));
  EXPECT_EQ(0u, list.GetValueAt(0));
  list.busy = 0;
  list.frozen = 1;
  EXPECT_EQ(nullptr, list.SetAt("a", 2, 0, 3, 0, ZEQLIST_TEXT_KEY, nullptr));
  EXPECT_EQ(nullptr, list.SetByName("a", 3, 0, 0, 0));
  EXPECT_EQ(2u, list.GetValueAt(0));
  list.frozen = 0;
  EXPECT_EQ(0u, list.GetAt(1, true));
  EXPECT_EQ(0u, list.GetAt(-1, false));
}

TEST(List, SetAtWithAReplacementItem) {
  int calls = 0;
  ZEQList list;
  list.InsertNamed("a", 9, 0, 0, 0);
  ZEQListItem* old = list.InsertNamed("b", 9, 0, 0, 0);
  old->freeCallback = CountingFree;
  old->freeContext = reinterpret_cast<uintptr_t>(&calls);
  const uint32_t sequence = old->sequence;
  ZEQListItem* replacement = ZEQList::NewItem();
  EXPECT_EQ(nullptr, list.SetAt("c", 2, 2, 0, 0, ZEQLIST_TEXT_KEY, replacement));
  EXPECT_EQ(replacement, list.SetAt("c", 2, 1, 5, 0, ZEQLIST_TEXT_KEY, replacement));
  EXPECT_EQ(1, calls);  // the old contents, through the old callback
  EXPECT_EQ(replacement, list.tail);
  EXPECT_EQ(sequence, replacement->sequence);
  EXPECT_EQ(CountingFree, replacement->freeCallback);
  EXPECT_EQ(1, replacement->position);
  EXPECT_EQ("a,c", KeysOf(list));
  ExpectConsistent(list);
  list.RemoveAt(1);
  EXPECT_EQ(2, calls);

  // An item's own key may be passed back in.
  ZEQListItem* a = list.GetItemAt(0);
  ASSERT_EQ(a, list.SetAt(a->KeyText(), a->keyLength, 0, 9, 0, ZEQLIST_TEXT_KEY, nullptr));
  EXPECT_STREQ("a", a->KeyText());
  EXPECT_EQ(9u, list.GetValueAt(0));
}

TEST(List, CreationAndValidation) {
  ZEQList* list = nullptr;
  ZEQList::New(&list);
  ASSERT_NE(nullptr, list);
  ZEQListItem* item = list->InsertNamed("k", 0, 0, 0, 0);
  EXPECT_TRUE(IsListItem(item));
  EXPECT_FALSE(IsListItem(list));
  EXPECT_FALSE(IsListItem(nullptr));
  EXPECT_EQ(0, item->header.serial);
  EXPECT_EQ(1u, item->sequence);
  auto* holder = static_cast<ZEQListHolder*>(HeapAllocZ(sizeof(ZEQListHolder)));
  holder->list = list;
  ZEQList::DeleteHolder(holder);
  ZEQList::DeleteHolder(nullptr);
  ZEQList::DeleteAt(nullptr);

  // A list in zeroed memory that was never constructed.
  void* raw = HeapAllocZ(sizeof(ZEQList));
  auto* inPlace = static_cast<ZEQList*>(raw);
  inPlace->Init();
  inPlace->InsertNamed("z", 0, 0, 0, 0);
  ExpectConsistent(*inPlace);
  inPlace->~ZEQList();
  HeapFreeZ(raw);
}
