// Extraction of packages made here to scratch folders, into memory and into
// the mount list, compared file by file; hostile packages are refused with
// nothing written outside the target.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/builtin_key.h"
#include "foundation/heap.h"
#include "package/application_package.h"
#include "package/package_extract.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "extract_test_support.h"
#include "package_test_support.h"

namespace {

using namespace extract_test;

struct ExtractCase {
  const char* name;
  uint32_t packageFlags;
  std::vector<Entry> entries;
  const char* filter;
  uint32_t options;
  int code;
  std::map<std::string, std::string> files;  // under the output folder
};

TEST(PackageExtract, PackagesExtractToTheTargetFileByFile) {
  const std::vector<ExtractCase> cases = {
      {"a named filter writes that entry and stops",
       0xE,
       {{"\\a.js", '1', "A"}, {"\\b.js", '1', "B"}, {"\\a.js", '1', "second"}},
       "\\a.js",
       0,
       0,
       {{"\\a.js", "A"}}},
      {"a wildcard writes every match",
       0x8,
       {{"\\a.js", '1', "A"}, {"\\b.js", '1', "B"}, {"\\c.css", '1', "C"}},
       "*.js",
       0,
       0,
       {{"\\a.js", "A"}, {"\\b.js", "B"}}},
      {"folders and nested paths are made",
       0x6,
       {{"\\dir", '0', ""}, {"\\empty", '0', ""}, {"\\dir\\sub\\y.txt", '1', "Y"}},
       "*",
       0,
       0,
       {{"\\dir\\sub\\y.txt", "Y"}}},
      {"the root option flattens paths",
       0x8,
       {{"\\dir\\y.txt", '1', "Y"}},
       "*",
       ZEQPKG_EXTRACT_ROOT,
       0,
       {{"\\y.txt", "Y"}}},
      {"a file directive renames the output",
       0x8,
       {{"\\dir\\y.txt:file( name=\"x.txt\" )", '1', "Y"}},
       "*",
       0,
       0,
       {{"\\dir\\x.txt", "Y"}}},
      {"a reference reads a loose file beside the package",
       0x8,
       {{"\\dir\\:ref( loose.txt )", '1', ""}},
       "*",
       0,
       0,
       {{"\\dir\\loose.txt", "LOOSE"}}},
      {"a missing reference fails with its code",
       0x8,
       {{"\\dir\\:ref( missing.txt )", '1', ""}},
       "*",
       0,
       ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE,
       {}},
      {"nofail lets a missing reference pass",
       0x8,
       {{"\\dir\\:ref( missing.txt ):opt( nofail )", '1', ""}, {"\\z.txt", '1', "Z"}},
       "*",
       0,
       0,
       {{"\\z.txt", "Z"}}},
      {"a file that is not a package cannot be unpacked",
       0x8,
       {{"\\n.zpk:file( unpack )", '1', "short"}},
       "*",
       0,
       ZEQPKG_EXTRACT_ERROR_INVALIDFILE,
       {}},
  };
  for (const ExtractCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch scratch("extract");
    WriteWholeFile(scratch.packages + "\\loose.txt", {'L', 'O', 'O', 'S', 'E'});
    const std::string path = MakePackage(scratch.packages + "\\p.zpk", c.packageFlags, c.entries);
    ZEQPackageDATA* package = ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), c.filter, "", "pw", c.options),
              c.code);
    ZEQPackageRelease(package);
    std::map<std::string, std::string> files;
    ListFiles(scratch.out, "", &files);
    EXPECT_EQ(files, c.files);
  }
}

TEST(PackageExtract, NestedPackagesUnpackWithTheirOwnKey) {
  Scratch scratch("nested");
  const std::string inner =
      PackageImage(scratch.root + "\\inner.zpk", 0xE, {{"\\i.txt", '1', "INNER"}, {"\\deep\\j.txt", '1', "J"}}, "sub");
  MakePackage(scratch.packages + "\\p.zpk", 0xE,
              {{"\\n:file( unpack ):opt( spwd=sub )", '1', inner}, {"\\inner.zpk:opt( spwd=sub )", '1', inner}});
  ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), "*", "", "pw", 0), 0);
  std::map<std::string, std::string> files;
  ListFiles(scratch.out, "", &files);
  EXPECT_EQ(files, (std::map<std::string, std::string>{
                       {"\\n\\i.txt", "INNER"}, {"\\n\\deep\\j.txt", "J"}, {"\\inner.zpk", inner}}));

  // Locate mode reaches into the stored package for one file, into memory.
  EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, nullptr, "\\inner.zpk\\deep\\j.txt", "", "pw",
                              ZEQPKG_EXTRACT_RECURSIVE),
            0);
  ASSERT_NE(package->extracted, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(package->extracted), package->extractedLength), "J");
  ZEQPackageRelease(package);
}

TEST(PackageExtract, AStoredPackageIsRekeyedWithTheExtractionPassword) {
  Scratch scratch("rekey");
  const std::string inner = PackageImage(scratch.root + "\\inner.zpk", 0xE, {{"\\i.txt", '1', "INNER"}}, "sub");
  MakePackage(scratch.packages + "\\p.zpk", 0x8, {{"\\inner.zpk:opt( spwd=sub )", '1', inner}});
  ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), "*", "*.zpk", "fresh",
                              ZEQPKG_EXTRACT_ENCRYPT),
            0);
  ZEQPackageRelease(package);
  const std::string written = scratch.out + "\\inner.zpk";
  EXPECT_EQ(ZEQPackageOpen(written.c_str(), "sub", nullptr, 0), nullptr);
  ZEQPackageDATA* reopened = ZEQPackageOpen(written.c_str(), "fresh", nullptr, 0);
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(ZEQPackageExtract(reopened, nullptr, nullptr, nullptr, "\\i.txt", "", "", 0), 0);
  ASSERT_NE(reopened->extracted, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reopened->extracted), reopened->extractedLength), "INNER");
  ZEQPackageRelease(reopened);
}

TEST(PackageExtract, SingleContentAndProvisionalFiles) {
  Scratch scratch("single");
  MakePackage(scratch.packages + "\\s.zpk", 0x6, {{"", '1', "whole content"}}, "pw", ZEQPKG_TYPE_SINGLE);
  ZEQPackageDATA* single = ZEQPackageOpen((scratch.packages + "\\s.zpk").c_str(), "pw", nullptr, 0);
  ASSERT_NE(single, nullptr);
  const std::string file = scratch.out + "\\named.bin";
  EXPECT_EQ(ZEQPackageExtract(single, nullptr, nullptr, file.c_str(), "*", "", "pw", ZEQPKG_EXTRACT_FILE), 0);
  EXPECT_EQ(Bytes(ReadWholeFile(file)), "whole content");
  ZEQPackageRelease(single);

  MakePackage(scratch.packages + "\\p.zpk", 0x8, {{"\\t.txt:opt( provisional )", '1', "T"}, {"\\k.txt", '1', "K"}});
  ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), "*", "", "pw", 0), 0);
  EXPECT_NE(GetFileAttributesA((scratch.out + "\\t.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ZEQPackageClose(package, nullptr, 0));
  EXPECT_EQ(GetFileAttributesA((scratch.out + "\\t.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((scratch.out + "\\k.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  ZEQPackageRelease(package);
}

struct HostileCase {
  const char* name;
  std::vector<Entry> entries;
  uint32_t options;
};

TEST(PackageExtract, HostileEntriesAreRefusedWithNothingWrittenOutside) {
  const std::vector<HostileCase> cases = {
      {"a parent folder in the entry path", {{"\\..\\evil.txt", '1', "E"}}, 0},
      {"a parent folder written with trailing dots", {{"\\sub\\...\\..\\evil.txt", '1', "E"}}, 0},
      {"a drive path inside the entry path", {{"\\C:\\evil.txt", '1', "E"}}, 0},
      {"a share path as entry path", {{"\\\\\\server\\share\\evil.txt", '1', "E"}}, 0},
      {"a folder entry that climbs", {{"\\..\\evildir", '0', ""}}, 0},
      {"a rename that climbs", {{"\\x.txt:file( name=..\\evil.txt )", '1', "E"}}, 0},
      {"a reference outside the package folder", {{"\\:ref( ..\\secret.txt )", '1', ""}}, 0},
      {"a reference by absolute path", {{"\\:ref( %s )", '1', ""}}, 0},
      {"a program asked to run", {{"\\run.exe:exec( immediate )", '1', "MZ"}}, ZEQPKG_EXTRACT_EXECUTE},
      {"a script asked to run", {{"\\run.js:exec( immediate )", '1', "1;"}}, ZEQPKG_EXTRACT_EXECUTE},
      {"a page asked to run", {{"\\run.html:exec( immediate wait )", '1', "<p>"}}, ZEQPKG_EXTRACT_EXECUTE},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch scratch("hostile");
    WriteWholeFile(scratch.root + "\\secret.txt", {'S'});
    std::vector<Entry> entries = {{"\\good.txt", '1', "G"}};
    for (Entry e : c.entries) {
      const size_t mark = e.path.find("%s");
      if (mark != std::string::npos) e.path.replace(mark, 2, scratch.root + "\\secret.txt");
      entries.push_back(e);
    }
    MakePackage(scratch.packages + "\\p.zpk", 0x8, entries);
    ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
    ASSERT_NE(package, nullptr);
    // Also under a wildcard, after a good entry, the refusal is reported.
    EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), "*", "", "pw", c.options),
              ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
    ZEQPackageRelease(package);
    std::map<std::string, std::string> everything;
    ListFiles(scratch.root, "", &everything);
    EXPECT_EQ(everything, (std::map<std::string, std::string>{{"\\secret.txt", "S"},
                                                              {"\\pkg\\p.zpk", everything["\\pkg\\p.zpk"]},
                                                              {"\\out\\good.txt", "G"}}));
  }
}

class ApplicationMount : public ::testing::Test {
 protected:
  void SetUp() override {
    GetVirtualRootFolder(VirtualRootBuffer());
    root_ = VirtualRootBuffer();
    VFSClearMounts();
  }
  void TearDown() override {
    ReleaseApplicationPackage();
    VFSClearMounts();
    SetApplicationKey("");
  }
  ZEQPackageDATA* Open(const std::string& path, const std::vector<Entry>& entries, uint32_t flags) {
    MakePackage(path, flags, entries);
    return ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
  }
  std::string Mounted(const std::string& relative) {
    void* data = nullptr;
    DWORD size = 0;
    if (!ReadWholeFileExt(("zeq:" + root_ + relative).c_str(), &data, &size)) return "<none>";
    std::string text(static_cast<char*>(data), size);
    HeapFreeZ(data);
    return text;
  }
  std::string root_;
};

TEST_F(ApplicationMount, EveryFileOfThePackageIsMountedUnderTheVirtualRoot) {
  Scratch scratch("mountapp");
  ZEQPackageDATA* first = Open(scratch.packages + "\\a.zpk",
                               {{"\\index.html", '1', "<html/>"}, {"\\js\\app.js", '1', "1;"}}, 0xE);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(MountApplicationPackage(first, "", 0));
  EXPECT_EQ(ZEQGetApplicationPackage(), first);
  EXPECT_EQ(Mounted("\\index.html"), "<html/>");
  EXPECT_EQ(Mounted("\\js\\app.js"), "1;");
  EXPECT_EQ(first->length, 0u) << "without raw access the content is dropped";

  ZEQPackageDATA* second = Open(scratch.packages + "\\b.zpk", {{"\\js\\app.js", '1', "2;"}}, 0xE);
  ASSERT_TRUE(MountApplicationPackage(second, "\\", kMountKeepExisting));
  EXPECT_EQ(ZEQGetApplicationPackage(), first);
  EXPECT_EQ(Mounted("\\index.html"), "<html/>");
  EXPECT_EQ(Mounted("\\js\\app.js"), "2;");
  ZEQPackageRelease(second);
}

TEST_F(ApplicationMount, RefusedMountsChangeNothing) {
  Scratch scratch("mountrefuse");
  ZEQPackageDATA* first = Open(scratch.packages + "\\a.zpk", {{"\\index.html", '1', "<html/>"}}, 0xE);
  ASSERT_TRUE(MountApplicationPackage(first, "", 0));
  const struct {
    const char* name;
    uint32_t flags;
    const char* subFolder;
    bool key;
  } refused[] = {{"a compressed package without encipherment under a key", 0x2, "", true},
                 {"a sub-folder beginning with two backslashes", 0xE, "\\\\sub", false},
                 {"a sub-folder beginning with a letter", 0xE, "sub", false}};
  for (const auto& r : refused) {
    SCOPED_TRACE(r.name);
    if (r.key) SetApplicationKey("0123456789abcdef0123456789abcdef");
    ZEQPackageDATA* other = Open(scratch.packages + "\\b.zpk", {{"\\other.html", '1', "x"}}, r.flags);
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(MountApplicationPackage(other, r.subFolder, 0));
    EXPECT_EQ(ZEQGetApplicationPackage(), first);
    EXPECT_EQ(Mounted("\\index.html"), "<html/>");
    EXPECT_EQ(Mounted("\\other.html"), "<none>");
    ZEQPackageRelease(other);
    SetApplicationKey("");
  }
}

TEST_F(ApplicationMount, TheApplicationPackageMayReferenceFilesAnywhere) {
  Scratch scratch("mounttrust");
  WriteWholeFile(scratch.root + "\\src.txt", {'R'});
  ZEQPackageDATA* package =
      Open(scratch.packages + "\\a.zpk", {{"\\dir\\:ref( " + scratch.root + "\\src.txt )", '1', ""}}, 0x8);
  ASSERT_NE(package, nullptr);
  EXPECT_TRUE(MountApplicationPackage(package, "", 0));
  EXPECT_EQ(Mounted("\\dir\\src.txt"), "R");
}

TEST_F(ApplicationMount, TheMountedFilesExtractFromTheMountListAfterTheContentIsDropped) {
  Scratch scratch("rawvfs");
  ZEQPackageDATA* package = Open(scratch.packages + "\\a.zpk",
                                 {{"\\index.html", '1', "<html/>"}, {"\\js\\app.js", '1', "1;"}}, 0xE);
  ASSERT_TRUE(MountApplicationPackage(package, "", 0));
  ASSERT_EQ(package->length, 0u);
  EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), "*.js", "", "", ZEQPKG_EXTRACT_RAWVFS), 0);
  std::map<std::string, std::string> files;
  ListFiles(scratch.out, "", &files);
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"\\js\\app.js", "1;"}}));

  // Only the application package reads the mount list.
  ZEQPackageDATA* other = Open(scratch.packages + "\\b.zpk", {{"\\b.txt", '1', "B"}}, 0xE);
  EXPECT_EQ(ZEQPackageExtract(other, nullptr, nullptr, nullptr, "*", "", "", ZEQPKG_EXTRACT_RAWVFS), 0);
  EXPECT_EQ(other->extracted, nullptr);
  ZEQPackageRelease(other);
}

}  // namespace
