#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "foundation/blowfish.h"
#include "foundation/builtin_key.h"

namespace {

std::string BuiltIn(bool force) {
  char key[kCipherKeyBufferSize];
  std::memset(key, 'x', sizeof key);
  GetBuiltInCipherKey(key, force);
  return key;
}

// The process-wide application key is shared: every test starts and ends
// without one.
class BuiltInKey : public ::testing::Test {
 protected:
  void SetUp() override { WipeApplicationKey(); }
  void TearDown() override { WipeApplicationKey(); }
};

TEST_F(BuiltInKey, BuiltInKeyIsAFixedFortyEightCharacterText) {
  const std::string key = BuiltIn(false);
  ASSERT_EQ(kBuiltInCipherKeyLength, key.size());
  for (char c : key) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << key;
  EXPECT_EQ(key, BuiltIn(true));
  // Packages made without a password depend on this exact key: pinned by
  // its cipher text of one block (computed with an independent Blowfish).
  uint8_t block[8] = {'Z', 'E', 'Q', '-', 'K', 'E', 'Y', '!'};
  ASSERT_TRUE(BlowfishEncryptBuffer(reinterpret_cast<const uint8_t*>(key.data()), key.size(), block, 8, block,
                                    kBlowfishECB));
  const uint8_t expected[8] = {0x8d, 0xdd, 0xd0, 0x0d, 0x43, 0xbf, 0xf0, 0x7a};
  EXPECT_EQ(0, std::memcmp(expected, block, 8));
}

TEST_F(BuiltInKey, ApplicationKeyStandsInForTheBuiltInKeyUnlessForced) {
  const std::string builtIn = BuiltIn(false);
  EXPECT_FALSE(HasApplicationKey());
  SetApplicationKey("application secret");
  EXPECT_TRUE(HasApplicationKey());
  EXPECT_EQ("application secret", BuiltIn(false));
  EXPECT_EQ(builtIn, BuiltIn(true));

  // At most 64 characters are kept.
  SetApplicationKey(std::string(70, 'k').c_str());
  EXPECT_EQ(std::string(64, 'k'), BuiltIn(false));
  SetApplicationKey("short");
  EXPECT_EQ("short", BuiltIn(false));

  WipeApplicationKey();
  EXPECT_FALSE(HasApplicationKey());
  EXPECT_EQ(builtIn, BuiltIn(false));
}

}  // namespace
