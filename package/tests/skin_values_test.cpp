#include <gtest/gtest.h>

#include "package/skin_values.h"

namespace {

TEST(SkinColours, WordsAndNumbers) {
  const struct {
    const char* text;
    uint32_t plain;      // without modifiers
    uint32_t modified;   // with modifiers
  } cases[] = {
      {"#FF0000", 0xFFFF0000, 0xFFFF0000},
      {"0xff0000", 0xFFFF0000, 0xFFFF0000},
      {"80FF0000", 0x80FF0000, 0x80FF0000},
      {"#FFF", 0, 0},
      {"#FF", 0, 0},
      {"", 0, 0},
      {"color:#00FF00", 0xFF00FF00, 0xFF00FF00},
      {"#FF0000 a128", 0xFFFF0000, 0x80FF0000},
      {"#FF0000 a0x40", 0xFFFF0000, 0x40FF0000},
      {"#FF0000 a010", 0xFFFF0000, 0x08FF0000},
      {"#FF0000 a300", 0xFFFF0000, 0x2CFF0000},
      {"#808080 l50", 0xFF808080, 0xFFFFFFFF},
      {"#FFFFFF l-100", 0xFFFFFFFF, 0xFF000000},
      {"#FF0000 l-25", 0xFFFF0000, 0xFF800000},
      {"#0080FF l10", 0xFF0080FF, 0xFF3399FF},
      {"#FF0000 g", 0xFFFF0000, 0xFF4C4C4C},
      {"#FF0000 a128 g", 0xFFFF0000, 0x804C4C4C},
      {"#FF0000 g a128", 0xFFFF0000, 0x804C4C4C},
      {"#FF0000 abc", 0xFFFF0000, 0xFFFF0000},
      {"Transparent", 0, 0},
      {"TRANSPARENT a255", 0, 0},
      {"RED", 0xFFFF0000, 0xFFFF0000},
      {"black", 0xFF000000, 0xFF000000},
      {"white", 0xFFFFFFFF, 0xFFFFFFFF},
      {"green", 0xFF00FF00, 0xFF00FF00},
      {"blue", 0xFF0000BB, 0xFF0000BB},
      {"pink", 0xFFFF00FF, 0xFFFF00FF},
      {"Gray", 0xFF808080, 0xFF808080},
      {"yellow", 0xFFFFFF00, 0xFFFFFF00},
      {"cyan", 0xFF00FFFF, 0xFF00FFFF},
      {"red a128", 0xFFFF0000, 0x80FF0000},
      {"purple", 0, 0},
      {"redish", 0, 0},
      {"xyz", 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.plain, SKINParseColor(c.text, false)) << c.text;
    EXPECT_EQ(c.modified, SKINParseColor(c.text, true)) << c.text;
  }
  EXPECT_EQ(0u, SKINParseColor(nullptr, true));
}

TEST(SkinColours, PairsSplitAtTheFirstBlank) {
  SKINColorPair pair = {0, 0, 0, 0x12345678};
  EXPECT_EQ(1, SKINParseColorPair("red blue", &pair));
  EXPECT_EQ(1u, pair.hasFirst);
  EXPECT_EQ(0xFFFF0000u, pair.first);
  EXPECT_EQ(1u, pair.hasSecond);
  EXPECT_EQ(0xFF0000BBu, pair.second);

  pair = {0, 0, 0, 0x12345678};
  SKINParseColorPair("red", &pair);
  EXPECT_EQ(1u, pair.hasFirst);
  EXPECT_EQ(0xFFFF0000u, pair.first);
  EXPECT_EQ(0u, pair.hasSecond);
  EXPECT_EQ(0x12345678u, pair.second);

  pair = {};
  SKINParseColorPair("#000000 #FFFFFF a128", &pair);
  EXPECT_EQ(0xFF000000u, pair.first);
  EXPECT_EQ(0x80FFFFFFu, pair.second);
}

TEST(SkinLayout, KeywordTable) {
  const struct {
    const char* word;
    uint32_t code;
  } cases[] = {
      {"hidden", 0xFFFFFFFF},      {"vertical", 0x80100000},     {"horizontal", 0x80200000},
      {"tiled", 0x80300000},       {"stretched", 0x80500000},    {"left", 0x80A00000},
      {"leftright", 0x80600000},   {"lefttop", 0x80700000},      {"leftbottom", 0x80800000},
      {"leftcenter", 0x80900000},  {"top", 0x81400000},          {"topleft", 0x81000000},
      {"topright", 0x81100000},    {"topbottom", 0x81200000},    {"topcenter", 0x81300000},
      {"centerleft", 0x81A00000},  {"centerright", 0x81B00000},  {"centertop", 0x81C00000},
      {"center", 0x81E00000},      {"centerbottom", 0x81D00000}, {"right", 0x80F00000},
      {"rightleft", 0x80B00000},   {"righttop", 0x80C00000},     {"rightcenter", 0x80E00000},
      {"rightbottom", 0x80D00000}, {"bottom", 0x81900000},       {"bottomleft", 0x81500000},
      {"bottomtop", 0x81700000},   {"bottomright", 0x81600000},  {"bottomcenter", 0x81800000},
      {"Center", 0},               {"middle", 0},                {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.code, SKINParseLayout(c.word)) << c.word;
  EXPECT_EQ(0u, SKINParseLayout(nullptr));
}

}  // namespace
