#include <gtest/gtest.h>

#include <string>

#include "foundation/base64.h"

namespace {

std::string Encoded(const std::string& input) {
  std::string out(Base64::EncodedSize(input.size()) + 1, '#');
  Base64::State state{&out[0], 0};
  EXPECT_TRUE(Base64::Encode(&state, input.data(), input.size(), 0));
  EXPECT_EQ('\0', out[state.written]);
  out.resize(state.written);
  return out;
}

TEST(Base64, EncodesTheStandardVectorsWithPadding) {
  // RFC 4648 section 10.
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, Encoded(c.first)) << c.first;
}

TEST(Base64, UsesTheWholeAlphabetAndEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  const std::string text = Encoded(all);
  EXPECT_EQ(Base64::EncodedSize(256), text.size());
  EXPECT_EQ("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4v", text.substr(0, 64));
  EXPECT_EQ("+/w==", text.substr(text.size() - 5));
  EXPECT_EQ("+/+/", Encoded("\xfb\xff\xbf"));
}

TEST(Base64, RefusesWhatItCannotWrite) {
  char out[16] = "untouched";
  Base64::State state{out, 0};
  EXPECT_FALSE(Base64::Encode(&state, "abc", 3, 1));
  EXPECT_FALSE(Base64::Encode(&state, nullptr, 3, 0));
  EXPECT_STREQ("untouched", out);
  Base64::State none{nullptr, 0};
  EXPECT_FALSE(Base64::Encode(&none, "abc", 3, 0));
}

}  // namespace
