#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/text.h"

TEST(TextFormat, Durations) {
  const struct {
    int seconds;
    const char* text;
  } cases[] = {
      {0, ""},
      {5, "05 seg"},
      {120, "02 min"},
      {3600, "01 hr"},
      {3605, "01 hr 05 seg"},
      {3660, "01 hr 01 min"},
      {61, "01 min 01 seg"},
      {3661, "01 hr 01 min 01 seg"},
      {360000, "100 hr"},
  };
  for (const auto& c : cases) {
    char buffer[513] = "junk";
    EXPECT_EQ(c.seconds != 0, FormatDuration(c.seconds, buffer, sizeof(buffer)) != FALSE) << c.seconds;
    EXPECT_STREQ(c.text, buffer) << c.seconds;
  }
  char small[8];
  FormatDuration(3661, small, sizeof(small));
  EXPECT_STREQ("01 hr 0", small);
}

TEST(TextFormat, GroupedNumbersAndSizes) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1234567.8, "1.234.568"}, {1234567, "1.234.567"}, {999, "999"},
      {0, "0"},                 {4294967295.0, "4.294.967.295"}, {1000, "1.000"},
  };
  for (const auto& c : cases) {
    char buffer[64];
    FormatNumberGrouped(c.value, buffer, sizeof(buffer));
    EXPECT_STREQ(c.text, buffer) << c.value;
  }
  char tiny[4] = "xyz";
  FormatNumberGrouped(1234567, tiny, sizeof(tiny));
  EXPECT_STREQ("", tiny);

  char size[64];
  FormatByteSize(532, size, sizeof(size));
  EXPECT_NE(nullptr, strstr(size, "532")) << size;
}

TEST(TextFormat, Percentages) {
  EXPECT_EQ(50, PercentRatio(1, 2));
  EXPECT_EQ(33, PercentRatio(1, 3));
  EXPECT_EQ(0, PercentRatio(0, 3));
  EXPECT_EQ(0, PercentRatio(3, 0));
  EXPECT_EQ(0, PercentRatio(-1, 3));
  EXPECT_EQ(200, PercentRatio(int64_t(8) << 40, int64_t(4) << 40));
  EXPECT_EQ(400, PercentOf(50, 800));
  EXPECT_EQ(29, PercentOf(29, 100));
  EXPECT_EQ(0, PercentOf(50, 0));
  EXPECT_EQ(0, PercentOf(-10, 100));
  EXPECT_EQ(0, PercentOf(33, 3));
}

// The date text puts the day first.
TEST(TextFormat, FileTimesAreDayMonthYear) {
  SYSTEMTIME parts = {};
  parts.wYear = 2024;
  parts.wMonth = 3;
  parts.wDay = 5;
  parts.wHour = 14;
  parts.wMinute = 7;
  parts.wSecond = 9;
  FILETIME time;
  ASSERT_TRUE(SystemTimeToFileTime(&parts, &time));
  char buffer[32];
  FormatFileTime(buffer, sizeof(buffer), &time, false);
  EXPECT_STREQ("05/03/2024 14:07:09", buffer);

  FILETIME local;
  FileTimeToLocalFileTime(&time, &local);
  SYSTEMTIME localParts;
  FileTimeToSystemTime(&local, &localParts);
  FormatFileTime(buffer, sizeof(buffer), &time, true);
  char expected[32];
  snprintf(expected, sizeof(expected), "%02d/%02d/%04d %02d:%02d:%02d", localParts.wDay,
           localParts.wMonth, localParts.wYear, localParts.wHour, localParts.wMinute,
           localParts.wSecond);
  EXPECT_STREQ(expected, buffer);

  const FILETIME unset[] = {{0, 0}, {0xD6534000, 0x00DF1A8C}};
  for (const auto& t : unset) {
    FormatFileTime(buffer, sizeof(buffer), &t, false);
    EXPECT_STREQ("00/00/0000 00:00:00", buffer);
  }
  char small[6];
  FormatFileTime(small, sizeof(small), &time, false);
  EXPECT_STREQ("05/03", small);
}

TEST(TextFormat, MillisecondsBetweenSystemTimes) {
  SYSTEMTIME a = {2024, 2, 0, 28, 23, 59, 59, 500};
  SYSTEMTIME b = {2024, 2, 0, 29, 0, 0, 1, 250};
  EXPECT_DOUBLE_EQ(1750.0, SystemTimeDiffMs(&a, &b));
  EXPECT_DOUBLE_EQ(-1750.0, SystemTimeDiffMs(&b, &a));
}

// The number is a product of two run-time draws (or a small mixed value),
// and successive calls do not repeat one value.
TEST(TextFormat, RandomNumbers) {
  uint32_t first = MakeRandomNumber("");
  bool varied = false;
  for (int i = 0; i < 50; ++i) {
    uint32_t r = MakeRandomNumber(i % 2 ? "seed" : nullptr);
    EXPECT_LT(r, uint32_t(RAND_MAX + 1) * uint32_t(RAND_MAX + 1));
    varied |= r != first;
  }
  EXPECT_TRUE(varied);
}

TEST(TextChecks, SmallPredicates) {
  EXPECT_TRUE(IsEmptyString(nullptr));
  EXPECT_TRUE(IsEmptyString(""));
  EXPECT_FALSE(IsEmptyString(" "));
  EXPECT_TRUE(IsEmptyStringW(L""));
  EXPECT_FALSE(IsHandleSet(nullptr));
  EXPECT_FALSE(IsHandleSet(INVALID_HANDLE_VALUE));
  EXPECT_TRUE(IsHandleSet(reinterpret_cast<HANDLE>(4)));
  EXPECT_TRUE(InRange(3, 1, 3));
  EXPECT_FALSE(InRange(4, 1, 3));
  EXPECT_TRUE(HasExtension("a.b.TXT", "txt"));
  EXPECT_FALSE(HasExtension("a.txt.bak", "txt"));
  EXPECT_FALSE(HasExtension("txt", "txt"));
  EXPECT_FALSE(HasExtension("a.txts", "txt"));
  int local = 0;
  EXPECT_TRUE(IsReadableRecord(&local, sizeof(local)));
  EXPECT_FALSE(IsReadableRecord(nullptr, 4));
}
