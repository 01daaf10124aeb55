// Retrying file operations.
#include "package/file_retry.h"

#include <atomic>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/package_log.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "retry_policy.h"

namespace {

std::atomic<DWORD> g_pause{kFileRetryPauseMs};

// The system sees paths without the container's own prefix.
const char* SystemPath(const char* path) { return SkipVirtualPrefix(path); }

bool IsExistingFolder(const char* path) {
  const DWORD attributes = GetFileAttributesExt(SkipVirtualPrefix(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The short-cuts of the two-path wrappers: -1 go on, else the result.
int TwoPathShortcut(const char* source, const char* destination) {
  if (IsEmptyString(source) || IsEmptyString(destination)) return FALSE;
  if (_stricmp(source, destination) == 0) return TRUE;
  return -1;
}

bool SameFolderText(const char* a, const char* b) {
  size_t na = strlen(a);
  size_t nb = strlen(b);
  if (na > 1 && a[na - 1] == '\\') --na;
  if (nb > 1 && b[nb - 1] == '\\') --nb;
  return na == nb && _strnicmp(a, b, na) == 0;
}

// Moves the current directory out of the folder about to be removed.
void LeaveFolderIfCurrent(const char* folder) {
  char current[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof current, current);
  if (!length || length >= sizeof current || !SameFolderText(current, folder)) return;
  RemoveTrailingBackslash(current);
  char* cut = strrchr(current, '\\');
  if (!cut) return;
  // "C:\x" moves to "C:\", not to "C:" (the drive's own current folder).
  if (cut == current + 2 && current[1] == ':') ++cut;
  *cut = '\0';
  SetCurrentDirectoryA(current);
}

}  // namespace

DWORD SetFileRetryPause(DWORD ms) { return g_pause.exchange(ms); }
DWORD GetFileRetryPause() { return g_pause.load(); }

BOOL MoveDirectoryExt(const char* source, const char* destination) {
  const int shortcut = TwoPathShortcut(source, destination);
  if (shortcut >= 0) return shortcut;
  const retry::Lines lines{"MoveDirectoryExt", source, destination};
  return retry::Run(lines, true, true, [&] { return MoveFileA(SystemPath(source), SystemPath(destination)) != 0; });
}

BOOL MoveFileExt(const char* source, const char* destination) {
  const int shortcut = TwoPathShortcut(source, destination);
  if (shortcut >= 0) return shortcut;
  const retry::Lines lines{"MoveFileExt", source, destination};
  return retry::Run(lines, true, true, [&] {
    SetFileAttributesA(SystemPath(destination), FILE_ATTRIBUTE_NORMAL);
    return MoveFileA(SystemPath(source), SystemPath(destination)) != 0;
  });
}

BOOL CopyFileExt(const char* source, const char* destination) {
  const int shortcut = TwoPathShortcut(source, destination);
  if (shortcut >= 0) return shortcut;
  const retry::Lines lines{"CopyFileExt", source, destination};
  return retry::Run(lines, true, true, [&] {
    SetFileAttributesA(SystemPath(destination), FILE_ATTRIBUTE_NORMAL);
    return CopyFileA(SystemPath(source), SystemPath(destination), FALSE) != 0;
  });
}

BOOL DeleteFileExt(const char* path, DWORD* error) {
  if (IsEmptyString(path)) return FALSE;
  retry::Lines lines{"DeleteFileExt", path};
  lines.stopTail = " ";
  return retry::Run(lines, true, true, [&] {
    SetFileAttributesA(SystemPath(path), FILE_ATTRIBUTE_NORMAL);
    const bool ok = DeleteFileA(SystemPath(path)) != 0;
    if (error) *error = ok ? ERROR_SUCCESS : GetLastError();
    return ok;
  });
}

BOOL RemoveDirectoryExt(const char* path, DWORD* error) {
  if (IsEmptyString(path)) return FALSE;
  const retry::Lines lines{"RemoveDirectoryExt", path};
  return retry::Run(lines, true, true, [&] {
    LeaveFolderIfCurrent(SystemPath(path));
    const bool ok = RemoveDirectoryA(SystemPath(path)) != 0;
    if (error) *error = ok ? ERROR_SUCCESS : GetLastError();
    return ok;
  });
}

BOOL CreateDirectoryExt(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  if (IsExistingFolder(path)) return TRUE;
  const retry::Lines lines{"CreateDirectoryExt", path};
  return retry::Run(lines, true, true, [&] { return CreateDirectoryA(SystemPath(path), nullptr) != 0; });
}

BOOL CreateParentDirectory(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  if (IsExistingFolder(path)) return TRUE;
  const retry::Lines lines{"CreateParentDirectory", path};
  return retry::Run(lines, true, true, [&] { return CreateParentFolderChain(path) != 0; });
}

BOOL CreateFolderChain(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  char* copy = StrDupExtra(path, 0);
  char* body = SkipVirtualPrefix(copy);
  // The first separator that counts: after the share name of a UNC path,
  // else the first backslash; the prefixes before it are never created.
  char* separator;
  if (body[0] == '\\' && body[1] == '\\') {
    char* server = strchr(body + 2, '\\');
    separator = server ? strchr(server + 1, '\\') : nullptr;
  } else {
    separator = strchr(body, '\\');
  }
  BOOL ok = TRUE;
  for (char* next = separator ? strchr(separator + 1, '\\') : nullptr; next; next = strchr(next + 1, '\\')) {
    *next = '\0';
    if (!IsExistingFolder(copy) && !CreateDirectoryExt(copy)) ok = FALSE;
    *next = '\\';
    if (!ok) break;
  }
  if (ok && !IsExistingFolder(copy) && !CreateDirectoryExt(copy)) ok = FALSE;
  const DWORD error = GetLastError();
  HeapFreeZ(copy);
  SetLastError(error);
  return ok;
}

BOOL CreateParentFolderChain(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  const char* body = SkipVirtualPrefix(path);
  const char* counted = (body[0] == '\\' && body[1] == '\\') ? body + 2 : body;
  if (StrCountChar(counted, '\\', true) <= 1) return TRUE;
  char* parent = StrDupExtra(path, 0);
  *strrchr(parent, '\\') = '\0';
  const BOOL ok = CreateFolderChain(parent);
  const DWORD error = GetLastError();
  HeapFreeZ(parent);
  SetLastError(error);
  return ok;
}

BOOL EndUpdateResourceExt(HANDLE update) {
  bool failedOnce = false;
  for (int n = 1; n <= kFileRetryAttempts; ++n) {
    if (n > 1) Sleep(GetFileRetryPause());
    if (EndUpdateResourceA(update, FALSE)) {
      if (failedOnce) PackageLogPrintf("EndUpdateResourceExt: Result: OK!");
      return TRUE;
    }
    const DWORD error = GetLastError();
    failedOnce = true;
    PackageLogPrintf("EndUpdateResourceExt: Failed (%d)", int(error));
    if (error == ERROR_OPEN_FAILED || error == ERROR_INVALID_HANDLE) break;
  }
  PackageLogPrintf("EndUpdateResourceExt: Result: FAILED!");
  return FALSE;
}

HANDLE CreateFileMappingExt(const char* name, DWORD size) {
  HANDLE mapping = nullptr;
  DWORD error = ERROR_SUCCESS;
  for (int n = 1; n <= kFileMappingAttempts; ++n) {
    if (n > 1) Sleep(GetFileRetryPause());
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
    error = GetLastError();
    if (mapping && error != ERROR_ALREADY_EXISTS) return mapping;
    PackageLogPrintf("CreateFileMappingExt: Name: \"%s\" - Return - Error %d", name ? name : "", int(error));
    // Another process still holds a mapping of that name: this handle is not
    // a new block, so it goes back at once.
    if (mapping) CloseHandleExt(&mapping);
    PackageLogPrintf("CreateFileMappingExt: Name: \"%s\" - Failed (%d) - Retrying in %d ms", name ? name : "",
                     int(error), int(GetFileRetryPause()));
  }
  SetLastError(error);
  return mapping;
}
