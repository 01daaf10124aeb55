#include "foundation/list_services.h"

#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/profiler.h"

namespace {

ZEQList* g_expiringList = nullptr;
ZEQItemLifetime g_lifetimeOf = nullptr;

// Index of the item keyed `name` (terminator included, case ignored); the
// caller holds the list's lock.
int FindName(ZEQList* list, const char* name) {
  if (!list || !name || !*name) return -1;
  if (list->flags & ZEQLIST_SORTED) return list->FindSortedByName(name, ZEQLIST_NOCASE, 0);
  return list->Find(name, static_cast<uint32_t>(strlen(name) + 1), ZEQLIST_NOCASE);
}

}  // namespace

uintptr_t ZEQListGetValueByName(ZEQList* list, const char* name, uintptr_t fallback, int* found) {
  if (found) *found = 0;
  if (!list) return fallback;
  ZEQLockGuard guard(list->lock);
  int at = FindName(list, name);
  ZEQListItem* item = at < 0 ? nullptr : list->GetItemAt(at);
  if (!item) return fallback;
  if (found) *found = 1;
  return item->value1;
}

int ZEQListRemoveByName(ZEQList* list, const char* name) {
  if (!list) return 0;
  try {
    ZEQLockGuard guard(list->lock);
    int at = FindName(list, name);
    return at < 0 ? 0 : list->RemoveAt(at);
  } catch (...) {
    return 0;
  }
}

BOOL ZEQListSetStringByName(ZEQList* list, const char* key, const char* text) {
  if (!list || !key || !*key) return FALSE;
  try {
    size_t length = text ? strlen(text) : 0;
    auto* copy = static_cast<char*>(HeapAllocZ(length + 1));
    if (length) memcpy(copy, text, length);
    if (list->SetByName(key, reinterpret_cast<uintptr_t>(copy), 0, ZEQLIST_NOCASE, ZEQLIST_VALUE1_HEAP)) {
      return TRUE;
    }
    HeapFreeZ(copy);  // refused: the list did not take it
  } catch (...) {
    // An upsert that raised may already have stored the copy; it stays
    // with the list.
  }
  return FALSE;
}

void ListRemoveByName(ZEQList* list, const char* name) { ZEQListRemoveByName(list, name); }

int ListRemoveAtLocked(ZEQList** slot, int index) {
  if (!slot || !*slot) return 0;
  ZEQLockGuard guard((*slot)->lock);
  return (*slot)->RemoveAt(index);
}

int PurgeExpiredItems(ZEQList* list, ZEQItemLifetime lifetimeOf) {
  if (!list || !lifetimeOf) return 0;
  ZEQLockGuard guard(list->lock);
  int removed = 0;
  for (int at = 0; at < list->count;) {
    ZEQListItem* item = list->GetItemAt(at);
    if (!item) break;  // the list is busy
    if (IsListItem(item)) {
      uint32_t lifetime = lifetimeOf(item);
      if (lifetime != kZEQNoExpiry && TicksSince(item->tick) >= lifetime && list->RemoveAt(at)) {
        ++removed;
        continue;  // the next item moved into this place
      }
    }
    ++at;
  }
  return removed;
}

void ZEQRegisterExpiringList(ZEQList* list, ZEQItemLifetime lifetimeOf) {
  g_expiringList = list;
  g_lifetimeOf = lifetimeOf;
}

VOID CALLBACK PurgeExpiredListItems(HWND, UINT, UINT_PTR, DWORD) {
  PurgeExpiredItems(g_expiringList, g_lifetimeOf);
}
