// Changing and removing entries, also inside nested packages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "package/macros.h"
#include "package_test_support.h"

namespace {

std::vector<uint8_t> B(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

ZEQPackageDATA* ThreeEntries(uint32_t flags) {
  ZEQPackageDATA* package = ZEQPackageNew(ZEQPKG_TYPE_MULTIPLE, flags);
  SetPackageKey(package->key, "pw", 0);
  EXPECT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "aa", 2));
  EXPECT_TRUE(ZEQPackageAddData(package, "\\b.txt", "1", "bbb", 3));
  EXPECT_TRUE(ZEQPackageAddData(package, "\\c.txt", "1", "c", 1));
  return package;
}

std::vector<WalkedEntry> Entries(ZEQPackageDATA* package) {
  int error = -1;
  auto entries = WalkEntries(package->content, package->length, package->header.Flags & ZEQPKG_TAGGED, &error);
  EXPECT_EQ(error, 0);
  return entries;
}

TEST(PackageChange, ChangedEntryMovesToTheEnd) {
  for (uint32_t flags : {ZEQPKG_TAGGED, 0u}) {
    ZEQPackageDATA* package = ThreeEntries(flags);
    EXPECT_EQ(ZEQPackageChangeEntry(package, "\\b.txt", "12345", 5, 0), 0);
    const std::vector<WalkedEntry> expected = {
        {'1', "\\a.txt", B("aa")}, {'1', "\\c.txt", B("c")}, {'1', "\\b.txt", B("12345")}};
    EXPECT_EQ(Entries(package), expected);
    EXPECT_EQ(package->header.FilesCount, 3u);
    EXPECT_EQ(package->header.FilesSize, 8.0);
    ZEQPackageRelease(package);
  }
}

TEST(PackageChange, RemovingLeavesOthersAndMissingChangesNothing) {
  ZEQPackageDATA* package = ThreeEntries(ZEQPKG_TAGGED);
  const std::vector<uint8_t> before(package->content, package->content + package->length);
  EXPECT_EQ(ZEQPackageChangeEntry(package, "\\none.txt", nullptr, 0, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(package->content, package->content + package->length), before);
  EXPECT_EQ(ZEQPackageChangeEntry(package, "\\A.TXT", nullptr, 0, 0), 0);
  EXPECT_EQ(Entries(package).size(), 2u);
  EXPECT_EQ(package->header.FilesCount, 2u);
  EXPECT_EQ(package->header.FilesSize, 4.0);
  ZEQPackageRelease(package);
}

TEST(PackageChange, EntryPathsAreMatchedWithMacrosExpanded) {
  ASSERT_EQ(RegisterMacro("%pkgchangedir%", "skins"), 1);
  ZEQPackageDATA* package = ZEQPackageNew(ZEQPKG_TYPE_MULTIPLE, 0);
  ASSERT_TRUE(ZEQPackageAddData(package, "\\%pkgchangedir%\\main.htc", "1", "x", 1));
  EXPECT_EQ(ZEQPackageChangeEntry(package, "\\skins\\main.htc", nullptr, 0, 0), 0);
  EXPECT_EQ(package->length, 0u);
  ZEQPackageRelease(package);
  RegisterMacro("-%pkgchangedir%", nullptr);
}

TEST(PackageChange, BrokenStreamsAndFileBackedPackagesAreRefused) {
  ZEQPackageDATA* package = ThreeEntries(ZEQPKG_TAGGED);
  package->content[0] = 'x';
  EXPECT_EQ(ZEQPackageChangeEntry(package, "\\c.txt", nullptr, 0, 0), ZEQPKG_EXTRACT_ERROR_OPENTAG);
  ZEQPackageRelease(package);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "zeqpkg_change_backed.zpk";
  ZEQPackageDATA* backed = ZEQPackageCreate(ZEQPKG_FILE_BACKED, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_NE(backed, nullptr);
  EXPECT_EQ(ZEQPackageChangeEntry(backed, "\\x", nullptr, 0, 0), ZEQPKG_CHANGE_FILE_BACKED);
  ZEQPackageRelease(backed);
  DeleteFileA(path.c_str());
}

struct DamagedWalk {
  const char* name;
  uint32_t cut;  // bytes taken off the end of an untagged three-entry stream
  const char* path;
  uint32_t options;
  int result;
};

TEST(PackageChange, UntaggedWalkFailuresGiveTheStepThatFailed) {
  // The last entry ends with its 4-byte data length and 1 byte of data.
  const DamagedWalk cases[] = {
      {"locating to the end of the stream", 0, "\\zzz.zpk\\a.txt", ZEQPKG_CHANGE_NESTED,
       ZEQPKG_EXTRACT_ERROR_RELATIVEPATH},
      {"plain search to the end of the stream", 0, "\\zzz.txt", 0, 0},
      {"data cut, entry passed over", 1, "\\zzz.txt", 0, ZEQPKG_EXTRACT_ERROR_SKIPDATA},
      {"data cut, entry matched", 1, "\\c.txt", 0, ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH},
      {"data length cut", 3, "\\zzz.txt", 0, ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH},
  };
  for (const auto& walk : cases) {
    SCOPED_TRACE(walk.name);
    ZEQPackageDATA* package = ThreeEntries(0);
    package->length -= walk.cut;
    EXPECT_EQ(ZEQPackageChangeEntry(package, walk.path, nullptr, 0, walk.options), walk.result);
    ZEQPackageRelease(package);
  }
}

TEST(PackageChange, NestedPackagesAreChangedInside) {
  // The inner package's file image, made as at close.
  ZEQPackageDATA* inner = ThreeEntries(ZEQPKG_TAGGED | ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string innerPath = std::string(temp) + "zeqpkg_inner.zpk";
  SetPackageKey(inner->key, "pw", 0);
  std::snprintf(inner->path, sizeof(inner->path), "%s", innerPath.c_str());
  ASSERT_TRUE(ZEQPackageClose(inner, INVALID_HANDLE_VALUE, 0));
  const std::vector<uint8_t> image = ReadWholeFile(innerPath);
  ZEQPackageRelease(inner);
  DeleteFileA(innerPath.c_str());

  ZEQPackageDATA* outer = ZEQPackageNew(ZEQPKG_TYPE_MULTIPLE, ZEQPKG_TAGGED);
  SetPackageKey(outer->key, "pw", 0);
  ASSERT_TRUE(ZEQPackageAddData(outer, "\\short.zpk", "1", "ZEQPACKAGE", 11));  // shorter than a header
  ASSERT_TRUE(ZEQPackageAddData(outer, "\\in.zpk", "1", image.data(), uint32_t(image.size())));
  EXPECT_EQ(ZEQPackageChangeEntry(outer, "\\short.zpk\\a.txt", "x", 1, ZEQPKG_CHANGE_NESTED), 0);
  EXPECT_EQ(ZEQPackageChangeEntry(outer, "\\in.zpk\\b.txt", "new", 3, ZEQPKG_CHANGE_NESTED), 0);
  const auto entries = Entries(outer);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, "\\short.zpk");
  EXPECT_EQ(entries[0].data.size(), 11u);
  EXPECT_EQ(entries[1].path, "\\in.zpk");
  const std::vector<uint8_t>& changed = entries[1].data;
  ASSERT_GE(changed.size(), kPackageHeaderSize);
  ZEQPackageDATA* reread = ZEQPackageNew(0, 0);
  SetPackageKey(reread->key, "pw", 0);
  std::memcpy(&reread->header, changed.data(), kPackageHeaderSize);
  ASSERT_TRUE(ZEQPackageCheckHeader(reread, reread->key));
  ASSERT_TRUE(ZEQPackagePrepareContents(reread, INVALID_HANDLE_VALUE, uint32_t(changed.size() - kPackageHeaderSize),
                                        changed.data() + kPackageHeaderSize, reread->header.Flags));
  const auto innerEntries = Entries(reread);
  ASSERT_EQ(innerEntries.size(), 3u);
  EXPECT_EQ(innerEntries[2].path, "\\b.txt");
  EXPECT_EQ(innerEntries[2].data, B("new"));
  ZEQPackageRelease(reread);
  ZEQPackageRelease(outer);
}

}  // namespace
