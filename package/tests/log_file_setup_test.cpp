// The log file opened through the file operations of the package library,
// and its size limit from the definitions.
#include <gtest/gtest.h>

#include <string>

#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "package/file_retry.h"
#include "package/definitions_list.h"
#include "package/log_file_setup.h"
#include "package/vfs.h"

namespace {

class LogFileCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallLogFileCalls();
    log_.Init();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "zeqlogcalls." + std::to_string(GetCurrentProcessId());
  }
  void TearDown() override {
    log_.Close();
    log_.Free();
    ZEQLogSetFileCalls(nullptr);
    DeleteFileA((folder_ + "\\a\\b\\run.log").c_str());
    RemoveDirectoryA((folder_ + "\\a\\b").c_str());
    RemoveDirectoryA((folder_ + "\\a").c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  ZEQLog log_;
  std::string folder_;
};

TEST_F(LogFileCalls, ARealPathGetsItsFoldersAndTheEntries) {
  const std::string path = folder_ + "\\a\\b\\run.log";
  ASSERT_TRUE(log_.Open(path.c_str(), true));
  EXPECT_TRUE(LogFileWrite(&log_, "line\r\n"));
  ASSERT_TRUE(log_.Close());
  EXPECT_EQ(log_.file, INVALID_HANDLE_VALUE);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char text[4096] = "";
  DWORD got = 0;
  ReadFile(file, text, sizeof text - 1, &got, nullptr);
  CloseHandle(file);
  const std::string contents(text, got);
  EXPECT_EQ(contents.rfind("       [STARTED] ", 0), 0u) << contents;
  EXPECT_NE(contents.find("\r\nline\r\n"), std::string::npos) << contents;
  EXPECT_NE(contents.find("[CLOSED] "), std::string::npos) << contents;
}

TEST_F(LogFileCalls, AMountedFileOpensButTakesNoText) {
  const char path[] = "C:\\zeqmounted\\logs\\mounted.log";
  ASSERT_TRUE(VFSMountFile(path, "packaged", 8));
  ASSERT_TRUE(log_.Open(path, true));
  EXPECT_TRUE(IsVFSHandleRecord(log_.file));
  SetLastError(0);
  EXPECT_FALSE(LogFileWrite(&log_, "text"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  // Closing frees the handle record.
  HANDLE record = log_.file;
  ASSERT_TRUE(log_.Close());
  EXPECT_EQ(log_.file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(IsVFSHandleRecord(record));
  VFSClearMounts();
}

TEST(LogMaxSize, ComesFromTheLogSectionOfTheDefinitions) {
  struct Case {
    const char* name;
    const char* value;  // null: no key
    int found;
    uint32_t limit;
  };
  const Case cases[] = {
      {"decimal", "5000", 1, 5000},
      {"not a number", "large", 1, 0},
      {"-1", "-1", 1, kZEQLogNoSizeLimit},
      {"absent", nullptr, 0, 1234},
  };
  const uint32_t saved = ZEQGetLogSizeLimit();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DefinitionsList* definitions = DefinitionsList::Create();
    if (c.value) DefinitionSetValue(definitions, "log.max size", c.value);
    DefinitionSetValue(definitions, "other.max size", "77");
    ZEQSetLogSizeLimit(1234);
    EXPECT_EQ(ReadLogMaxSize(definitions), c.found);
    EXPECT_EQ(ZEQGetLogSizeLimit(), c.limit);
    DefinitionsList::Delete(definitions);
  }
  ZEQSetLogSizeLimit(saved);
}

}  // namespace
