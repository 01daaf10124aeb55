#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "package/cipher_keys.h"

namespace {

std::string BuiltIn(bool force) {
  char key[kCipherKeyBufferSize];
  std::memset(key, 'x', sizeof key);
  GetBuiltInCipherKey(key, force);
  return key;
}

// The process-wide application key is shared: every test starts and ends
// without one.
class CipherKeys : public ::testing::Test {
 protected:
  void SetUp() override { WipeApplicationKey(); }
  void TearDown() override { WipeApplicationKey(); }
};

TEST_F(CipherKeys, PasswordsBecomeTheirMd5Text) {
  struct Case {
    const char* password;
    bool appKey;
    const char* expected;  // null: the built-in (or application) key
  };
  const std::string builtIn = BuiltIn(false);
  const Case cases[] = {
      {"password", false, "5f4dcc3b5aa765d61d8327deb882cf99"},
      {"a", false, "0cc175b9c0f1b6a831c399e269772661"},
      {"password", true, "5f4dcc3b5aa765d61d8327deb882cf99"},
      {"", false, nullptr},
      {"", true, "app key"},
  };
  for (const auto& c : cases) {
    if (c.appKey) SetApplicationKey("app key");
    char key[kCipherKeyBufferSize] = "unchanged";
    DerivePackageKey(c.password, key);
    EXPECT_EQ(c.expected ? std::string(c.expected) : builtIn, key) << c.password << " " << c.appKey;

    char field[kCipherKeyBufferSize] = "unchanged";
    SetPackageKey(field, c.password, 0);
    EXPECT_STREQ(key, field);
    WipeApplicationKey();
  }
  // No password leaves the key as it was.
  char key[kCipherKeyBufferSize] = "unchanged";
  DerivePackageKey(nullptr, key);
  SetPackageKey(key, nullptr, 0);
  EXPECT_STREQ("unchanged", key);
}

TEST_F(CipherKeys, RawPasswordIsTheKeyAsItIs) {
  char field[kCipherKeyBufferSize] = "old";
  SetPackageKey(field, "5f4dcc3b5aa765d61d8327deb882cf99", kPackageKeyIsRaw);
  EXPECT_STREQ("5f4dcc3b5aa765d61d8327deb882cf99", field);
  SetPackageKey(field, std::string(80, 'r').c_str(), kPackageKeyIsRaw | 0x6);
  EXPECT_EQ(std::string(64, 'r'), field);
  SetPackageKey(field, "", kPackageKeyIsRaw);
  EXPECT_STREQ("", field);
}

TEST_F(CipherKeys, PrepareCipherKeyChoosesModeAndFillsEmptyKeys) {
  const std::string builtIn = BuiltIn(false);
  struct Case {
    std::string key;
    uint32_t options;
    bool appKey;
    bool ok;
    int mode;
    std::string expected;
  };
  const Case cases[] = {
      {std::string(57, 'a'), 0, false, false, -1, std::string(57, 'a')},
      {std::string(57, 'a'), kCipherKeyOptionBuiltIn, false, false, -1, std::string(57, 'a')},
      {std::string(56, 'a'), 0, false, true, kBlowfishCBC, std::string(56, 'a')},
      {"mine", kCipherKeyOptionECB, false, true, kBlowfishECB, "mine"},
      {"", 0, false, true, kBlowfishCBC, builtIn},
      {"", 0, true, true, kBlowfishCBC, "app key"},
      {"mine", kCipherKeyOptionBuiltIn, true, true, kBlowfishCBC, builtIn},
      {"", kCipherKeyOptionBuiltIn | kCipherKeyOptionECB, true, true, kBlowfishECB, builtIn},
  };
  for (const auto& c : cases) {
    if (c.appKey) SetApplicationKey("app key");
    char buffer[kCipherKeyBufferSize] = {};
    std::memcpy(buffer, c.key.data(), c.key.size());
    int mode = -1;
    EXPECT_EQ(c.ok, PrepareCipherKey(buffer, &mode, c.options)) << c.key << " " << c.options;
    EXPECT_EQ(c.mode, mode) << c.key << " " << c.options;
    EXPECT_EQ(c.expected, buffer) << c.key << " " << c.options;
    WipeApplicationKey();
  }
}

}  // namespace
