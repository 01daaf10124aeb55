#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_defaults.h"
#include "package/definitions_list.h"
#include "definitions_test_support.h"

namespace {

// The keys of a list in list order.
std::vector<std::string> Keys(ZEQList* list) {
  std::vector<std::string> keys;
  for (int i = 0; i < list->count; ++i) keys.push_back(list->GetItemAt(i)->KeyText());
  return keys;
}

using definitions_test::Value;

class DefinitionsStore : public ::testing::Test {
 protected:
  void SetUp() override { list = DefinitionsList::Create(); }
  void TearDown() override { DefinitionsList::Delete(list); }
  DefinitionsList* list = nullptr;
};

TEST(SystemFontDefaults, FollowTheWindowsVersion) {
  const struct {
    bool vista, xp;
    const char* face;
    const char* height;
  } cases[] = {
      {true, true, "Segoe UI", "12"},  // Windows 7
      {false, true, "Tahoma", "11"},   // Windows XP and 2000
      {false, false, "Arial", "12"},
  };
  for (const auto& c : cases) {
    const SystemFontDefaults fonts = ChooseSystemFontDefaults(c.vista, c.xp);
    EXPECT_STREQ(c.face, fonts.face);
    EXPECT_STREQ(c.height, fonts.height);
  }
}

TEST_F(DefinitionsStore, NewListHoldsTheSystemFont) {
  const SystemFontDefaults fonts = CurrentSystemFontDefaults();
  EXPECT_EQ(fonts.face, Value(list, "system.font.face"));
  EXPECT_EQ(fonts.height, Value(list, "system.font.height"));
  EXPECT_EQ("400", Value(list, "system.font.weight"));
}

TEST_F(DefinitionsStore, KeysSortByteWiseSoSectionsPrecedeTheirChildren) {
  for (const char* key : {"a.c", "ab", "a.b.c", "a", "a-b", "a.b", "A"})
    DefinitionSetValue(list, key, "v");
  DefinitionRemove(list, "system.font.face");
  DefinitionRemove(list, "system.font.height");
  DefinitionRemove(list, "system.font.weight");
  EXPECT_EQ((std::vector<std::string>{"A", "a", "a-b", "a.b", "a.b.c", "a.c", "ab"}), Keys(list));
  // Case counts: "A" and "a" are two keys.
  EXPECT_EQ("v", Value(list, "A"));
  EXPECT_EQ("<absent>", Value(list, "B"));
}

TEST_F(DefinitionsStore, SectionAndNameJoinWithADot) {
  DefinitionSetValue(list, "window.width", "320");
  DefinitionSetValue(list, "top", "1");
  EXPECT_TRUE(DefinitionHasKey(list, "window", "width"));
  EXPECT_TRUE(DefinitionHasKey(list, "", "top"));
  EXPECT_TRUE(DefinitionHasKey(list, nullptr, "top"));
  EXPECT_FALSE(DefinitionHasKey(list, "window", "top"));
  char* key = MakeDefinitionKey("a.b", "c");
  EXPECT_STREQ("a.b.c", key);
  HeapFreeZ(key);
}

TEST_F(DefinitionsStore, ValuesReplaceAndNullStoresEmptyText) {
  DefinitionSetValue(list, "k", "one");
  DefinitionSetValue(list, "k", "two");
  EXPECT_EQ("two", Value(list, "k"));
  DefinitionSetValue(list, "k", nullptr);
  EXPECT_EQ("", Value(list, "k"));
  EXPECT_EQ(0, DefinitionSetValue(list, "", "x"));
  EXPECT_EQ(0, DefinitionSetOwned(list, nullptr, StrDupExtra("x", 0), nullptr));
  // A section entry has no value.
  DefinitionSetOwned(list, "section", nullptr, nullptr);
  EXPECT_EQ("<null>", Value(list, "section"));
  int found = 0;
  EXPECT_STREQ("dflt", DefinitionGetValue(list, "no", "such", "dflt", &found));
  EXPECT_EQ(0, found);
}

TEST(DefinitionIntegers, ReadSignsBasesAndFractions) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"0x1F", 31}, {"0X1f", 31}, {"017", 15}, {"x10", 16}, {"X10", 16}, {"-2.9", -2},
      {"+5", 5},    {"42", 42},   {"-7", -7},  {"12px", 12}, {"08", 0},  {"0", 0},
      {"", 0},      {"abc", 0},   {"2.5e1", 25}, {"-0x10", -16},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, ReadDefinitionInt(c.text)) << c.text;
}

TEST_F(DefinitionsStore, TypedReadersAnswerPresentValuesAndDefaults) {
  const struct {
    const char* text;
    int boolean;
    int alpha;
  } cases[] = {
      {"yes", 1, 0}, {"True", 1, 0}, {"TRUE", 1, 0}, {"1", 0, 2},  {"on", 0, 0},
      {"100", 0, 254}, {"50", 0, 127}, {"0", 0, 0}, {"no", 0, 0},
  };
  for (const auto& c : cases) {
    DefinitionSetValue(list, "s.v", c.text);
    int value = -1;
    EXPECT_EQ(1, DefinitionGetBool(list, "s", "v", &value, 7));
    EXPECT_EQ(c.boolean, value) << c.text;
    EXPECT_EQ(1, DefinitionGetAlpha(list, "s", "v", &value, 7));
    EXPECT_EQ(c.alpha, value) << c.text;
  }
  int value = 0;
  EXPECT_EQ(0, DefinitionGetBool(list, "s", "missing", &value, 7));
  EXPECT_EQ(7, value);
  EXPECT_EQ(0, DefinitionGetInt(list, "s", "missing", &value, -3));
  EXPECT_EQ(-3, value);
  DefinitionSetValue(list, "s.n", "0x20");
  EXPECT_EQ(1, DefinitionGetInt(list, "s", "n", &value, 0));
  EXPECT_EQ(32, value);

  uint32_t colour = 0;
  DefinitionSetValue(list, "s.c", "#FF0000 a128");
  EXPECT_EQ(1, DefinitionGetColor(list, "s", "c", &colour, 5, 1));
  EXPECT_EQ(0x80FF0000u, colour);
  EXPECT_EQ(1, DefinitionGetColor(list, "s", "c", &colour, 5, 0));
  EXPECT_EQ(0xFFFF0000u, colour);
  EXPECT_EQ(0, DefinitionGetColor(list, "s", "none", &colour, 5, 0));
  EXPECT_EQ(5u, colour);

  int rect[4];
  const int defaults[4] = {1, 2, 3, 4};
  DefinitionSetValue(list, "s.r", "10,20,30,40");
  EXPECT_EQ(1, DefinitionGetRect(list, "s", "r", rect, defaults));
  EXPECT_EQ((std::vector<int>{10, 20, 30, 40}), std::vector<int>(rect, rect + 4));
  EXPECT_EQ(0, DefinitionGetRect(list, "s", "none", rect, defaults));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), std::vector<int>(rect, rect + 4));
}

TEST_F(DefinitionsStore, GetStringCopiesCutAndTerminated) {
  DefinitionSetValue(list, "s.t", "abcdef");
  char buffer[4] = "xyz";
  EXPECT_EQ(1, DefinitionGetString(list, "s", "t", nullptr, buffer, sizeof buffer));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ(1, DefinitionGetString(list, "s", "none", "dd", buffer, sizeof buffer));
  EXPECT_STREQ("dd", buffer);
  EXPECT_EQ(0, DefinitionGetString(list, "s", "none", nullptr, buffer, sizeof buffer));
  EXPECT_EQ(1, DefinitionGetString(list, "s", "t", nullptr, nullptr, 0));
}

TEST_F(DefinitionsStore, SelectChildrenTakesDirectChildrenOnlyUnlessAsked) {
  for (const char* key : {"a", "a.b", "a.c", "a.b.c", "ab", "a-b", "a.d.e"})
    DefinitionSetValue(list, key, key);
  ZEQList* children = DefinitionSelectChildren(list, nullptr, "a", nullptr, false);
  ASSERT_NE(nullptr, children);
  EXPECT_EQ((std::vector<std::string>{"a.b", "a.c"}), Keys(children));
  // Values are the source's own blocks, not copies.
  EXPECT_EQ(list->GetItemAt(list->FindSortedByName("a.b", ZEQLIST_BYTES, 0))->value1,
            children->GetItemAt(0)->value1);
  ZEQList::Delete(children);
  EXPECT_EQ("a.b", Value(list, "a.b"));

  children = DefinitionSelectChildren(list, nullptr, "a", nullptr, true);
  EXPECT_EQ((std::vector<std::string>{"a.b", "a.b.c", "a.c", "a.d.e"}), Keys(children));
  ZEQList::Delete(children);

  children = DefinitionSelectChildren(list, nullptr, "a", "*.c", true);
  EXPECT_EQ((std::vector<std::string>{"a.b.c", "a.c"}), Keys(children));
  ZEQList::Delete(children);

  EXPECT_EQ(nullptr, DefinitionSelectChildren(list, nullptr, "a.d", nullptr, true));
}

TEST_F(DefinitionsStore, RemoveTreeTakesEverythingThatBeginsWithTheKey) {
  for (const char* key : {"a", "a.b", "a.b.c", "a.bc", "a.b-x", "a.c"}) DefinitionSetValue(list, key, "v");
  EXPECT_EQ(3, DefinitionRemoveTree(list, "a.b"));
  EXPECT_EQ("<absent>", Value(list, "a.b.c"));
  EXPECT_EQ("<absent>", Value(list, "a.bc"));
  EXPECT_EQ("v", Value(list, "a"));
  EXPECT_EQ("v", Value(list, "a.c"));
  EXPECT_EQ(0, DefinitionRemoveTree(list, "a.b"));
  EXPECT_EQ(1, DefinitionRemove(list, "a"));
  EXPECT_EQ(0, DefinitionRemove(list, "a"));
}

TEST_F(DefinitionsStore, CopyAllSkipsEntriesWithoutValueAndMergeDeletesMarkedTrees) {
  DefinitionsList* source = DefinitionsList::Create();
  DefinitionSetOwned(source, "sec", nullptr, nullptr);
  DefinitionSetOwned(source, "sec.k", StrDupExtra("v", 0), StrDupExtra("as written", 0));
  DefinitionsCopyAll(list, source);
  EXPECT_EQ("<absent>", Value(list, "sec"));
  EXPECT_EQ("v", Value(list, "sec.k"));
  EXPECT_STREQ("as written", reinterpret_cast<const char*>(
                                 list->GetItemAt(list->FindSortedByName("sec.k", 1, 0))->value2));

  // A derived list deletes the inherited image section and keeps the rest.
  DefinitionSetValue(list, "#class.image", "x");
  DefinitionSetValue(list, "#class.image.file", "y.png");
  DefinitionSetValue(list, "#class.width", "10");
  DefinitionsList* derived = DefinitionsList::Create();
  DefinitionSetOwned(derived, "#class.\x01--image", nullptr, nullptr);
  DefinitionSetOwned(derived, "#class.\x01---private", nullptr, nullptr);
  DefinitionSetValue(list, "#class.-private", "kept");
  DefinitionsMerge(list, derived);
  EXPECT_EQ("<absent>", Value(list, "#class.image"));
  EXPECT_EQ("<absent>", Value(list, "#class.image.file"));
  EXPECT_EQ("10", Value(list, "#class.width"));
  EXPECT_EQ("kept", Value(list, "#class.-private"));
  // Merged entries without a value arrive with an empty one.
  DefinitionsMerge(list, source);
  EXPECT_EQ("", Value(list, "sec"));
  DefinitionsList::Delete(derived);
  DefinitionsList::Delete(source);
}

TEST(PathAliasesTable, SetReplacesAndRefusesEmptyNames) {
  EXPECT_FALSE(SetPathAlias("", "C:\\x", 1));
  EXPECT_FALSE(SetPathAlias(nullptr, "C:\\x", 1));
  EXPECT_TRUE(SetPathAlias("test-alias", "C:\\one", 1));
  EXPECT_TRUE(SetPathAlias("test-alias", "C:\\two", 2));
  ZEQList* aliases = PathAliases();
  const int at = aliases->FindSortedByName("test-alias", ZEQLIST_BYTES, 0);
  ASSERT_GE(at, 0);
  EXPECT_STREQ("C:\\two", reinterpret_cast<const char*>(aliases->GetItemAt(at)->value1));
  EXPECT_EQ(2u, aliases->GetItemAt(at)->value2);
  aliases->RemoveAt(at);
}

}  // namespace
