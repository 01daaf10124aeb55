#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/process_routines.h"
#include "foundation/replace_all.h"

TEST(ProcessRoutines, OwnModuleAndLowerCasePath) {
  EXPECT_EQ(GetModuleHandleA(nullptr), GetOwnModule());
  char path[MAX_PATH];
  memset(path, 'X', sizeof(path));
  DWORD length = GetModulePathLower(path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, strlen(path));
  for (const char* c = path; *c; ++c) ASSERT_FALSE(*c >= 'A' && *c <= 'Z') << path;
  const char* name = strrchr(path, '\\');
  ASSERT_NE(nullptr, name);
  EXPECT_STREQ("\\foundation_tests.exe", name);
  EXPECT_EQ(0u, GetModulePathLower(nullptr));
}

TEST(ProcessRoutines, HandleSlots) {
  HANDLE zero = nullptr, invalid = INVALID_HANDLE_VALUE, real = GetCurrentThread();
  EXPECT_FALSE(IsValidHandleSlot(&zero));
  EXPECT_FALSE(IsValidHandleSlot(&invalid));
  EXPECT_FALSE(IsValidHandleSlot(nullptr));
  EXPECT_TRUE(IsValidHandleSlot(&real));
}

TEST(TextReplaceAll, Cases) {
  struct Case {
    const char* text;
    const char* pattern;
    const char* replacement;
    const char* expected;
    size_t count;
  } cases[] = {
      {"aaa", "a", "aa", "aaaaaa", 3},  // inserted text is not searched again
      {"a.b.c", ".", "\\.", "a\\.b\\.c", 2},
      {"abcabc", "abc", "", "", 2},
      {"abc", "", "x", "abc", 0},
      {"abc", nullptr, "x", "abc", 0},
      {"abab", "ab", nullptr, "", 2},
      {"xyz", "q", "w", "xyz", 0},
      {"%name% and %name%", "%name%", "KESTO", "KESTO and KESTO", 2},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(c.count, TextReplaceAll(text, c.pattern, c.replacement)) << c.text;
    EXPECT_EQ(c.expected, text) << c.text;
  }
}
