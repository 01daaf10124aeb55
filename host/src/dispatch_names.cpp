// Names of CZEQDispatchEx members: resolution, expando creation, deletion,
// member names and enumeration.
#include <cwchar>

#include "dispatch_internal.h"
#include "foundation/lock_guard.h"
#include "foundation/pointer_token.h"
#include "foundation/log.h"
#include "member_table_internal.h"

using namespace zeqmembers;

namespace {

struct BuiltInName {
  const wchar_t* name;
  DISPID id;
  uint32_t requires;  // object flags that must be set
  uint32_t excludes;  // object flags that must be clear
};

// Compared in this order, case-sensitively.
constexpr BuiltInName kBuiltInNames[] = {
    {L"Define", kZEQDispidDefine, 0, kZEQDispNoDefine},
    {L"Based", kZEQDispidBased, 0, kZEQDispNoDefine},
    {L"ZEQOnReadyStateChange", kZEQDispidOnReadyStateChange, 0, 0},
    {L"ZEQReadyState", kZEQDispidReadyState, 0, 0},
    {L"Success", kZEQDispidSuccess, kZEQDispResultMembers, 0},
    {L"Error", kZEQDispidError, kZEQDispResultMembers, 0},
    {L"ErrorCode", kZEQDispidErrorCode, kZEQDispResultMembers, 0},
    {L"SystemErrorCode", kZEQDispidSystemErrorCode, kZEQDispResultMembers, 0},
    {L"ErrorDescription", kZEQDispidErrorDescription, kZEQDispResultMembers, 0},
};

bool FindBuiltIn(uint32_t flags, const wchar_t* name, DISPID* id) {
  for (const BuiltInName& entry : kBuiltInNames) {
    if ((flags & entry.requires) != entry.requires || (flags & entry.excludes)) continue;
    if (wcscmp(name, entry.name) == 0) {
      *id = entry.id;
      return true;
    }
  }
  return false;
}

// The expando entry of the name: a live entry of that name is answered as it
// is; otherwise a kind-0 entry is made (or a deleted one revived) whose value
// is its own token.
HRESULT EnsureExpando(CZEQDispatchEx* object, const wchar_t* name, DISPID* id) {
  ZEQList* list = object->Members(true);
  ZEQLockGuard guard(list->lock);
  const int at = FindName(list, name);
  ZEQListItem* item = at >= 0 ? list->GetItemAt(at) : nullptr;
  if (!item || IsDeleted(item)) {
    item = PutEntry(list, name, 0, kZEQMemberExpando, kOwnsNothing, false);
    if (!item) return DISP_E_UNKNOWNNAME;
    item->value1 = ZEQPointerToToken(item);
  }
  *id = static_cast<DISPID>(static_cast<uint32_t>(item->value1));
  return S_OK;
}

HRESULT ResolveName(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id) {
  *id = DISPID_UNKNOWN;
  if (!object->getIdsCallback) return DISP_E_UNKNOWNNAME;
  if (object->flags & kZEQDispRaw) return object->getIdsCallback(object, name, nameFlags, id);
  if (!(object->flags & kZEQDispNames) || !name) return DISP_E_UNKNOWNNAME;
  if (FindBuiltIn(object->flags, name, id)) return S_OK;
  // The name flags are not otherwise looked at: names are always compared
  // case-sensitively.
  const HRESULT hr = object->getIdsCallback(object, name, nameFlags, id);
  if (hr == DISP_E_UNKNOWNNAME && (nameFlags & fdexNameEnsure)) return EnsureExpando(object, name, id);
  return hr;
}

}  // namespace

void ZEQMarkMemberDeleted(CZEQDispatchEx* object, ZEQList* list, ZEQListItem* item) {
  const bool expando = LiveKind(item) == kZEQMemberExpando;
  item->value2 = KindOf(item) | kZEQMemberDeleted;
  if (!expando) return;
  // What script stored under the name goes with it.
  const wchar_t* name = reinterpret_cast<const wchar_t*>(item->key);
  NamedVariantList::Remove(QualifiedName(object->className, list, name).c_str(), list);
}

HRESULT CZEQDispatchEx::GetDispID(BSTR name, DWORD nameFlags, DISPID* id) {
  if (!id) return E_POINTER;
  try {
    return ResolveName(this, name, nameFlags, id);
  } catch (...) {
    ZEQLogUnexpected("CZEQDispatchEx::GetDispID");
    *id = DISPID_UNKNOWN;
    return DISP_E_EXCEPTION;
  }
}

HRESULT CZEQDispatchEx::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return GetDispID(names[0], 0, ids);
}

HRESULT CZEQDispatchEx::DeleteMemberByName(BSTR name, DWORD nameFlags) {
  if (ZEQList* list = Members(false)) {
    ZEQLockGuard guard(list->lock);
    const int at = FindName(list, name);
    if (at >= 0) {
      ZEQMarkMemberDeleted(this, list, list->GetItemAt(at));
      return S_OK;
    }
  }
  if (IDispatchEx* base = Base()) {
    base->DeleteMemberByName(name, nameFlags);
    base->Release();
  }
  return S_OK;
}

HRESULT CZEQDispatchEx::DeleteMemberByDispID(DISPID id) {
  if (ZEQList* list = Members(false)) {
    ZEQLockGuard guard(list->lock);
    for (int i = 0; i < list->count; ++i) {
      ZEQListItem* item = list->index[i];
      // A stored value's word is its record, not a DISPID.
      if (IsDeleted(item) || LiveKind(item) == kZEQMemberStoredValue) continue;
      if (static_cast<uint32_t>(item->value1) == static_cast<uint32_t>(id)) {
        ZEQMarkMemberDeleted(this, list, item);
        return S_OK;
      }
    }
  }
  if (IDispatchEx* base = Base()) {
    base->DeleteMemberByDispID(id);
    base->Release();
  }
  return S_OK;
}

HRESULT CZEQDispatchEx::GetMemberProperties(DISPID id, DWORD fetch, DWORD* properties) {
  if (ZEQList* list = Members(false)) {
    ZEQLockGuard guard(list->lock);
    if (id >= 0 && id < list->count) return E_NOTIMPL;
  }
  IDispatchEx* base = Base();
  if (!base) return E_NOTIMPL;
  const HRESULT hr = base->GetMemberProperties(id, fetch, properties);
  base->Release();
  return hr;
}

HRESULT CZEQDispatchEx::GetMemberName(DISPID id, BSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  ZEQList* list = Members(false);
  if (!list) return DISP_E_UNKNOWNNAME;
  {
    ZEQLockGuard guard(list->lock);
    if (id >= 0 && id < list->count) {
      ZEQListItem* item = list->GetItemAt(id);
      if (!item || IsDeleted(item) || !item->key) return DISP_E_UNKNOWNNAME;
      *name = SysAllocString(reinterpret_cast<const wchar_t*>(item->key));
      return *name ? S_OK : E_OUTOFMEMORY;
    }
  }
  IDispatchEx* base = Base();
  if (!base) return DISP_E_UNKNOWNNAME;
  const HRESULT hr = base->GetMemberName(id, name);
  base->Release();
  return hr;
}

HRESULT CZEQDispatchEx::GetNextDispID(DWORD nameFlags, DISPID id, DISPID* next) {
  if (!next) return E_POINTER;
  *next = DISPID_UNKNOWN;
  ZEQList* list = Members(false);
  if (!list) return S_FALSE;
  long long position = static_cast<long long>(id) + 1;
  if (position < 0) position = 0;
  {
    ZEQLockGuard guard(list->lock);
    for (; position < list->count; ++position) {
      ZEQListItem* item = list->index[position];
      if (IsDeleted(item)) continue;
      // Properties and stored values are enumerated; methods and expando
      // names are not.
      if (LiveKind(item) & (kZEQMemberProperty | kZEQMemberStoredValue)) {
        *next = static_cast<DISPID>(position);
        return S_OK;
      }
    }
  }
  IDispatchEx* base = Base();
  if (!base) return S_FALSE;
  const HRESULT hr = base->GetNextDispID(nameFlags, static_cast<DISPID>(position), next);
  base->Release();
  return hr;
}
