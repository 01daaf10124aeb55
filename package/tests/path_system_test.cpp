#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "package/file_retry.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "file_test_support.h"

namespace {

TEST(VirtualRoot, DriveOfWindowsAndProcessId) {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  char expected[MAX_PATH];
  std::snprintf(expected, sizeof expected, "%.3sZEQCVFS\\PID.%X", windows, unsigned(GetCurrentProcessId()));
  char buffer[MAX_PATH] = {};
  EXPECT_TRUE(GetVirtualRootFolder(buffer));
  EXPECT_STREQ(expected, buffer);

  char kept[MAX_PATH] = "D:\\kept";
  EXPECT_TRUE(GetVirtualRootFolder(kept));
  EXPECT_STREQ("D:\\kept", kept);
}

TEST(SameFullPath, LongShortAndWrittenDifferently) {
  EXPECT_TRUE(IsSameFullPath("", nullptr));
  EXPECT_FALSE(IsSameFullPath("C:\\a", ""));
  EXPECT_TRUE(IsSameFullPath("zeq:C:/App/x/../Main.html", "c:\\app\\main.html"));
  EXPECT_FALSE(IsSameFullPath("C:\\app\\main.html", "C:\\app\\main.htm"));

  filetest::ScratchFolder folder;
  const std::string longName = folder / "a rather long file name.text";
  ASSERT_TRUE(filetest::WriteTextFile(longName, "x"));
  char shortName[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameA(longName.c_str(), shortName, MAX_PATH));
  if (_stricmp(shortName, longName.c_str()) == 0) GTEST_SKIP() << "no short names on this volume";
  EXPECT_TRUE(IsSameFullPath(shortName, longName.c_str()));
}

TEST(LoaderMedia, EachTextGetsItsOwnNumber) {
  SetPackageRoot("C:\\My App");
  char first[MAX_PATH];
  char second[MAX_PATH];
  char none[MAX_PATH];
  EXPECT_TRUE(MakeLoaderMediaPath("<p>one</p>", first, "html"));
  EXPECT_TRUE(MakeLoaderMediaPath("<p>two</p>", second, "html"));
  EXPECT_TRUE(MakeLoaderMediaPath(nullptr, none, "html"));
  SetPackageRoot("");

  const std::string a = first;
  EXPECT_EQ(0u, a.find("zeq:C:\\My%20App\\load\\mm\\"));
  EXPECT_EQ(a.size() - 5, a.rfind(".html"));
  EXPECT_STRNE(first, second);

  char* text = CopyLoaderMediaText(first);
  ASSERT_NE(nullptr, text);
  EXPECT_STREQ("<p>one</p>", text);
  HeapFreeZ(text);
  text = CopyLoaderMediaText(second);
  ASSERT_NE(nullptr, text);
  EXPECT_STREQ("<p>two</p>", text);
  HeapFreeZ(text);

  // Numbers that were not issued, and a NULL text, give no content.
  EXPECT_EQ(nullptr, CopyLoaderMediaText(none));
  EXPECT_EQ(nullptr, CopyLoaderMediaText("zeq:C:\\x\\load\\mm\\7.html"));
  EXPECT_EQ(nullptr, CopyLoaderMediaText("zeq:C:\\x\\load\\mm\\page.html"));
  EXPECT_EQ(nullptr, CopyLoaderMediaText("C:\\x\\a.html"));
}

TEST(TemporaryNames, FileAndFolder) {
  char file[MAX_PATH] = {};
  ASSERT_TRUE(GetTempFileName(file));
  EXPECT_TRUE(filetest::Exists(file));
  EXPECT_NE(nullptr, strstr(file, "\\KES"));
  EXPECT_TRUE(DeleteFileExt(file));

  char folder[MAX_PATH] = {};
  ASSERT_TRUE(GetTemporaryFolderName(folder));
  EXPECT_TRUE(PathIsDirectoryExt(folder));
  EXPECT_EQ(nullptr, strchr(strrchr(folder, '\\'), '.'));
  EXPECT_TRUE(RemoveDirectoryExt(folder));
}

}  // namespace
