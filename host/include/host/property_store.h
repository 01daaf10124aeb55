// The member store of script objects: the member list (member names, expando
// names, stored expando values, result values) and the listener list of one
// object, or of several objects that share it.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/list.h"
#include "foundation/shared_handle.h"
#include "foundation/variant.h"

// Kinds of member list entries (the item's second value word).
constexpr uint32_t kZEQMemberExpando = 0;  // value: the entry's own token
constexpr uint32_t kZEQMemberMethod = 1;   // value: the DISPID the class chose
constexpr uint32_t kZEQMemberProperty = 2;
constexpr uint32_t kZEQMemberStoredValue = 8;       // value: a ZEQMarshaledVariant record
constexpr uint32_t kZEQMemberDeleted = 0x80000000;  // the entry no longer resolves

struct ZEQPropertyStore {
  ZEQList* members;    // created on first use
  ZEQList* listeners;  // created on first use

  // The list, made (with its own lock) when create is set and it is missing;
  // safe when two threads ask at once.
  ZEQList* Members(bool create);
  ZEQList* Listeners(bool create);
};

// The store's destructor: frees every stored value of the member list
// (revoking its cookie, or clearing its VARIANT), then both lists.
void DispatchMemberStoreDelete(ZEQPropertyStore* store);

template <>
struct ZEQPayloadTraits<ZEQPropertyStore>
    : ZEQPayloadPolicy<ZEQPropertyStore, DispatchMemberStoreDelete, ZEQPayloadFree::ByRelease> {};

using ZEQPropertyStoreHolder = ZEQSharedHandle<ZEQPropertyStore>;

// A holder of a new empty store.
void ZEQNewPropertyStore(ZEQPropertyStoreHolder* holder);

// The store that every "KESTOGlobal" object shares: made on first use and
// kept for the life of the process.
const ZEQPropertyStoreHolder& ZEQProcessPropertyStore();

// Named stored values on a member list, under the list's lock. Objects are
// kept as Global Interface Table cookies, other values as copies.
namespace NamedVariantList {
// Replaces any entry of that name and stores a marshalled copy of the value
// (kind 8); the new entry, or null for a null list or a null or empty name.
ZEQListItem* Set(const wchar_t* name, ZEQList* list, const VARIANT* value);
// The value stored under the name, as a VARIANT for the calling thread
// (initialised first). For an object, *cookie (when given) receives the
// record's cookie; it is (DWORD)-1 otherwise. Returns the unmarshalling's
// result, FALSE when absent or for a null list.
BOOL Get(ZEQList* list, const wchar_t* name, VARIANT* value, DWORD* cookie);
// Removes the entry of that name; 1 when it held a stored value that was
// freed.
int Remove(const wchar_t* name, ZEQList* list);
}  // namespace NamedVariantList
