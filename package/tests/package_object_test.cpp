// The package object: adding, failing adds, Custom, closing and file-backed
// packages.
#include <gtest/gtest.h>

#include <cstring>

#include "package_test_support.h"

namespace {

class PackageObject : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = PackageTestFolder("object"); }
  std::string Path(const char* name) { return folder_ + "\\" + name; }
  ZEQPackageDATA* Reopen(const std::string& path, const char* password = "pw") {
    return ZEQPackageOpen(path.c_str(), password, nullptr, 0);
  }
  std::string folder_;
};

TEST_F(PackageObject, FailedAddLeavesContentAndCounters) {
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_TAGGED, Path("add.zpk").c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageAddData(package, "\\ok.js", "1", "abc", 3));
  const std::vector<uint8_t> before(package->content, package->content + package->length);
  EXPECT_FALSE(ZEQPackageAddData(package, "\\dir\\bad?name.js", "1", "zz", 2));
  EXPECT_FALSE(ZEQPackageAddData(package, "", "1", "zz", 2));
  EXPECT_FALSE(ZEQPackageAddData(package, "\\x.js", "2", "zz", 2));
  EXPECT_FALSE(ZEQPackageAddFile(package, "\\missing.js", Path("no-such-file.js").c_str()));
  EXPECT_EQ(std::vector<uint8_t>(package->content, package->content + package->length), before);
  EXPECT_EQ(package->header.FilesCount, 1u);
  EXPECT_EQ(package->header.FilesSize, 3.0);
  ZEQPackageRelease(package);

  ZEQPackageDATA* single = ZEQPackageCreate(0, Path("single.zpk").c_str(), ZEQPKG_TYPE_SINGLE, "pw");
  EXPECT_FALSE(ZEQPackageAddData(single, "\\a.js", "1", "a", 1));
  EXPECT_EQ(single->length, 0u);
  ZEQPackageRelease(single);
}

TEST_F(PackageObject, CustomTextFollowsThePasswordRule) {
  ZEQPackageDATA* package = ZEQPackageCreate(0x4, Path("custom.zpk").c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  EXPECT_FALSE(ZEQPackageSetCustom(package, std::string(65, 'x').c_str()));
  EXPECT_FALSE(ZEQPackageSetCustom(package, "bad \xC7"));
  EXPECT_TRUE(ZEQPackageSetCustom(package, std::string(64, 'y').c_str()));
  ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(package);
  ZEQPackageDATA* reopened = Reopen(Path("custom.zpk"));
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(std::string(reopened->custom), std::string(64, 'y'));
  ZEQPackageRelease(reopened);
}

TEST_F(PackageObject, SettingCustomIsWrittenAtClose) {
  const std::string path = Path("setcustom.zpk");
  ZEQPackageDATA* package = ZEQPackageCreate(0x6, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "a", 1));
  ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(package);
  ZEQPackageDATA* opened = Reopen(path);
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(ZEQPackageSetCustom(opened, "new text"));
  ASSERT_TRUE(ZEQPackageClose(opened, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(opened);
  ZEQPackageDATA* again = Reopen(path);
  ASSERT_NE(again, nullptr);
  EXPECT_STREQ(again->custom, "new text");
  int error = -1;
  EXPECT_EQ(WalkEntries(again->content, again->length, false, &error).size(), 1u);
  ZEQPackageRelease(again);
}

TEST_F(PackageObject, UnchangedCloseWritesNothingUnlessForced) {
  const std::string path = Path("unchanged.zpk");
  DeleteFileA(path.c_str());
  ZEQPackageDATA* package = ZEQPackageCreate(0, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  EXPECT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0x1));
  EXPECT_EQ(ReadWholeFile(path).size(), kPackageHeaderSize);
  ZEQPackageRelease(package);
}

TEST_F(PackageObject, FileBackedPackagesWriteStraightToTheirFile) {
  for (uint32_t flags : {0x8u, 0xEu}) {
    const std::string path = Path("backed.zpk");
    ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_FILE_BACKED | flags, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
    ASSERT_NE(package, nullptr);
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(package->handle, &size));
    EXPECT_EQ(size.QuadPart, LONGLONG(kPackageHeaderSize));
    ASSERT_TRUE(ZEQPackageAddData(package, "\\a", "0", nullptr, 0));
    ASSERT_TRUE(ZEQPackageAddData(package, "\\a\\b.txt", "1", "xyz", 3));
    EXPECT_FALSE(ZEQPackageAddData(package, "\\a\\b?.txt", "1", "xyz", 3));
    ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
    ZEQPackageRelease(package);
    ZEQPackageDATA* reopened = Reopen(path);
    ASSERT_NE(reopened, nullptr);
    int error = -1;
    const auto entries = WalkEntries(reopened->content, reopened->length, flags & ZEQPKG_TAGGED, &error);
    EXPECT_EQ(error, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].data, std::vector<uint8_t>({'x', 'y', 'z'}));
    EXPECT_EQ(reopened->header.Flags, flags);
    ZEQPackageRelease(reopened);
  }
  // Without entries the close fails and the created file stays as it was.
  const std::string path = Path("backed-empty.zpk");
  ZEQPackageDATA* empty = ZEQPackageCreate(ZEQPKG_FILE_BACKED | 0x8, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  EXPECT_FALSE(ZEQPackageClose(empty, INVALID_HANDLE_VALUE, 0x1));
  ZEQPackageRelease(empty);
  EXPECT_EQ(ReadWholeFile(path).size(), kPackageHeaderSize);
}

TEST_F(PackageObject, AddFileKeepsTheTextRule) {
  const std::string css = Path("plain.css"), bom = Path("bom.css"), png = Path("pic.png");
  WriteWholeFile(css, {'a', '{', '}'});
  WriteWholeFile(bom, {0xEF, 0xBB, 0xBF, 'a'});
  WriteWholeFile(png, {0x89, 'P', 'N', 'G'});
  ZEQPackageDATA* package =
      ZEQPackageCreate(ZEQPKG_ENSUREZEQRULES, Path("rules.zpk").c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  EXPECT_FALSE(ZEQPackageAddFile(package, "\\plain.css", css.c_str()));
  EXPECT_TRUE(ZEQPackageAddFile(package, "\\bom.css", bom.c_str()));
  EXPECT_TRUE(ZEQPackageAddFile(package, "\\pic.png", ("zeq:" + png).c_str()));
  EXPECT_TRUE(ZEQPackageAddFile(package, "\\empty.txt", ""));
  int error = -1;
  const auto entries = WalkEntries(package->content, package->length, false, &error);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].data, std::vector<uint8_t>({0x89, 'P', 'N', 'G'}));
  EXPECT_EQ(package->header.FilesCount, 3u);
  ZEQPackageRelease(package);
}

TEST_F(PackageObject, UnloadWipesTheContentAndKey) {
  ZEQPackageDATA* package = ZEQPackageCreate(0, Path("unload.zpk").c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageAddData(package, "\\a.txt", "1", "abc", 3));
  ZEQPackageUnload(package);
  EXPECT_EQ(package->length, 0u);
  EXPECT_EQ(package->key[0], 0);
  EXPECT_EQ(package->changed, 0u);
  ZEQPackageRelease(package);
  EXPECT_EQ(ZEQPackageOpen("", "pw", nullptr, 0), ZEQGetApplicationPackage());
}

// A package inside an executable is a signed resource of it: the package
// object neither reads the executable's bytes as a package nor writes its
// image over them.
TEST_F(PackageObject, ExecutablesAreNeitherOpenedNorOverwritten) {
  const std::string exe = Path("app.exe");
  const std::vector<uint8_t> program = {'M', 'Z', 0x90, 0, 3, 0, 0, 0};
  WriteWholeFile(exe, program);

  ZEQPackageDATA* memory = ZEQPackageCreate(ZEQPKG_TAGGED, exe.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_NE(memory, nullptr);
  ASSERT_TRUE(ZEQPackageAddData(memory, "\\a.txt", "1", "abc", 3));
  EXPECT_FALSE(ZEQPackageClose(memory, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(memory);
  EXPECT_EQ(ReadWholeFile(exe), program);

  EXPECT_EQ(ZEQPackageCreate(ZEQPKG_FILE_BACKED, exe.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw"), nullptr);
  EXPECT_EQ(ReadWholeFile(exe), program);
  EXPECT_EQ(Reopen(exe), nullptr);
  DeleteFileA(exe.c_str());
}

TEST_F(PackageObject, ProvisionalFilesAreDeletedAtClose) {
  const std::string file = Path("provisional.txt");
  const std::string viaZeq = Path("provisional-zeq.txt");
  const std::string folder = Path("provisional-folder");
  const std::string kept = Path("kept.txt");
  WriteWholeFile(file, {'a'});
  WriteWholeFile(viaZeq, {'b'});
  WriteWholeFile(kept, {'c'});
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_TAGGED, Path("temp.zpk").c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageAddTemporaryFile(package, file.c_str()));
  ASSERT_TRUE(ZEQPackageAddTemporaryFile(package, ("ZEQ:" + viaZeq).c_str()));
  ASSERT_TRUE(ZEQPackageAddTemporaryFile(package, folder.c_str()));
  EXPECT_FALSE(ZEQPackageAddTemporaryFile(package, ""));
  // Unchanged: nothing is written, but the provisional files still go.
  EXPECT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(viaZeq.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(kept.c_str()), INVALID_FILE_ATTRIBUTES);
  ZEQPackageRelease(package);
  DeleteFileA(kept.c_str());
}

}  // namespace
