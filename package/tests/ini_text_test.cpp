// The INI line grammar: sections, key lines, trimming, replacement, line
// ends and names of any length.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "package/ini_text.h"

namespace {

using Entries = std::map<std::string, std::string>;

// Every entry; a section entry shows as "<section>".
Entries EntriesOf(ZEQList* list) {
  Entries entries;
  for (int i = 0; list && i < list->count; ++i) {
    const ZEQListItem* item = list->GetItemAt(i);
    entries[item->KeyText()] = item->value1 ? reinterpret_cast<const char*>(item->value1) : "<section>";
  }
  return entries;
}

struct INICase {
  const char* name;
  std::string text;
  bool skipAtKeys;
  Entries expected;
};

const INICase kCases[] = {
    {"SectionAndTrimmedKey", "[S]\r\n k = v \r\n", false, {{"S", "<section>"}, {"S:k", "v"}}},
    {"KeyWithoutValueIsIgnored", "[S]\r\nk2=\r\nk=1\r\n", false, {{"S", "<section>"}, {"S:k", "1"}}},
    {"KeyBeforeAnySectionIsIgnored", "k3=v\r\n[S]\r\n", false, {{"S", "<section>"}}},
    {"BlankValueIsStoredEmpty", "[S]\r\nk = \r\n", false, {{"S", "<section>"}, {"S:k", ""}}},
    {"LaterLineReplacesInAnyCase", "[S]\r\nKey=1\r\nkey=2\r\n", false, {{"S", "<section>"}, {"S:key", "2"}}},
    {"SemicolonLinesAreKeys", "[S]\r\n;note=x\r\n; plain comment\r\n", false, {{"S", "<section>"}, {"S:;note", "x"}}},
    {"KeysWithBlanks", "[My Section]\r\nfull name = Ann Lee\r\n", false,
     {{"My Section", "<section>"}, {"My Section:full name", "Ann Lee"}}},
    {"FirstEqualsSplits", "[S]\r\nk=a=b\r\n", false, {{"S", "<section>"}, {"S:k", "a=b"}}},
    {"EmptySectionNameStopsKeys", "[S]\r\na=1\r\n[ ]\r\nb=2\r\n", false, {{"S", "<section>"}, {"S:a", "1"}}},
    {"SectionNameUpToFirstBracket", "[S]x]\r\nk=v\r\n", false, {{"S", "<section>"}, {"S:k", "v"}}},
    {"UnclosedSectionRunsToLineEnd", "[ Open \r\nk=v\r\n", false, {{"Open", "<section>"}, {"Open:k", "v"}}},
    {"LoneBracketsAreNoSection", "[S]\r\n[]\r\nk=v\r\n", false, {{"S", "<section>"}, {"S:k", "v"}}},
    {"AtKeysKeptWithoutTheFlag", "[S]\r\n@k=v\r\n", false, {{"S", "<section>"}, {"S:@k", "v"}}},
    {"AtKeysDroppedWithTheFlag", "[S]\r\n@k=v\r\nj=w\r\n", true, {{"S", "<section>"}, {"S:j", "w"}}},
    {"LineFeedsEndLines", "[S]\nk=v\n[T]\nj=w\n", false,
     {{"S", "<section>"}, {"S:k", "v"}, {"T", "<section>"}, {"T:j", "w"}}},
    {"LoneCarriageReturnsEndLines", "[S]\rk=v\r", false, {{"S", "<section>"}, {"S:k", "v"}}},
    {"LastLineWithoutEnd", "[S]\r\nk=v", false, {{"S", "<section>"}, {"S:k", "v"}}},
    {"NothingAtAll", "", false, {}},
};

class INIText : public ::testing::TestWithParam<INICase> {};

TEST_P(INIText, ParsesIntoKeyedEntries) {
  const INICase& c = GetParam();
  ZEQList* list = ParseINITextBuffer(c.text.data(), c.text.size(), c.skipAtKeys);
  ASSERT_TRUE(list);
  EXPECT_EQ(c.expected, EntriesOf(list));
  ZEQList::Delete(list);
}

INSTANTIATE_TEST_SUITE_P(Lines, INIText, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<INICase>& info) { return info.param.name; });

TEST(INITextLimits, NamesAndValuesOfAnyLengthAreKeptWhole) {
  const std::string section(3000, 's');
  const std::string key(5000, 'k');
  const std::string value(70000, 'v');
  const std::string text = "[" + section + "]\r\n" + key + "=" + value + "\r\n";
  ZEQList* list = ParseINITextBuffer(text.data(), text.size(), false);
  ASSERT_TRUE(list);
  const Entries entries = EntriesOf(list);
  ASSERT_EQ(1u, entries.count(section + ":" + key));
  EXPECT_EQ(value, entries.at(section + ":" + key));
  ZEQList::Delete(list);
}

TEST(INITextLimits, TextStopsAtAnEmbeddedTerminator) {
  const std::string text("[S]\r\nk=v\r\n\0[T]\r\nj=w\r\n", 21);
  ZEQList* list = ParseINITextBuffer(text.data(), text.size(), false);
  ASSERT_TRUE(list);
  EXPECT_EQ((Entries{{"S", "<section>"}, {"S:k", "v"}}), EntriesOf(list));
  ZEQList::Delete(list);
}

TEST(INITextSource, TextIsCopiedAndAMissingFileGivesNoList) {
  ZEQList* list = ParseINIText("[A]\r\nb=c\r\n", false, false);
  ASSERT_TRUE(list);
  EXPECT_EQ((Entries{{"A", "<section>"}, {"A:b", "c"}}), EntriesOf(list));
  ZEQList::Delete(list);
  EXPECT_EQ(nullptr, ParseINIText("C:\\no such folder\\none.ini", false, true));
}

}  // namespace
