#include "host/object_scope.h"

#include <dispex.h>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "host/object_events.h"

namespace {

constexpr wchar_t kScopeClass[] = L"KESTOObjectScope";

KESTOObjectScopeData* DataOf(CZEQDispatchEx* scope) {
  return scope ? static_cast<KESTOObjectScopeData*>(scope->nativeData) : nullptr;
}

IDispatchEx* TargetOf(CZEQDispatchEx* scope) {
  KESTOObjectScopeData* data = DataOf(scope);
  return data && data->target.targetCookie ? GetGITDispatchEx(data->target.targetCookie) : nullptr;
}

}  // namespace

KESTOObjectScopeData* KESTOObjectScopeDataInit(KESTOObjectScopeData* record) {
  if (!record) return nullptr;
  record->reserved = 0;
  ZEQList::Create(&record->rememberedIds);
  return record;
}

namespace KESTOObjectScope {

CZEQDispatchEx* Create(HWND containerWindow, IDispatch* target) {
  if (!target) return nullptr;
  try {
    CZEQDispatchEx* scope = CZEQDispatchEx::Create(kScopeClass, containerWindow, KESTOObjectScopeGetIDsOfNames,
                                                   KESTOObjectScopeInvoke, kZEQDispPlain);
    KESTOObjectScopeData* data = DataOf(scope);
    IDispatchEx* ex = nullptr;
    if (data && SUCCEEDED(target->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex))) && ex) {
      data->target.window = reinterpret_cast<uintptr_t>(containerWindow);
      data->target.targetCookie = ZEQGITRegister(ex);
      ex->Release();
    }
    return scope;
  } catch (...) {
    ZEQLogUnexpected("KESTOObjectScope::Create");
    return nullptr;
  }
}

}  // namespace KESTOObjectScope

HRESULT KESTOObjectScopeGetIDsOfNames(CZEQDispatchEx* scope, const wchar_t* name, DWORD nameFlags, DISPID* id) {
  try {
    IDispatchEx* target = TargetOf(scope);
    if (!target) return DISP_E_UNKNOWNNAME;
    if (ZEQLookupMember(scope, name, id) == S_OK) {
      target->Release();
      return S_OK;
    }
    BSTR wanted = SysAllocString(name);
    HRESULT hr = target->GetDispID(wanted, nameFlags & ~static_cast<DWORD>(fdexNameEnsure), id);
    if (FAILED(hr) && (nameFlags & fdexNameEnsure)) {
      hr = target->GetDispID(wanted, nameFlags, id);
      KESTOObjectScopeData* data = DataOf(scope);
      if (SUCCEEDED(hr) && data && data->rememberedIds)
        ZEQList::InsertByPointer(&data->rememberedIds, static_cast<uintptr_t>(static_cast<uint32_t>(*id)), -1, 0, 0,
                                 0);
    }
    SysFreeString(wanted);
    target->Release();
    return hr;
  } catch (...) {
    ZEQLogUnexpected("KESTOObjectScopeGetIDsOfNames");
    return E_OUTOFMEMORY;
  }
}

bool KESTOObjectScopeRemembers(CZEQDispatchEx* scope, DISPID id) {
  KESTOObjectScopeData* data = DataOf(scope);
  if (!data || !data->rememberedIds) return false;
  return data->rememberedIds->Find(reinterpret_cast<const void*>(static_cast<uintptr_t>(static_cast<uint32_t>(id))),
                                   0, ZEQLIST_BYTES) >= 0;
}

HRESULT KESTOObjectScopeInvoke(CZEQDispatchEx* scope, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller) {
  try {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      if (scope->IsRegistering()) {
        auto* data = static_cast<KESTOObjectScopeData*>(HeapAllocZ(sizeof(KESTOObjectScopeData)));
        scope->nativeData = data;
        KESTOObjectScopeDataInit(data);
        data->invokeWord = reinterpret_cast<uintptr_t>(&KESTOObjectScopeInvoke);
        ZEQRegisterMember(scope, kZEQDispidDefine, kZEQMemberMethod, L"Define");
        ZEQRegisterMember(scope, kZEQDispidBased, kZEQMemberProperty, L"Based");
        ZEQRegisterEventMembers(scope);
      } else if (scope->IsDestroying()) {
        if (KESTOObjectScopeData* data = DataOf(scope)) {
          if (data->target.targetCookie) RevokeGITCookie(data->target.targetCookie);
          ZEQList::DeleteAt(&data->rememberedIds);
          HeapFreeZ(data);
          scope->nativeData = nullptr;
        }
      }
      return S_OK;
    }
    const HRESULT hr = ZEQInvokeEventMembers(scope, id, flags, params, result, caller);
    if (hr != DISP_E_MEMBERNOTFOUND) return hr;
    // A DISPID the scope does not know belongs to its target.
    IDispatchEx* target = TargetOf(scope);
    if (!target) return DISP_E_MEMBERNOTFOUND;
    const HRESULT forwarded = target->InvokeEx(id, lcid, flags, params, result, exception, caller);
    target->Release();
    return forwarded;
  } catch (...) {
    ZEQLogUnexpected("KESTOObjectScopeInvoke");
    return E_OUTOFMEMORY;
  }
}
