// The byte layout of packages: header, entries, stored flags, Custom field,
// and refusal of broken or hostile packages.
#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>

#include "foundation/heap.h"
#include "log_capture.h"
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
// flipped bytes. Each damage has one outcome: the package is refused, or it
// opens and the walk of its content gives the entries still intact and the
// error of the step that found the damage. Nothing reads past the bytes
// present.
struct Damage {
  const char* name;
  bool cut;      // cut at the offset, else the byte there flipped
  long offset;   // from the start, or (negative) from the end
  bool opens;
  size_t entries;
  int error;
};

TEST_F(PackageFiles, DamagedPackagesGiveTheirOwnOutcome) {
  // The plain body: "//{" len "1\a.txt" len "//(" "hello" ")//" "}//", and
  // the same for "world!": 32 and 33 bytes after the 176-byte header.
  const Damage plain[] = {
      {"empty file", true, 0, false, 0, 0},
      {"cut in the header", true, 10, false, 0, 0},
      {"header one byte short", true, 175, false, 0, 0},
      {"body of one byte", true, 177, true, 0, 0},
      {"cut in the first path length", true, 180, true, 0, ZEQPKG_EXTRACT_ERROR_CLOSETAG},
      {"last close tag short", true, -1, true, 1, ZEQPKG_EXTRACT_ERROR_CLOSETAG},
      {"magic", false, 0, false, 0, 0},
      {"identifier", false, 40, true, 2, 0},
      {"Custom text (not enciphered, not checked)", false, 80, true, 2, 0},
      {"flags (now enciphered)", false, 160, false, 0, 0},
      {"first open tag", false, 176, true, 0, ZEQPKG_EXTRACT_ERROR_OPENTAG},
      {"first open tag's brace", false, 178, true, 0, ZEQPKG_EXTRACT_ERROR_OPENTAG},
      {"first data length", false, 190, true, 0, ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH},
      {"last close tag", false, -1, true, 1, ZEQPKG_EXTRACT_ERROR_CLOSETAG},
  };
  // The sealed body: the plain length, then the enciphered, compressed
  // stream; any damage to it fails the decoding.
  const Damage sealed[] = {
      {"empty file", true, 0, false, 0, 0},
      {"cut in the header", true, 10, false, 0, 0},
      {"header one byte short", true, 175, false, 0, 0},
      {"body of one byte", true, 177, false, 0, 0},
      {"body of four bytes", true, 180, false, 0, 0},
      {"last byte missing", true, -1, false, 0, 0},
      {"magic", false, 0, false, 0, 0},
      {"identifier", false, 40, true, 2, 0},
      {"enciphered Custom text", false, 80, false, 0, 0},
      {"plain length", false, 176, false, 0, 0},
      {"plain length's high byte", false, 179, false, 0, 0},
      {"enciphered stream", false, 190, false, 0, 0},
      {"last enciphered byte", false, -1, false, 0, 0},
  };
  const struct {
    uint32_t flags;
    const Damage* damages;
    size_t count;
  } kinds[] = {{0x8u, plain, sizeof(plain) / sizeof(plain[0])}, {0xEu, sealed, sizeof(sealed) / sizeof(sealed[0])}};
  for (const auto& kind : kinds) {
    const std::string good = Path("good.zpk");
    ZEQPackageDATA* package = ZEQPackageCreate(kind.flags, good.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
    ASSERT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "hello", 5));
    ASSERT_TRUE(ZEQPackageAddData(package, "\\b.txt", "1", "world!", 6));
    ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
    ZEQPackageRelease(package);
    const std::vector<uint8_t> image = ReadWholeFile(good);
    if (kind.flags == 0x8u) {
      ASSERT_EQ(image.size(), kPackageHeaderSize + 65);
    }
    for (size_t i = 0; i < kind.count; ++i) {
      const Damage& d = kind.damages[i];
      SCOPED_TRACE(testing::Message() << "flags " << kind.flags << ": " << d.name);
      const size_t at = d.offset < 0 ? image.size() + d.offset : size_t(d.offset);
      std::vector<uint8_t> damaged = image;
      if (d.cut)
        damaged.resize(at);
      else
        damaged[at] ^= 0xFF;
      const std::string path = Path("bad.zpk");
      WriteWholeFile(path, damaged);
      ZEQPackageDATA* opened = ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
      EXPECT_EQ(d.opens, opened != nullptr);
      if (!opened) continue;
      int error = -1;
      const auto entries = WalkEntries(opened->content, opened->length, opened->header.Flags & ZEQPKG_TAGGED, &error);
      EXPECT_EQ(d.error, error);
      ASSERT_EQ(d.entries, entries.size());
      // What is read is what was written.
      const std::vector<WalkedEntry> written = {{'1', "\\a.txt", Bytes("hello", 5)}, {'1', "\\b.txt", Bytes("world!", 6)}};
      for (size_t e = 0; e < entries.size(); ++e) EXPECT_EQ(written[e], entries[e]);
      ZEQPackageRelease(opened);
    }
  }
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// 0xC7 is no letter of the texts a Custom field may hold: deciphered with
// the right key it still means a wrong password.
TEST_F(PackageFiles, CustomTextWithAForeignByteReadsAsAWrongPassword) {
  const std::string path = Path("c7.zpk");
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_ENCRYPT, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageSetCustom(package, "Ola"));
  ASSERT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "x", 1));
  ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(package);
  std::vector<uint8_t> image = ReadWholeFile(path);
  ASSERT_GE(image.size(), kPackageHeaderSize);
  // The key an opening with "pw" derives, to re-encipher the edited field.
  ZEQPackageDATA* probe = ZEQPackageNew(0, 0);
  SetPackageKey(probe->key, "pw", 0);
  ZEQPackageHeader header;
  std::memcpy(&header, image.data(), sizeof(header));
  ASSERT_TRUE(PackageDecipherCustom(header.Custom, probe->key));
  ASSERT_STREQ("Ola", header.Custom);
  header.Custom[1] = char(0xC7);
  ASSERT_TRUE(PackageEncipherCustom(header.Custom, probe->key));
  ZEQPackageRelease(probe);
  std::memcpy(image.data(), &header, sizeof(header));
  WriteWholeFile(path, image);

  logtest::CapturedGlobalLog log;
  EXPECT_EQ(ZEQPackageOpen(path.c_str(), "pw", nullptr, 0), nullptr);
  EXPECT_TRUE(HasLine(log.Texts(), "ZEQPackageCheckHeader: [FAILED] \"" + path + "\" - Invalid Password"))
      << log.Contents();
}

TEST_F(PackageFiles, TextFileWithoutTheUtf8MarkIsRefusedUnderTheRules) {
  const std::string css = Path("plain.css");
  WriteWholeFile(css, {'a', '{', '}'});
  const std::string path = Path("rules.zpk");
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_ENSUREZEQRULES, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  logtest::CapturedGlobalLog log;
  EXPECT_FALSE(ZEQPackageAddFile(package, "\\plain.css", css.c_str()));
  EXPECT_TRUE(HasLine(log.Texts(), "ZEQPackageAddFile: [FAILED] \"" + path + "\" - \"" + css +
                                       "\" - Due to ZEQ Rules - UTF-8 File Code Page Expected"))
      << log.Contents();
  EXPECT_EQ(package->length, 0u);
  ZEQPackageRelease(package);
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
