#include <gtest/gtest.h>

#include "foundation/colour_text.h"

TEST(ColourText, Forms) {
  const struct {
    const char* text;
    uint32_t argb;
  } cases[] = {
      {"#FF0000", 0xFFFF0000},
      {"#ff8000", 0xFFFF8000},
      {"  #00ff00\t", 0xFF00FF00},
      {"#F80", 0xFFFF8800},
      {"#abc", 0xFFAABBCC},
      {"#80FF0000", 0x80FF0000},
      {"#00000000", 0x00000000},
      {"rgb(255, 0, 0)", 0xFFFF0000},
      {"RGB( 1 ,2,3 )", 0xFF010203},
      {"rgb(300, -5, 128)", 0xFFFF0080},
      {"rgba(0, 0, 255, 0.5)", 0x800000FF},
      {"rgba(0,0,255,1)", 0xFF0000FF},
      {"rgba(0,0,255,0)", 0x000000FF},
      {"rgba(0,0,255,.25)", 0x400000FF},
      {"rgba(0,0,255,7)", 0xFF0000FF},
      {"red", 0xFFFF0000},
      {"Red", 0xFFFF0000},
      {" WHITE ", 0xFFFFFFFF},
      {"green", 0xFF008000},
      {"lime", 0xFF00FF00},
      {"navy", 0xFF000080},
      {"aqua", 0xFF00FFFF},
      {"fuchsia", 0xFFFF00FF},
      {"transparent", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.argb, ParseColorToARGB(c.text)) << c.text;
}

TEST(ColourText, AnythingElseIsZero) {
  const char* texts[] = {
      nullptr, "", "   ", "#", "#FF", "#FFFF", "#FFFFF", "#FFFFFFF", "#FFFFFFFFF", "#GG0000",
      "#FF 0000", "FF0000", "0xFF0000", "redd", "re d", "rgb(1,2)", "rgb(1,2,3,4)",
      "rgba(1,2,3)", "rgb(1,2,3", "rgb(1,2,3) x", "rgb(a,b,c)", "rgb(,,)", "hsl(0,0,0)",
      "rgba(1,2,3,x)", "red green",
  };
  for (const char* text : texts) EXPECT_EQ(0u, ParseColorToARGB(text)) << (text ? text : "(null)");
}
