#include <gtest/gtest.h>

#include <string>

#include "foundation/text.h"
#include "text_test_util.h"

namespace {

// Position of a search result as an offset, -1 for none.
template <typename C>
ptrdiff_t At(const C* text, const C* found) {
  return found ? found - text : -1;
}

}  // namespace

TEST(TextSearch, NarrowSearches) {
  const char* t = "Name=\"a,B\" , b;c";
  EXPECT_EQ(7, At(t, StrStrNoCase(t, ",b")));
  EXPECT_EQ(-1, At(t, StrStrSafe(t, ",b")));
  EXPECT_EQ(7, At(t, StrStrSafe(t, ",B")));
  EXPECT_EQ(nullptr, StrStrSafe(nullptr, "a"));
  EXPECT_EQ(nullptr, StrStrSafe(t, nullptr));
  EXPECT_EQ(nullptr, StrStrNoCase(nullptr, "a"));

  EXPECT_EQ(7, At(t, StrFindOutsideQuotes(",;", t, true, false)));
  EXPECT_EQ(11, At(t, StrFindOutsideQuotes(",;", t, true, true)));
  EXPECT_EQ(0, At(t, StrFindOutsideQuotes("n", t, false, true)));
  EXPECT_EQ(-1, At(t, StrFindOutsideQuotes("n", t, true, true)));
  // An escaped quote neither opens nor closes a span.
  const char* e = "x\\\"a,b";
  EXPECT_EQ(4, At(e, StrFindOutsideQuotes(",", e, true, true)));

  EXPECT_EQ(12, At(t, StrFindNoCaseOutsideQuotes(t, " B", true)));
  EXPECT_EQ(8, At(t, StrFindNoCaseOutsideQuotes(t, "B", false)));
  EXPECT_EQ(13, At(t, StrFindOutsideQuotes2(t, "b")));
  EXPECT_EQ(-1, At(t, StrFindOutsideQuotes2(t, "B")));

  EXPECT_EQ(3u, StrCountChar("aAbA", 'a', false));
  EXPECT_EQ(1u, StrCountChar("aAbA", 'a', true));
  EXPECT_EQ(1, At("xAa", StrFindChar("xAa", 'a', false)));
  EXPECT_EQ(2, At("xAa", StrFindChar("xAa", 'a', true)));
  EXPECT_EQ(3, At("a,b,c,d", StrFindNthChar("a,b,c,d", ',', 2, true)));
  EXPECT_EQ(nullptr, StrFindNthChar("a,b", ',', 2, true));
  EXPECT_EQ(nullptr, StrFindNthChar("a,b", ',', 0, true));
}

TEST(TextSearch, WideSearchesByMode) {
  const wchar_t* t = L"\x00E9tE 'x;y' \"Z;w\" ;E";
  EXPECT_EQ(2, At(t, StrStrNoCaseW(t, L"e ")));
  EXPECT_EQ(0, At(t, StrFindW(t, L"\x00E9T", 0)));
  EXPECT_EQ(-1, At(t, StrFindW(t, L"\x00E9T", kFindCaseSensitive)));
  EXPECT_EQ(16, At(t, StrFindW(t, L";e", kFindSkipDoubleQuotes)));
  EXPECT_EQ(6, At(t, StrFindCharOutsideQuotesW(L';', t, 0)));
  EXPECT_EQ(12, At(t, StrFindCharOutsideQuotesW(L';', t, kFindSkipSingleQuotes)));
  EXPECT_EQ(16, At(t, StrFindCharOutsideQuotesW(L';', t, kFindSkipSingleQuotes | kFindSkipDoubleQuotes)));
  EXPECT_EQ(11, At(t, StrFindOutsideQuotesW(L"wz", t, kFindSkipSingleQuotes)));
  EXPECT_EQ(13, At(t, StrFindOutsideQuotesW(L"wz", t, kFindCaseSensitive | kFindSkipSingleQuotes)));
  EXPECT_EQ(-1, At(t, StrFindOutsideQuotesW(L"wz", t, kFindSkipSingleQuotes | kFindSkipDoubleQuotes)));
  EXPECT_EQ(1, At(t, StrFindCharW(t, L'T', false)));
  EXPECT_EQ(-1, At(t, StrFindCharW(t, L'T', true)));
}

TEST(TextEdit, TrimmingAndUnquoting) {
  const struct {
    const char* in;
    const char* trimmed;
    const char* unquoted;
  } cases[] = {
      {" \t a b \t", "a b", "a b"},
      {"  \"quoted\"  ", "\"quoted\"", "quoted"},
      {"'mixed\"", "'mixed\"", "mixed"},
      {"\"", "\"", "\""},
      {"\"a", "\"a", "\"a"},
      {"", "", ""},
      {" \t ", "", ""},
  };
  for (const auto& c : cases) {
    std::string a = c.in, b = c.in;
    EXPECT_STREQ(c.trimmed, TrimBlanks(&a[0])) << c.in;
    EXPECT_STREQ(c.unquoted, TrimAndUnquote(&b[0])) << c.in;
  }
  std::wstring w = L" \"'both'\" ";
  EXPECT_STREQ(L"both", TrimAndUnquoteW(&w[0]));
  w = L"\"only-leading";
  EXPECT_STREQ(L"only-leading", TrimAndUnquoteW(&w[0]));
  w = L"\t x \t";
  EXPECT_STREQ(L"x", TrimBlanksW(&w[0]));
  std::string s = "//path//";
  EXPECT_STREQ("path", TrimChar(&s[0], '/'));
  EXPECT_EQ(nullptr, TrimBlanks(nullptr));
}

TEST(TextEdit, ReplacingAndCollapsing) {
  char buffer[64] = "a\\b\\c";
  EXPECT_EQ(2u, StrReplaceAll(buffer, "\\", "#", true));
  EXPECT_STREQ("a#b#c", buffer);
  strcpy(buffer, "aXbxc");
  EXPECT_EQ(2u, StrReplaceAll(buffer, "x", "xx", false));  // goes on after the inserted text
  EXPECT_STREQ("axxbxxc", buffer);
  EXPECT_EQ(0u, StrReplaceAll(buffer, "x", "x", true));
  EXPECT_EQ(0u, StrReplaceAll(buffer, "", "y", true));
  EXPECT_EQ(3u, StrReplaceAll(buffer, "xx", "", true) + StrReplaceAll(buffer, "a", "", true));
  EXPECT_STREQ("bc", buffer);

  strcpy(buffer, "a-b-c");
  EXPECT_STREQ("a+b+c", StrReplaceChar(buffer, '-', '+'));
  EXPECT_STREQ("abc", StrReplaceChar(buffer, '+', '\0'));
  strcpy(buffer, "a%%b%%%c%");
  EXPECT_STREQ("a%b%%c%", StrCollapseDoubledChar(buffer, '%'));
  EXPECT_STREQ("%b%%c%", StrDeleteFirstChar(buffer));
  strcpy(buffer, "tail");
  EXPECT_STREQ("zeq:tail", StrPrepend("zeq:", buffer));
  EXPECT_STREQ("//zeq:tail", StrPrependRaw("//", buffer));
}

TEST(TextEdit, EscapingForScriptLiterals) {
  char buffer[64] = "say \"hi\"\n";
  EXPECT_EQ(3u, EscapeScriptString(buffer, true));
  EXPECT_STREQ("say \"hi\"\n", buffer);
  char one[32] = "a\"b\nc";
  EXPECT_EQ(2u, EscapeScriptString(one, true));
  strcpy(buffer, "\\\r\n\t\"'x");
  EXPECT_EQ(0u, EscapeScriptString(buffer, false));
  EXPECT_STREQ("\\\\\\r\\n\\t\\\"\\'x", buffer);
}

TEST(TextEdit, RemoveAccentsFoldsCodePage1252Letters) {
  char word[] = "a\xE7\xE3o";  // ação
  EXPECT_STREQ("acao", RemoveAccents(word));
  std::string all;
  for (int c = 0xC0; c <= 0xFF; ++c) all += static_cast<char>(c);
  RemoveAccents(&all[0]);
  EXPECT_EQ(
      "AAAAAA\xC6" "CEEEEIIIIDNOOOOO\xD7" "OUUUU\xDD\xDE\xDF"
      "aaaaaa\xE6" "ceeeeiiiienooooo\xF7" "ouuuuy\xFE" "y",
      all);
  char other[] = "Zoe \x80\x9A\xBF";
  EXPECT_STREQ("Zoe \x80\x9A\xBF", RemoveAccents(other));
}
