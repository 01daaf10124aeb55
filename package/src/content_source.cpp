// The loose-file policy of the content served through "zeq:".
#include "package/content_source.h"

#include <cstring>

#include "foundation/builtin_key.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/content_transforms.h"
#include "package/package_format.h"
#include "package/vfs.h"

ZEQList* AllowedContentNames() {
  // Lives for the whole process: the content routine may run during exit.
  static ZEQList* names = new ZEQList;
  return names;
}

bool AllowContentName(const char* path) {
  if (IsEmptyString(path)) return false;
  return AllowedContentNames()->SetByName(path, 0, 0, ZEQLIST_BYTES, ZEQLIST_TEXT_KEY) != nullptr;
}

namespace {

bool IsAllowedName(const char* path) {
  if (IsEmptyString(path)) return false;
  ZEQList* names = AllowedContentNames();
  ZEQLockGuard guard(names->lock);
  return names->FindSortedByName(path, ZEQLIST_BYTES, 0) >= 0;
}

// The content starts with a whole package header marked enciphered. The
// flags are read only when all 176 header bytes are present.
bool IsEncipheredPackage(const void* content, size_t length) {
  if (!content || length < kPackageHeaderSize) return false;
  ZEQPackageHeader header;
  memcpy(&header, content, sizeof header);
  return memcmp(header.Magic, kPackageMagic, sizeof kPackageMagic - 1) == 0 &&
         (header.Flags & ZEQPKG_ENCRYPT) != 0;
}

}  // namespace

bool IsAllowedContentSource(const char* path, const void* content, size_t length) {
  if (IsMountedFile(path)) return true;
  if (IsAllowedName(path)) return true;
  if (!HasApplicationKey()) return true;
  return IsEncipheredPackage(content, length);
}
