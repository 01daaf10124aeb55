// Opening files of any path form, and the handle operations that serve
// mounted files from memory and pass every other handle to the system.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "retry_policy.h"
#include "url_download.h"
#include "vfs_internal.h"

namespace {

KESTOVFSHANDLE* AsRecord(HANDLE handle) {
  return IsVFSHandleRecord(handle) ? static_cast<KESTOVFSHANDLE*>(handle) : nullptr;
}

KESTOVFSHANDLE* OpenMounted(const char* path) {
  VFSMountedData* data = VFSAcquireData(path);
  if (!data) return nullptr;
  KESTOVFSHANDLE* record;
  try {
    record = static_cast<KESTOVFSHANDLE*>(HeapAllocZ(sizeof(KESTOVFSHANDLE)));
  } catch (...) {
    VFSReleaseData(data);
    throw;
  }
  ZEQStampRecord(record, kVFSHandleTag, nullptr);
  record->data = data;
  return record;
}

// A write open of a read-only real file first clears its read-only bit.
void ClearReadOnly(const char* path) {
  if (!IsFileSystemPath(path) || IsMountedFile(path)) return;
  const char* system = SkipVirtualPrefix(path);
  const DWORD attributes = GetFileAttributesA(system);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesA(system, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  }
}

}  // namespace

HANDLE CreateFileExt(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                     DWORD flagsAndAttributes, DWORD retryFlags) {
  if (IsEmptyString(path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  char* working = StrDupExtra(path, MAX_PATH);
  if (access & GENERIC_WRITE) ClearReadOnly(path);
  HANDLE result = INVALID_HANDLE_VALUE;
  bool downloaded = false;
  const retry::Lines lines{"@CreateFileExt", path};
  try {
    retry::Run(lines, (retryFlags & kCreateFileRetry) != 0, false, [&] {
      if (KESTOVFSHANDLE* record = OpenMounted(working)) {
        result = record;
        SetLastError(ERROR_SUCCESS);
        return true;
      }
      if (!downloaded && IsURLPath(working)) {
        // The system's URL cache gives a local copy; later attempts open it.
        char local[MAX_PATH] = {};
        if (!DownloadUrlToCache(SkipVirtualPrefix(working), local, MAX_PATH)) {
          SetLastError(ERROR_PATH_NOT_FOUND);
          return false;
        }
        StrCopyN(working, local, MAX_PATH - 1);
        downloaded = true;
      }
      char* system = SkipVirtualPrefix(working);
      if (!downloaded) NormalizePathToFSFormat(system);
      result = CreateFileA(system, access, shareMode, nullptr, disposition, flagsAndAttributes, nullptr);
      return result != INVALID_HANDLE_VALUE;
    });
  } catch (...) {
    HeapFreeZ(working);
    throw;
  }
  const DWORD error = GetLastError();
  HeapFreeZ(working);
  SetLastError(error);
  return result;
}

DWORD GetFileSizeExt(HANDLE handle) {
  if (KESTOVFSHANDLE* record = AsRecord(handle)) {
    SetLastError(ERROR_SUCCESS);
    return record->data->length;
  }
  return GetFileSize(handle, nullptr);
}

DWORD SetFilePointerExt(HANDLE handle, DWORD method, LONG distance) {
  KESTOVFSHANDLE* record = AsRecord(handle);
  if (!record) return SetFilePointer(handle, distance, nullptr, method);
  int64_t base;
  switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = record->position; break;
    case FILE_END: base = record->data->length; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  const int64_t target = base + distance;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  // The 32-bit position cannot hold the value the failure result uses.
  if (target >= int64_t(INVALID_SET_FILE_POINTER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  record->position = static_cast<uint32_t>(target);
  SetLastError(ERROR_SUCCESS);
  return record->position;
}

BOOL ReadFileExt(HANDLE handle, DWORD count, void* buffer, DWORD* read) {
  KESTOVFSHANDLE* record = AsRecord(handle);
  if (!record) {
    DWORD got = 0;
    const BOOL ok = ReadFile(handle, buffer, count, &got, nullptr);
    if (read) *read = got;
    return ok;
  }
  const uint32_t length = record->data->length;
  DWORD copied = 0;
  if (record->position < length) {
    copied = length - record->position < count ? length - record->position : count;
    if (copied && buffer) memcpy(buffer, record->data->Bytes() + record->position, copied);
    record->position += copied;
  }
  if (read) *read = copied;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WriteFileExt(HANDLE handle, const void* buffer, DWORD count, DWORD* written) {
  if (AsRecord(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD put = 0;
  const BOOL ok = WriteFile(handle, buffer, count, &put, nullptr);
  if (written) *written = put;
  return ok;
}

BOOL SetEndOfFileExt(HANDLE handle) {
  if (AsRecord(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return SetEndOfFile(handle);
}

BOOL CloseHandleExt(HANDLE* handle) {
  if (!handle || *handle == nullptr || *handle == INVALID_HANDLE_VALUE) return FALSE;
  HANDLE value = *handle;
  *handle = INVALID_HANDLE_VALUE;
  if (KESTOVFSHANDLE* record = AsRecord(value)) {
    VFSReleaseData(record->data);
    record->data = nullptr;
    ZEQRetireRecord(record);
    HeapFreeZ(record);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  return CloseHandle(value);
}
