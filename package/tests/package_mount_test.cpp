// A package made here mounts into the virtual file system and its files
// read through zeq: paths.
#include <gtest/gtest.h>

#include "foundation/heap.h"
#include "package/file_trees.h"
#include "package/vfs.h"
#include "package_test_support.h"

namespace {

const char kRoot[] = "C:\\ZEQCVFS\\PID.PKGTEST";

TEST(PackageMount, FilesOfAnOpenedPackageReadThroughZeqPaths) {
  const std::string path = PackageTestFolder("mount") + "\\app.zpk";
  ZEQPackageDATA* made = ZEQPackageCreate(0xE, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_NE(made, nullptr);
  ASSERT_TRUE(ZEQPackageAddData(made, "\\skins", "0", nullptr, 0));
  ASSERT_TRUE(ZEQPackageAddData(made, "\\skins\\main.htc", "1", "<htc/>", 6));
  ASSERT_TRUE(ZEQPackageAddData(made, "index.html", "1", "<html></html>", 13));
  ASSERT_TRUE(ZEQPackageClose(made, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(made);

  ZEQPackageDATA* package = ZEQPackageOpen(path.c_str(), "pw", nullptr, 0);
  ASSERT_NE(package, nullptr);
  VFSClearMounts();
  int error = -1;
  for (const WalkedEntry& entry : WalkEntries(package->content, package->length, true, &error)) {
    if (entry.type != ZEQPKG_CONTENT_TYPE_FILE) continue;
    char* relative = PackageNormaliseEntryPath(entry.path.data(), entry.path.size());
    EXPECT_TRUE(VFSMountFile((std::string(kRoot) + relative).c_str(), entry.data.data(), uint32_t(entry.data.size())));
    HeapFreeZ(relative);
  }
  EXPECT_EQ(error, 0);
  ZEQPackageRelease(package);

  const struct {
    const char* path;
    const char* text;
  } reads[] = {{"\\skins\\main.htc", "<htc/>"}, {"\\index.html", "<html></html>"}};
  for (const auto& r : reads) {
    void* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(ReadWholeFileExt(("zeq:" + std::string(kRoot) + r.path).c_str(), &data, &size)) << r.path;
    EXPECT_EQ(std::string(static_cast<char*>(data), size), r.text);
    HeapFreeZ(data);
  }
  VFSClearMounts();
}

TEST(PackageMount, AMountedPackageOpensThroughItsZeqPath) {
  const std::string path = PackageTestFolder("mount") + "\\inner.zpk";
  ZEQPackageDATA* made = ZEQPackageCreate(0x6, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  ASSERT_TRUE(ZEQPackageAddData(made, "\\a.txt", "1", "abc", 3));
  ASSERT_TRUE(ZEQPackageClose(made, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(made);
  const std::vector<uint8_t> image = ReadWholeFile(path);
  VFSClearMounts();
  const std::string mounted = std::string(kRoot) + "\\pkgs\\inner.zpk";
  ASSERT_TRUE(VFSMountFile(mounted.c_str(), image.data(), uint32_t(image.size())));
  ZEQPackageDATA* package = ZEQPackageOpen(("zeq:" + mounted).c_str(), "pw", nullptr, 0);
  ASSERT_NE(package, nullptr);
  int error = -1;
  const auto entries = WalkEntries(package->content, package->length, false, &error);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].data, std::vector<uint8_t>({'a', 'b', 'c'}));
  ZEQPackageRelease(package);
  EXPECT_TRUE(CheckFileAccessExt(("zeq:" + mounted).c_str(), 2));
  FILETIME time;
  EXPECT_FALSE(GetFileLastWriteTimeExt(("zeq:" + mounted).c_str(), &time));
  // A mounted file cannot become a file-backed package.
  EXPECT_EQ(ZEQPackageCreate(ZEQPKG_FILE_BACKED, ("zeq:" + mounted).c_str(), ZEQPKG_TYPE_MULTIPLE, "pw"), nullptr);
  VFSClearMounts();
}

}  // namespace
