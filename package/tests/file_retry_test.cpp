#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/file_retry.h"
#include "package/vfs.h"
#include "log_capture.h"
#include "file_test_support.h"

namespace {

using filetest::Exists;
using filetest::FileHolder;
using filetest::ReadTextFile;
using filetest::WriteTextFile;

class FileRetry : public ::testing::Test {
 protected:
  std::vector<std::string> Lines() { return log_.Texts(); }
  size_t CountLines(const std::string& part) {
    const auto lines = Lines();
    return size_t(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) { return line.find(part) != std::string::npos; }));
  }
  static double Seconds(DWORD since) { return (GetTickCount() - since) / 1000.0; }

  filetest::ScratchFolder folder_;
  logtest::CapturedGlobalLog log_;
};

TEST_F(FileRetry, SamePathInAnyCaseSucceedsWithoutTouchingTheDisk) {
  const std::string missing = folder_ / "Missing.txt";
  std::string upper = missing;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  EXPECT_TRUE(MoveFileExt(missing.c_str(), upper.c_str()));
  EXPECT_TRUE(CopyFileExt(missing.c_str(), missing.c_str()));
  EXPECT_TRUE(MoveDirectoryExt(upper.c_str(), missing.c_str()));
  EXPECT_FALSE(Exists(missing));
  EXPECT_FALSE(MoveFileExt("", missing.c_str()));
  EXPECT_FALSE(CopyFileExt(missing.c_str(), nullptr));
  EXPECT_FALSE(DeleteFileExt(""));
  EXPECT_FALSE(RemoveDirectoryExt(nullptr));
  EXPECT_FALSE(CreateDirectoryExt(""));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(FileRetry, ReadOnlyTargetsAreResetFirst) {
  const std::string source = folder_ / "source.txt";
  const std::string target = folder_ / "target.txt";
  ASSERT_TRUE(WriteTextFile(source, "new"));
  ASSERT_TRUE(WriteTextFile(target, "old"));
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(CopyFileExt(source.c_str(), target.c_str()));
  EXPECT_EQ("new", ReadTextFile(target));

  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  DWORD error = 77;
  EXPECT_TRUE(DeleteFileExt(target.c_str(), &error));
  EXPECT_EQ(DWORD(ERROR_SUCCESS), error);
  EXPECT_FALSE(Exists(target));

  EXPECT_TRUE(MoveFileExt(source.c_str(), ("zeq:" + target).c_str()));
  EXPECT_EQ("new", ReadTextFile(target));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(FileRetry, NotFoundStopsAfterOneAttempt) {
  const std::string missing = folder_ / "missing.txt";
  const DWORD start = GetTickCount();
  DWORD error = 0;
  EXPECT_FALSE(DeleteFileExt(missing.c_str(), &error));
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), error);

  const std::string deep = folder_ / "no\\such\\folder";
  EXPECT_FALSE(CreateDirectoryExt(deep.c_str()));
  EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());

  EXPECT_FALSE(MoveFileExt(missing.c_str(), (folder_ / "x").c_str()));
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_LT(Seconds(start), 0.45);  // no pause was taken

  const auto lines = Lines();
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("DeleteFileExt: \"" + missing + "\" - Failed (2) ", lines[0]);
  EXPECT_EQ("CreateDirectoryExt: \"" + deep + "\" - Failed (3)", lines[1]);
  EXPECT_EQ("MoveFileExt: \"" + missing + "\" to \"" + (folder_ / "x") + "\" - Failed (2)", lines[2]);
}

TEST_F(FileRetry, FoldersAndChains) {
  const std::string made = folder_ / "made";
  EXPECT_TRUE(CreateDirectoryExt(made.c_str()));
  EXPECT_TRUE(CreateDirectoryExt(("zeq:" + made).c_str()));  // exists: no attempt
  EXPECT_TRUE(PathIsDirectoryExt(made.c_str()));

  const std::string file = folder_ / "a\\b\\c\\file.txt";
  EXPECT_TRUE(CreateParentDirectory(file.c_str()));
  EXPECT_TRUE(PathIsDirectoryExt((folder_ / "a\\b\\c").c_str()));
  EXPECT_FALSE(Exists(file));

  EXPECT_TRUE(CreateFolderChain((folder_ / "x\\y\\z").c_str()));
  EXPECT_TRUE(PathIsDirectoryExt((folder_ / "x\\y\\z").c_str()));
  EXPECT_TRUE(CreateFolderChain((folder_ / "x\\y\\z\\").c_str()));

  // Parents that are a root or a share are never created.
  EXPECT_TRUE(CreateParentFolderChain("Q:\\file.txt"));
  EXPECT_TRUE(CreateParentFolderChain("\\\\nosuchserver\\file.txt"));
  EXPECT_TRUE(CreateParentFolderChain("file.txt"));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(FileRetry, RemovingTheCurrentDirectoryMovesOutOfItFirst) {
  const std::string inner = folder_ / "current";
  ASSERT_TRUE(CreateDirectoryExt(inner.c_str()));
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(inner.c_str()));
  DWORD error = 77;
  const BOOL removed = RemoveDirectoryExt(inner.c_str(), &error);
  char now[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, now);
  SetCurrentDirectoryA(saved);
  EXPECT_TRUE(removed);
  EXPECT_EQ(DWORD(ERROR_SUCCESS), error);
  EXPECT_FALSE(Exists(inner));
  EXPECT_STREQ(folder_.path().c_str(), now);
}

TEST_F(FileRetry, FileHeldByAnotherThreadIsDeletedOnceLetGo) {
  const std::string path = folder_ / "held.txt";
  ASSERT_TRUE(WriteTextFile(path, "x"));
  FileHolder holder(path, 1200);
  ASSERT_TRUE(holder.held());
  const DWORD start = GetTickCount();
  DWORD error = 0;
  EXPECT_TRUE(DeleteFileExt(path.c_str(), &error));
  EXPECT_TRUE(holder.Join());
  EXPECT_FALSE(Exists(path));
  EXPECT_GE(Seconds(start), 0.9);
  const size_t retries = CountLines("- Retrying in 500 ms");
  EXPECT_GE(retries, 2u);
  EXPECT_LE(retries, 4u);
  EXPECT_EQ(0u, CountLines("Failed - Error"));
  EXPECT_EQ(retries, CountLines("DeleteFileExt: \"" + path + "\" - Failed (32) - Retrying in 500 ms"));
}

TEST_F(FileRetry, FileThatStaysHeldGivesFiveRetriesAndAFinalLine) {
  const std::string source = folder_ / "source.txt";
  const std::string target = folder_ / "locked.txt";
  ASSERT_TRUE(WriteTextFile(source, "new"));
  ASSERT_TRUE(WriteTextFile(target, "old"));
  FileHolder holder(target, 3000);
  ASSERT_TRUE(holder.held());
  const DWORD start = GetTickCount();
  EXPECT_FALSE(CopyFileExt(source.c_str(), target.c_str()));
  const DWORD error = GetLastError();
  const double took = Seconds(start);
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), error);
  EXPECT_GE(took, 1.9);
  EXPECT_LT(took, 3.9);
  const auto lines = Lines();
  ASSERT_EQ(6u, lines.size());
  const std::string both = "CopyFileExt: \"" + source + "\" to \"" + target + "\" - Failed";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(both + " (32) - Retrying in 500 ms", lines[i]);
  EXPECT_EQ(both + " - Error 32", lines[5]);
  EXPECT_TRUE(holder.Join());
  EXPECT_EQ("old", ReadTextFile(target));
}

TEST_F(FileRetry, CreateFileExtRetriesOnlyWhenAsked) {
  const std::string path = folder_ / "open.txt";
  ASSERT_TRUE(WriteTextFile(path, "content"));
  {
    FileHolder holder(path, 800);
    ASSERT_TRUE(holder.held());
    HANDLE once = CreateFileExt(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, once);
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_EQ(1u, CountLines("CreateFileExt: \"" + path + "\" - Failed (32)"));

    HANDLE retried = CreateFileExt(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, kCreateFileRetry);
    ASSERT_NE(INVALID_HANDLE_VALUE, retried);
    EXPECT_FALSE(IsVFSHandleRecord(retried));
    EXPECT_GE(CountLines("CreateFileExt: \"" + path + "\" - Failed (32) - Retrying in 500 ms"), 1u);
    CloseHandleExt(&retried);
  }
  log_.Clear();
  HANDLE missing =
      CreateFileExt((folder_ / "none.txt").c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0, kCreateFileRetry);
  EXPECT_EQ(INVALID_HANDLE_VALUE, missing);
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(1u, Lines().size());
}

// The system frees the update handle when writing fails, so the next
// attempt meets ERROR_INVALID_HANDLE, which ends the loop at once.
TEST_F(FileRetry, ResourceUpdateOfAnExecutableHeldByAnotherThread) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string copy = folder_ / "copy.exe";
  ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
  HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
  ASSERT_NE(nullptr, update);
  static const char kData[] = "resource data";
  ASSERT_TRUE(UpdateResourceA(update, RT_RCDATA, "ZEQTEST", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                              const_cast<char*>(kData), sizeof kData));
  FileHolder holder(copy, 1000);
  ASSERT_TRUE(holder.held());
  const DWORD start = GetTickCount();
  EXPECT_FALSE(EndUpdateResourceExt(update));
  const double took = Seconds(start);
  EXPECT_GE(took, 0.45);
  EXPECT_LT(took, 1.4);
  const auto lines = Lines();
  ASSERT_EQ(3u, lines.size()) << ::testing::PrintToString(lines);
  EXPECT_EQ(0u, lines[0].find("EndUpdateResourceExt: Failed ("));
  EXPECT_EQ("EndUpdateResourceExt: Failed (6)", lines[1]);
  EXPECT_EQ("EndUpdateResourceExt: Result: FAILED!", lines[2]);
}

TEST_F(FileRetry, FileMappingWhoseNameStaysTaken) {
  char name[64];
  std::snprintf(name, sizeof name, "zeqfiles.mapping.%lu", GetCurrentProcessId());
  HANDLE fresh = CreateFileMappingExt(name, 4096);
  ASSERT_NE(nullptr, fresh);
  ASSERT_NE(INVALID_HANDLE_VALUE, fresh);
  EXPECT_TRUE(Lines().empty());

  // The attempt count is what matters here, not the pause.
  const DWORD pause = SetFileRetryPause(20);
  HANDLE taken = CreateFileMappingExt(name, 4096);
  SetFileRetryPause(pause);
  EXPECT_EQ(INVALID_HANDLE_VALUE, taken);
  EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(21u, CountLines(std::string("CreateFileMappingExt: Name: \"") + name + "\" - Return - Error 183"));
  EXPECT_EQ(21u, CountLines(" - Failed (183) - Retrying in 20 ms"));

  // Every handle it obtained was closed: the name goes with the first one.
  CloseHandle(fresh);
  HANDLE again = CreateFileMappingExt(name, 4096);
  EXPECT_NE(nullptr, again);
  EXPECT_NE(INVALID_HANDLE_VALUE, again);
  EXPECT_EQ(DWORD(ERROR_SUCCESS), GetLastError());
  CloseHandle(again);
}

}  // namespace
