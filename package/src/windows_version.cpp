// Windows version tests.
#include <cstring>

#include "package/system_queries.h"

namespace {

// TRUE on the NT platform from the given major version on.
BOOL NtFromMajor(const OSVERSIONINFOA* version, DWORD major) {
  OSVERSIONINFOA own;
  if (!version) {
    std::memset(&own, 0, sizeof own);
    own.dwOSVersionInfoSize = sizeof own;
    if (!GetVersionExA(&own)) return FALSE;
    version = &own;
  }
  return version->dwPlatformId == VER_PLATFORM_WIN32_NT && version->dwMajorVersion >= major;
}

}  // namespace

BOOL IsWindows8OrLater(const OSVERSIONINFOA* version) { return NtFromMajor(version, 6); }
BOOL IsWindows7OrLater(const OSVERSIONINFOA* version) { return NtFromMajor(version, 6); }
BOOL IsWindowsVistaOrLater(const OSVERSIONINFOA* version) { return NtFromMajor(version, 6); }
BOOL IsWindowsXPOrLater(const OSVERSIONINFOA* version) { return NtFromMajor(version, 5); }
