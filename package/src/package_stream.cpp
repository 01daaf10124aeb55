// Stream primitives of the package object: file-backed packages act on their
// file, memory packages on the content buffer.
#include <cstring>

#include "foundation/heap.h"
#include "package/package.h"
#include "package/package_log.h"
#include "package/vfs.h"

namespace {

bool HasHandle(const ZEQPackageDATA* package) {
  return package->handle && package->handle != INVALID_HANDLE_VALUE;
}

// Lengths travel in 32 bits; keep room for the spare zero byte.
constexpr uint64_t kMaxContent = 0xFFFFFF00u;

bool Reserve(ZEQPackageDATA* package, uint64_t needed) {
  if (needed > kMaxContent) return false;
  if (package->content && needed <= package->capacity) return true;
  size_t grown = package->capacity ? package->capacity : 256;
  while (grown < needed) grown = (grown > kMaxContent / 2) ? size_t(kMaxContent) : grown * 2;
  auto* block = static_cast<uint8_t*>(package->content ? HeapReAllocZ(package->content, grown + 1)
                                                       : HeapAllocZ(grown + 1));
  std::memset(block + package->length, 0, grown + 1 - package->length);
  package->content = block;
  package->capacity = grown;
  return true;
}

}  // namespace

bool ZEQPackageReadFile(ZEQPackageDATA* package, uint32_t count, void* destination, uint32_t* countRead) {
  if (countRead) *countRead = 0;
  if (!package) return false;
  if (HasHandle(package)) {
    DWORD got = 0;
    if (!ReadFileExt(package->handle, count, destination, &got)) {
      PackageLogPrintf("ZEQPackageReadFile: [FAILED] #1");
      return false;
    }
    if (countRead) *countRead = got;
    if (got != count) {
      PackageLogPrintf("ZEQPackageReadFile: [FAILED] #2");
      return false;
    }
    return true;
  }
  if (package->position > package->length || count > package->length - package->position) return false;
  if (count) std::memcpy(destination, package->content + package->position, count);
  package->position += count;
  if (countRead) *countRead = count;
  return true;
}

bool ZEQPackageWriteFile(ZEQPackageDATA* package, uint32_t count, const void* bytes) {
  if (!package) return false;
  package->changed = 1;
  if (HasHandle(package)) {
    DWORD written = 0;
    if (!WriteFileExt(package->handle, bytes, count, &written) || written != count) {
      PackageLogPrintf("ZEQPackageWriteFile: [FAILED] #1");
      return false;
    }
    return true;
  }
  if (package->position > package->length) package->position = package->length;
  try {
    if (!Reserve(package, uint64_t(package->length) + count)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  uint8_t* at = package->content + package->position;
  std::memmove(at + count, at, package->length - package->position);
  if (count) std::memcpy(at, bytes, count);
  package->position += count;
  package->length += count;
  package->content[package->length] = 0;
  return true;
}

bool ZEQPackageSeek(ZEQPackageDATA* package, int64_t offset, int origin) {
  if (!package) return false;
  if (HasHandle(package)) {
    LARGE_INTEGER move;
    move.QuadPart = offset;
    const DWORD method = origin == kPackageSeekBegin ? FILE_BEGIN : origin == kPackageSeekEnd ? FILE_END : FILE_CURRENT;
    return SetFilePointerEx(package->handle, move, nullptr, method) != FALSE;
  }
  const int64_t base = origin == kPackageSeekBegin ? 0 : origin == kPackageSeekEnd ? package->length : package->position;
  const int64_t target = base + offset;
  if (target < 0 || target > int64_t(0xFFFFFFFFu)) return false;
  package->position = uint32_t(target);
  return true;
}

bool ZEQPackageSkip(ZEQPackageDATA* package, uint32_t count) { return ZEQPackageSeek(package, count, kPackageSeekCurrent); }

bool ZEQPackageSetEnd(ZEQPackageDATA* package) {
  if (!package) return false;
  if (HasHandle(package)) return SetEndOfFile(package->handle) != FALSE;
  if (package->position >= package->length) return true;
  std::memset(package->content + package->position, 0, package->length - package->position);
  package->length = package->position;
  return true;
}
