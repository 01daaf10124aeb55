// Queries on paths of any form, whole-file reading and MIME types.
#include <urlmon.h>

#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/paths.h"
#include "net/http_helpers.h"
#include "package/vfs.h"
#include "vfs_internal.h"

DWORD GetFileAttributesExt(const char* path) {
  if (IsEmptyString(path)) return INVALID_FILE_ATTRIBUTES;
  if (IsMountedFile(path)) return kVFSMountedAttributes;
  // A text that begins with two slashes is a UNC path here, not a URL.
  if (IsFileSystemPath(path)) return GetFileAttributesA(SkipVirtualPrefix(path));
  return INVALID_FILE_ATTRIBUTES;
}

BOOL PathIsDirectoryExt(const char* path) {
  const DWORD attributes = GetFileAttributesExt(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL PathFileExistsExt(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  if (IsMountedFile(path)) return TRUE;
  if (IsFileSystemPath(path)) {
    const DWORD attributes = GetFileAttributesA(SkipVirtualPrefix(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  if (IsURLPath(path)) return HTTPCheckURL(SkipVirtualPrefix(path));
  return FALSE;
}

DWORD GetShortPathNameExt(const char* path, char* buffer, DWORD size) {
  if (IsMountedFile(path)) {
    if (buffer && size) StrCopyN(buffer, path, size - 1);
    return size;
  }
  return GetShortPathNameA(SkipVirtualPrefix(path), buffer, size);
}

namespace {

// The whole size of an open file, refusing what a 32-bit count cannot hold.
bool WholeFileSize(HANDLE file, DWORD* size) {
  if (IsVFSHandleRecord(file)) {
    *size = GetFileSizeExt(file);
    return true;
  }
  LARGE_INTEGER large;
  if (!GetFileSizeEx(file, &large)) return false;
  if (large.QuadPart > LONGLONG(0xFFFFFFFFu - kReadWholeFileSpare - 2)) {
    SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  *size = static_cast<DWORD>(large.QuadPart);
  return true;
}

}  // namespace

BOOL ReadWholeFileExt(const char* path, void** data, DWORD* size) {
  if (data) *data = nullptr;
  if (size) *size = 0;
  HANDLE file = CreateFileExt(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, 0);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  DWORD length = 0;
  if (!WholeFileSize(file, &length)) {
    const DWORD error = GetLastError();
    CloseHandleExt(&file);
    if (size) *size = 0xFFFFFFFF;
    SetLastError(error);
    return FALSE;
  }
  char* block = nullptr;
  DWORD total = 0;
  try {
    block = static_cast<char*>(HeapAllocZ(size_t(length) + kReadWholeFileSpare));
  } catch (...) {
    CloseHandleExt(&file);
    throw;
  }
  // A read may return less than asked; the file may also have shrunk since
  // its size was read, so the count is what was really read.
  bool ok = true;
  while (total < length) {
    DWORD got = 0;
    if (!ReadFileExt(file, length - total, block + total, &got)) {
      ok = false;
      break;
    }
    if (!got) break;
    total += got;
  }
  const DWORD error = GetLastError();
  CloseHandleExt(&file);
  if (!ok) {
    HeapFreeZ(block);
    SetLastError(error);
    return FALSE;
  }
  if (data) {
    *data = block;
  } else {
    HeapFreeZ(block);
  }
  if (size) *size = total;
  return TRUE;
}

const char* MimeTypeFromExtensionTable(const char* fileName) {
  static const struct {
    const char* extension;
    const char* type;
  } kTable[] = {
      {"js", "text/javascript"}, {"zeq", "text/javascript"}, {"htm", "text/html"},
      {"html", "text/html"},     {"css", "text/css"},        {"htc", "text/x-component"},
      {"hdc", "text/x-quelmdefs"},
  };
  const char* dot = fileName ? strrchr(fileName, '.') : nullptr;
  if (dot) {
    for (const auto& entry : kTable) {
      if (_stricmp(dot + 1, entry.extension) == 0) return entry.type;
    }
  }
  return "text/plain";
}

BOOL GetMimeTypeByExtension(char* destination, const char* fileName, size_t size) {
  if (IsEmptyString(fileName) || !destination || !size) return FALSE;
  wchar_t* wide = AnsiToWideDup(fileName, 0);
  LPWSTR systemType = nullptr;
  const HRESULT hr = FindMimeFromData(nullptr, wide, nullptr, 0, nullptr, 0, &systemType, 0);
  HeapFreeZ(wide);
  if (hr == S_OK && systemType) {
    WideToAnsiBuf(systemType, destination, size);
    CoTaskMemFree(systemType);
    return TRUE;
  }
  if (systemType) CoTaskMemFree(systemType);
  StrCopyN(destination, MimeTypeFromExtensionTable(fileName), size - 1);
  return TRUE;
}
