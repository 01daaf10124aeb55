// Services on keyed lists: name-keyed shortcuts for lists whose text keys
// are upserted without regard to case (the INI lists), removal at an index
// under the lock, and the sweep of items that expire.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/list.h"

// The first value of the item keyed `name`; `fallback` (and *found = 0) when
// the list or name is missing or empty or no item has the key.
uintptr_t ZEQListGetValueByName(ZEQList* list, const char* name, uintptr_t fallback, int* found);
// Removes the item keyed `name`: the removal's result, 0 when absent or
// when the removal raised.
int ZEQListRemoveByName(ZEQList* list, const char* name);
// Stores a heap copy of `text` (which the list frees with the item) as the
// value of the item keyed `key`, inserting or replacing it; FALSE without a
// list, for an empty key, or when the upsert raised.
BOOL ZEQListSetStringByName(ZEQList* list, const char* key, const char* text);
// Removes the item keyed `name`, if any.
void ListRemoveByName(ZEQList* list, const char* name);
// Removes the item at `index` of the list held in `slot`, under its lock.
int ListRemoveAtLocked(ZEQList** slot, int index);

// Lifetime of an expiring item in milliseconds; kZEQNoExpiry keeps it for
// the whole process. The list's owner says where its items keep it.
constexpr uint32_t kZEQNoExpiry = 0xFFFFFFFF;
using ZEQItemLifetime = uint32_t (*)(const ZEQListItem* item);

// Under the list's lock, removes every valid item whose age (since its tick
// stamp) has reached its lifetime; returns how many were removed.
int PurgeExpiredItems(ZEQList* list, ZEQItemLifetime lifetimeOf);

// The list that the sweep timer walks (the image cache, which registers
// itself before it arms the timer, on the thread that owns the timer).
void ZEQRegisterExpiringList(ZEQList* list, ZEQItemLifetime lifetimeOf);

// Timer procedure of the sweep; its arguments are ignored.
VOID CALLBACK PurgeExpiredListItems(HWND window, UINT message, UINT_PTR id, DWORD time);
