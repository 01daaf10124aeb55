#include <gtest/gtest.h>

#include <string>

#include "foundation/text.h"
#include "text_test_util.h"

TEST(Wildcards, WholeTextMatches) {
  const struct {
    const char* pattern;
    const char* text;
    unsigned flags;
    bool match;
  } cases[] = {
      {"*.txt", "notes.TXT", 0, true},
      {"*.txt", "notes.TXT", kWildcardCaseSensitive, false},
      {"*.txt", "notes.txt.bak", 0, false},
      {"a?c", "abc", 0, true},
      {"a?c", "ac", 0, false},
      {"a*", "a", 0, true},
      {"*", "", 0, true},
      {"", "", 0, true},
      {"", "x", 0, false},
      {"**x**", "abxcd", 0, true},
      {"*?", "", 0, false},
      {"*??", "abcd", 0, true},
      {"*?x", "axbx", 0, true},
      {"a*b*c", "aXbYbZc", 0, true},
      {"a*b*c", "aXbYbZ", 0, false},
      {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 0, false},
      {"zeq:\\app\\*.htm?", "ZEQ:\\APP\\main.html", 0, true},
      // Wildcards in the text stand for pattern characters.
      {"abc", "a?c", kWildcardInText, true},
      {"abc", "a*", kWildcardInText, true},
      {"", "*", kWildcardInText, true},
      {"", "**", kWildcardInText, true},
      {"abc", "a?c", 0, false},
      {"a*c", "*", kWildcardInText, true},
      {"abc", "*d", kWildcardInText, false},
  };
  for (const auto& c : cases) {
    std::string pattern = c.pattern;
    const char* end = reinterpret_cast<const char*>(1);
    BOOL match = WildcardMatch(&pattern[0], c.text, c.flags, &end);
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.text);
    EXPECT_EQ(c.match, match != FALSE);
    EXPECT_EQ(c.match ? c.text + strlen(c.text) : nullptr, end);
  }
  std::string collapsed = "a***b**";
  WildcardMatch(&collapsed[0], "ab", 0, nullptr);
  EXPECT_STREQ("a*b*", collapsed.c_str());
  EXPECT_FALSE(WildcardMatch(nullptr, "a", 0, nullptr));
}

TEST(Wildcards, PatternListsWithExclusions) {
  const struct {
    const char* list;
    const char* text;
    bool match;
  } cases[] = {
      {"*.txt, -a*", "b.txt", true},
      {"*.txt, -a*", "a.doc", false},
      {"*.txt, -a*", "x.doc", true},  // nothing matched, the last was an exclusion
      {"-a*, *.txt", "a.txt", false},
      {"*.txt, *.htm", "x.doc", false},
      {"\"a,b*\"", "a,bc", true},
      {" 'x*' ", "xy", true},
      {"*", "anything", true},
      {"", "anything", true},
      {nullptr, "anything", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.match, WildcardMatchList(c.list, c.text, 0) != FALSE)
        << (c.list ? c.list : "(null)") << " ~ " << c.text;
  }
  EXPECT_FALSE(WildcardMatchList("*.TXT", "a.txt", kWildcardCaseSensitive));
}

// Long texts and patterns neither blow up in time nor read past the ends.
TEST(Wildcards, HostileSizes) {
  std::string text(20000, 'a');
  std::string pattern;
  for (int i = 0; i < 60; ++i) pattern += "*a";
  pattern += "*b";
  EXPECT_FALSE(WildcardMatch(&pattern[0], text.c_str(), 0, nullptr));
  GuardedText guarded("abc*");
  std::string p = "a*?";
  EXPECT_TRUE(WildcardMatch(&p[0], guarded.get(), kWildcardInText, nullptr));
  EXPECT_TRUE(WildcardMatchList("x,-y,a*", guarded.get(), 0));
}
