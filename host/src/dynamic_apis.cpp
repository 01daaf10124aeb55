// System entry points bound at run time (they are missing from some Windows
// versions); a missing one stops the start-up.
#include <cstring>

#include "host/browser_settings.h"

namespace {

struct Module {
  const char* name;
  const char* const* entries;
  HMODULE handle;
};

const char* const kNone[] = {nullptr};
const char* const kPsapi[] = {"GetProcessMemoryInfo", nullptr};
const char* const kKernel[] = {"SetProcessWorkingSetSize", "GetVolumeNameForVolumeMountPointA", nullptr};
const char* const kUser[] = {"GetLastInputInfo", "SetLayeredWindowAttributes", "UpdateLayeredWindow",
                             "AllowSetForegroundWindow", "SetProcessDPIAware", nullptr};
const char* const kShell[] = {"SHFormatDrive", nullptr};
const char* const kSetup[] = {"CM_Get_Parent", "CM_Get_Device_IDA", nullptr};
const char* const kAdvapi[] = {"CreateProcessWithLogonW", "QueryServiceStatusEx", "QueryServiceStatus",
                               "DeleteService", "CreateServiceA", "ControlService", "OpenSCManagerA",
                               "OpenServiceA", "StartServiceA", "CloseServiceHandle", "OpenProcessToken",
                               "GetTokenInformation", "LookupAccountSidA", "AllocateAndInitializeSid",
                               "CheckTokenMembership", nullptr};
const char* const kIcmp[] = {"IcmpCreateFile", "IcmpCloseHandle", "IcmpSendEcho", nullptr};
const char* const kDns[] = {"DnsQuery_A", "DnsRecordListFree", nullptr};
const char* const kNetapi[] = {"NetStatisticsGet", "NetApiBufferFree", nullptr};
const char* const kUrlmon[] = {"CoInternetSetFeatureEnabled", nullptr};
const char* const kDsound[] = {"DllGetClassObject", nullptr};
const char* const kOleaut[] = {"SetOaNoCache", nullptr};

// In binding order.
Module modules[] = {
    {"RICHED20.DLL", kNone, nullptr},  {"PSAPI.DLL", kPsapi, nullptr},     {"KERNEL32.DLL", kKernel, nullptr},
    {"USER32.DLL", kUser, nullptr},    {"SHELL32.DLL", kShell, nullptr},   {"SETUPAPI.DLL", kSetup, nullptr},
    {"ADVAPI32.DLL", kAdvapi, nullptr}, {"ICMP.DLL", kIcmp, nullptr},      {"DNSAPI.DLL", kDns, nullptr},
    {"NETAPI32.DLL", kNetapi, nullptr}, {"URLMON.DLL", kUrlmon, nullptr},  {"DSOUND.DLL", kDsound, nullptr},
    {"OLEAUT32.DLL", kOleaut, nullptr},
};
constexpr size_t kEntryCount = 36;
FARPROC entries[kEntryCount] = {};
const char* entryNames[kEntryCount] = {};

}  // namespace

BOOL KESTOLoadDynamicAPIs() {
  size_t next = 0;
  for (Module& module : modules) {
    if (!module.handle) module.handle = LoadLibraryA(module.name);
    if (!module.handle) return FALSE;
    for (const char* const* name = module.entries; *name; ++name, ++next) {
      entryNames[next] = *name;
      entries[next] = GetProcAddress(module.handle, *name);
      // Older systems lack the DPI call; callers look it up before use.
      if (!entries[next] && strcmp(*name, "SetProcessDPIAware") != 0) return FALSE;
    }
  }
  return TRUE;
}

void KESTOFreeDynamicAPIs() {
  static const char* const order[] = {"RICHED20.DLL", "PSAPI.DLL",    "USER32.DLL",   "SHELL32.DLL", "KERNEL32.DLL",
                                      "SETUPAPI.DLL", "ADVAPI32.DLL", "ICMP.DLL",     "DNSAPI.DLL",  "NETAPI32.DLL",
                                      "URLMON.DLL",   "DSOUND.DLL",   "OLEAUT32.DLL"};
  for (const char* name : order) {
    for (Module& module : modules) {
      if (strcmp(module.name, name) != 0 || !module.handle) continue;
      FreeLibrary(module.handle);
      module.handle = nullptr;
    }
  }
  // The entries pointed into the freed libraries: nobody may call them now.
  for (size_t index = 0; index < kEntryCount; ++index) entries[index] = nullptr;
}

FARPROC ZEQDynamicAPI(const char* name) {
  if (!name) return nullptr;
  for (size_t index = 0; index < kEntryCount; ++index) {
    if (entryNames[index] && strcmp(entryNames[index], name) == 0) return entries[index];
  }
  return nullptr;
}
