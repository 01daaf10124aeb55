#include "package/file_trees.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/md5.h"
#include "foundation/text.h"
#include "package/package_log.h"
#include "package/vfs.h"

namespace {

bool Matches(const char* patterns, const std::string& text) {
  return WildcardMatchList(patterns, text.c_str(), 0) != FALSE;
}

bool AddFolderWalk(ZEQPackageDATA* package, const std::string& folderPath, const std::string& source,
                   const char* patterns, uint32_t flags) {
  if (Matches(patterns, folderPath) && !folderPath.empty() &&
      !ZEQPackageAddData(package, folderPath.c_str(), "0", nullptr, 0))
    return false;
  WIN32_FIND_DATAA found;
  HANDLE listing = FindFirstFileA((source + "\\*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    if (found.cFileName[0] == '.') continue;
    const std::string from = source + "\\" + found.cFileName;
    std::string inside = folderPath;
    if (inside.empty() || (inside.back() != '\\' && inside.back() != '/')) inside += '\\';
    inside += found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (flags & 0x1) ok = AddFolderWalk(package, inside, from, patterns, flags);
    } else if (Matches(patterns, from)) {
      ok = ZEQPackageAddFile(package, inside.c_str(), from.c_str());
    }
  } while (ok && FindNextFileA(listing, &found));
  FindClose(listing);
  return ok;
}

bool ReadExactly(HANDLE file, void* into, DWORD count) {
  DWORD got = 0;
  return ReadFileExt(file, count, into, &got) && got == count;
}

uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p) { return uint32_t(Load16(p)) | (uint32_t(Load16(p + 2)) << 16); }
void Store16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Store32(uint8_t* p, uint32_t v) {
  Store16(p, uint16_t(v));
  Store16(p + 2, uint16_t(v >> 16));
}

}  // namespace

bool ZEQPackageAddFolder(ZEQPackageDATA* package, const char* folderPath, const char* sourceFolder,
                         const char* patterns, uint32_t flags) {
  if (!package || package->header.Type != ZEQPKG_TYPE_MULTIPLE || !sourceFolder) return false;
  try {
    if (!ZEQPackageSeek(package, 0, kPackageSeekEnd)) return false;
    int64_t rollback = package->length;
    if (package->handle && package->handle != INVALID_HANDLE_VALUE) {
      LARGE_INTEGER zero, at;
      zero.QuadPart = 0;
      if (!SetFilePointerEx(package->handle, zero, &at, FILE_CURRENT)) return false;
      rollback = at.QuadPart;
    }
    const uint32_t filesCount = package->header.FilesCount;
    const double filesSize = package->header.FilesSize;
    if (AddFolderWalk(package, folderPath ? folderPath : "", sourceFolder, patterns, flags)) return true;
    const DWORD error = GetLastError();
    ZEQPackageSeek(package, rollback, kPackageSeekBegin);
    ZEQPackageSetEnd(package);
    // The entries cut away no longer count.
    package->header.FilesCount = filesCount;
    package->header.FilesSize = filesSize;
    SetLastError(error);
    return false;
  } catch (...) {
    PackageLogPrintf("!ZEQPackageAddFolder: Unexpected exception...");
    return false;
  }
}

bool MD5OfFileHandle(HANDLE handle, char* digestText) {
  MD5Context context;
  MD5Init(&context);
  uint8_t chunk[64 * 1024];
  DWORD got = 0;
  while (ReadFileExt(handle, sizeof(chunk), chunk, &got) && got) MD5Update(&context, chunk, got);
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, &context);
  MD5ToHex(digest, digestText);
  return true;
}

bool GetFileMD5Ext(const char* path, char* digestText) {
  if (!path || !digestText) return false;
  HANDLE file = CreateFileExt(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  MD5OfFileHandle(file, digestText);
  CloseHandleExt(&file);
  return true;
}

bool ReadIconFile(const char* path, uint8_t** images, size_t slots, uint8_t** group, size_t* groupSize) {
  if (!path || !images || !group) return false;
  *group = nullptr;
  if (groupSize) *groupSize = 0;
  if (_strnicmp(path, "zeq:", 4) == 0) path += 4;
  HANDLE file = CreateFileExt(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  uint8_t* entries = nullptr;
  uint8_t* block = nullptr;
  size_t made = 0;
  bool ok = false;
  try {
    const DWORD size = GetFileSizeExt(file);
    uint8_t head[6];
    if (size != INVALID_FILE_SIZE && ReadExactly(file, head, sizeof(head))) {
      const uint16_t count = Load16(head + 4);
      const uint64_t fileSize = size;
      // The directory and every image must lie inside the file and fit the slots.
      if (count && count <= slots && 6 + 16ull * count <= fileSize) {
        entries = static_cast<uint8_t*>(HeapAllocZ(16u * count));
        ok = ReadExactly(file, entries, 16u * count);
        const size_t bytes = 6 + 14u * count;
        block = static_cast<uint8_t*>(HeapAllocZ(bytes));
        Store16(block + 2, 1);
        Store16(block + 4, count);
        for (size_t i = 0; ok && i < count; ++i) {
          const uint8_t* e = entries + 16 * i;
          const uint32_t imageSize = Load32(e + 8), offset = Load32(e + 12);
          ok = imageSize && uint64_t(offset) + imageSize <= fileSize &&
               SetFilePointerExt(file, FILE_BEGIN, LONG(offset)) != INVALID_SET_FILE_POINTER;
          if (!ok) break;
          images[i] = static_cast<uint8_t*>(HeapAllocZ(imageSize));
          made = i + 1;
          ok = ReadExactly(file, images[i], imageSize);
          uint8_t* g = block + 6 + 14 * i;
          std::memcpy(g, e, 8);  // width, height, colours, reserved, planes, bit count
          Store32(g + 8, imageSize);
          Store16(g + 12, uint16_t(i + 1));
        }
        if (ok) {
          *group = block;
          if (groupSize) *groupSize = bytes;
          block = nullptr;
        }
      }
    }
  } catch (...) {
    PackageLogPrintf("!ReadIconFile: Unexpected exception...");
    ok = false;
  }
  if (!ok)
    for (size_t i = 0; i < made; ++i) {
      HeapFreeZ(images[i]);
      images[i] = nullptr;
    }
  HeapFreeZ(block);
  HeapFreeZ(entries);
  CloseHandleExt(&file);
  return ok;
}
