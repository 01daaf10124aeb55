// The member list of script objects, as the object, result values and the
// common invoke step reach into it. Callers hold the list's lock while they
// use an item they found.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/list.h"

namespace zeqmembers {

// What an entry owns besides its kind (the item's free context).
constexpr uintptr_t kOwnsNothing = 0;
constexpr uintptr_t kOwnsReturnData = 1;  // value: the token of a result value record

inline uint32_t KindOf(const ZEQListItem* item) { return static_cast<uint32_t>(item->value2); }
inline bool IsDeleted(const ZEQListItem* item) { return (KindOf(item) & 0x80000000u) != 0; }
inline uint32_t LiveKind(const ZEQListItem* item) { return KindOf(item) & 0x7FFFFFFFu; }

// Index of the entry keyed by the name: by halving in a sorted list, from
// the start in another; -1 when absent.
int FindName(ZEQList* list, const wchar_t* name);

// Puts an entry under the name: replaces the contents of the entry of that
// name, or inserts one (in key order in a sorted or empty list, at the end of
// another). With append set, appends whatever the name (indexed tables) and
// the list is no longer taken as sorted. Null when the list refused.
ZEQListItem* PutEntry(ZEQList* list, const wchar_t* name, uintptr_t value, uint32_t kind, uintptr_t owns, bool append);

// The entry of the list whose own token is the DISPID (an expando name), or
// null.
ZEQListItem* ExpandoEntry(ZEQList* list, DISPID id);
// The entry whose DISPID is the token of a result value record, or null.
ZEQListItem* ReturnDataEntry(ZEQList* list, DISPID id);

// The qualified key of an expando's stored value: "KESTO.%s.%08X.%s" (class
// name, the member list's token, the name). Never cut: names that differ
// only far along keep values of their own.
std::wstring QualifiedName(const wchar_t* className, ZEQList* list, const wchar_t* name);

}  // namespace zeqmembers

// Frees a result value record given by its token (its VARIANT is cleared);
// a token that names no live record is ignored.
void ZEQReturnDataFreeToken(uint32_t token);
