// Appending entries to a package. A failed add cuts the content back to
// where the entry started, so the content and the counters stay as they were.
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "package/package.h"
#include "package/package_log.h"
#include "package/vfs.h"

namespace {

bool HasHandle(const ZEQPackageDATA* package) {
  return package->handle && package->handle != INVALID_HANDLE_VALUE;
}

bool IsTagged(const ZEQPackageDATA* package) { return (package->header.Flags & ZEQPKG_TAGGED) != 0; }

void Progress(ZEQPackageDATA* package, const char* text) {
  if (package->progress) package->progress(package, text, 0);
}

// Where the entry starts: the end of the content.
bool MoveToEnd(ZEQPackageDATA* package, int64_t* start) {
  if (HasHandle(package)) {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(package->handle, zero, &at, FILE_END)) return false;
    *start = at.QuadPart;
    return true;
  }
  package->position = package->length;
  *start = package->length;
  return true;
}

void CutBack(ZEQPackageDATA* package, int64_t start) {
  const DWORD error = GetLastError();
  ZEQPackageSeek(package, start, kPackageSeekBegin);
  ZEQPackageSetEnd(package);
  SetLastError(error);
}

const char* kStepTexts[] = {"Unable to write TAG #1", "Unable to write Relative Path",
                            "Unable to write package info #1", "Unable to write TAG #2",
                            "Unable to write package info #2", "Unable to write TAG #3",
                            "Unable to write TAG #4"};

// Writes one entry at the end of the content; `failedPrefix` opens the
// failure line ("ZEQPackageAddData: [FAILED] \"path\"").
bool AppendEntry(ZEQPackageDATA* package, const char* path, char type, const uint8_t* bytes, uint32_t length,
                 const char* failedPrefix) {
  int64_t start = 0;
  if (!MoveToEnd(package, &start)) return false;
  const bool tagged = IsTagged(package);
  int step = -1;
  if (tagged && !ZEQPackageWriteFile(package, 3, kPackageOpenTag)) step = 0;
  else if (!ZEQPackageAddRelativePath(package, path, type)) step = 1;
  else if (type == ZEQPKG_CONTENT_TYPE_FILE) {
    uint8_t le[4] = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
    if (!ZEQPackageWriteFile(package, 4, le)) step = 2;
    else if (tagged && !ZEQPackageWriteFile(package, 3, kPackageDataOpenTag)) step = 3;
    else if (length && !ZEQPackageWriteFile(package, length, bytes)) step = 4;
    else if (tagged && !ZEQPackageWriteFile(package, 3, kPackageDataCloseTag)) step = 5;
  }
  if (step < 0 && tagged && !ZEQPackageWriteFile(package, 3, kPackageCloseTag)) step = 6;
  if (step >= 0) {
    // A refused path has no line of its own.
    if (step != 1 || GetLastError() != ERROR_INVALID_NAME)
      PackageLogPrintf("%s - %s - SystemError: %d", failedPrefix, kStepTexts[step], int(GetLastError()));
    CutBack(package, start);
    return false;
  }
  if (type == ZEQPKG_CONTENT_TYPE_FILE) {
    package->header.FilesCount += 1;
    package->header.FilesSize += double(length);
  }
  return true;
}

bool TypeFromText(const char* text, char* type) {
  if (!text || !text[0] || text[1]) return false;
  if (text[0] != ZEQPKG_CONTENT_TYPE_FILE && text[0] != ZEQPKG_CONTENT_TYPE_FOLDER) return false;
  *type = text[0];
  return true;
}

bool IsTextExtension(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (!dot || std::strpbrk(dot, "\\/")) return false;
  static const char* const kText[] = {"js",  "zeq", "htm",  "html", "htc",  "css",
                                      "xml", "xsl", "hid", "wsdl", "info", "data"};
  for (const char* ext : kText)
    if (_stricmp(dot + 1, ext) == 0) return true;
  return false;
}

}  // namespace

bool ZEQPackageAddRelativePath(ZEQPackageDATA* package, const char* path, char type) {
  if (!package || !path) return false;
  const size_t n = std::strlen(path);
  if (n == 0 || n >= 0xFFFFFF00u || (type == ZEQPKG_CONTENT_TYPE_FILE && !PackagePathIsValidFileEntry(path, n))) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const uint32_t recordLength = uint32_t(n + 1);
  uint8_t le[4] = {uint8_t(recordLength), uint8_t(recordLength >> 8), uint8_t(recordLength >> 16),
                   uint8_t(recordLength >> 24)};
  if (!ZEQPackageWriteFile(package, 4, le)) {
    PackageLogPrintf("ZEQPackageAddRelativePath: [FAILED] \"%s\" - SystemError: %d", package->path,
                     int(GetLastError()));
    return false;
  }
  return ZEQPackageWriteFile(package, 1, &type) && ZEQPackageWriteFile(package, uint32_t(n), path);
}

bool ZEQPackageAddData(ZEQPackageDATA* package, const char* path, const char* type, const void* bytes,
                       uint32_t length) {
  if (!package || package->header.Type != ZEQPKG_TYPE_MULTIPLE) return false;
  try {
    Progress(package, path);
    char kind = 0;
    if (!TypeFromText(type, &kind)) {
      PackageLogPrintf("ZEQPackageAddData: [FAILED] \"%s\" - Invalid Type", package->path);
      return false;
    }
    if (kind == ZEQPKG_CONTENT_TYPE_FOLDER) length = 0;
    if (length && !bytes) return false;
    char prefix[MAX_PATH + 64];
    std::snprintf(prefix, sizeof(prefix), "ZEQPackageAddData: [FAILED] \"%s\"", package->path);
    return AppendEntry(package, path, kind, static_cast<const uint8_t*>(bytes), length, prefix);
  } catch (...) {
    PackageLogPrintf("!ZEQPackageAddData: Unexpected exception...");
    return false;
  }
}

bool ZEQPackageAddFile(ZEQPackageDATA* package, const char* path, const char* source) {
  if (!package || package->header.Type != ZEQPKG_TYPE_MULTIPLE) return false;
  uint8_t* data = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool ok = false;
  try {
    const char* from = source ? source : "";
    if (_strnicmp(from, "zeq:", 4) == 0) from += 4;
    Progress(package, from);
    char prefix[2 * MAX_PATH + 64];
    std::snprintf(prefix, sizeof(prefix), "ZEQPackageAddFile: [FAILED] \"%s\" - \"%s\"", package->path, from);
    uint32_t length = 0;
    if (*from) {
      file = CreateFileExt(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, 0);
      if (file == INVALID_HANDLE_VALUE) {
        PackageLogPrintf("%s - Unable to open source - SystemError: %d", prefix, int(GetLastError()));
        return false;
      }
      const DWORD size = GetFileSizeExt(file);
      if (size == INVALID_FILE_SIZE || size > 0xFFFFFF00u) {
        PackageLogPrintf("%s - Unable to allocate memory - SystemError: %d", prefix, int(GetLastError()));
        CloseHandleExt(&file);
        return false;
      }
      length = size;
      data = static_cast<uint8_t*>(HeapAllocZ(size_t(length) + 1));
      DWORD got = 0;
      if (length && (!ReadFileExt(file, length, data, &got) || got != length)) {
        PackageLogPrintf("%s - Unable to read file data - SystemError: %d", prefix, int(GetLastError()));
      } else if ((package->header.Flags & ZEQPKG_ENSUREZEQRULES) && IsTextExtension(from) &&
                 (length < 3 || data[0] != 0xEF || data[1] != 0xBB || data[2] != 0xBF)) {
        PackageLogPrintf("%s - Due to ZEQ Rules - UTF-8 File Code Page Expected", prefix);
      } else {
        ok = true;
      }
      CloseHandleExt(&file);
    } else {
      ok = true;
    }
    ok = ok && AppendEntry(package, path, ZEQPKG_CONTENT_TYPE_FILE, data, length, prefix);
  } catch (...) {
    PackageLogPrintf("!ZEQPackageAddFile: Unexpected exception...");
    ok = false;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandleExt(&file);
  HeapFreeZ(data);
  return ok;
}
