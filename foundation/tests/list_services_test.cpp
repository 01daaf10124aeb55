#include <gtest/gtest.h>

#include <cstring>

#include "foundation/list_services.h"
#include "foundation/static_lists.h"

namespace {

class ListServices : public ::testing::Test {
 protected:
  void SetUp() override { ZEQList::Create(&list_); }
  void TearDown() override { ZEQList::DeleteAt(&list_); }
  const char* Text(const char* key, int* found = nullptr) {
    return reinterpret_cast<const char*>(ZEQListGetValueByName(list_, key, 0, found));
  }
  ZEQList* list_ = nullptr;
};

TEST_F(ListServices, SetStringByNameUpsertsAHeapCopyIgnoringCase) {
  char value[] = "first";
  ASSERT_TRUE(ZEQListSetStringByName(list_, "Section:Key", value));
  value[0] = 'X';  // the list holds its own copy
  EXPECT_STREQ("first", Text("section:key"));
  ASSERT_TRUE(ZEQListSetStringByName(list_, "SECTION:KEY", "second"));
  EXPECT_EQ(1, list_->count);
  EXPECT_STREQ("second", Text("Section:Key"));
  ASSERT_TRUE(ZEQListSetStringByName(list_, "a:b", nullptr));
  EXPECT_STREQ("", Text("a:b"));

  EXPECT_FALSE(ZEQListSetStringByName(nullptr, "k", "v"));
  EXPECT_FALSE(ZEQListSetStringByName(list_, "", "v"));
  EXPECT_FALSE(ZEQListSetStringByName(list_, nullptr, "v"));
  EXPECT_EQ(2, list_->count);
}

TEST_F(ListServices, GetValueByNameTable) {
  ZEQListSetStringByName(list_, "s:k", "value");
  struct {
    ZEQList* list;
    const char* name;
    int found;
  } cases[] = {
      {list_, "s:k", 1},   {list_, "S:K", 1},    {list_, "s:kk", 0}, {list_, "s:", 0},
      {list_, "", 0},      {list_, nullptr, 0},  {nullptr, "s:k", 0},
  };
  for (const auto& c : cases) {
    int found = -1;
    uintptr_t value = ZEQListGetValueByName(c.list, c.name, 77, &found);
    EXPECT_EQ(c.found, found) << (c.name ? c.name : "(null)");
    if (c.found) {
      EXPECT_STREQ("value", reinterpret_cast<const char*>(value));
    } else {
      EXPECT_EQ(77u, value);
    }
  }
}

TEST_F(ListServices, NameShortcutsAlsoWorkOnAnUnsortedList) {
  list_->InsertNamed("Zeta", 0x7FFFFFFF, 1, 0, 0);
  list_->InsertNamed("alpha", 0x7FFFFFFF, 2, 0, 0);
  int found = 0;
  EXPECT_EQ(2u, ZEQListGetValueByName(list_, "ALPHA", 0, &found));
  EXPECT_EQ(1, found);
  EXPECT_EQ(1, ZEQListRemoveByName(list_, "zeta"));
  EXPECT_EQ(0, ZEQListRemoveByName(list_, "zeta"));
  ListRemoveByName(list_, "Alpha");
  EXPECT_EQ(0, list_->count);
}

TEST_F(ListServices, RemovalByNameAndIndex) {
  for (const char* key : {"c", "a", "b"}) ZEQListSetStringByName(list_, key, key);
  EXPECT_EQ(1, ZEQListRemoveByName(list_, "B"));
  EXPECT_EQ(0, ZEQListRemoveByName(list_, "b"));
  EXPECT_EQ(0, ZEQListRemoveByName(list_, ""));
  EXPECT_EQ(0, ZEQListRemoveByName(nullptr, "a"));
  ListRemoveByName(list_, "missing");
  EXPECT_EQ(2, list_->count);

  EXPECT_EQ(0, ListRemoveAtLocked(&list_, 2));
  EXPECT_EQ(0, ListRemoveAtLocked(&list_, -1));
  EXPECT_EQ(1, ListRemoveAtLocked(&list_, 0));
  EXPECT_STREQ("c", Text("c"));
  ZEQList* none = nullptr;
  EXPECT_EQ(0, ListRemoveAtLocked(&none, 0));
  EXPECT_EQ(0, ListRemoveAtLocked(nullptr, 0));
}

// The tests keep each item's lifetime in its second value.
uint32_t SecondValueLifetime(const ZEQListItem* item) { return static_cast<uint32_t>(item->value2); }

int CountFrees(ZEQListItem*, uintptr_t context) {
  ++*reinterpret_cast<int*>(context);
  return 1;
}

TEST_F(ListServices, SweepRemovesItemsThatReachedTheirLifetime) {
  struct {
    const char* key;
    uint32_t lifetime;
    DWORD age;
    bool kept;
  } cases[] = {
      {"a-forever", kZEQNoExpiry, 0x7FFFFFFF, true},
      {"b-expired", 1000, 5000, false},
      {"c-expired", 1000, 1000, false},  // right after "b": both go
      {"d-young", 60000, 1000, true},
      {"e-zero", 0, 0, false},
      {"f-forever", kZEQNoExpiry, 40000, true},
  };
  int frees = 0;
  DWORD now = GetTickCount();
  for (const auto& c : cases) {
    ZEQListItem* item = list_->SetByName(c.key, 0, c.lifetime, ZEQLIST_BYTES, 0);
    ASSERT_NE(nullptr, item);
    item->tick = now - c.age;
    item->freeCallback = &CountFrees;
    item->freeContext = reinterpret_cast<uintptr_t>(&frees);
  }
  EXPECT_EQ(3, PurgeExpiredItems(list_, &SecondValueLifetime));
  EXPECT_EQ(3, frees);
  for (const auto& c : cases) {
    int found = 0;
    ZEQListGetValueByName(list_, c.key, 0, &found);
    EXPECT_EQ(c.kept ? 1 : 0, found) << c.key;
  }
  EXPECT_EQ(0, PurgeExpiredItems(nullptr, &SecondValueLifetime));
  EXPECT_EQ(0, PurgeExpiredItems(list_, nullptr));
}

TEST_F(ListServices, SweepTimerWalksTheRegisteredList) {
  ZEQListItem* item = list_->SetByName("old", 0, 10, ZEQLIST_BYTES, 0);
  item->tick = GetTickCount() - 100;
  PurgeExpiredListItems(nullptr, WM_TIMER, 0, 0);  // nothing registered yet
  EXPECT_EQ(1, list_->count);
  ZEQRegisterExpiringList(list_, &SecondValueLifetime);
  PurgeExpiredListItems(nullptr, WM_TIMER, 0, 0);
  EXPECT_EQ(0, list_->count);
  ZEQRegisterExpiringList(nullptr, nullptr);
}

TEST(StaticLists, MountListExistsFromTheStartAndIsUsable) {
  ZEQList* list = VFSMountList();
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(list, VFSMountList());
  EXPECT_EQ(0, list->count);
  ASSERT_NE(nullptr, list->SetByName("zeq\\app\\index.html", 0, 0, ZEQLIST_NOCASE, 0));
  EXPECT_EQ(0, list->FindSortedByName("ZEQ\\APP\\INDEX.HTML", ZEQLIST_NOCASE, 0));
  list->Clear(false);
}

}  // namespace
