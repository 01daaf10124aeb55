#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "foundation/counted_text.h"
#include "foundation/heap.h"

namespace {

std::string ReplaceAll(const std::string& text, const char* pattern, const char* replacement, bool caseSensitive,
                       size_t* count) {
  char* block = static_cast<char*>(HeapAllocZ(text.size() + 1));
  text.copy(block, text.size());
  size_t length = text.size();
  *count = ReplaceAllBytes(&block, &length, pattern, replacement, caseSensitive);
  EXPECT_EQ('\0', block[length]);
  std::string result(block, length);
  HeapFreeZ(block);
  return result;
}

TEST(CountedText, ReplacesEveryOccurrenceByTheCount) {
  const struct {
    std::string text;
    const char* pattern;
    const char* replacement;
    bool caseSensitive;
    std::string expected;
    size_t count;
  } cases[] = {
      {std::string("a@x\0@x", 6), "@x", "[@x]", true, std::string("a[@x]\0[@x]", 10), 2},
      {"charset=UTF-16;CHARSET=utf-16", "charset=utf-16", "charset=UTF-8", false,
       "charset=UTF-8;charset=UTF-8", 2},
      {"Ab ab", "ab", "", true, "Ab ", 1},
      {"nothing", "zz", "y", true, "nothing", 0},
      {"aaa", "aa", "b", true, "ba", 1},
  };
  for (const auto& c : cases) {
    size_t count = 0;
    EXPECT_EQ(c.expected, ReplaceAll(c.text, c.pattern, c.replacement, c.caseSensitive, &count)) << c.pattern;
    EXPECT_EQ(c.count, count) << c.pattern;
  }
}

TEST(CountedText, SearchesStayWithinTheCount) {
  const char text[] = "abcABC";
  EXPECT_EQ(3u, FindBytes(text, 6, 0, "ABC", true));
  EXPECT_EQ(0u, FindBytes(text, 6, 0, "ABC", false));
  EXPECT_EQ(3u, FindBytes(text, 5, 0, "ABC", true) == 3u ? 6u : 3u);  // "ABC" does not fit in 5 bytes
  EXPECT_EQ(6u, FindBytes(text, 6, 0, "", true));
  EXPECT_TRUE(ContainsBytes(text, 6, "cA"));
  EXPECT_FALSE(ContainsBytes(text, 3, "cA"));
}

// The byte before the text is the pattern: a start that wraps around would
// find it there.
TEST(CountedText, AStartPastTheEndFindsNothingHoweverFar) {
  const char bytes[] = "-a-b-c";
  const char* text = bytes + 1;
  for (size_t from : {size_t(5), size_t(6), SIZE_MAX - 1, SIZE_MAX}) {
    EXPECT_EQ(5u, FindBytes(text, 5, from, "-", true)) << from;
  }
  EXPECT_EQ(3u, FindBytes(text, 5, 2, "-", true));
}

}  // namespace
