#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "foundation/text.h"
#include "text_test_util.h"

namespace {

struct ParamCase {
  const char* text;
  const char* name;
  const char* skip;
  const char* end;
  unsigned flags;
  const char* value;      // expected value
  const char* remaining;  // expected text afterwards
  const char* position;   // expected position, as the text from there on
  unsigned found;
};

}  // namespace

TEST(GetParameterValue, ReadsAndCutsParameters) {
  const ParamCase cases[] = {
      // The SIP use: the parameter, its value and its separator leave the header.
      {"sip:alice;to-tag=12;x=1", "to-tag", "^ \t=", "^;", 0x16, "12", "sip:alice;x=1", "x=1", 1},
      {"sip:alice;x=1;to-tag=12", "to-tag", "^ \t=", "^;", 0x16, "12", "sip:alice;x=1", "", 1},
      {"sip:alice;TO-TAG = 12;x=1", "to-tag", "^ \t=", "^;", 0x16, "12", "sip:alice;x=1", "x=1", 1},
      // "tag" inside "to-tag" is not a whole token.
      {"sip:alice;to-tag=12;x=1", "tag", "^ \t=", "^;", 0x16, "", "sip:alice;to-tag=12;x=1",
       "sip:alice;to-tag=12;x=1", 0},
      {"a;to-tag=1;tag=2", "tag", "^ \t=", "^;", 0x16, "2", "a;to-tag=1", "", 1},
      {"a; tag=2", "tag", "^ \t=", "^;", 0x16, "2", "a; ", "", 1},
      // Case-sensitive names.
      {"a;Lr;lr", "lr", nullptr, "^;", 0x17, "", "a;Lr", "", 1},
      {"a;LR", "lr", nullptr, "^;", 0x15, "", "a;LR", "a;LR", 0},
      // Present without a value.
      {"sip:bob;lr;x=1", "lr", "^ \t=", "^;", 0x16, "", "sip:bob;x=1", "x=1", 1},
      // Not cut: the text stays, the position follows the value.
      {"q=0.5;expires=60", "expires", "^ \t=", "^;", 0x04, "60", "q=0.5;expires=60", "", 1},
      {"a=1;b=2", "a", "^=", "^;", 0x14, "1", "a=1;b=2", "b=2", 1},
      // No name: the first field.
      {"first;second", nullptr, nullptr, "^;", 0x12, "first", "second", "second", 0},
      {"only", nullptr, nullptr, "^;", 0x12, "only", "", "", 0},
      {"path#{anchor}rest", "#{", nullptr, "^}", 0x12, "anchor", "pathrest", "rest", 1},
      // A value set rather than a stop set: the run of its characters.
      {"4c#.,8p", nullptr, nullptr, "12345678pabcdefg#.", 0x12, "4c#.", "8p", "8p", 0},
      // Quote-aware: separators inside quotes belong to the value.
      {"realm=\"a;b\";nonce=1", "realm", "^=", "^;", 0x1E, "\"a;b\"", "nonce=1", "nonce=1", 1},
      {"x=\"a\\\";b\";y", "x", "^=", "^;", 0x1E, "\"a\\\";b\"", "y", "y", 1},
      {"x=\"unterminated;y", "x", "^=", "^;", 0x1E, "\"unterminated;y", "", "", 1},
      // A name inside quotes does not count with the quote-aware flag.
      {"a=\"tag=1\";tag=2", "tag", "^=", "^;", 0x1E, "2", "a=\"tag=1\"", "", 1},
      {"a=\"tag=1\";tag=2", "tag", "^=", "^;", 0x12, "1\"", "a=\"tag=2", "tag=2", 1},
      {"a=\"tag=1\";tag=2", "tag", "^=", "^;", 0x16, "2", "a=\"tag=1\"", "", 1},
      // Missing name, empty text.
      {"a=1", "b", "^=", "^;", 0x16, "", "a=1", "a=1", 0},
      {"", "b", "^=", "^;", 0x16, "", "", "", 0},
      {"a;b", "b", "^ \t=", "^;", 0x16, "", "a", "", 1},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    char value[64];
    memset(value, 'X', sizeof(value));
    unsigned found = 99;
    char* position = GetParameterValue(&text[0], c.name, value, sizeof(value), c.skip, c.end,
                                       c.flags, &found);
    SCOPED_TRACE(std::string(c.text) + " / " + (c.name ? c.name : "(none)"));
    EXPECT_STREQ(c.value, value);
    EXPECT_STREQ(c.remaining, text.c_str());
    ASSERT_NE(nullptr, position);
    EXPECT_STREQ(c.position, position);
    EXPECT_EQ(c.found, found);
  }
}

TEST(GetParameterValue, NullTextAndNullOutputs) {
  char value[8] = "junk";
  unsigned found = 7;
  EXPECT_EQ(nullptr, GetParameterValue(nullptr, "a", value, sizeof(value), nullptr, nullptr, 0, &found));
  EXPECT_STREQ("", value);
  EXPECT_EQ(0u, found);
  std::string text = "a=1;b=2";
  char* position = GetParameterValue(&text[0], "a", nullptr, 0, "^=", "^;", 0x16, nullptr);
  EXPECT_STREQ("b=2", text.c_str());
  EXPECT_EQ(&text[0], position);
}

// Values longer than the caller's buffer are cut to fit, flagged, and still
// consumed whole from the text.
TEST(GetParameterValue, RespectsTheCallersBufferSize) {
  const std::string overlong(5000, 'v');
  for (size_t size : {0u, 1u, 2u, 4u, 129u}) {
    std::string text = "sip:x;tag=" + overlong + ";lr";
    std::vector<char> value(size + 8, '#');
    unsigned found = 0;
    GetParameterValue(&text[0], "tag", value.data(), size, "^ \t=", "^;", 0x16, &found);
    SCOPED_TRACE(size);
    EXPECT_STREQ("sip:x;lr", text.c_str());
    EXPECT_EQ(kParamFound | kParamValueCut, found);
    if (size) {
      EXPECT_EQ(std::string(size - 1, 'v'), std::string(value.data()));
    }
    for (size_t i = size; i < value.size(); ++i) ASSERT_EQ('#', value[i]) << "wrote byte " << i;
  }
  // An exact fit is not flagged.
  std::string text = "tag=abc";
  char value[4];
  unsigned found = 0;
  GetParameterValue(&text[0], "tag", value, sizeof(value), "^=", "^;", 0x04, &found);
  EXPECT_STREQ("abc", value);
  EXPECT_EQ(kParamFound, found);
}

// Every reader stops at the terminator: the byte after it is unreadable.
TEST(ParameterReaders, NeverReadPastTheTerminator) {
  const char* texts[] = {"",           "t",         "tag",       "x;tag",      "x;tag=",
                         "x;tag=\"abc", "x;tag=1;;", "x;  tag  ", "a=\"\\",      "1,2,3,",
                         "10%,",       "log",       "debug,lo",  "\"log"};
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    for (unsigned flags : {0x00u, 0x02u, 0x04u, 0x08u, 0x10u, 0x16u, 0x1Eu, 0x1Fu}) {
      GuardedText text(t);
      char value[4];
      GetParameterValue(text.get(), "tag", value, sizeof(value), "^ \t=", "^;", flags, nullptr);
      GuardedText again(t);
      GetParameterValue(again.get(), nullptr, value, sizeof(value), "^=", "^;", flags, nullptr);
    }
    GuardedText text(t);
    FindOptionWord(text.get(), "log", false);
    int rect[4];
    RECT reference = {0, 0, 800, 600};
    ParseRectSpec(text.get(), rect, &reference);
    int pair[2];
    ParseIntPair(text.get(), pair);
    HasExtension(text.get(), "txt");
    StrFindOutsideQuotes(";,", text.get(), false, true);
    StrFindNoCaseOutsideQuotes(text.get(), "TAGX", true);
  }
}

TEST(FindOptionWord, FindsStandaloneWordsOnly) {
  const struct {
    const char* text;
    const char* word;
    bool caseSensitive;
    const char* after;  // null: not found
  } cases[] = {
      {"debug,log", "log", false, ""},
      {"catalog", "log", false, nullptr},
      {"catalog,log", "log", false, nullptr},  // only the first occurrence counts
      {"naked noloader", "noloader", false, ""},
      {"LOG=2", "log", false, "=2"},
      {"a;log:x", "log", false, ":x"},
      {"LOG", "log", true, nullptr},
      {"none", "none", true, ""},
      {"nonetheless", "none", true, nullptr},
      {"x\tlog", "log", false, nullptr},  // a tab is not a word boundary
      {"\"log\" log", "log", false, ""},  // inside quotes does not count
      {"logs", "log", false, nullptr},
      {"", "log", false, nullptr},
  };
  for (const auto& c : cases) {
    const char* after = FindOptionWord(c.text, c.word, c.caseSensitive);
    SCOPED_TRACE(c.text);
    if (!c.after) {
      EXPECT_EQ(nullptr, after);
    } else {
      ASSERT_NE(nullptr, after);
      EXPECT_STREQ(c.after, after);
    }
  }
  EXPECT_EQ(nullptr, FindOptionWord(nullptr, "log", false));
}

TEST(ParseRectSpec, FieldsPercentagesAndTheResultPosition) {
  const RECT reference = {0, 0, 800, 600};
  const struct {
    const char* text;
    bool withReference;
    int x, y, w, h;
    const char* after;  // null: fewer than four fields
  } cases[] = {
      {"10,20,50%,-25%", true, 10, 20, 400, 450, ""},
      {"10%,50%,100%,0%", true, 80, 300, 800, 600, ""},
      {"10,20,50%,-25%", false, 10, 20, 50, -25, ""},
      {"1,2,3,4,rest", true, 1, 2, 3, 4, "rest"},
      {"1,2,3", true, 1, 2, 3, 0, nullptr},
      {"", true, 0, 0, 0, 0, nullptr},
      {"99999999999,-99999999999,x,4", false, INT_MAX, INT_MIN, 0, 4, ""},
  };
  for (const auto& c : cases) {
    int out[4] = {7, 7, 7, 7};
    const char* after = ParseRectSpec(c.text, out, c.withReference ? &reference : nullptr);
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.x, out[0]);
    EXPECT_EQ(c.y, out[1]);
    EXPECT_EQ(c.w, out[2]);
    EXPECT_EQ(c.h, out[3]);
    if (!c.after) {
      EXPECT_EQ(nullptr, after);
    } else {
      ASSERT_NE(nullptr, after);
      EXPECT_STREQ(c.after, after);
    }
  }
}

TEST(ParseIntPair, ReadsTwoIntegers) {
  int out[2] = {5, 5};
  EXPECT_EQ(nullptr, ParseIntPair("12,34", out));
  EXPECT_EQ(12, out[0]);
  EXPECT_EQ(34, out[1]);
  const char* after = ParseIntPair("-1, 2,rest", out);
  ASSERT_NE(nullptr, after);
  EXPECT_STREQ("rest", after);
  EXPECT_EQ(-1, out[0]);
  EXPECT_EQ(2, out[1]);
  EXPECT_EQ(nullptr, ParseIntPair(nullptr, out));
  EXPECT_EQ(0, out[0]);
  EXPECT_EQ(0, out[1]);
}
