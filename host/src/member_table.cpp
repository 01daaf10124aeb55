// Member lists of script objects: registration and look-up of members,
// expando entries, stored values and the store that holds the lists.
#include <cwchar>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/pointer_token.h"
#include "foundation/text.h"
#include "host/dispatch_ex.h"
#include "member_table_internal.h"

namespace zeqmembers {
namespace {

constexpr int kAppend = 0x7FFFFFFF;

uint32_t KeyLength(const wchar_t* name) { return static_cast<uint32_t>((wcslen(name) + 1) * sizeof(wchar_t)); }

// Releases what an entry owns, once per stored contents (the list calls it
// when the entry is replaced, removed or the list is cleared).
int FreeEntry(ZEQListItem* item, uintptr_t owns) {
  if (LiveKind(item) == kZEQMemberStoredValue) {
    ZEQMarshaledVariant::Free(reinterpret_cast<ZEQMarshaledVariant*>(item->value1));
  } else if (owns == kOwnsReturnData) {
    ZEQReturnDataFreeToken(static_cast<uint32_t>(item->value1));
  } else if (LiveKind(item) == kZEQMemberExpando) {
    ZEQReleasePointerToken(item);
  }
  item->value1 = 0;
  return 0;
}

ZEQListItem* EntryWhere(ZEQList* list, bool (*match)(const ZEQListItem*, uintptr_t), uintptr_t wanted) {
  if (!list) return nullptr;
  ZEQLockGuard guard(list->lock);
  for (int i = 0; i < list->count; ++i) {
    ZEQListItem* item = list->index[i];
    if (!IsDeleted(item) && match(item, wanted)) return item;
  }
  return nullptr;
}

}  // namespace

int FindName(ZEQList* list, const wchar_t* name) {
  if (!list || !name) return -1;
  const uint32_t length = KeyLength(name);
  ZEQLockGuard guard(list->lock);
  return (list->flags & ZEQLIST_SORTED) ? list->FindSorted(name, length, ZEQLIST_BYTES, nullptr)
                                        : list->Find(name, length, ZEQLIST_BYTES);
}

ZEQListItem* PutEntry(ZEQList* list, const wchar_t* name, uintptr_t value, uint32_t kind, uintptr_t owns, bool append) {
  if (!list) return nullptr;
  const wchar_t* key = name ? name : L"";
  const uint32_t length = KeyLength(key);
  ZEQLockGuard guard(list->lock);
  ZEQListItem* item = nullptr;
  int at = append ? -1 : FindName(list, key);
  if (append) {
    // Positions are the registration order: the list is never searched by
    // halving again.
    list->flags &= ~ZEQLIST_SORTED;
    item = list->Insert(key, length, kAppend, value, kind, ZEQLIST_TEXT_KEY, nullptr);
  } else if (at >= 0) {
    item = list->SetAt(key, length, at, value, kind, ZEQLIST_TEXT_KEY, nullptr);
  } else if (list->count == 0 || (list->flags & ZEQLIST_SORTED)) {
    item = list->Set(key, length, value, kind, ZEQLIST_BYTES, ZEQLIST_TEXT_KEY, nullptr);
  } else {
    item = list->Insert(key, length, kAppend, value, kind, ZEQLIST_TEXT_KEY, nullptr);
  }
  if (item) {
    item->freeCallback = FreeEntry;
    item->freeContext = owns;
  }
  return item;
}

ZEQListItem* ExpandoEntry(ZEQList* list, DISPID id) {
  void* pointer = ZEQTokenToPointer(static_cast<uint32_t>(id));
  if (!pointer) return nullptr;
  return EntryWhere(
      list,
      [](const ZEQListItem* item, uintptr_t entry) {
        return LiveKind(item) == kZEQMemberExpando && reinterpret_cast<uintptr_t>(item) == entry;
      },
      reinterpret_cast<uintptr_t>(pointer));
}

ZEQListItem* ReturnDataEntry(ZEQList* list, DISPID id) {
  return EntryWhere(
      list,
      [](const ZEQListItem* item, uintptr_t token) {
        return item->freeContext == kOwnsReturnData && item->value1 == token;
      },
      static_cast<uint32_t>(id));
}

std::wstring QualifiedName(const wchar_t* className, ZEQList* list, const wchar_t* name) {
  wchar_t token[16];
  swprintf(token, 16, L".%08X.", ZEQPointerToToken(list));
  return std::wstring(L"KESTO.") + (className ? className : L"") + token + (name ? name : L"");
}

}  // namespace zeqmembers

using namespace zeqmembers;

// ---------------------------------------------------------------------------
// The store.

namespace {

ZEQList* ListOnFirstUse(ZEQList** slot, bool create) {
  ZEQList* list =
      static_cast<ZEQList*>(InterlockedCompareExchangePointer(reinterpret_cast<void**>(slot), nullptr, nullptr));
  if (list || !create) return list;
  ZEQList* fresh = new ZEQList;
  list = static_cast<ZEQList*>(InterlockedCompareExchangePointer(reinterpret_cast<void**>(slot), fresh, nullptr));
  if (list) {
    delete fresh;  // another thread made it first
    return list;
  }
  return fresh;
}

}  // namespace

ZEQList* ZEQPropertyStore::Members(bool create) { return ListOnFirstUse(&members, create); }
ZEQList* ZEQPropertyStore::Listeners(bool create) { return ListOnFirstUse(&listeners, create); }

void DispatchMemberStoreDelete(ZEQPropertyStore* store) {
  if (!store) return;
  // Each entry's free callback releases what it holds: stored values are
  // revoked or cleared, result values freed. The list's token (part of its
  // stored values' keys) goes with it.
  ZEQReleasePointerToken(store->members);
  ZEQList::DeleteAt(&store->members);
  ZEQList::DeleteAt(&store->listeners);
}

void ZEQNewPropertyStore(ZEQPropertyStoreHolder* holder) {
  if (!holder) return;
  auto* store = static_cast<ZEQPropertyStore*>(HeapAllocZ(sizeof(ZEQPropertyStore)));
  holder->AttachNewPayload(store);
}

const ZEQPropertyStoreHolder& ZEQProcessPropertyStore() {
  // Never destroyed: the store lives as long as the process.
  static ZEQPropertyStoreHolder* holder = [] {
    auto* made = new ZEQPropertyStoreHolder();
    ZEQNewPropertyStore(made);
    return made;
  }();
  return *holder;
}

// ---------------------------------------------------------------------------
// Members.

int ZEQRegisterMember(CZEQDispatchEx* object, DISPID id, uint32_t kind, const wchar_t* name) {
  if (!object) return 0;
  const bool indexed = (object->flags & kZEQDispIndexed) != 0;
  if (!indexed && IsEmptyStringW(name)) return 1;
  PutEntry(object->Members(true), name, static_cast<uint32_t>(id), kind, kOwnsNothing, indexed);
  return 1;
}

HRESULT ZEQLookupMember(CZEQDispatchEx* object, const wchar_t* name, DISPID* id) {
  ZEQList* list = object ? object->Members(false) : nullptr;
  if (!list) return DISP_E_UNKNOWNNAME;
  ZEQLockGuard guard(list->lock);
  int at = -1;
  if ((object->flags & kZEQDispIndexed) && name && name[0] >= L'0' && name[0] <= L'9') {
    const long position = wcstol(name, nullptr, 10);
    at = position < list->count ? static_cast<int>(position) : -1;
  } else {
    at = FindName(list, name);
  }
  ZEQListItem* item = at >= 0 ? list->GetItemAt(at) : nullptr;
  // A stored value is no member: its word is the address of its record,
  // which must never reach script as a number.
  if (item && !IsDeleted(item) && LiveKind(item) != kZEQMemberStoredValue) {
    if (id) *id = static_cast<DISPID>(static_cast<uint32_t>(item->value1));
    return S_OK;
  }
  if (id) *id = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT ZEQLookupMemberCallback(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

int ZEQRegisterInterfaceMember(CZEQDispatchEx* object) {
  return ZEQRegisterMember(object, kZEQDispidRegisterInterface, kZEQMemberMethod, L"RegisterInterface");
}

// ---------------------------------------------------------------------------
// Named stored values.

namespace NamedVariantList {

ZEQListItem* Set(const wchar_t* name, ZEQList* list, const VARIANT* value) {
  if (!list || IsEmptyStringW(name)) return nullptr;
  // Objects go into the table before the lock is taken.
  ZEQMarshaledVariant* record = MarshalVariantForThread(value);
  ZEQListItem* item = nullptr;
  try {
    item = PutEntry(list, name, reinterpret_cast<uintptr_t>(record), kZEQMemberStoredValue, kOwnsNothing, false);
  } catch (...) {
    ZEQMarshaledVariant::Free(record);
    throw;
  }
  if (!item) ZEQMarshaledVariant::Free(record);
  return item;
}

BOOL Get(ZEQList* list, const wchar_t* name, VARIANT* value, DWORD* cookie) {
  if (value) VariantInit(value);
  if (cookie) *cookie = static_cast<DWORD>(-1);
  if (!list || !value) return FALSE;
  // The record is copied under the lock and turned into a VARIANT after it,
  // so no other thread's call runs while the list is held.
  ZEQMarshaledVariant copy{};
  VariantInit(&copy.value);
  {
    ZEQLockGuard guard(list->lock);
    const int at = FindName(list, name);
    ZEQListItem* item = at >= 0 ? list->GetItemAt(at) : nullptr;
    if (!item || IsDeleted(item) || LiveKind(item) != kZEQMemberStoredValue) return FALSE;
    const auto* record = reinterpret_cast<const ZEQMarshaledVariant*>(item->value1);
    if (!record) return FALSE;
    copy.cookie = record->cookie;
    if (!copy.cookie && FAILED(VariantCopy(&copy.value, const_cast<VARIANT*>(&record->value)))) return FALSE;
  }
  const BOOL done = UnmarshalVariantForThread(value, &copy);
  VariantClear(&copy.value);
  if (done && cookie && copy.cookie && V_VT(value) == VT_DISPATCH) *cookie = copy.cookie;
  return done;
}

int Remove(const wchar_t* name, ZEQList* list) {
  if (!list) return 0;
  ZEQLockGuard guard(list->lock);
  const int at = FindName(list, name);
  if (at < 0) return 0;
  const bool stored = LiveKind(list->GetItemAt(at)) == kZEQMemberStoredValue;
  list->RemoveAt(at);
  return stored ? 1 : 0;
}

}  // namespace NamedVariantList
