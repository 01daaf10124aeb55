// Folder import with roll-back, file digests and the icon-file reader.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "foundation/heap.h"
#include "foundation/md5.h"
#include "package/file_trees.h"
#include "package/vfs.h"
#include "package_test_support.h"

namespace {

class FileTrees : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = PackageTestFolder("trees"); }
  std::string Path(const char* name) { return folder_ + "\\" + name; }
  std::string folder_;
};

TEST_F(FileTrees, FolderImportAddsTheTreeOrNothing) {
  const std::string source = Path("src");
  CreateDirectoryA(source.c_str(), nullptr);
  CreateDirectoryA((source + "\\sub").c_str(), nullptr);
  CreateDirectoryA((source + "\\.hidden").c_str(), nullptr);
  DeleteFileA((source + "\\sub\\c.css").c_str());
  WriteWholeFile(source + "\\a.txt", {'a'});
  WriteWholeFile(source + "\\sub\\b.txt", {'b', 'b'});
  WriteWholeFile(source + "\\.skip.txt", {'s'});
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_ENSUREZEQRULES | ZEQPKG_TAGGED, Path("tree.zpk").c_str(),
                                             ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageAddData(package, "\\first.txt", "1", "1", 1));
  ASSERT_TRUE(ZEQPackageAddFolder(package, "\\app", source.c_str(), "", 0x1));
  int error = -1;
  auto entries = WalkEntries(package->content, package->length, true, &error);
  ASSERT_EQ(entries.size(), 5u);  // first.txt, \app, a.txt, \app\sub, b.txt (listing order aside)
  EXPECT_EQ(package->header.FilesCount, 3u);
  EXPECT_EQ(package->header.FilesSize, 4.0);

  // A text file without the UTF-8 mark makes the import fail part-way.
  WriteWholeFile(source + "\\sub\\c.css", {'x'});
  const std::vector<uint8_t> before(package->content, package->content + package->length);
  EXPECT_FALSE(ZEQPackageAddFolder(package, "\\again", source.c_str(), "", 0x1));
  EXPECT_EQ(std::vector<uint8_t>(package->content, package->content + package->length), before);
  EXPECT_EQ(package->header.FilesCount, 3u);
  EXPECT_EQ(package->header.FilesSize, 4.0);
  ZEQPackageRelease(package);
}

TEST_F(FileTrees, FileDigests) {
  const std::string empty = Path("empty.bin"), abc = Path("abc.bin");
  WriteWholeFile(empty, {});
  WriteWholeFile(abc, {'a', 'b', 'c'});
  char digest[kMD5HexSize];
  ASSERT_TRUE(GetFileMD5Ext(empty.c_str(), digest));
  EXPECT_STREQ(digest, "d41d8cd98f00b204e9800998ecf8427e");
  ASSERT_TRUE(GetFileMD5Ext(abc.c_str(), digest));
  EXPECT_STREQ(digest, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_FALSE(GetFileMD5Ext(Path("missing.bin").c_str(), digest));
}

// The system's own MD5, an implementation independent of ours.
std::string SystemMD5(const std::vector<uint8_t>& bytes) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::string text;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return text;
  BYTE digest[16];
  DWORD size = sizeof(digest);
  if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
      CryptHashData(hash, bytes.data(), DWORD(bytes.size()), 0) &&
      CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
    char pair[3];
    for (BYTE b : digest) {
      snprintf(pair, sizeof(pair), "%02x", b);
      text += pair;
    }
  }
  if (hash) CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  return text;
}

TEST_F(FileTrees, DigestsOfLargeAndMountedFiles) {
  // Several reads' worth, not a multiple of any block size.
  std::vector<uint8_t> bytes(200003);
  uint32_t seed = 7;
  for (auto& b : bytes) b = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
  const std::string expected = SystemMD5(bytes);
  ASSERT_EQ(32u, expected.size());
  const std::string large = Path("large.bin");
  WriteWholeFile(large, bytes);
  char digest[kMD5HexSize];
  ASSERT_TRUE(GetFileMD5Ext(large.c_str(), digest));
  EXPECT_EQ(expected, digest);

  const std::string mounted = "C:\\ZEQCVFS\\PID.MD5TEST\\large.bin";
  ASSERT_TRUE(VFSMountFile(mounted.c_str(), bytes.data(), uint32_t(bytes.size())));
  ASSERT_TRUE(GetFileMD5Ext(("zeq:" + mounted).c_str(), digest));
  EXPECT_EQ(expected, digest);
  VFSClearMounts();
}

TEST_F(FileTrees, IconFileBecomesGroupAndImages) {
  const std::string path = std::string(ZEQPKG_TEST_DATA) + "/three.ico";
  const std::vector<uint8_t> file = ReadWholeFile(path);
  ASSERT_FALSE(file.empty());
  uint8_t* images[kIconMaxImages] = {};
  uint8_t* group = nullptr;
  size_t groupSize = 0;
  ASSERT_TRUE(ReadIconFile(path.c_str(), images, kIconMaxImages, &group, &groupSize));
  ASSERT_EQ(groupSize, 6u + 42u);
  EXPECT_EQ(group[2], 1);
  EXPECT_EQ(group[4], 3);
  const uint8_t widths[] = {16, 32, 48};
  for (int i = 0; i < 3; ++i) {
    const uint8_t* g = group + 6 + 14 * i;
    const uint8_t* e = file.data() + 6 + 16 * i;
    EXPECT_EQ(g[0], widths[i]);
    EXPECT_EQ(g[12], i + 1);
    uint32_t size, offset;
    std::memcpy(&size, e + 8, 4);
    std::memcpy(&offset, e + 12, 4);
    EXPECT_EQ(std::memcmp(g + 8, &size, 4), 0);
    EXPECT_EQ(std::memcmp(images[i], file.data() + offset, size), 0);
    HeapFreeZ(images[i]);
  }
  HeapFreeZ(group);
}

TEST_F(FileTrees, DamagedIconFilesAreRefused) {
  const std::vector<uint8_t> good = ReadWholeFile(std::string(ZEQPKG_TEST_DATA) + "/three.ico");
  ASSERT_GT(good.size(), 60u);
  struct Case {
    size_t at;
    std::vector<uint8_t> bytes;
    size_t cut;  // 0: whole file
    size_t slots;
  } cases[] = {
      {4, {0xFF, 0xFF}, 0, kIconMaxImages},          // more images than the directory holds
      {4, {0x00, 0x00}, 0, kIconMaxImages},          // no images
      {0, {}, 0, 2},                                  // more images than slots
      {6 + 12, {0xF0, 0xFF, 0xFF, 0x7F}, 0, kIconMaxImages},  // offset beyond the file
      {6 + 8, {0xFF, 0xFF, 0xFF, 0xFF}, 0, kIconMaxImages},   // size beyond the file
      {0, {}, 20, kIconMaxImages},                    // directory cut
      {0, {}, good.size() - 1, kIconMaxImages},       // last image cut
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    std::vector<uint8_t> bytes = good;
    std::copy(cases[i].bytes.begin(), cases[i].bytes.end(), bytes.begin() + cases[i].at);
    if (cases[i].cut) bytes.resize(cases[i].cut);
    const std::string path = Path("bad.ico");
    WriteWholeFile(path, bytes);
    uint8_t* images[kIconMaxImages] = {};
    uint8_t* group = nullptr;
    EXPECT_FALSE(ReadIconFile(path.c_str(), images, cases[i].slots, &group, nullptr)) << "case " << i;
    EXPECT_EQ(group, nullptr);
    for (uint8_t* image : images) EXPECT_EQ(image, nullptr);
  }
}

}  // namespace
