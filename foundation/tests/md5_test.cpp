#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/md5.h"

namespace {

std::string HexOf(const void* data, size_t length) {
  char text[kMD5HexSize];
  EXPECT_EQ(1, MD5Buffer(data, length, text));
  return text;
}

// The deterministic input whose digests were computed with Python's hashlib
// when these tests were written.
std::vector<unsigned char> Pattern(size_t n) {
  std::vector<unsigned char> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 9) + 17);
  return bytes;
}

std::string HexInChunks(const std::vector<unsigned char>& bytes, const std::vector<size_t>& sizes) {
  MD5Context context;
  MD5Init(&context);
  size_t done = 0;
  for (size_t i = 0; done < bytes.size(); ++i) {
    size_t n = std::min(sizes[i % sizes.size()], bytes.size() - done);
    MD5Update(&context, bytes.data() + done, n);
    done += n;
  }
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, &context);
  char text[kMD5HexSize];
  MD5ToHex(digest, text);
  return text;
}

}  // namespace

TEST(MD5, MatchesTheRfc1321TestSuite) {
  const struct {
    const char* input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.digest, HexOf(c.input, strlen(c.input))) << c.input;
}

TEST(MD5, LengthsAroundThePaddingBoundaries) {
  const struct {
    size_t length;
    const char* digest;
  } cases[] = {
      {55, "96799d8bf84d94466fb1d4785f0eae6c"}, {56, "bf9c6bb58c938814a38d99d564393a53"},
      {57, "9eb14617df5fd442bf0c75940836ac23"}, {63, "35692891f16306d06ba365a887de5dd3"},
      {64, "c99cacee8808c930ea7a2a5f79a58599"}, {65, "99f97c2c46e2953fc2c2b315db172a78"},
  };
  for (const auto& c : cases) {
    auto bytes = Pattern(c.length);
    EXPECT_EQ(c.digest, HexOf(bytes.data(), bytes.size())) << c.length;
  }
}

// A single update of 64 KiB or more must count every byte.
TEST(MD5, LargeInputsInOnePieceAndInOddChunks) {
  const struct {
    size_t length;
    const char* digest;
  } cases[] = {
      {65536, "5ff4103cdecbeb6b8ca7da98bff6a13a"},
      {70000, "7976eba90964adfb697589bd9edbaea2"},
      {1 << 20, "ec167fe4f8af3e872c6d3b0f8cfa0388"},
  };
  for (const auto& c : cases) {
    auto bytes = Pattern(c.length);
    EXPECT_EQ(c.digest, HexOf(bytes.data(), bytes.size())) << c.length;
    EXPECT_EQ(c.digest, HexInChunks(bytes, {c.length})) << c.length;
    EXPECT_EQ(c.digest, HexInChunks(bytes, {1, 7, 63, 64, 65, 4093, 32769, 65537, 0})) << c.length;
    EXPECT_EQ(c.digest, HexInChunks(bytes, {32768, 32768, 4464})) << c.length;
  }
}

TEST(MD5, FinalWipesTheContextAndBufferWithoutTextStillAnswers) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, "secret", 6);
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, &context);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  for (size_t i = 0; i < sizeof(context); ++i) ASSERT_EQ(0, bytes[i]) << "byte " << i;
  EXPECT_EQ(1, MD5Buffer("abc", 3, nullptr));
}
