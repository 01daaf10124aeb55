#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "file_test_support.h"
#include "test_threads.h"

namespace {

const char kRoot[] = "C:\\ZEQCVFS\\PID.TEST";

std::string Digits(size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) text += char('0' + i % 10);
  return text;
}

// Mounts a few files under a virtual root and clears the list afterwards.
class MountedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    VFSClearMounts();
    Mount("\\app\\main.html", "<html>main</html>");
    Mount("\\app\\data\\numbers.txt", Digits(100));
    Mount("\\app\\empty.css", "");
  }
  void TearDown() override { VFSClearMounts(); }

  static std::string At(const std::string& inner) { return std::string(kRoot) + inner; }
  static void Mount(const std::string& inner, const std::string& data) {
    ASSERT_TRUE(VFSMountFile(At(inner).c_str(), data.data(), uint32_t(data.size())));
  }
  static HANDLE Open(const std::string& path) {
    return CreateFileExt(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, 0);
  }
  static std::string ReadSome(HANDLE handle, DWORD count) {
    std::string buffer(count, '\0');
    DWORD got = 12345;
    EXPECT_TRUE(ReadFileExt(handle, count, &buffer[0], &got));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), GetLastError());
    buffer.resize(got);
    return buffer;
  }
};

TEST_F(MountedFiles, EveryFormOfAPathFindsTheSameFile) {
  const std::string forms[] = {
      At("\\app\\main.html"),
      "zeq:" + At("\\app\\main.html"),
      "ZEQ:C:/zeqcvfs/pid.test/app/main.html",
      At("\\app\\data\\..\\.\\main.html"),
      "file:///" + At("/app/MAIN.HTML"),
  };
  ZEQListItem* first = FindMountedFile(forms[0].c_str());
  ASSERT_NE(nullptr, first);
  for (const auto& form : forms) {
    SCOPED_TRACE(form);
    EXPECT_TRUE(IsMountedFile(form.c_str()));
    EXPECT_EQ(first, FindMountedFile(form.c_str()));
    HANDLE handle = Open(form);
    ASSERT_TRUE(IsVFSHandleRecord(handle));
    EXPECT_EQ("<html>main</html>", ReadSome(handle, 100));
    EXPECT_TRUE(CloseHandleExt(&handle));
  }
  EXPECT_FALSE(IsMountedFile(At("\\app\\other.html").c_str()));
  EXPECT_FALSE(IsMountedFile(""));
  EXPECT_FALSE(IsMountedFile(nullptr));
  EXPECT_EQ(nullptr, FindMountedFile(At("\\app").c_str()));
}

TEST_F(MountedFiles, SeekAndPartialReads) {
  HANDLE handle = Open(At("\\app\\data\\numbers.txt"));
  ASSERT_TRUE(IsVFSHandleRecord(handle));
  EXPECT_EQ(100u, GetFileSizeExt(handle));
  EXPECT_EQ(DWORD(ERROR_SUCCESS), GetLastError());

  EXPECT_EQ("0123", ReadSome(handle, 4));
  EXPECT_EQ(14u, SetFilePointerExt(handle, FILE_CURRENT, 10));
  EXPECT_EQ("45", ReadSome(handle, 2));

  // From the end the position moves as SetFilePointer moves it.
  EXPECT_EQ(90u, SetFilePointerExt(handle, FILE_END, -10));
  EXPECT_EQ("0123456789", ReadSome(handle, 50));
  EXPECT_EQ("", ReadSome(handle, 50));  // at the end
  EXPECT_EQ(100u, SetFilePointerExt(handle, FILE_END, 0));
  EXPECT_EQ("", ReadSome(handle, 1));
  EXPECT_EQ(110u, SetFilePointerExt(handle, FILE_END, 10));  // beyond the end
  EXPECT_EQ("", ReadSome(handle, 1));

  // Reading 100 bytes 30 bytes before the end gives 30 and reaches the end.
  EXPECT_EQ(70u, SetFilePointerExt(handle, FILE_BEGIN, 70));
  EXPECT_EQ(Digits(100).substr(70), ReadSome(handle, 100));
  EXPECT_EQ(100u, SetFilePointerExt(handle, FILE_CURRENT, 0));

  // Moves that cannot be made leave the position.
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointerExt(handle, FILE_BEGIN, -1));
  EXPECT_EQ(DWORD(ERROR_NEGATIVE_SEEK), GetLastError());
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointerExt(handle, FILE_END, -101));
  EXPECT_EQ(DWORD(ERROR_NEGATIVE_SEEK), GetLastError());
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointerExt(handle, 7, 0));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(100u, SetFilePointerExt(handle, FILE_CURRENT, 0));

  DWORD read = 5;
  EXPECT_TRUE(ReadFileExt(handle, 10, nullptr, &read));
  EXPECT_EQ(0u, read);
  CloseHandleExt(&handle);
}

// The system answers the same moves the same way on a real file.
TEST_F(MountedFiles, SeeksMatchTheSystemOnARealFile) {
  filetest::ScratchFolder folder;
  const std::string real = folder / "numbers.txt";
  ASSERT_TRUE(filetest::WriteTextFile(real, Digits(100)));
  HANDLE system = Open(real);
  HANDLE mounted = Open(At("\\app\\data\\numbers.txt"));
  ASSERT_NE(INVALID_HANDLE_VALUE, system);
  ASSERT_FALSE(IsVFSHandleRecord(system));
  ASSERT_TRUE(IsVFSHandleRecord(mounted));
  const struct {
    DWORD method;
    LONG distance;
  } moves[] = {{FILE_END, -10}, {FILE_END, 0}, {FILE_END, 5}, {FILE_BEGIN, 3},
               {FILE_CURRENT, 4}, {FILE_BEGIN, -1}, {FILE_CURRENT, -8}, {FILE_END, -100}};
  for (const auto& move : moves) {
    SCOPED_TRACE(std::to_string(move.method) + ":" + std::to_string(move.distance));
    const DWORD expected = SetFilePointerExt(system, move.method, move.distance);
    const DWORD expectedError = GetLastError();
    EXPECT_EQ(expected, SetFilePointerExt(mounted, move.method, move.distance));
    if (expected == INVALID_SET_FILE_POINTER) {
      EXPECT_EQ(expectedError, GetLastError());
    }
  }
  EXPECT_EQ(GetFileSizeExt(system), GetFileSizeExt(mounted));
  CloseHandleExt(&system);
  CloseHandleExt(&mounted);
}

TEST_F(MountedFiles, MountedFilesAreReadOnlyRecords) {
  // A write open of a mounted file succeeds, as a read-only record.
  HANDLE handle = CreateFileExt(At("\\app\\main.html").c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                0, kCreateFileRetry);
  ASSERT_TRUE(IsVFSHandleRecord(handle));
  DWORD written = 77;
  EXPECT_FALSE(WriteFileExt(handle, "x", 1, &written));
  EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(77u, written);
  EXPECT_FALSE(SetEndOfFileExt(handle));
  EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(17u, GetFileSizeExt(handle));

  HANDLE copy = handle;
  EXPECT_TRUE(CloseHandleExt(&handle));
  EXPECT_EQ(INVALID_HANDLE_VALUE, handle);
  EXPECT_FALSE(CloseHandleExt(&handle));
  EXPECT_FALSE(IsVFSHandleRecord(copy));  // the record was made unrecognisable
  HANDLE zero = nullptr;
  EXPECT_FALSE(CloseHandleExt(&zero));
  EXPECT_FALSE(CloseHandleExt(nullptr));
}

TEST_F(MountedFiles, QueriesOnMountedPaths) {
  const std::string page = At("\\app\\main.html");
  EXPECT_EQ(0x85u, GetFileAttributesExt(page.c_str()));
  EXPECT_FALSE(PathIsDirectoryExt(page.c_str()));
  EXPECT_TRUE(PathFileExistsExt(("zeq:" + page).c_str()));
  EXPECT_FALSE(PathFileExistsExt(At("\\app\\nothing.html").c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesExt("http://127.0.0.1:1/x"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesExt("relative.txt"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesExt(""));

  char shortName[16];
  EXPECT_EQ(sizeof shortName, GetShortPathNameExt(page.c_str(), shortName, sizeof shortName));
  EXPECT_EQ(page.substr(0, 15), shortName);
}

TEST_F(MountedFiles, ReadMountedFileCopiesWhatIsAsked) {
  void* data = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(ReadMountedFile(At("\\app\\data\\numbers.txt").c_str(), &data, &size));
  EXPECT_EQ(100u, size);
  EXPECT_EQ(Digits(100), std::string(static_cast<char*>(data), size));
  EXPECT_EQ(0, static_cast<char*>(data)[100]);
  HeapFreeZ(data);

  size = 7;
  ASSERT_TRUE(ReadMountedFile(At("\\app\\data\\numbers.txt").c_str(), &data, &size));
  EXPECT_EQ(7u, size);
  EXPECT_EQ("0123456", std::string(static_cast<char*>(data)));
  HeapFreeZ(data);

  size = 1000;  // more than there is
  ASSERT_TRUE(ReadMountedFile(At("\\app\\empty.css").c_str(), &data, &size));
  EXPECT_EQ(0u, size);
  HeapFreeZ(data);

  EXPECT_FALSE(ReadMountedFile(At("\\app\\none").c_str(), &data, &size));
  EXPECT_EQ(nullptr, data);
}

// An open handle keeps the data it was opened on while mounts change.
TEST_F(MountedFiles, HandlesOutliveRemountsAndClearing) {
  HANDLE before = Open(At("\\app\\main.html"));
  ASSERT_TRUE(IsVFSHandleRecord(before));
  EXPECT_EQ("<html>", ReadSome(before, 6));

  Mount("\\app\\main.html", "replaced");
  HANDLE after = Open(At("\\app\\main.html"));
  EXPECT_EQ("replaced", ReadSome(after, 100));
  EXPECT_EQ("main</html>", ReadSome(before, 100));

  VFSClearMounts();
  // Fill the heap with other blocks so freed data would be overwritten.
  for (int i = 0; i < 64; ++i) {
    const std::string noise(17, char('a' + i % 26));
    VFSMountFile(At("\\noise" + std::to_string(i)).c_str(), noise.data(), uint32_t(noise.size()));
  }
  EXPECT_FALSE(IsMountedFile(At("\\app\\main.html").c_str()));
  EXPECT_EQ(0u, SetFilePointerExt(before, FILE_BEGIN, 0));
  EXPECT_EQ("<html>main</html>", ReadSome(before, 100));
  EXPECT_EQ(0u, SetFilePointerExt(after, FILE_BEGIN, 0));
  EXPECT_EQ("replaced", ReadSome(after, 100));
  CloseHandleExt(&before);
  CloseHandleExt(&after);
}

// Readers on several threads open, read and close a file while another
// thread keeps replacing and clearing the mounts: every read sees one whole
// version of the file, never freed memory.
TEST_F(MountedFiles, ReadersAndRemountsOnManyThreads) {
  const std::string path = At("\\app\\shared.txt");
  const std::string versions[] = {std::string(4096, 'a'), std::string(2048, 'b'), std::string(8192, 'c')};
  Mount("\\app\\shared.txt", versions[0]);
  volatile LONG stop = 0;
  volatile LONG bad = 0;
  volatile LONG reads = 0;
  const bool ended = RunOnThreads(5, [&](int index) {
    if (index == 0) {
      // Enough rounds, and enough reads among them; at most 20 seconds.
      const DWORD start = GetTickCount();
      for (int round = 0; (round < 3000 || reads < 500) && GetTickCount() - start < 20000; ++round) {
        const std::string& data = versions[round % 3];
        VFSMountFile(path.c_str(), data.data(), uint32_t(data.size()));
        if (round % 7 == 0) VFSClearMounts();
      }
      InterlockedExchange(&stop, 1);
      return;
    }
    std::string buffer(9000, '\0');
    while (!stop) {
      HANDLE handle = CreateFileExt(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, 0);
      if (handle == INVALID_HANDLE_VALUE) continue;
      const DWORD size = GetFileSizeExt(handle);
      DWORD got = 0;
      ReadFileExt(handle, DWORD(buffer.size()), &buffer[0], &got);
      CloseHandleExt(&handle);
      InterlockedIncrement(&reads);
      const bool whole = got == size && (size == 4096 || size == 2048 || size == 8192) &&
                         buffer.find_first_not_of(buffer[0], 0) >= got &&
                         buffer[0] == (size == 4096 ? 'a' : size == 2048 ? 'b' : 'c');
      if (!whole) InterlockedIncrement(&bad);
    }
  }, 60000);
  EXPECT_TRUE(ended);
  EXPECT_EQ(0, bad);
  EXPECT_GE(reads, 500);
}

TEST_F(MountedFiles, WholeFileReadsOfEveryKind) {
  void* data = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(ReadWholeFileExt(("zeq:" + At("\\app\\data\\numbers.txt")).c_str(), &data, &size));
  EXPECT_EQ(100u, size);
  EXPECT_EQ(Digits(100), std::string(static_cast<char*>(data), size));
  EXPECT_GE(HeapBlockSize(data), 100u + kReadWholeFileSpare);
  HeapFreeZ(data);

  filetest::ScratchFolder folder;
  const std::string real = folder / "real file.txt";
  ASSERT_TRUE(filetest::WriteTextFile(real, "on disk"));
  ASSERT_TRUE(ReadWholeFileExt(("file:///" + real).c_str(), &data, &size));
  EXPECT_EQ("on disk", std::string(static_cast<char*>(data), size));
  HeapFreeZ(data);

  size = 5;
  EXPECT_FALSE(ReadWholeFileExt((folder / "missing.txt").c_str(), &data, &size));
  EXPECT_EQ(nullptr, data);
  EXPECT_EQ(0u, size);
}

// A file that opens but whose size cannot be read (a pipe) is a failure,
// not a read of 0xFFFFFFFF bytes.
TEST(WholeFile, SizeThatCannotBeReadIsAFailure) {
  char name[64];
  std::snprintf(name, sizeof name, "\\\\.\\pipe\\zeqfiles.size.%lu", GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
  LARGE_INTEGER probe;
  if (GetFileSizeEx(pipe, &probe)) {
    CloseHandle(pipe);
    GTEST_SKIP() << "this system reports a size for pipes";
  }
  void* data = reinterpret_cast<void*>(1);
  DWORD size = 0;
  EXPECT_FALSE(ReadWholeFileExt(name, &data, &size));
  EXPECT_EQ(nullptr, data);
  EXPECT_EQ(0xFFFFFFFFu, size);
  CloseHandle(pipe);
}

TEST(MimeTypes, SystemAnswerFirstThenTheTable) {
  char type[128];
  EXPECT_FALSE(GetMimeTypeByExtension(type, ""));
  EXPECT_TRUE(GetMimeTypeByExtension(type, "zeq:C:\\app\\skin.hdc"));
  EXPECT_STREQ("text/x-quelmdefs", type);
  EXPECT_TRUE(GetMimeTypeByExtension(type, "core.ZEQ"));
  EXPECT_STREQ("text/javascript", type);
  EXPECT_TRUE(GetMimeTypeByExtension(type, "page.html"));
  EXPECT_STREQ("text/html", type);

  const struct {
    const char* name;
    const char* type;
  } table[] = {{"a.js", "text/javascript"}, {"a.ZEQ", "text/javascript"}, {"a.HTM", "text/html"},
               {"a.html", "text/html"},     {"a.css", "text/css"},        {"a.htc", "text/x-component"},
               {"a.hdc", "text/x-quelmdefs"}, {"a.bin", "text/plain"},    {"noextension", "text/plain"},
               {"a.html.bak", "text/plain"}};
  for (const auto& entry : table) EXPECT_STREQ(entry.type, MimeTypeFromExtensionTable(entry.name)) << entry.name;
}

TEST(PackageRoot, RelativePathsInsideTheRoot) {
  SetPackageRoot("");
  EXPECT_EQ(nullptr, GetPackageRelativePath("C:\\pkg\\a.js"));
  SetPackageRoot("C:\\Pkg");
  EXPECT_STREQ("\\a.js", GetPackageRelativePath("zeq:c:\\pkg\\a.js"));
  EXPECT_STREQ("\\a.js", GetPackageRelativePath("C:\\PKG\\a.js"));
  EXPECT_EQ(nullptr, GetPackageRelativePath("C:\\other\\a.js"));
  EXPECT_FALSE(IsUnresolvedRelativePath("zeq:C:\\Pkg\\a.js"));
  SetPackageRoot(nullptr);
  EXPECT_STREQ("", GetPackageRoot());
}

}  // namespace
