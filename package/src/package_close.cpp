// Writing a package at close: the body is encoded as a whole, then the
// header goes in front of it (memory packages) or over the file's first
// 176 bytes (file-backed packages).
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/process_state.h"
#include "package/file_retry.h"
#include "package/package.h"
#include "package/package_log.h"
#include "package/vfs.h"

namespace {

bool HasHandle(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }

bool WriteAll(HANDLE file, const uint8_t* bytes, uint32_t length) {
  DWORD written = 0;
  return WriteFile(file, bytes, length, &written, nullptr) && written == length;
}

// Encodes [bytes, length) into a new heap buffer; null on failure.
uint8_t* EncodeCopy(ZEQPackageDATA* package, const uint8_t* bytes, size_t* length) {
  auto* copy = static_cast<uint8_t*>(HeapAllocZ(*length + 1));
  if (*length) std::memcpy(copy, bytes, *length);
  return ZEQPackageEncodeData(package->path, copy, length, package->key, package->header.Flags);
}

bool EncodingNeeded(const ZEQPackageDATA* package) {
  return (package->header.Flags & (ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT)) != 0;
}

bool CloseFileBacked(ZEQPackageDATA* package) {
  HANDLE file = package->handle;
  bool ok = false;
  uint8_t* body = nullptr;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > LONGLONG(kPackageHeaderSize) &&
      size.QuadPart - LONGLONG(kPackageHeaderSize) <= LONGLONG(0xFFFFFF00u)) {
    size_t length = size_t(size.QuadPart) - kPackageHeaderSize;
    const uint32_t plainLength = uint32_t(length);
    ok = true;
    if (EncodingNeeded(package)) {
      body = static_cast<uint8_t*>(HeapAllocZ(length + 1));
      DWORD got = 0;
      ok = ZEQPackageSeek(package, kPackageHeaderSize, kPackageSeekBegin) &&
           ReadFile(file, body, DWORD(length), &got, nullptr) && got == length;
      if (ok) {
        body = ZEQPackageEncodeData(package->path, body, &length, package->key, package->header.Flags);
        ok = body && ZEQPackageSeek(package, kPackageHeaderSize, kPackageSeekBegin) && ZEQPackageSetEnd(package) &&
             WriteAll(file, body, uint32_t(length));
      }
    }
    ok = ok && ZEQPackageWriteHeader(package, plainLength, package->key, package->header.Flags);
  }
  HeapFreeZ(body);
  CloseHandle(file);
  package->handle = INVALID_HANDLE_VALUE;
  return ok;
}

bool CloseMemory(ZEQPackageDATA* package, HANDLE given) {
  if (!ZEQPackageMakeImage(package)) return false;
  HANDLE file = given;
  if (!HasHandle(file)) {
    file = CreateFileExt(package->path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, kCreateFileRetry);
    if (!HasHandle(file)) return false;
  }
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  const bool ok = SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && WriteAll(file, package->content, package->length);
  if (file != given) CloseHandleExt(&file);
  return ok;
}

// Deletes what extraction wrote provisionally, in the order it was written.
void DeleteTemporaryFiles(ZEQPackageDATA* package) {
  ZEQList* list = package->temporaryFiles;
  if (!list) return;
  list->Lock();
  for (int i = 0; i < list->count; ++i) {
    ZEQListItem* item = list->GetItemAt(i);
    if (!item || !item->key) continue;
    const char* path = item->KeyText();
    if (_strnicmp(path, "zeq:", 4) == 0) path += 4;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      RemoveDirectoryExt(path);
    else
      DeleteFileExt(path);
  }
  list->Clear(false);
  list->Unlock();
}

}  // namespace

bool ZEQPackageMakeImage(ZEQPackageDATA* package) {
  if (!package || HasHandle(package->handle)) return false;
  const uint32_t plainLength = package->length;
  if (EncodingNeeded(package)) {
    size_t length = package->length;
    uint8_t* encoded = EncodeCopy(package, package->content, &length);
    if (!encoded) return false;
    HeapFreeSecure(package->content, package->length, true);
    package->content = encoded;
    package->length = uint32_t(length);
    package->capacity = length;
    package->position = 0;
  }
  return ZEQPackageWriteHeader(package, plainLength, package->key, package->header.Flags);
}

bool ZEQPackageClose(ZEQPackageDATA* package, HANDLE handle, uint32_t flags) {
  if (!package) return false;
  bool ok = false;
  try {
    if (package == ZEQGetApplicationPackage()) {
      ZEQPackageUnload(package);
      if (ZEQGetApplicationState() == 0) return true;
    }
    DeleteTemporaryFiles(package);
    if (!package->changed && !(flags & 0x1)) {
      PackageLogPrintf("ZEQPackageClose: %s \"%s\"", "[OK]", package->path);
      return true;
    }
    if (PackagePathIsExecutable(package->path)) {
      // A package goes into an executable only as its signed resource;
      // writing the file image over the executable would destroy it.
      PackageLogPrintf("ZEQPackageClose: [FAILED] \"%s\" - Embeded Package Failed", package->path);
    } else {
      ok = HasHandle(package->handle) ? CloseFileBacked(package) : CloseMemory(package, handle);
      if (ok) package->changed = 0;
    }
  } catch (...) {
    PackageLogPrintf("!ZEQPackageClose: Unexpected exception...");
    ok = false;
  }
  PackageLogPrintf("ZEQPackageClose: %s \"%s\"", ok ? "[OK]" : "[FAILED]", package->path);
  return ok;
}
