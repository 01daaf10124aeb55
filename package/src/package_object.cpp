// Making, opening, checking and closing package objects.
#include <rpc.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/process_state.h"
#include "package/package.h"
#include "package/package_log.h"
#include "package/vfs.h"

namespace {

ZEQPackageDATA* g_applicationPackage = nullptr;

const char* Shown(const char* text) { return text ? text : ""; }
const char* Verdict(bool ok) { return ok ? "[OK]" : "[FAILED]"; }

bool HasHandle(const ZEQPackageDATA* package) {
  return package->handle && package->handle != INVALID_HANDLE_VALUE;
}

void CloseOwnHandle(ZEQPackageDATA* package) {
  if (HasHandle(package)) CloseHandleExt(&package->handle);
  package->handle = INVALID_HANDLE_VALUE;
}

void NewUuidText(char* field) {
  UUID uuid;
  std::memset(&uuid, 0, sizeof(uuid));
  UuidCreate(&uuid);
  std::snprintf(field, kPackageTextField, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(uuid.Data1), uuid.Data2, uuid.Data3, uuid.Data4[0], uuid.Data4[1],
                uuid.Data4[2], uuid.Data4[3], uuid.Data4[4], uuid.Data4[5], uuid.Data4[6], uuid.Data4[7]);
}


int DoNothingProgress(ZEQPackageDATA*, const char*, uintptr_t) { return 1; }

void SetPath(ZEQPackageDATA* package, const char* path) {
  std::snprintf(package->path, sizeof(package->path), "%s", Shown(path));
}

// Takes over a heap buffer as the content (its allocation holds length + 1).
void AdoptContent(ZEQPackageDATA* package, uint8_t* buffer, uint32_t length) {
  HeapFreeSecure(package->content, package->length, true);
  package->content = buffer;
  package->length = length;
  package->capacity = length;
  package->position = 0;
}

}  // namespace

bool PackagePathIsExecutable(const char* path) {
  const size_t n = path ? std::strlen(path) : 0;
  return n >= 4 && _stricmp(path + n - 4, ".exe") == 0;
}

bool ZEQPackageAddTemporaryFile(ZEQPackageDATA* package, const char* path) {
  if (!package || !package->temporaryFiles || !path || !*path) return false;
  ZEQList* list = package->temporaryFiles;
  list->Lock();
  ZEQListItem* item = nullptr;
  try {
    item = list->InsertNamed(path, list->count, 0, 0, 0);
  } catch (...) {
    list->Unlock();
    throw;
  }
  list->Unlock();
  return item != nullptr;
}

ZEQPackageDATA* ZEQGetApplicationPackage() { return g_applicationPackage; }
void ZEQSetApplicationPackage(ZEQPackageDATA* package) { g_applicationPackage = package; }

ZEQPackageDATA* ZEQPackageNew(uint32_t type, uint32_t flags) {
  auto* package = static_cast<ZEQPackageDATA*>(HeapAllocZ(sizeof(ZEQPackageDATA)));
  std::memcpy(package->header.Magic, kPackageMagic, sizeof(kPackageMagic));
  NewUuidText(package->header.UUID);
  package->header.Version = kPackageVersion;
  package->header.Release = kPackageRelease;
  package->header.Build = kPackageBuild;
  package->header.Type = type;
  package->header.Flags = flags;
  package->handle = INVALID_HANDLE_VALUE;
  try {
    package->content = static_cast<uint8_t*>(HeapAllocZ(1));
    ZEQList::Create(&package->temporaryFiles);
  } catch (...) {
    HeapFreeZ(package->content);
    HeapFreeZ(package);
    throw;
  }
  return package;
}

void ZEQPackageFree(ZEQPackageDATA* package) {
  if (!package) return;
  ZEQList::DeleteAt(&package->temporaryFiles);
  HeapFreeSecure(package->extracted, package->extractedLength, true);
  package->extracted = nullptr;
  package->extractedLength = 0;
  HeapFreeSecure(package->content, package->length, true);
  package->content = nullptr;
  package->length = package->position = 0;
  package->capacity = 0;
  CloseOwnHandle(package);
}

void ZEQPackageRelease(ZEQPackageDATA* package) {
  if (!package) return;
  if (package == g_applicationPackage) g_applicationPackage = nullptr;
  ZEQPackageFree(package);
  HeapFreeSecure(package, sizeof(*package), true);
}

void ZEQPackageUnload(ZEQPackageDATA* package) {
  if (!package) return;
  CloseOwnHandle(package);
  HeapFreeSecure(package->content, package->length, true);
  package->content = nullptr;
  package->length = package->position = 0;
  package->capacity = 0;
  SecureZeroMemory(package->key, kPackageTextField);
  package->progress = nullptr;
  package->owner = nullptr;
  ZEQList::DeleteAt(&package->temporaryFiles);
  HeapFreeSecure(package->extracted, package->extractedLength, true);
  package->extracted = nullptr;
  package->extractedLength = 0;
  package->changed = 0;
}

ZEQPackageDATA* ZEQPackageCreate(uint32_t flags, const char* path, uint32_t type, const char* password) {
  ZEQPackageDATA* package = nullptr;
  bool ok = false;
  try {
    package = ZEQPackageNew(type, flags);
    SetPackageKey(package->key, password, flags);
    SetPath(package, path);
    package->progress = DoNothingProgress;
    ok = true;
    if ((flags & ZEQPKG_FILE_BACKED) && PackagePathIsExecutable(path)) {
      // Creating the file anew would truncate the executable.
      PackageLogPrintf("ZEQPackageCreate: [FAILED] Unable to create file \"%s\"", Shown(path));
      ok = false;
    } else if (flags & ZEQPKG_FILE_BACKED) {
      package->handle = CreateFileExt(Shown(path), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, kCreateFileRetry);
      if (IsVFSHandleRecord(package->handle)) {
        // A mounted file cannot take the package's writes.
        CloseHandleExt(&package->handle);
        SetLastError(ERROR_INVALID_HANDLE);
        PackageLogPrintf("ZEQPackageCreate: [FAILED] Unable to allocate package header \"%s\"", Shown(path));
        ok = false;
      } else if (!HasHandle(package)) {
        PackageLogPrintf("ZEQPackageCreate: [FAILED] Unable to create file \"%s\"", Shown(path));
        ok = false;
      } else if (!ZEQPackageWriteFile(package, kPackageHeaderSize, &package->header)) {
        PackageLogPrintf("ZEQPackageCreate: [FAILED] Unable to allocate package header \"%s\"", Shown(path));
        ok = false;
      }
      package->changed = 0;
    }
  } catch (...) {
    PackageLogPrintf("!ZEQPackageCreate: Unexpected exception...");
    ok = false;
  }
  PackageLogPrintf("ZEQPackageCreate: %s \"%s\"", Verdict(ok), Shown(path));
  if (!ok) {
    ZEQPackageRelease(package);
    return nullptr;
  }
  return package;
}

bool ZEQPackageCheckHeader(ZEQPackageDATA* package, const char* key) {
  if (!package) return false;
  if (!PackageHeaderHasMagic(package->header)) {
    PackageLogPrintf("ZEQPackageCheckHeader: [FAILED] \"%s\" - Invalid Header", package->path);
    return false;
  }
  if (package->header.Flags & ZEQPKG_ENCRYPT) {
    if (!PackageDecipherCustom(package->header.Custom, key) ||
        !PackageCustomFieldIsText(reinterpret_cast<const uint8_t*>(package->header.Custom), kPackageTextField)) {
      PackageLogPrintf("ZEQPackageCheckHeader: [FAILED] \"%s\" - Invalid Password", package->path);
      return false;
    }
  }
  std::memset(package->custom, 0, sizeof(package->custom));
  std::memcpy(package->custom, package->header.Custom, strnlen(package->header.Custom, kPackageTextField));
  return true;
}

bool ZEQPackagePrepareContents(ZEQPackageDATA* package, HANDLE handle, uint32_t length, const uint8_t* bytes,
                               uint32_t flags) {
  if (!package) return false;
  const bool fromFile = handle && handle != INVALID_HANDLE_VALUE;
  if (!fromFile && !bytes) {
    PackageLogPrintf("ZEQPackagePrepareContents: [FAILED] No Input Data - Package: \"%s\"", package->path);
    return false;
  }
  try {
    size_t bodyLength = length;
    if (fromFile) {
      const DWORD size = GetFileSizeExt(handle);
      if (size == INVALID_FILE_SIZE || size < kPackageHeaderSize) {
        PackageLogPrintf("ZEQPackagePrepareContents: [FAILED] Unable to Read Package Content - Package: \"%s\"",
                         package->path);
        return false;
      }
      bodyLength = size_t(size) - kPackageHeaderSize;
    }
    CloseOwnHandle(package);
    if (bodyLength == 0) {
      if (fromFile)
        PackageLogPrintf("ZEQPackagePrepareContents: [FAILED] Package is empty - Package: \"%s\"", package->path);
      AdoptContent(package, static_cast<uint8_t*>(HeapAllocZ(1)), 0);
      return true;
    }
    auto* body = static_cast<uint8_t*>(HeapAllocZ(bodyLength + 1));
    if (fromFile) {
      DWORD got = 0;
      if (SetFilePointerExt(handle, FILE_BEGIN, LONG(kPackageHeaderSize)) == INVALID_SET_FILE_POINTER ||
          !ReadFileExt(handle, DWORD(bodyLength), body, &got) || got != bodyLength) {
        HeapFreeZ(body);
        PackageLogPrintf("ZEQPackagePrepareContents: [FAILED] Unable to Read Package Content - Package: \"%s\"",
                         package->path);
        return false;
      }
    } else {
      std::memcpy(body, bytes, bodyLength);
    }
    if (flags & (ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT)) {
      body = ZEQPackageDecodeData(package->path, body, &bodyLength, package->key, flags);
      if (!body) {
        PackageLogPrintf("ZEQPackagePrepareContents: [FAILED] Unable to ZEQPackagePrepareInputData - Package: \"%s\"",
                         package->path);
        return false;
      }
    }
    AdoptContent(package, body, uint32_t(bodyLength));
    return true;
  } catch (...) {
    PackageLogPrintf("!ZEQPackagePrepareContents: Unexpected exception...");
    return false;
  }
}

ZEQPackageDATA* ZEQPackageOpen(const char* path, const char* password, ZEQPackageProgress progress,
                               uint32_t keyFlags) {
  if (!path || !*path) return g_applicationPackage;
  ZEQPackageDATA* package = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool ok = false;
  try {
    if (PackagePathIsExecutable(path)) {
      // Packages inside executables are signed resources, not package
      // files: reading the executable as one would only fail obscurely.
      PackageLogPrintf("ZEQPackageOpen: [FAILED] \"%s\" - Unable to retieve embeded package", path);
    } else if ((file = CreateFileExt(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                     0)) == INVALID_HANDLE_VALUE) {
      PackageLogPrintf("ZEQPackageOpen: [FAILED] \"%s\" - Unable to open package", path);
    } else {
      package = ZEQPackageNew(0, 0);
      SetPath(package, path);
      SetPackageKey(package->key, password, keyFlags);
      DWORD got = 0;
      if (!ReadFileExt(file, kPackageHeaderSize, &package->header, &got)) {
        PackageLogPrintf("ZEQPackageOpen: [FAILED] \"%s\" - Unable to read package header", path);
      } else if (got != kPackageHeaderSize) {
        PackageLogPrintf("ZEQPackageOpen: [FAILED] \"%s\" - Unable to read package header (size does not match)",
                         path);
      } else if (!ZEQPackageCheckHeader(package, package->key)) {
        PackageLogPrintf("ZEQPackageOpen: [FAILED] \"%s\" - Unable to validate package header", path);
      } else if (!ZEQPackagePrepareContents(package, file, 0, nullptr, package->header.Flags)) {
        PackageLogPrintf("ZEQPackageOpen: [FAILED] \"%s\" - Unable to prepare contents", path);
      } else {
        package->progress = progress ? progress : DoNothingProgress;
        package->changed = 0;
        ok = true;
      }
    }
  } catch (...) {
    PackageLogPrintf("!ZEQPackageOpen: Unexpected exception...");
    ok = false;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandleExt(&file);
  PackageLogPrintf("ZEQPackageOpen: %s \"%s\"", Verdict(ok), path);
  if (!ok) {
    ZEQPackageRelease(package);
    return nullptr;
  }
  return package;
}

bool ZEQPackageSetCustom(ZEQPackageDATA* package, const char* text) {
  if (!package || !PackageCustomTextAcceptable(text)) return false;
  std::memset(package->custom, 0, sizeof(package->custom));
  if (text) std::memcpy(package->custom, text, std::strlen(text));
  package->changed = 1;
  return true;
}

bool ZEQPackageWriteHeader(ZEQPackageDATA* package, uint32_t plainLength, const char* key, uint32_t flags) {
  if (!package) return false;
  ZEQPackageHeader& header = package->header;
  header.Flags = PackageStoredFlags(flags, header.Type);
  if (header.Type == ZEQPKG_TYPE_SINGLE) {
    header.FilesCount = 1;
    header.FilesSize = double(plainLength);
  }
  // The text and its NUL; a 64-byte text leaves its NUL in the reserved bytes.
  std::memset(header.Custom, 0, sizeof(header.Custom));
  const size_t n = strnlen(package->custom, kPackageTextField);
  std::memcpy(header.Custom, package->custom, n);
  if (n == kPackageTextField) header.Reserved[0] = 0;
  if ((header.Flags & ZEQPKG_ENCRYPT) && !PackageEncipherCustom(header.Custom, key)) return false;
  if (!ZEQPackageSeek(package, 0, kPackageSeekBegin)) return false;
  const bool ok = ZEQPackageWriteFile(package, kPackageHeaderSize, &header);
  // The object keeps the plain text.
  std::memset(header.Custom, 0, sizeof(header.Custom));
  std::memcpy(header.Custom, package->custom, n);
  return ok;
}
