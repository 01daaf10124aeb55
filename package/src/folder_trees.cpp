// Copying, removing and measuring folder trees.
#include <string>

#include "foundation/text.h"
#include "package/file_trees.h"
#include "package/file_retry.h"
#include "package/package_log.h"
#include "package/vfs.h"

namespace {

// Lists folder\* and calls visit for every entry not beginning with '.';
// false when the listing cannot start or visit says stop.
template <typename Visit>
bool ForEachEntry(const std::string& folder, Visit visit) {
  WIN32_FIND_DATAA found;
  HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    if (found.cFileName[0] == '.') continue;
    ok = visit(folder + "\\" + found.cFileName, found);
  } while (ok && FindNextFileA(listing, &found));
  FindClose(listing);
  return ok;
}

bool IsFolder(const WIN32_FIND_DATAA& found) { return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

bool CopyDirectoryTree(const char* source, const char* destination, const char* patterns, uintptr_t value,
                       uint32_t flags) {
  if (!source || !*source || !destination || !*destination) return false;
  if (!CreateDirectoryExt(destination)) return false;
  std::string to = destination;
  if (to.back() != '\\') to += '\\';
  return ForEachEntry(source, [&](const std::string& from, const WIN32_FIND_DATAA& found) {
    const std::string target = to + found.cFileName;
    if (IsFolder(found)) return !(flags & 0x1) || CopyDirectoryTree(from.c_str(), target.c_str(), patterns, value, flags);
    if (!WildcardMatchList(patterns, from.c_str(), 0)) return true;
    return CreateParentDirectory(target.c_str()) && CopyFileExt(from.c_str(), target.c_str());
  });
}

bool RemoveDirectoryTreeWorker(const char* folder, const char* patterns, uintptr_t value1, uintptr_t value2) {
  if (!folder || !*folder) return false;
  const char* counted = (folder[0] == '\\' && folder[1] == '\\') ? folder + 2 : folder;
  int separators = 0;
  for (const char* c = counted; *c; ++c) separators += *c == '\\';
  if (separators <= 1) {
    PackageLogPrintf("RemoveDirectoryTreeWorker: Access Denied to remove \"%s\"", folder);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  const bool filtered = patterns && *patterns;
  return ForEachEntry(folder, [&](const std::string& path, const WIN32_FIND_DATAA& found) {
    if (!WildcardMatchList(patterns, path.c_str(), 0)) return true;
    if (IsFolder(found)) {
      if (!RemoveDirectoryTreeWorker(path.c_str(), patterns, value1, value2)) return true;
      DWORD error = 0;
      if (RemoveDirectoryExt(path.c_str(), &error)) return true;
      return filtered && error == ERROR_DIR_NOT_EMPTY;
    }
    return DeleteFileExt(path.c_str()) != FALSE;
  });
}

bool RemoveDirectoryTree(const char* folder, const char* patterns, uintptr_t value) {
  return RemoveDirectoryTreeWorker(folder, patterns, value, 0) && RemoveDirectoryExt(folder);
}

bool GetFolderStatistics(const char* folder, double* totalBytes, uint32_t* folders, uint32_t* files,
                         uint32_t flags) {
  if (!folder || !totalBytes || !folders || !files) return false;
  return ForEachEntry(folder, [&](const std::string& path, const WIN32_FIND_DATAA& found) {
    *totalBytes += double((uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    if (!IsFolder(found)) {
      *files += 1;
      return true;
    }
    *folders += 1;
    return !flags || GetFolderStatistics(path.c_str(), totalBytes, folders, files, flags);
  });
}

uint32_t ConvertTextBuffer(uint32_t flags, char** buffer, size_t* size) {
  if (flags & 0x1) return TextBufferToAnsi(buffer, size);
  if (flags & 0x2) return TextBufferToUtf8(buffer, size);
  if (flags & 0x8) return 0;
  if (flags & 0x4) return DecodeTextBuffer(buffer, size);
  return 0;
}

bool GetFileLastWriteTimeExt(const char* path, FILETIME* time) {
  if (!path || !time) return false;
  // Through the file layer, so mounted and URL paths open too (a mounted
  // file has no time: the query fails).
  HANDLE file = CreateFileExt(path, 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME utc;
  const BOOL ok = GetFileTime(file, nullptr, nullptr, &utc);
  if (ok && !FileTimeToLocalFileTime(&utc, time)) *time = utc;
  CloseHandleExt(&file);
  return ok != FALSE;
}

bool CheckFileAccessExt(const char* path, int kind) {
  static const DWORD kAccess[] = {0, GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE};
  if (!path || !*path || kind < 1 || kind > 3) return false;
  HANDLE file = CreateFileExt(path, kAccess[kind], 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandleExt(&file);
  return true;
}
