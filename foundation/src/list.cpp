// ZEQList: construction, positional insertion and removal, the index array
// and the release of item contents.
#include "foundation/list.h"

#include <oleauto.h>

#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"

namespace {

void FreeOwnedValue(uintptr_t& value, uint32_t flags, uint32_t heapBit, uint32_t bstrBit) {
  if (!value) return;
  if (flags & heapBit) {
    HeapFreeZ(reinterpret_cast<void*>(value));
  } else if (flags & bstrBit) {
    SysFreeString(reinterpret_cast<BSTR>(value));
  } else {
    return;
  }
  value = 0;
}

// Releases what the item holds and returns the length of the key it freed.
// Values are handed back once per stored contents, so a callback never runs
// twice on the same values (an item released by JoinKeys or ItemAt and later
// removed, for example).
uint32_t ReleaseContents(ZEQListItem* item, bool variants) {
  if (!item->released) {
    item->released = 1;
    if (item->freeCallback) {
      item->freeCallback(item, item->freeContext);
    } else {
      FreeOwnedValue(item->value1, item->flags, ZEQLIST_VALUE1_HEAP, ZEQLIST_VALUE1_BSTR);
      FreeOwnedValue(item->value2, item->flags, ZEQLIST_VALUE2_HEAP, ZEQLIST_VALUE2_BSTR);
    }
  }
  if (variants) item->variants.Clear();
  uint32_t freed = 0;
  if (item->keyLength > 0 && item->key) {
    HeapFreeZ(reinterpret_cast<void*>(item->key));
    item->key = 0;
    freed = item->keyLength;
    item->keyLength = 0;
  }
  return freed;
}

}  // namespace

void ZEQVariantArrayRecord::ClearVariants(ZEQListItem* item) {
  if (item) item->variants.Clear();
}

void ZEQVariantArrayRecord::Delete(ZEQListItem* item) {
  if (!item) return;
  item->variants.Clear();
  // A stale pointer to a freed item must not pass IsListItem.
  ZEQRetireRecord(item);
  HeapFreeZ(item);
}

bool IsListItem(const void* pointer) {
  return IsTaggedRecord(pointer, sizeof(ZEQListItem), kZEQListItemTag);
}

void ZEQList::Init() {
  index = nullptr;
  auto* section = static_cast<CRITICAL_SECTION*>(HeapAllocZ(sizeof(CRITICAL_SECTION)));
  InitializeCriticalSection(section);
  lock = section;
  try {
    Reset();
  } catch (...) {
    DeleteCriticalSection(section);
    HeapFreeZ(section);
    lock = nullptr;
    throw;
  }
}

void ZEQList::Reset() {
  ZEQLockGuard guard(lock);
  ZEQListItem** fresh = HeapAllocArray<ZEQListItem*>(kZEQListIndexStep);
  index = fresh;
  capacity = kZEQListIndexStep;
  head = tail = nullptr;
  count = 0;
  keyBytes = 0;
  sequence = 0;
  closed = busy = frozen = 0;
  flags = 0;
}

void ZEQList::ReleaseDetached(ZEQListItem* chain) {
  while (chain) {
    ZEQListItem* next = chain->next;
    ReleaseContents(chain, true);
    ZEQVariantArrayRecord::Delete(chain);
    chain = next;
  }
}

void ZEQList::Clear(bool final) {
  ZEQLockGuard guard(lock);
  // The chain is detached first, so a free callback that touches the list
  // finds it consistent.
  ZEQListItem* chain = head;
  HeapFreeZ(index);
  index = nullptr;
  capacity = 0;
  head = tail = nullptr;
  count = 0;
  keyBytes = 0;
  if (!final) Reset();
  ReleaseDetached(chain);
}

ZEQList::~ZEQList() {
  Clear(true);
  if (lock) {
    DeleteCriticalSection(lock);
    HeapFreeZ(lock);
    lock = nullptr;
  }
}

ZEQList** ZEQList::Create(ZEQList** slot) {
  if (slot) *slot = new ZEQList;
  return slot;
}

ZEQList** ZEQList::New(ZEQList** slot) {
  if (!slot) return slot;
  try {
    *slot = new ZEQList;
  } catch (...) {
    *slot = nullptr;
  }
  return slot;
}

void ZEQList::Delete(ZEQList* list) { delete list; }

void ZEQList::DeleteAt(ZEQList** slot) {
  if (!slot || !*slot) return;
  Delete(*slot);
  *slot = nullptr;
}

void ZEQList::DeleteHolder(ZEQListHolder* holder) {
  if (!holder) return;
  Delete(holder->list);
  HeapFreeZ(holder);
}

ZEQListItem* ZEQList::NewItem() {
  auto* item = static_cast<ZEQListItem*>(HeapAllocZ(sizeof(ZEQListItem)));
  ZEQStampRecord(item, kZEQListItemTag, nullptr);
  return item;
}

void ZEQList::Grow(int32_t needed) {
  if (needed < 0 || capacity > static_cast<uint32_t>(needed)) return;
  uint32_t grown = capacity;
  while (grown <= static_cast<uint32_t>(needed)) grown += kZEQListIndexStep;
  index = static_cast<ZEQListItem**>(HeapReAllocZ(index, grown * sizeof(ZEQListItem*)));
  capacity = grown;
}

void ZEQList::UpdateIndex(int mode, int at, ZEQListItem* item) {
  ZEQLockGuard guard(lock);
  if (mode == 2) ++count;
  if (mode == 3) --count;
  Grow(count);
  // Only the entries in use move, so nothing is written past the array.
  const size_t entry = sizeof(ZEQListItem*);
  if (mode == 1 && InRange(at)) {
    index[at] = item;
  } else if (mode == 2 && InRange(at)) {
    memmove(index + at + 1, index + at, (count - 1 - at) * entry);
    index[at] = item;
  } else if (mode == 3 && at >= 0 && at <= count) {
    memmove(index + at, index + at + 1, (count - at) * entry);
    index[count] = nullptr;
  }
}

uintptr_t ZEQList::MakeKey(const void* key, uint32_t length) {
  if (length == 0) return reinterpret_cast<uintptr_t>(key);
  void* copy = HeapAllocZ(static_cast<size_t>(length) + 1);
  memcpy(copy, key, length);
  return reinterpret_cast<uintptr_t>(copy);
}

void ZEQList::StoreContents(ZEQListItem* item, uintptr_t key, uint32_t length, uintptr_t value1,
                            uintptr_t value2, uint32_t itemFlags) {
  item->key = key;
  item->keyLength = length;
  keyBytes += length;
  item->tick = GetTickCount();
  item->value1 = value1;
  item->value2 = value2;
  item->flags = itemFlags;
  item->released = 0;
}

ZEQListItem* ZEQList::Insert(const void* key, uint32_t length, int position, uintptr_t value1,
                             uintptr_t value2, uint32_t itemFlags, ZEQListItem* item) {
  ZEQLockGuard guard(lock);
  if (closed) return nullptr;
  if (itemFlags & ZEQLIST_POINTER_KEY) length = 0;
  if (position < 1) {
    position = 0;
  } else if (position > count - 1) {
    position = count;
  }
  // Everything that can fail comes before the list changes.
  Grow(count + 1);
  const uintptr_t keyWord = MakeKey(key, length);
  if (!item) {
    try {
      item = NewItem();
    } catch (...) {
      if (length) HeapFreeZ(reinterpret_cast<void*>(keyWord));
      throw;
    }
  }
  StoreContents(item, keyWord, length, value1, value2, itemFlags);
  item->position = position;
  item->sequence = ++sequence;
  if (position == 0) {
    item->next = head;
    head = item;
    if (!tail) tail = item;
  } else if (position == count) {
    item->next = nullptr;
    if (tail) tail->next = item;
    tail = item;
    if (!head) head = item;
  } else {
    ZEQListItem* previous = index[position - 1];
    item->next = previous->next;
    previous->next = item;
  }
  UpdateIndex(2, position, item);
  if (flags & ZEQLIST_SORTED) item->position = -1;
  return item;
}

ZEQListItem* ZEQList::InsertByPointer(ZEQList** slot, uintptr_t keyWord, int position,
                                      uintptr_t value1, uintptr_t value2, uint32_t itemFlags) {
  if (!slot || !*slot) return nullptr;
  return (*slot)->Insert(reinterpret_cast<const void*>(keyWord), 0, position, value1, value2,
                         itemFlags | ZEQLIST_POINTER_KEY, nullptr);
}

ZEQListItem* LLAddItemFlagged(ZEQList** slot, uintptr_t keyWord, uintptr_t value1, uintptr_t value2) {
  if (!slot || !*slot) return nullptr;
  return (*slot)->Insert(reinterpret_cast<const void*>(keyWord), 0, 0, value1, value2,
                         ZEQLIST_POINTER_KEY, nullptr);
}

uintptr_t ZEQList::GetAt(int at, bool wantItem) {
  ZEQLockGuard guard(lock);
  if (busy || !InRange(at)) return 0;
  ZEQListItem* item = index[at];
  return wantItem ? reinterpret_cast<uintptr_t>(item) : item->key;
}

uintptr_t ZEQList::GetValueAt(int at) {
  ZEQLockGuard guard(lock);
  ZEQListItem* item = GetItemAt(at);
  return IsListItem(item) ? item->value1 : 0;
}

uintptr_t ZEQList::GetValueAtIndirect(ZEQList** slot, int at) {
  return slot && *slot ? (*slot)->GetValueAt(at) : 0;
}

void ZEQList::FreeItemData(ZEQListItem* item, bool variants) {
  if (!item) return;
  ZEQLockGuard guard(lock);
  keyBytes -= ReleaseContents(item, variants);
}

int ZEQList::RemoveAt(int at) {
  ZEQLockGuard guard(lock);
  if (!InRange(at)) return 0;
  ZEQListItem* item = index[at];
  ZEQListItem* previous = at > 0 ? index[at - 1] : nullptr;
  if (previous) {
    previous->next = item->next;
  } else {
    head = item->next;
  }
  if (tail == item) tail = previous;
  UpdateIndex(3, at, nullptr);
  // The list is whole again before the free callback runs, even if it throws.
  keyBytes -= item->keyLength;
  item->next = nullptr;
  ReleaseContents(item, true);
  ZEQVariantArrayRecord::Delete(item);
  return 1;
}

int ZEQList::Remove(ZEQList** slot, uintptr_t keyWord) {
  if (!slot || !*slot) return 0;
  ZEQList* list = *slot;
  ZEQLockGuard guard(list->lock);
  const void* key = reinterpret_cast<const void*>(keyWord);
  int at = (list->flags & ZEQLIST_SORTED) ? list->FindSorted(key, 0, 0, nullptr) : list->Find(key, 0, 0);
  return at < 0 ? 0 : list->RemoveAt(at);
}

void ZEQList::LockIndirect(ZEQList** slot) {
  if (slot && *slot && (*slot)->lock) EnterCriticalSection((*slot)->lock);
}

void ZEQList::UnlockIndirect(ZEQList** slot) {
  if (slot && *slot && (*slot)->lock) LeaveCriticalSection((*slot)->lock);
}
