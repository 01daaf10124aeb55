// "KESTOGlobal" (expandos shared by every page of the process) and the
// "ZEQBinary" placeholder.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "host/list_objects.h"
#include "host/property_store.h"

namespace {

UINT Count(const DISPPARAMS* params) { return params ? params->cArgs - params->cNamedArgs : 0; }

void Answer(VARIANT* result, CZEQDispatchEx* made) {
  if (result) {
    VariantClear(result);
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = static_cast<IDispatchEx*>(made);
  } else {
    made->Release();
  }
}

struct GlobalPaths {
  CRITICAL_SECTION lock;
  char kesto[MAX_PATH + 1];
  char loader[MAX_PATH + 1];
  GlobalPaths() { InitializeCriticalSection(&lock); }
};

GlobalPaths& Paths() {
  static GlobalPaths* const paths = new GlobalPaths();  // kept for the process's life
  return *paths;
}

enum GlobalMember : DISPID { kLock = 1, kTryLock = 2, kRelease = 3, kKestoPath = 4, kLoaderPath = 5 };

void RegisterGlobalMembers(CZEQDispatchEx* object) {
  ZEQRegisterMember(object, kLock, kZEQMemberMethod, L"Lock");
  ZEQRegisterMember(object, kTryLock, kZEQMemberMethod, L"TryLock");
  ZEQRegisterMember(object, kRelease, kZEQMemberMethod, L"Release");
  ZEQRegisterMember(object, kKestoPath, kZEQMemberProperty, L"KESTOPath");
  ZEQRegisterMember(object, kLoaderPath, kZEQMemberProperty, L"LoaderPath");
}

}  // namespace

void KESTOGlobalSetPaths(const char* kestoPath, const char* loaderPath) {
  GlobalPaths& paths = Paths();
  ZEQLockGuard guard(&paths.lock);
  StrCopyN(paths.kesto, kestoPath ? kestoPath : "", MAX_PATH);
  StrCopyN(paths.loader, loaderPath ? loaderPath : "", MAX_PATH);
}

HRESULT KESTOGlobalInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, IServiceProvider*) {
  try {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      if (object->IsRegistering()) {
        object->nativeData = HeapAllocZ(1);
      } else if (object->IsDestroying()) {
        HeapFreeZ(object->nativeData);
        object->nativeData = nullptr;
      }
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) {
      CZEQDispatchEx* made = CZEQDispatchEx::Create(L"KESTOGlobal", object->owner, ZEQLookupMemberCallback,
                                                    KESTOGlobalInvoke, kZEQDispInstance, ZEQProcessPropertyStore());
      RegisterGlobalMembers(made);
      ZEQReturnData::SetResult(made, 0, 0, 0, 1);
      Answer(result, made);
      return S_OK;
    }
    switch (id) {
      case kLock:
      case kTryLock:
      case kRelease:
        // Nothing to lock: the shared store has its own lock.
        return (flags & DISPATCH_METHOD) ? S_OK : DISP_E_MEMBERNOTFOUND;
      case kKestoPath:
      case kLoaderPath: {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return S_OK;
        GlobalPaths& paths = Paths();
        ZEQLockGuard guard(&paths.lock);
        VariantClear(result);
        VariantSetString(result, id == kKestoPath ? paths.kesto : paths.loader);
        return S_OK;
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  } catch (...) {
    ZEQLogUnexpected("KESTOGlobalInvoke");
    return E_OUTOFMEMORY;
  }
}

HRESULT ZEQBinaryInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, IServiceProvider*) {
  constexpr DISPID kId = 2;
  try {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      if (object->IsRegistering()) {
        object->nativeData = HeapAllocZ(12);
      } else if (object->IsDestroying()) {
        HeapFreeZ(object->nativeData);
        object->nativeData = nullptr;
      }
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) {
      if (Count(params) != 0) return DISP_E_BADPARAMCOUNT;
      CZEQDispatchEx* made = CZEQDispatchEx::Create(object->className, object->owner, ZEQLookupMemberCallback,
                                                    ZEQBinaryInvoke, kZEQDispInstance);
      ZEQRegisterMember(made, kId, kZEQMemberProperty, L"Id");
      ZEQSetResultSuccess(made);
      Answer(result, made);
      return S_OK;
    }
    if (id == kId && (flags & DISPATCH_PROPERTYGET)) {
      if (result) VariantClear(result);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  } catch (...) {
    ZEQLogUnexpected("ZEQBinaryInvoke");
    return E_OUTOFMEMORY;
  }
}
