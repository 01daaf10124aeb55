// The executable's main icon ("KESTO_MAIN") read and replaced through the
// resource calls.
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "package/file_retry.h"
#include "package/file_trees.h"
#include "package/paths.h"
#include "package/signature.h"

namespace {

constexpr char kMainIcon[] = "KESTO_MAIN";
constexpr size_t kGroupHeader = 6;
constexpr size_t kGroupEntry = 14;

uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p) { return uint32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24)); }

bool Extension(const char* path, const char* extension) {
  const char* dot = std::strrchr(path, '.');
  return dot && lstrcmpiA(dot + 1, extension) == 0;
}

void FreeImages(uint8_t** images, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    HeapFreeZ(images[i]);
    images[i] = nullptr;
  }
}

bool HasMainIcon(const char* path) {
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  const bool found = FindResourceExA(module, MAKEINTRESOURCEA(14), kMainIcon, 0) != nullptr;
  FreeLibrary(module);
  return found;
}

}  // namespace

bool ReadMainIconResources(const char* modulePath, uint8_t** images, size_t slots, uint8_t** group,
                           size_t* groupSize) {
  *group = nullptr;
  *groupSize = 0;
  HMODULE module = LoadLibraryExA(SkipVirtualPrefix(modulePath), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  bool ok = false;
  HRSRC found = FindResourceA(module, kMainIcon, MAKEINTRESOURCEA(14));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  const size_t size = found ? SizeofResource(module, found) : 0;
  if (bytes && size >= kGroupHeader) {
    const size_t count = Load16(bytes + 4);
    if (count <= slots && kGroupHeader + count * kGroupEntry <= size) {
      ok = true;
      for (size_t i = 0; i < count && ok; ++i) {
        const uint8_t* entry = bytes + kGroupHeader + i * kGroupEntry;
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(Load16(entry + 12)), MAKEINTRESOURCEA(3));
        HGLOBAL imageData = image ? LoadResource(module, image) : nullptr;
        const DWORD imageSize = image ? SizeofResource(module, image) : 0;
        ok = imageData && imageSize >= Load32(entry + 8);
        if (ok) {
          images[i] = static_cast<uint8_t*>(HeapAllocZ(imageSize));
          std::memcpy(images[i], LockResource(imageData), imageSize);
        }
      }
      if (ok) {
        *group = static_cast<uint8_t*>(HeapAllocZ(kGroupHeader + count * kGroupEntry));
        std::memcpy(*group, bytes, kGroupHeader + count * kGroupEntry);
        *groupSize = kGroupHeader + count * kGroupEntry;
      } else {
        FreeImages(images, count);
      }
    }
  }
  FreeLibrary(module);
  return ok;
}

bool KESTOReplaceMainIcon(const char* sourcePath, const char* targetPath) {
  if (!sourcePath || !targetPath) return false;
  uint8_t* images[kIconMaxImages] = {};
  uint8_t* group = nullptr;
  size_t groupSize = 0;
  bool read = false;
  if (Extension(sourcePath, "ico"))
    read = ReadIconFile(sourcePath, images, kIconMaxImages, &group, &groupSize);
  else if (Extension(sourcePath, "exe"))
    read = ReadMainIconResources(sourcePath, images, kIconMaxImages, &group, &groupSize);
  if (!read) return false;
  const size_t count = Load16(group + 4);
  const char* target = SkipVirtualPrefix(targetPath);
  bool ok = false;
  if (HasMainIcon(target)) {
    for (int attempt = 1; attempt <= 5 && !ok; ++attempt) {
      if (attempt > 1) Sleep(GetSignatureRetryPause());
      HANDLE update = BeginUpdateResourceA(target, FALSE);
      if (!update) continue;
      bool staged = UpdateResourceA(update, MAKEINTRESOURCEA(14), kMainIcon, 0, group, DWORD(groupSize)) != FALSE;
      for (size_t i = 0; i < count && staged; ++i) {
        const uint8_t* entry = group + kGroupHeader + i * kGroupEntry;
        staged = UpdateResourceA(update, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(Load16(entry + 12)), 0, images[i],
                                 Load32(entry + 8)) != FALSE;
      }
      ok = staged ? EndUpdateResourceExt(update) != FALSE : (EndUpdateResourceA(update, TRUE), false);
    }
  }
  FreeImages(images, count);
  HeapFreeZ(group);
  return ok;
}
