// Changing and removing entries of a memory package, also inside packages
// nested in its file entries.
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/package.h"
#include "package/macros.h"
#include "package/package_log.h"

namespace {

constexpr int kChangeNoMemory = 7;
constexpr int kChangeNestedUnreadable = 8;

void RemoveBytes(ZEQPackageDATA* package, const PackageEntryView& entry) {
  const size_t count = entry.end - entry.start;
  std::memmove(package->content + entry.start, package->content + entry.end, package->length - entry.end);
  package->length -= uint32_t(count);
  std::memset(package->content + package->length, 0, count);
  package->position = package->position > count ? package->position - uint32_t(count) : 0;
  if (package->position > package->length) package->position = package->length;
  if (entry.type == ZEQPKG_CONTENT_TYPE_FILE) {
    package->header.FilesCount -= 1;
    package->header.FilesSize -= double(entry.dataLength);
  }
  package->changed = 1;
}

// The bytes of a package as a file: header, then the encoded content.
uint8_t* BuildImage(ZEQPackageDATA* package, uint32_t* imageLength) {
  const uint32_t plainLength = package->length;
  if (package->header.Flags & (ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT)) {
    size_t length = package->length;
    auto* copy = static_cast<uint8_t*>(HeapAllocZ(length + 1));
    std::memcpy(copy, package->content, length);
    copy = ZEQPackageEncodeData(package->path, copy, &length, package->key, package->header.Flags);
    if (!copy) return nullptr;
    HeapFreeSecure(package->content, package->length, true);
    package->content = copy;
    package->length = uint32_t(length);
    package->capacity = length;
  }
  if (!ZEQPackageWriteHeader(package, plainLength, package->key, package->header.Flags)) return nullptr;
  *imageLength = package->length;
  uint8_t* image = package->content;
  package->content = nullptr;
  package->length = 0;
  package->capacity = 0;
  return image;
}

// Changes the rest of the path inside a nested package held in data.
// -1: not a readable package (the entry is passed over).
int ChangeNested(ZEQPackageDATA* outer, const PackageEntryView& entry, const char* rest, const void* bytes,
                 uint32_t length, uint32_t options, uint8_t** image, uint32_t* imageLength) {
  if (entry.dataLength < kPackageHeaderSize) return -1;
  ZEQPackageDATA* nested = ZEQPackageNew(0, 0);
  std::memcpy(nested->key, outer->key, sizeof(nested->key));
  std::memcpy(&nested->header, entry.data, kPackageHeaderSize);
  int result = -1;
  if (ZEQPackageCheckHeader(nested, nested->key) &&
      ZEQPackagePrepareContents(nested, INVALID_HANDLE_VALUE, entry.dataLength - uint32_t(kPackageHeaderSize),
                                entry.data + kPackageHeaderSize, nested->header.Flags)) {
    result = ZEQPackageChangeEntry(nested, rest, bytes, length, options);
    if (result == 0) {
      *image = BuildImage(nested, imageLength);
      if (!*image) result = -1;
    } else {
      result = -1;
    }
  }
  ZEQPackageRelease(nested);
  return result;
}

// An entry's path as matched: normalised, its macros expanded.
std::string EntryPath(const PackageEntryView& entry) {
  char* normal = ProcessMacros(PackageNormaliseEntryPath(entry.path, entry.pathLength), nullptr, nullptr, 0);
  const std::string text(normal);
  HeapFreeZ(normal);
  return text;
}

}  // namespace

int ZEQPackageChangeEntry(ZEQPackageDATA* package, const char* path, const void* bytes, uint32_t length,
                          uint32_t options) {
  if (!package || !path) return ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH;
  if (package->handle && package->handle != INVALID_HANDLE_VALUE) return ZEQPKG_CHANGE_FILE_BACKED;
  try {
    const bool tagged = (package->header.Flags & ZEQPKG_TAGGED) != 0;
    size_t offset = 0;
    for (;;) {
      PackageEntryView entry;
      bool more = false;
      const int error = PackageReadEntry(package->content, package->length, &offset, tagged, &entry, &more);
      if (error) {
        const char* what = "Unable to read Close TAG";
        int result = error;
        if (error == ZEQPKG_EXTRACT_ERROR_OPENTAG) {
          what = "Unable to read Open TAG";
        } else if (error == ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH) {
          // The entry's path was read: a matching entry is one whose data
          // cannot be taken; any other could not be passed over.
          if (entry.path && WildcardMatchList(path, EntryPath(entry).c_str(), 0))
            what = "Unable to get entry info";
          else if (!entry.dataLengthRead)
            what = "Unable to read Content Length";
          else
            what = "Unable to Skip File Data", result = ZEQPKG_EXTRACT_ERROR_SKIPDATA;
        }
        PackageLogPrintf("ZEQPackageChangeEntry: [FAILED] %s - Package: \"%s\"", what, package->path);
        return result;
      }
      if (!more) {
        // Locating inside an untagged stream: its end is where no path
        // record can be read.
        if (!tagged && (options & ZEQPKG_CHANGE_NESTED)) {
          PackageLogPrintf("ZEQPackageChangeEntry: [FAILED] Unable to read relative path - Package: \"%s\"",
                           package->path);
          return ZEQPKG_EXTRACT_ERROR_RELATIVEPATH;
        }
        return 0;
      }
      const std::string entryPath = EntryPath(entry);
      if (WildcardMatchList(path, entryPath.c_str(), 0)) {
        RemoveBytes(package, entry);
        if (bytes && !ZEQPackageAddData(package, path, "1", bytes, length)) {
          PackageLogPrintf("ZEQPackageChangeEntry: [FAILED] Unable to change entry info - Package: \"%s\"",
                           package->path);
          return ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH;
        }
        return 0;
      }
      if (entry.type == ZEQPKG_CONTENT_TYPE_FILE && (options & ZEQPKG_CHANGE_NESTED) &&
          _strnicmp(path, entryPath.c_str(), entryPath.size()) == 0 && path[entryPath.size()]) {
        uint8_t* image = nullptr;
        uint32_t imageLength = 0;
        if (ChangeNested(package, entry, path + entryPath.size(), bytes, length, options, &image, &imageLength) ==
            0) {
          RemoveBytes(package, entry);
          const bool ok = ZEQPackageAddData(package, entryPath.c_str(), "1", image, imageLength);
          HeapFreeSecure(image, imageLength, true);
          if (!ok) {
            PackageLogPrintf("ZEQPackageChangeEntry: [FAILED] Unable to change entry info - Package: \"%s\"",
                             package->path);
            return ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH;
          }
          return 0;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return kChangeNoMemory;
  } catch (...) {
    PackageLogPrintf("!ZEQPackageChangeEntry: Unexpected exception...");
    return kChangeNestedUnreadable;
  }
}
