#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definition_references.h"
#include "package/definitions_defaults.h"
#include "package/definitions_list.h"
#include "definitions_test_support.h"

namespace {

using definitions_test::Value;

// The global dictionary is process-wide: each test puts its own in place and
// puts the previous one back.
class References : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = GetGlobalDictionary();
    dictionary = DefinitionsList::Create();
    SetGlobalDictionary(dictionary);
    list = DefinitionsList::Create();
  }
  void TearDown() override {
    SetGlobalDictionary(saved);
    DefinitionsList::Delete(dictionary);
    DefinitionsList::Delete(list);
  }

  int ExpandDefinitions(const std::string& text, std::string* out, std::string* before = nullptr) {
    char* block = StrDupExtra(text.c_str(), 0);
    char* copy = nullptr;
    size_t length = text.size();
    const int result = ExpandDefinitionReferences(list, &block, before ? &copy : nullptr, &length);
    *out = std::string(block, length);
    EXPECT_EQ(strlen(block), length);
    if (before) *before = copy ? copy : "<none>";
    HeapFreeZ(copy);
    HeapFreeZ(block);
    return result;
  }

  std::string ExpandDictionary(const std::string& text, int mode = kDictionaryValueBytes) {
    char* block = StrDupExtra(text.c_str(), 0);
    size_t length = text.size();
    EXPECT_EQ(1, ProcessDictionaryReferences(&block, &length, mode));
    std::string out(block, length);
    HeapFreeZ(block);
    return out;
  }

  DefinitionsList* saved = nullptr;
  DefinitionsList* dictionary = nullptr;
  DefinitionsList* list = nullptr;
};

TEST_F(References, DefinitionReferenceForms) {
  const std::string face = CurrentSystemFontDefaults().face;
  DefinitionSetValue(list, "color.main", "#0080FF");
  DefinitionSetValue(list, "empty", "");
  DefinitionSetOwned(list, "section", nullptr, nullptr);
  const struct {
    const char* text;
    std::string expected;
    int result;
  } cases[] = {
      {"@@color.main", "#0080FF", 0},
      {"font @@system.font.face.", "font " + face + ".", 0},
      {"@@color.main@@px", "#0080FFpx", 0},
      {"(@@color.main)", "(#0080FF)", 0},
      {"a@@color.main,b", "a#0080FF,b", 0},
      {"@@nosuch then @@system.font.face", "@@nosuch then @@system.font.face", 2},
      {"@@system.font.face then @@nosuch @@color.main", face + " then @@nosuch @@color.main", 2},
      {"@@ alone @@", "@@ alone @@", 0},
      {"@@empty and @@section stay", "@@empty and @@section stay", 0},
      {"no references", "no references", 0},
      {"mail@@", "mail@@", 0},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(c.result, ExpandDefinitions(c.text, &out)) << c.text;
    EXPECT_EQ(c.expected, out) << c.text;
  }
}

TEST_F(References, InsertedValuesAreNotScannedAgain) {
  DefinitionSetValue(list, "a", "@@b");
  DefinitionSetValue(list, "b", "B");
  DefinitionSetValue(list, "loop", "<@@loop>");
  std::string out;
  EXPECT_EQ(0, ExpandDefinitions("@@a @@loop", &out));
  EXPECT_EQ("@@b <@@loop>", out);
}

TEST_F(References, CopyHoldsTheTextAsWritten) {
  DefinitionSetValue(list, "k", "v");
  std::string out, before;
  ExpandDefinitions("x @@k", &out, &before);
  EXPECT_EQ("x v", out);
  EXPECT_EQ("x @@k", before);
  ExpandDefinitions("plain", &out, &before);
  EXPECT_EQ("<none>", before);
}

TEST_F(References, DictionaryReferenceForms) {
  DefinitionSetValue(dictionary, "greeting", "Ol\xC3\xA1");
  DefinitionSetValue(dictionary, "blank", "");
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%[[greeting]]%!", "Ol\xC3\xA1!"},
      {"%[d[greeting]]%", "Ol\xC3\xA1"},
      {"%[t[greeting]]%%[n[greeting]]%%[$[greeting]]%", "Ol\xC3\xA1Ol\xC3\xA1Ol\xC3\xA1"},
      {"%[q[greeting]]%", "%[q[greeting]]%"},
      {"%[[missing]]%", "%[[missing]]%"},
      {"%[[greeting", "%[[greeting"},
      {"%[[blank]]%", "%[[blank]]%"},
      {"%[[missing %[[greeting]]%", "%[[missing Ol\xC3\xA1"},
      {"a%[b", "a%[b"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ExpandDictionary(c.text)) << c.text;
  // Mode 1 converts the value to the ANSI code page.
  EXPECT_EQ("Ol\xE1", ExpandDictionary("%[[greeting]]%", kDictionaryValueAnsi));
}

TEST_F(References, WithoutADictionaryNothingIsReplaced) {
  SetGlobalDictionary(nullptr);
  EXPECT_EQ("%[[greeting]]%", ExpandDictionary("%[[greeting]]%"));
}

TEST_F(References, ReplaceBufferSpanGrowsAndShrinks) {
  char* text = StrDupExtra("0123456789", 0);
  size_t length = 10;
  EXPECT_EQ(7u, ReplaceBufferSpan(&text, &length, 2, 3, "abcde", 5));
  EXPECT_STREQ("01abcde56789", text);
  EXPECT_EQ(12u, length);
  EXPECT_EQ(1u, ReplaceBufferSpan(&text, &length, 0, 5, "X", 1));
  EXPECT_STREQ("Xde56789", text);
  EXPECT_EQ(8u, length);
  HeapFreeZ(text);
}

TEST_F(References, StoreEntryExpandsResolvesMetaAndPublishesVariables) {
  const DefinitionsSourceNames names = {"blue", "skins"};
  DefinitionSetValue(list, "base", "red");
  EXPECT_EQ(1, DefinitionStoreEntry(&names, "a", list, StrDupExtra("@@base!", 0), false));
  EXPECT_EQ("red!", Value(list, "a"));
  const ZEQListItem* item = list->GetItemAt(list->FindSortedByName("a", ZEQLIST_BYTES, 0));
  EXPECT_STREQ("@@base!", reinterpret_cast<const char*>(item->value2));

  DefinitionStoreEntry(&names, "file", list, StrDupExtra("@meta.file.name", 0), false);
  DefinitionStoreEntry(&names, "folder", list, StrDupExtra("@meta.file.parent.name", 0), false);
  DefinitionStoreEntry(&names, "other", list, StrDupExtra("@meta.file.Name", 0), false);
  EXPECT_EQ("blue", Value(list, "file"));
  EXPECT_EQ("skins", Value(list, "folder"));
  EXPECT_EQ("@meta.file.Name", Value(list, "other"));
  EXPECT_EQ("<absent>", Value(dictionary, "file"));

  EXPECT_EQ(1, DefinitionStoreEntry(&names, "var", list, StrDupExtra("v", 0), true));
  EXPECT_EQ("v", Value(dictionary, "var"));
  EXPECT_EQ(0, DefinitionStoreEntry(&names, "", list, StrDupExtra("v", 0), true));

  // Storing into the dictionary itself makes no second copy.
  EXPECT_EQ(1, DefinitionStoreEntry(nullptr, "d", dictionary, StrDupExtra("x", 0), true));
  EXPECT_EQ("x", Value(dictionary, "d"));

  // Without a dictionary, a variable makes one.
  SetGlobalDictionary(nullptr);
  DefinitionStoreEntry(nullptr, "made", list, StrDupExtra("m", 0), true);
  ASSERT_NE(nullptr, GetGlobalDictionary());
  EXPECT_EQ("m", Value(GetGlobalDictionary(), "made"));
  DefinitionsList::Delete(GetGlobalDictionary());
}

}  // namespace
