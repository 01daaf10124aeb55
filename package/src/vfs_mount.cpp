// The mount list of the virtual file system and its shared data blocks.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "vfs_internal.h"

namespace {

// Made before main runs (the first call may come from another static
// initialiser) and released at exit.
struct MountListOwner {
  ZEQList* list = nullptr;
  MountListOwner() { ZEQList::Create(&list); }
  ~MountListOwner() { ZEQList::DeleteAt(&list); }
};

MountListOwner& Owner() {
  static MountListOwner owner;
  return owner;
}

// Constructed during static initialisation, so the list exists before any
// thread other than the main one can ask for it.
[[maybe_unused]] MountListOwner& g_early = Owner();

VFSMountedData* DataOfBytes(uintptr_t bytes) {
  return bytes ? reinterpret_cast<VFSMountedData*>(bytes) - 1 : nullptr;
}

// The free callback of every mount item: the list's reference goes.
int ReleaseMountItem(ZEQListItem* item, uintptr_t) {
  VFSReleaseData(DataOfBytes(item->value1));
  item->value1 = 0;
  item->value2 = 0;
  return 0;
}

// The item at the key's index, under the list's lock held by the caller.
ZEQListItem* FindItemLocked(ZEQList* list, const char* key) {
  if (!list) return nullptr;
  const int at = list->FindSortedByName(key, ZEQLIST_NOCASE, 0);
  if (at < 0) return nullptr;
  ZEQListItem* item = list->GetItemAt(at);
  return IsListItem(item) ? item : nullptr;
}

}  // namespace

ZEQList* VFSMountList() { return Owner().list; }

bool IsVFSHandleRecord(const void* pointer) {
  return IsTaggedRecord(pointer, sizeof(KESTOVFSHANDLE), kVFSHandleTag);
}

void VFSReleaseData(VFSMountedData* data) {
  if (data && InterlockedDecrement(&data->references) == 0) HeapFreeZ(data);
}

char* MakeMountKey(const char* path) {
  if (!path) return nullptr;
  char* key = SmartNormalizePath(path);
  if (!key) return nullptr;
  StripVirtualPrefix(key, TRUE);
  if (*key && !NormalizePathToFSFormat(key)) NormalizePathToURLFormat(key);
  if (!*key) {
    HeapFreeZ(key);
    return nullptr;
  }
  return key;
}

BOOL VFSMountFile(const char* path, const void* data, uint32_t length) {
  char* key = MakeMountKey(path);
  if (!key) return FALSE;
  auto* block = static_cast<VFSMountedData*>(HeapAllocZ(sizeof(VFSMountedData) + size_t(length) + 2));
  block->references = 1;
  block->length = length;
  if (length && data) memcpy(const_cast<uint8_t*>(block->Bytes()), data, length);
  ZEQListItem* item = nullptr;
  try {
    item = ZEQList::NewItem();
    item->freeCallback = ReleaseMountItem;
  } catch (...) {
    HeapFreeZ(block);
    HeapFreeZ(key);
    throw;
  }
  ZEQList* list = VFSMountList();
  if (!list) {
    ZEQVariantArrayRecord::Delete(item);
    HeapFreeZ(block);
    HeapFreeZ(key);
    return FALSE;
  }
  const uint32_t keyLength = static_cast<uint32_t>(strlen(key) + 1);
  ZEQListItem* stored = list->Set(key, keyLength, reinterpret_cast<uintptr_t>(block->Bytes()), length,
                                  ZEQLIST_NOCASE, ZEQLIST_TEXT_KEY, item);
  HeapFreeZ(key);
  if (!stored) {
    // The list refused the item (closed at exit): nothing holds the block.
    ZEQVariantArrayRecord::Delete(item);
    HeapFreeZ(block);
    return FALSE;
  }
  return TRUE;
}

void VFSClearMounts() {
  if (ZEQList* list = VFSMountList()) list->Clear(false);
}

ZEQListItem* FindMountedFile(const char* path) {
  char* key = MakeMountKey(path);
  if (!key) return nullptr;
  ZEQList* list = VFSMountList();
  ZEQListItem* item;
  {
    ZEQLockGuard guard(list ? list->lock : nullptr);
    item = FindItemLocked(list, key);
  }
  HeapFreeZ(key);
  return item;
}

VFSMountedData* VFSAcquireData(const char* path) {
  char* key = MakeMountKey(path);
  if (!key) return nullptr;
  ZEQList* list = VFSMountList();
  VFSMountedData* data = nullptr;
  {
    ZEQLockGuard guard(list ? list->lock : nullptr);
    if (ZEQListItem* item = FindItemLocked(list, key)) {
      data = DataOfBytes(item->value1);
      if (data) InterlockedIncrement(&data->references);
    }
  }
  HeapFreeZ(key);
  return data;
}

BOOL IsMountedFile(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  char* key = MakeMountKey(path);
  if (!key) return FALSE;
  ZEQList* list = VFSMountList();
  const BOOL found = list && list->FindSortedByName(key, ZEQLIST_NOCASE, 0) >= 0;
  HeapFreeZ(key);
  return found;
}

BOOL ReadMountedFile(const char* path, void** data, DWORD* size) {
  if (data) *data = nullptr;
  VFSMountedData* mounted = VFSAcquireData(path);
  if (!mounted) return FALSE;
  // The reference keeps the bytes alive; they never change once mounted, so
  // the copy needs no lock.
  DWORD wanted = size ? *size : 0;
  if (wanted == 0 || wanted > mounted->length) wanted = mounted->length;
  if (data) {
    try {
      void* copy = HeapAllocZ(size_t(wanted) + 2);
      memcpy(copy, mounted->Bytes(), wanted);
      *data = copy;
    } catch (...) {
      VFSReleaseData(mounted);
      throw;
    }
  }
  if (size) *size = wanted;
  VFSReleaseData(mounted);
  return TRUE;
}
