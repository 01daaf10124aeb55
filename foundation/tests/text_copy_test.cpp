#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text.h"
#include "text_test_util.h"

TEST(TextCopy, DuplicatesWithRoom) {
  HeapText<char> copy(StrDupExtra("abc", 5));
  EXPECT_STREQ("abc", copy.get());
  EXPECT_GE(HeapBlockSize(copy.get()), 9u);
  for (int i = 3; i < 9; ++i) EXPECT_EQ(0, copy.get()[i]);
  HeapText<char> empty(StrDupExtra(nullptr, 0));
  EXPECT_STREQ("", empty.get());
  HeapText<wchar_t> wide(WideStrDupEx(L"xy", 2));
  EXPECT_STREQ(L"xy", wide.get());
  EXPECT_GE(HeapBlockSize(wide.get()), 5 * sizeof(wchar_t));
  EXPECT_EQ(nullptr, WideStrDupEx(nullptr, 2));
  HeapText<void> bytes(MemDup("a\0b", 3));
  EXPECT_EQ(0, memcmp("a\0b", bytes.get(), 3));
  HeapText<char> printed(HeapPrintf(4, "%s=%d;%zu", "n", -5, size_t(7)));
  EXPECT_STREQ("n=-5;7", printed.get());
  EXPECT_GE(HeapBlockSize(printed.get()), 11u);
}

TEST(TextCopy, StrCopyNStaysInItsBuffer) {
  char buffer[8];
  memset(buffer, '#', sizeof(buffer));
  EXPECT_STREQ("abc", StrCopyN(buffer, "abcdef", 3));
  EXPECT_EQ('#', buffer[4]);
  EXPECT_STREQ("ab", StrCopyN(buffer, "ab", 6));
  memset(buffer, '#', sizeof(buffer));
  StrCopyN(buffer, nullptr, 6);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(0, buffer[i]);
  EXPECT_EQ('#', buffer[7]);
  strcpy(buffer, "same");
  EXPECT_STREQ("same", StrCopyN(buffer, buffer, 2));
  // Never reads past the source's terminator.
  GuardedText text("xy");
  EXPECT_STREQ("xy", StrCopyN(buffer, text.get(), 6));
}

TEST(TextCopy, LinesAroundAPosition) {
  const char* text = "first\r\n  second line \nthird";
  HeapText<char> line(GetLineAt(strstr(text, "line"), text, 1));
  EXPECT_STREQ("second line", line.get());
  HeapText<char> raw(GetLineAt(strstr(text, "line"), text, 0));
  EXPECT_STREQ("  second line ", raw.get());
  HeapText<char> first(GetLineAt(text, text, 0));
  EXPECT_STREQ("first", first.get());
  HeapText<char> last(GetLineAt(strstr(text, "ird"), text, 0));
  EXPECT_STREQ("third", last.get());
  EXPECT_EQ(nullptr, GetLineAt(nullptr, text, 0));
}

TEST(TextCopy, SplittingIntoParts) {
  const struct {
    const char* text;
    size_t n;
    std::vector<const char*> parts;
  } cases[] = {
      {"path , options, more", 2, {"path", "options, more"}},
      {" \"a,b\" , c", 2, {"\"a,b\"", "c"}},
      {"only", 2, {"only"}},
      {"a,", 2, {"a", ""}},
      {"a,b,c", 3, {"a", "b", "c"}},
      {"a,b,c", 1, {"a,b,c"}},
      {"", 2, {""}},
  };
  for (const auto& c : cases) {
    char* parts[3] = {reinterpret_cast<char*>(1), reinterpret_cast<char*>(1),
                      reinterpret_cast<char*>(1)};
    size_t made = StrSplitToParts(c.text, ',', c.n, parts);
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.parts.size(), made);
    for (size_t i = 0; i < made; ++i) EXPECT_STREQ(c.parts[i], parts[i]);
    for (size_t i = made; i < c.n; ++i) EXPECT_EQ(nullptr, parts[i]);
    for (size_t i = 0; i < made; ++i) HeapFreeZ(parts[i]);
  }
  char* none[2];
  EXPECT_EQ(0u, StrSplitToParts(nullptr, ',', 2, none));
  EXPECT_EQ(nullptr, none[0]);
}

TEST(TextCopy, DelimitedFields) {
  const wchar_t* text = L"plain,\"quo,ted\"\"x\",\"multi\r\nline\"\r\nnext;row,\"open";
  wchar_t* field = nullptr;
  size_t capacity = 0;
  std::vector<std::wstring> fields;
  std::wstring enders;
  const wchar_t* p = text;
  for (;;) {
    const wchar_t* end = ReadDelimitedFieldW(&field, p, L',', &capacity);
    fields.push_back(field);
    if (!end) break;
    enders += *end;
    p = end + 1;
    if (*end == L'\r' && *p == L'\n') ++p;
  }
  HeapFreeZ(field);
  std::vector<std::wstring> expected = {L"plain", L"quo,ted\"x", L"multi\r\nline", L"next;row", L"open"};
  EXPECT_EQ(expected, fields);
  EXPECT_EQ(L",,\r,", enders);
}

TEST(TextCopy, DelimitedFieldsGrowTheBuffer) {
  std::wstring longField(5000, L'w');
  std::wstring text = L"\"" + longField + L"\",next";
  wchar_t* field = nullptr;
  size_t capacity = 0;
  const wchar_t* end = ReadDelimitedFieldW(&field, text.c_str(), L',', &capacity);
  ASSERT_NE(nullptr, end);
  EXPECT_EQ(L',', *end);
  EXPECT_EQ(longField, std::wstring(field));
  EXPECT_GT(capacity, longField.size());
  EXPECT_EQ(0u, capacity % 1024);
  EXPECT_GE(HeapBlockSize(field), capacity * sizeof(wchar_t));
  HeapFreeZ(field);
}

TEST(TextCopy, CopyWide512) {
  wchar_t destination[512];
  EXPECT_EQ(S_OK, CopyWide512(L"short", destination));
  EXPECT_STREQ(L"short", destination);
  std::wstring fits(511, L'a');
  EXPECT_EQ(S_OK, CopyWide512(fits.c_str(), destination));
  EXPECT_EQ(fits, std::wstring(destination));
  std::wstring overflow(600, L'b');
  EXPECT_EQ(HRESULT(0x8007007A), CopyWide512(overflow.c_str(), destination));
  EXPECT_EQ(std::wstring(511, L'b'), std::wstring(destination));
}
