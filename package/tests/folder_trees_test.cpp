// Copying, removing and measuring folder trees.
#include <gtest/gtest.h>

#include "package/file_trees.h"
#include "package_test_support.h"

namespace {

class FolderTrees : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = PackageTestFolder("folders");
    RemoveDirectoryTree((root_ + "\\src").c_str(), "", 0);
    RemoveDirectoryTree((root_ + "\\dst").c_str(), "", 0);
    src_ = root_ + "\\src";
    CreateDirectoryA(src_.c_str(), nullptr);
    CreateDirectoryA((src_ + "\\sub").c_str(), nullptr);
    WriteWholeFile(src_ + "\\a.txt", {'a', 'a'});
    WriteWholeFile(src_ + "\\b.js", {'b'});
    WriteWholeFile(src_ + "\\sub\\c.txt", {'c', 'c', 'c'});
  }
  bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  std::string root_, src_;
};

TEST_F(FolderTrees, CopyFollowsTheRecursiveFlagAndPatterns) {
  const std::string dst = root_ + "\\dst";
  ASSERT_TRUE(CopyDirectoryTree(src_.c_str(), dst.c_str(), "*.txt", 0, 0));
  EXPECT_TRUE(Exists(dst + "\\a.txt"));
  EXPECT_FALSE(Exists(dst + "\\b.js"));
  EXPECT_FALSE(Exists(dst + "\\sub\\c.txt"));
  ASSERT_TRUE(CopyDirectoryTree(src_.c_str(), dst.c_str(), "", 0, 1));
  EXPECT_EQ(ReadWholeFile(dst + "\\sub\\c.txt").size(), 3u);
  EXPECT_TRUE(Exists(dst + "\\b.js"));
}

TEST_F(FolderTrees, StatisticsCountAndMeasure) {
  double bytes = 0;
  uint32_t folders = 0, files = 0;
  ASSERT_TRUE(GetFolderStatistics(src_.c_str(), &bytes, &folders, &files, 1));
  EXPECT_EQ(files, 3u);
  EXPECT_EQ(folders, 1u);
  EXPECT_EQ(bytes, 6.0);
  EXPECT_FALSE(GetFolderStatistics((src_ + "\\missing").c_str(), &bytes, &folders, &files, 1));
}

TEST_F(FolderTrees, RemovalHonoursPatternsAndRefusesShallowPaths) {
  ASSERT_TRUE(RemoveDirectoryTreeWorker(src_.c_str(), "*.txt", 0, 0));
  EXPECT_FALSE(Exists(src_ + "\\a.txt"));
  // A folder is entered only when the pattern list matches its own path.
  EXPECT_TRUE(Exists(src_ + "\\sub\\c.txt"));
  EXPECT_TRUE(Exists(src_ + "\\b.js"));
  ASSERT_TRUE(RemoveDirectoryTree(src_.c_str(), "", 0));
  EXPECT_FALSE(Exists(src_));
  SetLastError(0);
  EXPECT_FALSE(RemoveDirectoryTree("C:\\windows", "", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(FolderTrees, HiddenNamesBlockRemoval) {
  WriteWholeFile(src_ + "\\.keep", {'k'});
  EXPECT_FALSE(RemoveDirectoryTree(src_.c_str(), "", 0));
  EXPECT_TRUE(Exists(src_ + "\\.keep"));
  DeleteFileA((src_ + "\\.keep").c_str());
}

TEST_F(FolderTrees, FileTimesAndAccess) {
  FILETIME time = {};
  EXPECT_TRUE(GetFileLastWriteTimeExt((src_ + "\\a.txt").c_str(), &time));
  EXPECT_NE(time.dwHighDateTime, 0u);
  EXPECT_FALSE(GetFileLastWriteTimeExt((src_ + "\\none").c_str(), &time));
  // The zeq: form of a file of this machine goes through the file layer.
  FILETIME viaZeq = {};
  EXPECT_TRUE(GetFileLastWriteTimeExt(("zeq:" + src_ + "\\a.txt").c_str(), &viaZeq));
  EXPECT_EQ(time.dwLowDateTime, viaZeq.dwLowDateTime);
  EXPECT_EQ(time.dwHighDateTime, viaZeq.dwHighDateTime);
  EXPECT_TRUE(CheckFileAccessExt((src_ + "\\a.txt").c_str(), 1));
  EXPECT_FALSE(CheckFileAccessExt((src_ + "\\a.txt").c_str(), 4));
  EXPECT_FALSE(CheckFileAccessExt("", 1));
}

}  // namespace
