// The byte layout of packages: header, entries, stored flags, Custom field,
// and refusal of broken or hostile packages.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/heap.h"
#include "package_test_support.h"

namespace {

std::vector<uint8_t> Bytes(const char* text, size_t n) { return std::vector<uint8_t>(text, text + n); }

class PackageFiles : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = PackageTestFolder("format"); }
  std::string Path(const char* name) { return folder_ + "\\" + name; }
  std::string folder_;
};

TEST_F(PackageFiles, TaggedAndUntaggedStreamsHoldTheEntryBytes) {
  for (uint32_t flags : {ZEQPKG_TAGGED, 0u}) {
    const std::string path = Path("layout.zpk");
    ZEQPackageDATA* package = ZEQPackageCreate(flags, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
    ASSERT_NE(package, nullptr);
    ASSERT_TRUE(ZEQPackageAddData(package, "\\a", "0", nullptr, 0));
    ASSERT_TRUE(ZEQPackageAddData(package, "\\a\\b.txt", "1", "xyz", 3));
    ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
    ZEQPackageRelease(package);
    const std::vector<uint8_t> file = ReadWholeFile(path);
    ASSERT_GE(file.size(), kPackageHeaderSize);
    const std::vector<uint8_t> body(file.begin() + kPackageHeaderSize, file.end());
    static const char kTagged[] = "//{\x03\0\0\0" "0\\a}//" "//{\x09\0\0\0" "1\\a\\b.txt\x03\0\0\0//(xyz)//}//";
    static const char kPlain[] = "\x03\0\0\0" "0\\a" "\x09\0\0\0" "1\\a\\b.txt\x03\0\0\0xyz";
    EXPECT_EQ(body, flags ? Bytes(kTagged, sizeof(kTagged) - 1) : Bytes(kPlain, sizeof(kPlain) - 1));
    ZEQPackageHeader header;
    std::memcpy(&header, file.data(), sizeof(header));
    EXPECT_EQ(header.FilesCount, 1u);
    EXPECT_EQ(header.FilesSize, 3.0);
    EXPECT_EQ(header.Version, 3u);
    EXPECT_EQ(header.Release, 7u);
    EXPECT_EQ(header.Build, 121u);
    EXPECT_EQ(std::strlen(header.UUID), 36u);
  }
}

TEST_F(PackageFiles, StoredFlagsAreReduced) {
  struct Case {
    uint32_t type, given, stored;
  } cases[] = {{1, 0x4000000E, 0xE}, {0, 0x4000000E, 0x6}, {1, 0x20000018, 0x8}};
  for (const Case& c : cases) {
    const std::string path = Path("flags.zpk");
    ZEQPackageDATA* package = ZEQPackageCreate(c.given, path.c_str(), c.type, "pw");
    ASSERT_NE(package, nullptr);
    if (c.type == 1) {
      ASSERT_TRUE(ZEQPackageAddData(package, "\\x.js", "1", "1", 1));
    } else {
      ASSERT_TRUE(ZEQPackageWriteFile(package, 1, "1"));
    }
    EXPECT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0x1));
    ZEQPackageRelease(package);
    ZEQPackageDATA* reopened = ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->header.Flags, c.stored);
    ZEQPackageRelease(reopened);
  }
}

TEST_F(PackageFiles, EmptyPackageIsOnlyTheHeader) {
  const std::string path = Path("empty.zpk");
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_TAGGED, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0x1));
  ZEQPackageRelease(package);
  EXPECT_EQ(ReadWholeFile(path).size(), kPackageHeaderSize);
  ZEQPackageDATA* reopened = ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(reopened->length, 0u);
  ZEQPackageRelease(reopened);
}

TEST(PackageEntries, PathRecordsReadBackNormalised) {
  for (const char* raw : {"/x.js", "x.js", "\\x.js"}) {
    char* path = PackageNormaliseEntryPath(raw, std::strlen(raw));
    EXPECT_STREQ(path, "\\x.js") << raw;
    HeapFreeZ(path);
  }
}

TEST(PackageEntries, FileNamesAreChecked) {
  struct Case {
    const char* path;
    bool valid;
  } cases[] = {{"\\dir\\a.js", true},
               {"\\dir\\bad?name.js", false},
               {"\\dir\\a.js:opt( spwd=x )", true},
               {"\\a\\b:c.txt", false},
               {"\\a\\b.txt:file(name=\"c.txt\")", true},
               {"", false}};
  for (const Case& c : cases) EXPECT_EQ(PackagePathIsValidFileEntry(c.path, std::strlen(c.path)), c.valid) << c.path;
}

TEST(PackageEntries, HostileLengthsStopTheWalk) {
  struct Case {
    std::vector<uint8_t> stream;
    bool tagged;
    int error;
    size_t entries;
  };
  const auto S = [](const char* text, size_t n) { return Bytes(text, n); };
  const Case cases[] = {
      {S("\xFF\xFF\xFF\xFF" "1x", 6), false, 0, 0},                          // path longer than the stream
      {S("//{\xFF\xFF\xFF\xFF" "1x", 9), true, ZEQPKG_EXTRACT_ERROR_CLOSETAG, 0},
      {S("\x02\0\0\0" "1x\xFF\xFF\xFF\x7F" "ab", 12), false, ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH, 0},
      {S("\x02\0\0\0" "1x\x01\0", 8), false, ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH, 0},
      {S("//[\x02\0\0\0" "0x}//", 12), true, ZEQPKG_EXTRACT_ERROR_OPENTAG, 0},
      {S("//{\x02\0\0\0" "0x}//" "//", 14), true, 0, 1},                       // a short tail ends the stream
      {S("//{\x02\0\0\0" "1x\x01\0\0\0//(a)//}/", 22), true, ZEQPKG_EXTRACT_ERROR_CLOSETAG, 0},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    int error = -1;
    const auto entries = WalkEntries(cases[i].stream.data(), cases[i].stream.size(), cases[i].tagged, &error);
    EXPECT_EQ(error, cases[i].error) << "case " << i;
    EXPECT_EQ(entries.size(), cases[i].entries) << "case " << i;
  }
}

// A compressed and enciphered package and a plain tagged one, cut and with
// flipped bytes: opening refuses them or gives back a content whose walk
// reports the damage; nothing reads past the bytes present.
TEST_F(PackageFiles, DamagedPackagesAreRefusedCleanly) {
  for (uint32_t flags : {0xEu, 0x8u}) {
    const std::string good = Path("good.zpk");
    ZEQPackageDATA* package = ZEQPackageCreate(flags, good.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
    ASSERT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "hello", 5));
    ASSERT_TRUE(ZEQPackageAddData(package, "\\b.txt", "1", "world!", 6));
    ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
    ZEQPackageRelease(package);
    const std::vector<uint8_t> image = ReadWholeFile(good);
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t cut : {size_t(0), size_t(10), size_t(175), size_t(177), size_t(180), image.size() - 1})
      damaged.emplace_back(image.begin(), image.begin() + cut);
    for (size_t at : {size_t(0), size_t(80), size_t(160), size_t(176), size_t(178), size_t(190), image.size() - 1}) {
      damaged.push_back(image);
      damaged.back()[at] ^= 0xFF;
    }
    for (size_t i = 0; i < damaged.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "flags " << flags << " case " << i);
      const std::string path = Path("bad.zpk");
      WriteWholeFile(path, damaged[i]);
      ZEQPackageDATA* opened = ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
      if (!opened) continue;
      int error = 0;
      const auto entries = WalkEntries(opened->content, opened->length, opened->header.Flags & ZEQPKG_TAGGED, &error);
      EXPECT_TRUE(error != 0 || entries.size() <= 2);
      ZEQPackageRelease(opened);
    }
  }
}

TEST_F(PackageFiles, WrongPasswordIsRefusedBeforeTheBody) {
  const std::string path = Path("pw.zpk");
  ZEQPackageDATA* package = ZEQPackageCreate(0x4, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "right");
  ASSERT_TRUE(ZEQPackageSetCustom(package, "Ol\xE1"));
  ASSERT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "x", 1));
  ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(package);
  EXPECT_EQ(ZEQPackageOpen(path.c_str(), "wrong", nullptr, 0), nullptr);
  ZEQPackageDATA* right = ZEQPackageOpen(path.c_str(), "right", nullptr, 0);
  ASSERT_NE(right, nullptr);
  EXPECT_STREQ(right->custom, "Ol\xE1");
  ZEQPackageRelease(right);
}

}  // namespace
