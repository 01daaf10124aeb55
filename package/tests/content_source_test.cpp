#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/builtin_key.h"
#include "package/content_source.h"
#include "package/content_transforms.h"
#include "package/package_format.h"
#include "package/vfs.h"

namespace {

std::vector<uint8_t> PackageBytes(uint32_t flags, size_t length = kPackageHeaderSize + 8) {
  std::vector<uint8_t> bytes(length, 0);
  ZEQPackageHeader header{};
  memcpy(header.Magic, kPackageMagic, sizeof kPackageMagic);
  header.Flags = flags;
  memcpy(bytes.data(), &header, std::min(length, sizeof header));
  return bytes;
}

class ContentSource : public ::testing::Test {
 protected:
  void SetUp() override { WipeApplicationKey(); }
  void TearDown() override {
    WipeApplicationKey();
    VFSClearMounts();
  }
};

TEST_F(ContentSource, WithoutApplicationKeyEveryLooseFileIsAllowed) {
  const char script[] = "alert(1);";
  EXPECT_TRUE(IsAllowedContentSource("C:\\loose\\a.js", script, sizeof script - 1));
}

TEST_F(ContentSource, WithApplicationKeyOnlyTrustedSourcesPass) {
  SetApplicationKey("application key");
  ASSERT_TRUE(VFSMountFile("C:\\ZEQCVFS\\PID.1\\app\\mounted.js", "x", 1));
  ASSERT_TRUE(AllowContentName("C:\\loose\\allowed.js"));
  const char plain[] = "alert(1);";
  const auto enciphered = PackageBytes(ZEQPKG_ENCRYPT | ZEQPKG_COMPRESS);
  const auto compressedOnly = PackageBytes(ZEQPKG_COMPRESS);
  const auto cutHeader = PackageBytes(ZEQPKG_ENCRYPT, kPackageHeaderSize - 1);
  struct Case {
    const char* path;
    const void* content;
    size_t length;
    bool allowed;
  } cases[] = {
      {"C:\\ZEQCVFS\\PID.1\\app\\mounted.js", plain, sizeof plain - 1, true},
      {"zeq:C:\\ZEQCVFS\\PID.1\\app\\mounted.js", plain, sizeof plain - 1, true},
      {"C:\\loose\\allowed.js", plain, sizeof plain - 1, true},
      {"C:\\loose\\ALLOWED.js", plain, sizeof plain - 1, false},  // names are exact
      {"C:\\loose\\plain.js", plain, sizeof plain - 1, false},
      {"C:\\loose\\enciphered.js", enciphered.data(), enciphered.size(), true},
      {"C:\\loose\\compressed.js", compressedOnly.data(), compressedOnly.size(), false},
      {"C:\\loose\\cut.js", cutHeader.data(), cutHeader.size(), false},
      {"C:\\loose\\empty.js", nullptr, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.allowed, IsAllowedContentSource(c.path, c.content, c.length)) << c.path;
  }
}

TEST_F(ContentSource, AllowingAnEmptyNameIsRefused) {
  EXPECT_FALSE(AllowContentName(""));
  EXPECT_FALSE(AllowContentName(nullptr));
}

}  // namespace
