#include <gtest/gtest.h>

#include "g711.h"

namespace {

TEST(G711, EveryCodeDecodesToAValueThatEncodesBackToIt) {
  for (int code = 0; code < 256; ++code) {
    const uint8_t c = static_cast<uint8_t>(code);
    // 0x7F and 0xFF are mu-law's two zeros; both decode to 0, which encodes as 0xFF.
    if (c != 0x7F) {
      EXPECT_EQ(c, voe::LinearToUlaw(voe::UlawToLinear(c))) << "mu-law " << code;
    }
    EXPECT_EQ(c, voe::LinearToAlaw(voe::AlawToLinear(c))) << "A-law " << code;
  }
}
}  // namespace
