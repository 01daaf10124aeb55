#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/text.h"

namespace {

// The expectations hold for the Western European ANSI code page.
bool AnsiIsWestern() { return GetACP() == 1252; }

// Converts text inside a buffer whose bytes after the text's terminator are
// a fence; returns the result and checks the fence is intact.
std::string ConvertFenced(const std::string& text) {
  char buffer[128];
  memset(buffer, 0x5A, sizeof buffer);
  EXPECT_LT(text.size(), sizeof buffer);
  memcpy(buffer, text.c_str(), text.size() + 1);
  EXPECT_EQ(buffer, ConvertUTF8ToANSIInPlace(buffer));
  for (size_t i = text.size() + 1; i < sizeof buffer; ++i) {
    EXPECT_EQ(0x5A, buffer[i]) << "byte " << i << " of " << text;
  }
  return buffer;
}

}  // namespace

TEST(Utf8InPlace, ConvertsOverTheSourceAndNeverGrows) {
  if (!AnsiIsWestern()) GTEST_SKIP() << "ANSI code page " << GetACP();
  const struct {
    const char* utf8;
    const char* ansi;
  } cases[] = {
      {"plain ascii", "plain ascii"},
      {"S\xC3\xA3o Paulo", "S\xE3o Paulo"},
      {"Configura\xC3\xA7\xC3\xA3o \xC3\xA0 rede", "Configura\xE7\xE3o \xE0 rede"},
      {"\xE2\x82\xAC 10", "\x80 10"},           // the euro sign is in the code page
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},         // characters outside it
      {"x\xF0\x9F\x98\x80y", "x??y"},             // outside the basic plane: two halves
      {"S\xE3o", "S?o"},                          // a byte that is not UTF-8
      {"end\xC3", "end?"},                        // a sequence cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.ansi, ConvertFenced(c.utf8)) << c.utf8;
    EXPECT_LE(strlen(c.ansi), strlen(c.utf8));
  }
}

TEST(Utf8InPlace, LeavesNullAndEmptyTextsAlone) {
  EXPECT_EQ(nullptr, ConvertUTF8ToANSIInPlace(nullptr));
  char empty[2] = {'\0', 'x'};
  EXPECT_EQ(empty, ConvertUTF8ToANSIInPlace(empty));
  EXPECT_EQ('\0', empty[0]);
  EXPECT_EQ('x', empty[1]);
}
