// System queries: version tests, processes, the owner account, the
// administrator test and the machine identifier.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <regex>
#include <string>

#include "package/system_queries.h"

namespace {

OSVERSIONINFOA Version(DWORD platform, DWORD major, DWORD minor) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwPlatformId = platform;
  version.dwMajorVersion = major;
  version.dwMinorVersion = minor;
  return version;
}

TEST(WindowsVersion, TestsAnswerByPlatformAndMajorVersion) {
  struct Case {
    const char* name;
    OSVERSIONINFOA version;
    BOOL eight, seven, vista, xp;
  };
  const Case cases[] = {
      {"10.0", Version(VER_PLATFORM_WIN32_NT, 10, 0), TRUE, TRUE, TRUE, TRUE},
      {"8 (6.2)", Version(VER_PLATFORM_WIN32_NT, 6, 2), TRUE, TRUE, TRUE, TRUE},
      // The first three tests are alike: Vista passes all of them.
      {"Vista (6.0)", Version(VER_PLATFORM_WIN32_NT, 6, 0), TRUE, TRUE, TRUE, TRUE},
      {"XP (5.1)", Version(VER_PLATFORM_WIN32_NT, 5, 1), FALSE, FALSE, FALSE, TRUE},
      {"2000 (5.0)", Version(VER_PLATFORM_WIN32_NT, 5, 0), FALSE, FALSE, FALSE, TRUE},
      {"NT 4.0", Version(VER_PLATFORM_WIN32_NT, 4, 0), FALSE, FALSE, FALSE, FALSE},
      {"not NT, 6.0", Version(VER_PLATFORM_WIN32_WINDOWS, 6, 0), FALSE, FALSE, FALSE, FALSE},
      {"Me (4.90)", Version(VER_PLATFORM_WIN32_WINDOWS, 4, 90), FALSE, FALSE, FALSE, FALSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsWindows8OrLater(&c.version), c.eight);
    EXPECT_EQ(IsWindows7OrLater(&c.version), c.seven);
    EXPECT_EQ(IsWindowsVistaOrLater(&c.version), c.vista);
    EXPECT_EQ(IsWindowsXPOrLater(&c.version), c.xp);
  }
  EXPECT_TRUE(IsWindowsXPOrLater());
}

std::string OwnPath() {
  char path[MAX_PATH + 1] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Lists the processes and reads the listing to its end; what it says of
// this process ("<unlisted>" when it is absent). The listing is left to the
// caller.
std::string OwnEntryPath(ProcessEnumContext* context, struct ProcessEnumeration** list) {
  *list = ProcessEnumeration(context);
  if (!*list) return "<no listing>";
  EXPECT_EQ(context->status, kProcessEnumOk);
  std::string own = "<unlisted>";
  uint32_t read = 0;
  ProcessEntry entry;
  while (ProcessEnumNext(context, *list, &entry)) {
    EXPECT_EQ(context->status, kProcessEnumOk);
    ++read;
    if (entry.processId == GetCurrentProcessId()) own = entry.path;
  }
  EXPECT_EQ(read, (*list)->count);
  EXPECT_GT(read, 1u);
  return own;
}

TEST(Processes, PsapiListsThisProcessWithItsModulePath) {
  ProcessEnumContext context = {};
  ASSERT_TRUE(ProcessEnumRefresh(&context));
  EXPECT_EQ(context.status, kProcessEnumOk);
  EXPECT_TRUE(context.psapiReady);
  struct ProcessEnumeration* list = nullptr;
  const std::string own = OwnEntryPath(&context, &list);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(_stricmp(own.c_str(), OwnPath().c_str()), 0) << own;

  // The end answers the same every time; a position past it is told apart.
  ProcessEntry entry;
  EXPECT_FALSE(ProcessEnumNext(&context, list, &entry));
  EXPECT_EQ(context.status, kProcessEnumEnd);
  EXPECT_FALSE(ProcessEnumNext(&context, list, &entry));
  EXPECT_EQ(context.status, kProcessEnumEnd);
  list->position = list->count + 1;
  EXPECT_FALSE(ProcessEnumNext(&context, list, &entry));
  EXPECT_EQ(context.status, kProcessEnumPastEnd);

  ProcessEnumerationFree(list);
  ProcessEnumFreeLibraries(&context);
  EXPECT_EQ(context.psapi, nullptr);
  EXPECT_EQ(context.enumProcesses, nullptr);
  EXPECT_FALSE(context.psapiReady);
}

TEST(Processes, ToolhelpListsThisProcessByItsExecutableName) {
  ProcessEnumContext context = {};
  ASSERT_TRUE(BindToolhelpFunctions(&context));
  EXPECT_TRUE(context.toolhelpReady);
  EXPECT_FALSE(context.psapiReady);
  struct ProcessEnumeration* list = nullptr;
  const std::string own = OwnEntryPath(&context, &list);
  const std::string path = OwnPath();
  EXPECT_EQ(_stricmp(own.c_str(), path.substr(path.rfind('\\') + 1).c_str()), 0) << own;
  ProcessEnumerationFree(list);
  ProcessEnumFreeLibraries(&context);
}

TEST(Processes, AnUnboundContextGivesAnEmptyListing) {
  ProcessEnumContext context = {};
  struct ProcessEnumeration* list = ProcessEnumeration(&context);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(context.status, kProcessEnumNoList);
  ProcessEntry entry;
  EXPECT_FALSE(ProcessEnumNext(&context, list, &entry));
  EXPECT_EQ(context.status, kProcessEnumEnd);
  ProcessEnumerationFree(list);
}

TEST(Account, TheOwnerOfTheProcessTokenIsNamed) {
  char name[513] = "";
  char domain[513] = "";
  ASSERT_TRUE(GetProcessOwnerAccount(name, sizeof name, domain, sizeof domain));
  EXPECT_STRNE(name, "");
  EXPECT_STRNE(domain, "");

  // The account named is the token's owner (not its user or group).
  HANDLE token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  BYTE ownerBlock[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenOwner, ownerBlock, sizeof ownerBlock, &size));
  CloseHandle(token);
  char ownerName[513];
  char ownerDomain[513];
  DWORD nameSize = sizeof ownerName;
  DWORD domainSize = sizeof ownerDomain;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_OWNER*>(ownerBlock)->Owner, ownerName, &nameSize,
                                ownerDomain, &domainSize, &use));
  EXPECT_STREQ(name, ownerName);
  EXPECT_STREQ(domain, ownerDomain);

  // Buffers smaller than the names get them cut.
  char shortName[3];
  char shortDomain[2];
  ASSERT_TRUE(GetProcessOwnerAccount(shortName, sizeof shortName, shortDomain, sizeof shortDomain));
  EXPECT_EQ(std::string(shortName), std::string(name).substr(0, 2));
  EXPECT_EQ(std::string(shortDomain), std::string(domain).substr(0, 1));
}

TEST(Account, AdministratorTestAgreesWithTheShell) {
  EXPECT_EQ(!!IsUserAdministrator(), !!IsUserAnAdmin());
}

TEST(MachineIdentifier, AdapterAddressAndVolumeSerial) {
  char identifier[kMachineIdentifierLength + 1];
  ASSERT_TRUE(GetMachineIdentifier(identifier));
  ASSERT_TRUE(std::regex_match(identifier, std::regex("[0-9A-F]{16}\\.[0-9A-F]{8}"))) << identifier;

  char adapter[kAdapterAddressHexLength + 1];
  const BOOL listed = GetAdapterAddressHex(adapter);
  if (!listed) {
    EXPECT_STREQ(adapter, "0000000000000000");
  }
  EXPECT_EQ(std::string(identifier, 16), adapter);

  char windows[MAX_PATH + 1];
  GetWindowsDirectoryA(windows, MAX_PATH);
  windows[3] = '\0';
  DWORD serial = 0;
  GetVolumeInformationA(windows, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  char serialText[16];
  std::snprintf(serialText, sizeof serialText, "%08lX", static_cast<unsigned long>(serial));
  EXPECT_EQ(std::string(identifier + 17), serialText);
}

}  // namespace
