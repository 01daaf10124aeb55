// Path services that ask the system: the virtual root, temporary names, long
// names, the in-memory texts served under loader media paths, and the test
// for paths that still need loader-relative expansion.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/file_retry.h"
#include "package/package_log.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace {

constexpr char kLoaderMediaFolder[] = "\\load\\mm\\";
// Attempts of GetTemporaryFolderName before it gives up.
constexpr int kTemporaryFolderAttempts = 100;

// The texts served under loader media paths, by number (pointer keys), for
// the rest of the process.
ZEQList& LoaderMediaTexts() {
  static ZEQList texts;
  return texts;
}

// Numbers start at a value of this run, so a browser cache that kept a page
// of an earlier run under the same number is not served by mistake.
uint32_t NextLoaderMediaNumber() {
  static std::atomic<uint32_t> next{(GetCurrentProcessId() << 16) ^ GetTickCount()};
  return next.fetch_add(1);
}

}  // namespace

BOOL GetVirtualRootFolder(char* buffer) {
  if (!buffer || *buffer) return TRUE;
  char windows[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  windows[3] = '\0';
  std::snprintf(buffer, MAX_PATH, "%sZEQCVFS\\PID.%X", windows, unsigned(GetCurrentProcessId()));
  return TRUE;
}

BOOL IsUnresolvedRelativePath(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  if (IsFileSystemPath(path) || IsURLPath(path) || GetPackageRelativePath(path)) return FALSE;
  return !IsMountedFile(path);
}

BOOL IsSameFullPath(const char* a, const char* b) {
  const bool emptyA = IsEmptyString(a);
  const bool emptyB = IsEmptyString(b);
  if (emptyA || emptyB) return emptyA && emptyB;
  char longA[MAX_PATH + 1] = {};
  char longB[MAX_PATH + 1] = {};
  const DWORD na = GetLongPathNameA(SkipVirtualPrefix(a), longA, sizeof longA);
  const DWORD nb = GetLongPathNameA(SkipVirtualPrefix(b), longB, sizeof longB);
  char* normalA = SmartNormalizePath(na && na < sizeof longA ? longA : a);
  char* normalB = SmartNormalizePath(nb && nb < sizeof longB ? longB : b);
  const BOOL same = normalA && normalB && _stricmp(normalA, normalB) == 0;
  HeapFreeZ(normalA);
  HeapFreeZ(normalB);
  return same;
}

BOOL MakeLoaderMediaPath(const char* text, char* destination, const char* extension, size_t size) {
  if (!destination || !size) return FALSE;
  const uint32_t number = NextLoaderMediaNumber();
  char* copy = text ? StrDupExtra(text, 0) : nullptr;
  if (!LoaderMediaTexts().Set(reinterpret_cast<const void*>(uintptr_t(number)), 0, reinterpret_cast<uintptr_t>(copy),
                              0, ZEQLIST_BYTES, ZEQLIST_POINTER_KEY | ZEQLIST_VALUE1_HEAP, nullptr)) {
    HeapFreeZ(copy);
  }
  char* path = HeapPrintf(0, "zeq:%s%s%u.%s", GetPackageRoot(), kLoaderMediaFolder, unsigned(number),
                          extension ? extension : "");
  EscapeUrlSpaces(path, destination, size);
  HeapFreeZ(path);
  return TRUE;
}

char* CopyLoaderMediaText(const char* path) {
  const char* folder = path ? StrStrNoCase(path, kLoaderMediaFolder) : nullptr;
  if (!folder) return nullptr;
  const char* digits = folder + strlen(kLoaderMediaFolder);
  if (*digits < '0' || *digits > '9') return nullptr;
  const unsigned long number = std::strtoul(digits, nullptr, 10);
  ZEQList& texts = LoaderMediaTexts();
  ZEQLockGuard guard(texts.lock);
  const int at = texts.FindSorted(reinterpret_cast<const void*>(uintptr_t(uint32_t(number))), 0, ZEQLIST_BYTES, nullptr);
  if (at < 0) return nullptr;
  const char* text = reinterpret_cast<const char*>(texts.GetValueAt(at));
  return text ? StrDupExtra(text, 0) : nullptr;
}

BOOL GetTempFileName(char* destination) {
  if (!destination) return FALSE;
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  if (!length || length > MAX_PATH) {
    PackageLogPrintf("GetWindowsTempPath: [FAILED] - ErrorCode: %d", int(GetLastError()));
    return FALSE;
  }
  RemoveTrailingBackslash(folder);
  strcat(folder, "\\");
  if (!GetTempFileNameA(folder, "KESTO", 0, destination)) {
    PackageLogPrintf("GetTempFileName: [FAILED] - Temporary path: \"%s\", ErrorCode: %d", folder,
                     int(GetLastError()));
    return FALSE;
  }
  return TRUE;
}

BOOL GetTemporaryFolderName(char* destination) {
  if (!destination) return FALSE;
  for (int attempt = 0; attempt < kTemporaryFolderAttempts; ++attempt) {
    if (!GetTempFileName(destination)) return FALSE;
    DeleteFileExt(destination);
    if (char* dot = strrchr(destination, '.')) *dot = '\0';
    if (CreateDirectoryA(destination, nullptr)) return TRUE;
    PackageLogPrintf("GetTemporaryFolderName: [FAILED] - Temporary path: \"%s\", ErrorCode: %d", destination,
                     int(GetLastError()));
  }
  return FALSE;
}
