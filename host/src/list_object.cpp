// "ZEQList" and "ZEQBinaryList": lockable token lists shared by pages and
// threads.
#define _CRT_RAND_S  // rand_s
#include <cstdio>
#include <cwchar>
#include <cstdlib>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "host/list_objects.h"
#include "host/return_data.h"

namespace {

enum Member : DISPID {
  kLock = 1,
  kTryLock = 2,
  kRelease = 3,
  kAddFirst = 4,  // "AddToken" in keyed lists
  kAddLast = 5,
  kInsert = 6,
  kChange = 7,
  kJoin = 8,
  kGet = 9,
  kFind = 10,
  kRemove = 11,
  kClearAll = 12,
  kLength = 13,
  kSequence = 14,
  kIncRefCounter = 15,
  kDecRefCounter = 16,
  kRefCounter = 17,
};

struct ListData {
  ZEQList* list;
  uint32_t keyed;
  uint32_t caseSensitive;
};

// A token's values (script order), each kept for any thread: objects in the
// interface table, other values as copies. The identifier is unique in the
// process, so an identifier of a removed token, or of another list's token,
// names nothing here even when the item's memory is reused.
struct TokenValues {
  uint32_t id;
  int32_t count;
  ZEQMarshaledVariant* values[kZEQListTokenValues];
};

uint32_t NextTokenId() {
  static const uint32_t salt = [] {
    unsigned int random = 0;
    if (rand_s(&random) != 0) random = GetTickCount() ^ (GetCurrentProcessId() << 16);
    return static_cast<uint32_t>(random);
  }();
  static volatile LONG counter = 0;
  // An odd multiplier makes the mapping one-to-one over 32 bits.
  return (static_cast<uint32_t>(InterlockedIncrement(&counter)) * 0x9E3779B1u) ^ salt;
}

int FreeTokenValues(ZEQListItem* item, uintptr_t) {
  auto* values = reinterpret_cast<TokenValues*>(item->value1);
  item->value1 = 0;
  if (values) {
    for (int32_t i = 0; i < values->count; ++i) ZEQMarshaledVariant::Free(values->values[i]);
    HeapFreeZ(values);
  }
  return 1;
}

bool HeldByThisThread(const ZEQList* list) {
  return list->lock->RecursionCount > 0 &&
         reinterpret_cast<uintptr_t>(list->lock->OwningThread) == static_cast<uintptr_t>(GetCurrentThreadId());
}

ListData* DataOf(CZEQDispatchEx* object) { return static_cast<ListData*>(object->nativeData); }
int Mode(const ListData* data) { return data->caseSensitive ? ZEQLIST_BYTES : ZEQLIST_NOCASE; }

UINT Count(const DISPPARAMS* params) { return params ? params->cArgs - params->cNamedArgs : 0; }
VARIANT* Arg(DISPPARAMS* params, UINT i) { return &params->rgvarg[params->cArgs - 1 - i]; }

const VARIANT* Deref(const VARIANT* v) {
  while (v && V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

// The token text of an argument: a string (cut at 512 characters) or a
// number in lower-case hexadecimal; empty for anything else.
void TokenText(wchar_t (&buffer)[1024], const VARIANT* value) {
  buffer[0] = 0;
  value = Deref(value);
  if (!value) return;
  if (V_VT(value) == VT_BSTR) {
    const wchar_t* text = V_BSTR(value) ? V_BSTR(value) : L"";
    wcsncpy(buffer, text, 512);
    buffer[512] = 0;
  } else if (IsNumericVarType(V_VT(value))) {
    std::swprintf(buffer, 1024, L"%x", static_cast<unsigned>(VariantToInt(value)));
  }
}

int FindText(ListData* data, const wchar_t* text) {
  if (!text || !text[0]) return -1;
  if (!data->keyed) return data->list->FindByNameW(text, Mode(data));
  int position = 0;
  return data->list->FindSorted(text, static_cast<uint32_t>((wcslen(text) + 1) * sizeof(wchar_t)), Mode(data),
                                &position);
}

// A string names a token by its text, a number by its position; -1 when
// the reference names nothing.
int ResolveToken(ListData* data, const VARIANT* reference) {
  reference = Deref(reference);
  if (!reference) return -1;
  if (V_VT(reference) == VT_BSTR) return FindText(data, V_BSTR(reference));
  if (IsNumericVarType(V_VT(reference))) {
    const int position = VariantToInt(reference);
    return position >= 0 && position < data->list->count ? position : -1;
  }
  return -1;
}

TokenValues* MakeValues(DISPPARAMS* params, UINT first, uint32_t id) {
  auto* values = static_cast<TokenValues*>(HeapAllocZ(sizeof(TokenValues)));
  values->id = id;
  try {
    for (UINT i = first; i < Count(params); ++i)
      values->values[values->count++] = MarshalVariantForThread(Arg(params, i));
  } catch (...) {
    for (int32_t i = 0; i < values->count; ++i) ZEQMarshaledVariant::Free(values->values[i]);
    HeapFreeZ(values);
    throw;
  }
  return values;
}

TokenValues* ValuesOf(ZEQListItem* item) { return item ? reinterpret_cast<TokenValues*>(item->value1) : nullptr; }

CZEQDispatchEx* NewResult(CZEQDispatchEx* object, bool success) {
  return ZEQReturn::Create(object->owner, success ? 1 : 0, 1, static_cast<uint32_t>(-1), 4);
}

void AddCommonValues(CZEQDispatchEx* answer, ListData* data, ZEQListItem* item) {
  TokenValues* values = ValuesOf(item);
  ZEQReturnData::SetHexString(answer, L"Id", "", values ? values->id : 0);
  ZEQReturnData::SetUInt(answer, L"Length", static_cast<uint32_t>(data->list->count));
  ZEQReturnData::SetUInt(answer, L"Sequence", data->list->sequence);
}

void TokenToResult(CZEQDispatchEx* answer, ListData* data, ZEQListItem* item, int position) {
  TokenValues* values = ValuesOf(item);
  ZEQReturnData::SetStringW(answer, L"Token", item->key ? reinterpret_cast<const wchar_t*>(item->key) : L"");
  ZEQReturnData::SetUInt(answer, L"Index", static_cast<uint32_t>(position));
  AddCommonValues(answer, data, item);
  ZEQReturnData::SetUInt(answer, L"RefCount", 0);
  ZEQReturnData::SetUInt(answer, L"TickCount", item->tick);
  ZEQReturnData::SetUInt(answer, L"ParamCount", values ? static_cast<uint32_t>(values->count) : 0);
  for (int32_t i = 0; values && i < values->count; ++i) {
    wchar_t name[16];
    std::swprintf(name, 16, L"Param%d", i + 1);
    VARIANT value;
    VariantInit(&value);
    UnmarshalVariantForThread(&value, values->values[i]);
    ZEQReturnData::SetVariant(answer, name, &value);
    VariantClear(&value);
  }
}

void Answer(VARIANT* result, CZEQDispatchEx* answer) {
  if (!answer) return;
  if (result) {
    VariantClear(result);
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = static_cast<IDispatchEx*>(answer);
  } else {
    answer->Release();
  }
}

// "AddFirst", "AddLast", "AddToken", "Insert" and "Change".
HRESULT Add(CZEQDispatchEx* object, ListData* data, DISPID id, DISPPARAMS* params, VARIANT* result) {
  ZEQList* list = data->list;
  ZEQLockGuard guard(list->lock);
  wchar_t text[1024] = L"";
  UINT first = 0;
  int position = -1;
  if (!data->keyed) {
    if (id == kInsert || id == kChange) {
      if (Count(params) < 1) return DISP_E_BADPARAMCOUNT;
      position = id == kInsert ? -1 : ResolveToken(data, Arg(params, 0));
      first = 1;
    }
  } else {
    if (id == kInsert) return DISP_E_TYPEMISMATCH;
    if (Count(params) < 1) return DISP_E_BADPARAMCOUNT;
    TokenText(text, Arg(params, 0));
    if (!text[0]) return DISP_E_TYPEMISMATCH;
    first = 1;
    if (id == kChange) position = FindText(data, text);
  }
  if (Count(params) <= first) return DISP_E_BADPARAMCOUNT;
  if (Count(params) - first > static_cast<UINT>(kZEQListTokenValues)) return DISP_E_BADPARAMCOUNT;

  ZEQListItem* placed = nullptr;
  bool refused = false;
  if (!data->keyed && id == kInsert) {
    // The position of an insert is a number; anything else names nothing.
    const VARIANT* reference = Deref(Arg(params, 0));
    if (reference && IsNumericVarType(V_VT(reference))) {
      position = VariantToInt(reference);
      if (position < 0 || position > list->count) refused = true;
    } else {
      position = ResolveToken(data, reference);
      refused = position < 0;
    }
  }
  if (id == kChange && position < 0) refused = true;
  if (!refused) {
    ZEQListItem* existing = id == kChange ? list->GetItemAt(position) : nullptr;
    uint32_t tokenId = existing && ValuesOf(existing) ? ValuesOf(existing)->id : NextTokenId();
    TokenValues* values = MakeValues(params, first, tokenId);
    if (!text[0] && !existing) std::swprintf(text, 1024, L"%x", tokenId);
    const wchar_t* key = existing ? reinterpret_cast<const wchar_t*>(existing->key) : text;
    const uint32_t keyLength = static_cast<uint32_t>((wcslen(key) + 1) * sizeof(wchar_t));
    try {
      if (existing) {
        placed = list->SetAt(key, keyLength, position, reinterpret_cast<uintptr_t>(values), 0, ZEQLIST_TEXT_KEY,
                             nullptr);
      } else if (data->keyed) {
        // An equal text is updated in place, a new one lands at its sorted place.
        placed = list->Set(key, keyLength, reinterpret_cast<uintptr_t>(values), 0, Mode(data), ZEQLIST_TEXT_KEY,
                           nullptr);
      } else {
        const int at = id == kAddFirst ? 0 : id == kAddLast ? list->count : position;
        placed = list->Insert(key, keyLength, at, reinterpret_cast<uintptr_t>(values), 0, ZEQLIST_TEXT_KEY, nullptr);
      }
    } catch (...) {
      ZEQListItem scratch{};
      scratch.value1 = reinterpret_cast<uintptr_t>(values);
      FreeTokenValues(&scratch, 0);
      throw;
    }
    if (placed) {
      placed->freeCallback = FreeTokenValues;
    } else {
      ZEQListItem scratch{};
      scratch.value1 = reinterpret_cast<uintptr_t>(values);
      FreeTokenValues(&scratch, 0);
    }
  }
  if (!result) return S_OK;
  CZEQDispatchEx* answer = NewResult(object, placed != nullptr);
  if (answer && placed) {
    ZEQReturnData::SetUInt(answer, L"Index", static_cast<uint32_t>(placed->position));
    AddCommonValues(answer, data, placed);
  }
  Answer(result, answer);
  return S_OK;
}

HRESULT Get(CZEQDispatchEx* object, ListData* data, DISPPARAMS* params, VARIANT* result) {
  if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
  ZEQLockGuard guard(data->list->lock);
  const int position = ResolveToken(data, Arg(params, 0));
  ZEQListItem* item = position >= 0 ? data->list->GetItemAt(position) : nullptr;
  if (!result) return S_OK;
  CZEQDispatchEx* answer = NewResult(object, item != nullptr);
  if (answer && item) TokenToResult(answer, data, item, position);
  Answer(result, answer);
  return S_OK;
}

HRESULT Remove(CZEQDispatchEx* object, ListData* data, DISPPARAMS* params, VARIANT* result) {
  if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
  ZEQLockGuard guard(data->list->lock);
  const int position = ResolveToken(data, Arg(params, 0));
  const bool removed = position >= 0 && data->list->RemoveAt(position);
  if (result) Answer(result, NewResult(object, removed));
  return S_OK;
}

HRESULT ClearAll(CZEQDispatchEx* object, ListData* data, VARIANT* result) {
  ZEQLockGuard guard(data->list->lock);
  data->list->Clear(false);
  if (result) Answer(result, NewResult(object, data->list->count == 0));
  return S_OK;
}

void RegisterMembers(CZEQDispatchEx* object, bool keyed) {
  ZEQRegisterMember(object, kLock, kZEQMemberMethod, L"Lock");
  ZEQRegisterMember(object, kTryLock, kZEQMemberMethod, L"TryLock");
  ZEQRegisterMember(object, kRelease, kZEQMemberMethod, L"Release");
  if (keyed) ZEQRegisterMember(object, kAddFirst, kZEQMemberMethod, L"AddToken");
  ZEQRegisterMember(object, kAddFirst, kZEQMemberMethod, L"AddFirst");
  ZEQRegisterMember(object, kAddLast, kZEQMemberMethod, L"AddLast");
  ZEQRegisterMember(object, kInsert, kZEQMemberMethod, L"Insert");
  ZEQRegisterMember(object, kChange, kZEQMemberMethod, L"Change");
  ZEQRegisterMember(object, kJoin, kZEQMemberMethod, L"Join");
  ZEQRegisterMember(object, kGet, kZEQMemberMethod, L"Get");
  ZEQRegisterMember(object, kFind, kZEQMemberMethod, L"Find");
  ZEQRegisterMember(object, kRemove, kZEQMemberMethod, L"Remove");
  ZEQRegisterMember(object, kClearAll, kZEQMemberMethod, L"ClearAll");
  ZEQRegisterMember(object, kLength, kZEQMemberProperty, L"Length");
  ZEQRegisterMember(object, kSequence, kZEQMemberProperty, L"Sequence");
  ZEQRegisterMember(object, kIncRefCounter, kZEQMemberMethod, L"IncRefCounter");
  ZEQRegisterMember(object, kDecRefCounter, kZEQMemberMethod, L"DecRefCounter");
  ZEQRegisterMember(object, kRefCounter, kZEQMemberMethod, L"RefCounter");
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  if (Count(params) > 1) return DISP_E_BADPARAMCOUNT;
  CZEQDispatchEx* made = CZEQDispatchEx::Create(classObject->className, classObject->owner, ZEQListGetIDsOfNames,
                                                ZEQListInvoke, kZEQDispInstance);
  ListData* data = DataOf(made);
  data->keyed = wcscmp(classObject->className, L"ZEQList") != 0;
  data->caseSensitive = Count(params) == 1 && VariantToBool(Arg(params, 0));
  RegisterMembers(made, data->keyed != 0);
  ZEQReturnData::SetResult(made, 1, 1, static_cast<uint32_t>(-1), 4);
  Answer(result, made);
  return S_OK;
}

}  // namespace

HRESULT ZEQListGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id) {
  return ZEQLookupMemberCallback(object, name, nameFlags, id);
}

HRESULT ZEQListInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, IServiceProvider*) {
  try {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      if (object->IsRegistering()) {
        auto* data = static_cast<ListData*>(HeapAllocZ(sizeof(ListData)));
        object->nativeData = data;
        ZEQList::Create(&data->list);
      } else if (object->IsDestroying()) {
        if (ListData* data = DataOf(object)) {
          ZEQList::DeleteAt(&data->list);
          HeapFreeZ(data);
          object->nativeData = nullptr;
        }
      }
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    ListData* data = DataOf(object);
    if (!data || !data->list) return DISP_E_MEMBERNOTFOUND;
    if (id == kLength || id == kSequence) {
      if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
      if (result) {
        VariantClear(result);
        VariantInitUInt(result, id == kLength ? static_cast<uint32_t>(data->list->count) : data->list->sequence);
      }
      return S_OK;
    }
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kLock:
        data->list->Lock();
        return S_OK;
      case kTryLock:
      {
        const BOOL entered = data->list->TryLock();
        if (result) {
          VariantClear(result);
          VariantInitBool(result, entered);
        }
        return S_OK;
      }
      case kRelease:
        // Leaving a section this thread does not hold would corrupt it for
        // every other thread: such a call does nothing.
        if (HeldByThisThread(data->list)) data->list->Unlock();
        return S_OK;
      case kAddFirst:
      case kAddLast:
      case kInsert:
      case kChange:
        return Add(object, data, id, params, result);
      case kGet:
        return Get(object, data, params, result);
      case kRemove:
        return Remove(object, data, params, result);
      case kClearAll:
        return ClearAll(object, data, result);
      default:
        return DISP_E_MEMBERNOTFOUND;  // "Join", "Find" and the reference counters do nothing
    }
  } catch (...) {
    ZEQLogUnexpected("ZEQListInvoke");
    return E_OUTOFMEMORY;
  }
}
