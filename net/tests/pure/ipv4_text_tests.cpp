#include <gtest/gtest.h>

#include "net/ipv4_text.h"

namespace {

struct DottedCase {
  const char* name;
  const char* text;
  int dotted;
  uint32_t parsed;  // ParseIPv4's value
};

const DottedCase kDottedCases[] = {
    {"AnOrdinaryAddress", "192.168.1.20", 1, 0x1401A8C0},
    {"TheHighestGroups", "255.255.255.255", 1, 0xFFFFFFFF},
    {"AllZeros", "0.0.0.0", 1, 0},
    {"AGroupAbove255", "1.2.3.256", 0, 0},
    {"ThreeGroups", "10.0.1", 0, 0},
    {"FiveGroups", "1.2.3.4.5", 0, 0x04030201},
    {"AnEmptyGroup", "1..3.4", 0, 0},
    {"ATrailingDot", "1.2.3.4.", 0, 0x04030201},
    {"FourDigitsInAGroup", "1.2.3.0004", 0, 0x04030201},
    {"ALetter", "1.2.3.4a", 0, 0x04030201},
    {"AHostName", "sip.example.com", 0, 0},
    {"Blanks", " 1.2.3.4", 0, 0},
    {"Empty", "", 0, 0},
};

class DottedIPv4 : public testing::TestWithParam<DottedCase> {};

TEST_P(DottedIPv4, IsRecognisedAndParsedAsTheTableSays) {
  const DottedCase& c = GetParam();
  EXPECT_EQ(c.dotted, IsDottedIPv4(c.text));
  EXPECT_EQ(c.parsed, ParseIPv4(c.text));
}

INSTANTIATE_TEST_SUITE_P(Texts, DottedIPv4, testing::ValuesIn(kDottedCases),
                         [](const testing::TestParamInfo<DottedCase>& info) { return std::string(info.param.name); });

TEST(DottedIPv4Text, IsFormattedFromTheLowestByteUp) {
  char buffer[16];
  EXPECT_STREQ("192.168.1.20", FormatIPv4(0x1401A8C0, buffer));
  EXPECT_STREQ("255.255.255.255", FormatIPv4(0xFFFFFFFF, buffer));
  EXPECT_STREQ("0.0.0.0", FormatIPv4(0, buffer));
}

TEST(DottedIPv4Text, ALongTextIsReadNoFurtherThanItsLimit) {
  std::string text(200, '1');
  EXPECT_EQ(0, IsDottedIPv4(text.c_str()));
  EXPECT_EQ(0u, ParseIPv4(text.c_str()));
  // The fourth group is read only within the first 63 characters.
  std::string padded = "1.2.3." + std::string(100, '0') + "7";
  EXPECT_EQ(0x00030201u, ParseIPv4(padded.c_str()));
}

}  // namespace
