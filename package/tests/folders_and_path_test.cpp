// Special folders and the process's PATH.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "package/system_queries.h"

namespace {

std::string ReadPath() {
  const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (!size) return "<unset>";
  std::string path(size, '\0');
  path.resize(GetEnvironmentVariableA("PATH", &path[0], size));
  return path;
}

void SetPath(const std::string& path) {
  SetEnvironmentVariableA("PATH", path == "<unset>" ? nullptr : path.c_str());
}

TEST(PathEnvironment, WholeEntriesAreAddedAndRemoved) {
  struct Case {
    const char* name;
    std::string before;
    const char* file;
    BOOL add;
    std::string after;
  };
  const Case cases[] = {
      {"add", "C:\\a;C:\\b", "C:\\plug\\x.dll", TRUE, "C:\\a;C:\\b;C:\\plug"},
      {"add, present in another case", "C:\\a;c:\\PLUG;C:\\b", "C:\\plug\\x.dll", TRUE, "C:\\a;c:\\PLUG;C:\\b"},
      {"add, only inside a longer entry", "C:\\plug\\sub;C:\\plugins", "C:\\plug\\x.dll", TRUE,
       "C:\\plug\\sub;C:\\plugins;C:\\plug"},
      {"add after a closing separator", "C:\\a;", "C:\\plug\\x.dll", TRUE, "C:\\a;C:\\plug"},
      {"add to an unset PATH", "<unset>", "C:\\plug\\x.dll", TRUE, "C:\\plug"},
      {"remove the first entry", "C:\\plug;C:\\a", "C:\\plug\\x.dll", FALSE, "C:\\a"},
      {"remove every entry, any case", "C:\\a;C:\\plug;C:\\b;c:\\Plug", "C:\\plug\\x.dll", FALSE, "C:\\a;C:\\b"},
      {"remove keeps longer entries", "C:\\plug\\sub;C:\\plugins;C:\\plug", "C:\\plug\\x.dll", FALSE,
       "C:\\plug\\sub;C:\\plugins"},
      {"remove the last entry", "C:\\a;C:\\plug", "C:\\plug\\x.dll", FALSE, "C:\\a"},
      {"remove keeps empty entries", "C:\\a;;C:\\plug;C:\\b", "C:\\plug\\x.dll", FALSE, "C:\\a;;C:\\b"},
      {"remove, absent", "C:\\a;C:\\b", "C:\\plug\\x.dll", FALSE, "C:\\a;C:\\b"},
      {"file without a folder", "C:\\a", "x.dll", TRUE, "C:\\a"},
  };
  const std::string saved = ReadPath();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetPath(c.before);
    EXPECT_TRUE(UpdatePathEnvironment(c.file, c.add));
    EXPECT_EQ(ReadPath(), c.after);
  }
  SetPath(saved);
}

TEST(PathEnvironment, AddThenRemoveRestoresThePath) {
  const std::string saved = ReadPath();
  UpdatePathEnvironment("C:\\zeq plug-ins\\one\\plugin.dll", TRUE);
  EXPECT_EQ(ReadPath(), saved + (saved.empty() || saved.back() == ';' ? "" : ";") + "C:\\zeq plug-ins\\one");
  UpdatePathEnvironment("C:\\zeq plug-ins\\one\\plugin.dll", FALSE);
  EXPECT_EQ(ReadPath(), saved);
}

std::string Folder(int kind) {
  char path[MAX_PATH + 1];
  std::memset(path, 'x', sizeof path);
  const BOOL produced = GetSpecialFolderPath(kind, path);
  return produced ? std::string(path) : "<none:" + std::string(path) + ">";
}

std::string LongForm(const std::string& path) {
  char buffer[MAX_PATH + 1] = "";
  return GetLongPathNameA(path.c_str(), buffer, MAX_PATH) ? buffer : "<no long form of " + path + ">";
}

TEST(SpecialFolders, KindsOutsideTheTableGiveNothing) {
  for (int kind : {0, 24, 100, 254, 257, -1}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(Folder(kind), "<none:>");
  }
}

TEST(SpecialFolders, ShellFoldersComeInShortForm) {
  struct Case {
    int kind;
    int csidl;
  };
  const Case cases[] = {
      {kFolderProgramFiles, CSIDL_PROGRAM_FILES}, {kFolderCommonFiles, CSIDL_PROGRAM_FILES_COMMON},
      {kFolderAppData, CSIDL_APPDATA},            {kFolderLocalAppData, CSIDL_LOCAL_APPDATA},
      {kFolderDesktop, CSIDL_DESKTOPDIRECTORY},   {kFolderDocuments, CSIDL_PERSONAL},
      {kFolderCommonAppData, CSIDL_COMMON_APPDATA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    char shell[MAX_PATH + 1] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, shell, c.csidl, FALSE));
    const std::string folder = Folder(c.kind);
    EXPECT_EQ(folder.find(' '), std::string::npos) << folder;
    EXPECT_EQ(_stricmp(LongForm(folder).c_str(), LongForm(shell).c_str()), 0) << folder << " / " << shell;
  }
  // The one with a blank in its long name.
  EXPECT_NE(LongForm(Folder(kFolderProgramFiles)), Folder(kFolderProgramFiles));
}

TEST(SpecialFolders, SystemFolders) {
  char expected[MAX_PATH + 1];
  GetTempPathA(MAX_PATH, expected);
  std::string temp = expected;
  temp.pop_back();  // its one trailing backslash
  EXPECT_EQ(Folder(kFolderTemp), temp);
  EXPECT_EQ(Folder(kFolderTempAlias), temp);
  GetWindowsDirectoryA(expected, MAX_PATH);
  EXPECT_EQ(Folder(kFolderWindows), expected);
  GetSystemDirectoryA(expected, MAX_PATH);
  EXPECT_EQ(Folder(kFolderSystem), expected);
  EXPECT_EQ(Folder(kFolderVirtualStore),
            Folder(kFolderLocalAppData) + "\\VirtualStore\\" + Folder(kFolderProgramFiles).substr(3));
}

// "Local Settings" is read from the registry only, as stored.
class LocalSettingsValue : public ::testing::Test {
 protected:
  static constexpr const char* kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  void SetUp() override {
    RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = sizeof saved_;
    hadValue_ = RegQueryValueExA(key_, "Local Settings", nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size) ==
                ERROR_SUCCESS;
  }
  void TearDown() override {
    if (hadValue_) {
      Set(saved_);
    } else {
      RegDeleteValueA(key_, "Local Settings");
    }
    RegCloseKey(key_);
    RemoveDirectoryA(folder_.c_str());
  }
  void Set(const char* value) {
    RegSetValueExA(key_, "Local Settings", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD(std::strlen(value) + 1));
  }

  HKEY key_ = nullptr;
  bool hadValue_ = false;
  char saved_[MAX_PATH + 1] = "";
  std::string folder_;
};

TEST_F(LocalSettingsValue, IsReadFromTheRegistryInShortForm) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  folder_ = std::string(temp) + "Zeq Local Settings Folder";
  CreateDirectoryA(folder_.c_str(), nullptr);
  Set(folder_.c_str());
  const std::string folder = Folder(kFolderLocalSettings);
  EXPECT_EQ(folder.find(' '), std::string::npos) << folder;
  EXPECT_EQ(_stricmp(LongForm(folder).c_str(), LongForm(folder_).c_str()), 0) << folder;

  // Stored as it is: environment strings stay unexpanded.
  Set("%TEMP%\\unexpanded");
  EXPECT_EQ(Folder(kFolderLocalSettings), "%TEMP%\\unexpanded");

  RegDeleteValueA(key_, "Local Settings");
  EXPECT_EQ(Folder(kFolderLocalSettings), "<none:>");
}

}  // namespace
