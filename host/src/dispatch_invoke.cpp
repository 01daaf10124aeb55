// The common invoke step of every CZEQDispatchEx: expandos, the ready-state
// and result members and the ambient properties, before the class's own
// dispatcher; and the ready state and result fields it serves.
#include <cwchar>

#include "dispatch_internal.h"
#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/containers.h"
#include "foundation/log.h"
#include "member_table_internal.h"

using namespace zeqmembers;

namespace {

constexpr DISPID kAmbientUserAgent = -5513;
constexpr DISPID kAmbientDownloadControl = -5512;
constexpr DISPID kAmbientSilent = -5502;
constexpr DISPID kAmbientOfflineIfNotConnected = -5501;
constexpr wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/536.6 (KHTML, like Gecko) Chrome/20.0.1092.0 "
    L"Safari/536.6";

constexpr WORD kPut = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;

// The value of a put: the first argument; null without arguments.
const VARIANT* PutValue(const DISPPARAMS* params) {
  return params && params->cArgs > 0 && params->rgvarg ? &params->rgvarg[0] : nullptr;
}

UINT ArgumentCount(const DISPPARAMS* params) { return params ? params->cArgs : 0; }

// Step for an expando's DISPID: its value lives in the same member list
// under the qualified name.
HRESULT InvokeExpando(CZEQDispatchEx* object, ZEQList* list, const wchar_t* name, WORD flags, DISPPARAMS* params,
                      VARIANT* result) {
  const std::wstring key = QualifiedName(object->className, list, name);
  const wchar_t* qualified = key.c_str();
  // An expando is never called.
  if (flags & DISPATCH_METHOD) return DISP_E_MEMBERNOTFOUND;
  if (flags & kPut) {
    const VARIANT* value = PutValue(params);
    if (!value) return DISP_E_BADPARAMCOUNT;
    if (object->className && wcscmp(object->className, L"KESTOGlobal") == 0) {
      IDispatch* held = VariantGetDispatch(value);
      ZEQWindowContainer container{};
      const bool refused = held && ZEQGetWindowContainer(object->owner, &container) &&
                           !(container.options & kZEQContainerAllowsGlobalObjects);
      if (held) held->Release();
      if (refused) {
        char* key = WideToAnsiDup(qualified, 0);
        ZEQLogPrintf("ZEQGLOBAL - Bad Callee: {{\\%s/}}", key ? key : "");
        HeapFreeZ(key);
        return DISP_E_BADCALLEE;
      }
    }
    return NamedVariantList::Set(qualified, list, value) ? S_OK : DISP_E_MEMBERNOTFOUND;
  }
  if (flags & DISPATCH_PROPERTYGET) {
    VARIANT value;
    if (!NamedVariantList::Get(list, qualified, &value, nullptr)) return DISP_E_MEMBERNOTFOUND;
    if (result) {
      VariantClear(result);
      *result = value;  // moved
    } else {
      VariantClear(&value);
    }
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

// The name of the expando entry behind the DISPID, copied under the list's
// lock; false when the DISPID is no expando of this list.
bool ExpandoName(ZEQList* list, DISPID id, wchar_t** name) {
  if (!list) return false;
  ZEQLockGuard guard(list->lock);
  ZEQListItem* item = ExpandoEntry(list, id);
  if (!item) return false;
  *name = WideStrDupEx(item->key ? reinterpret_cast<const wchar_t*>(item->key) : L"", 0);
  return true;
}

// S_FALSE when the call is not one of the ready-state members' own.
HRESULT InvokeReadyState(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  if (id == kZEQDispidOnReadyStateChange) {
    if (flags & kPut) {
      if (ArgumentCount(params) != 1) return DISP_E_BADPARAMCOUNT;
      if (object->readyStateHandler) RevokeGITCookie(object->readyStateHandler);
      IDispatch* handler = VariantGetDispatch(PutValue(params));
      object->readyStateHandler = handler ? ZEQGITRegister(handler) : 0;
      if (handler) handler->Release();
      return S_OK;
    }
    if (flags & DISPATCH_PROPERTYGET) {
      IDispatch* handler = object->readyStateHandler ? GetGITDispatch(object->readyStateHandler) : nullptr;
      if (handler && result) {
        VariantClear(result);
        VariantInitDispatch(result, handler);
      }
      if (handler) handler->Release();
      return S_OK;
    }
    return S_FALSE;
  }
  if (flags & kPut) {
    if (ArgumentCount(params) != 1) return S_FALSE;
    ZEQSetReadyState(static_cast<uint32_t>(VariantToInt(PutValue(params))), object, 0);
    return S_OK;
  }
  if (flags & DISPATCH_PROPERTYGET) {
    if (result) {
      VariantClear(result);
      VariantInitUInt(result, object->readyState);
    }
    return S_OK;
  }
  return S_FALSE;
}

HRESULT InvokeResultMember(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  if (flags & kPut) {
    const VARIANT* value = PutValue(params);
    if (!value) return DISP_E_BADPARAMCOUNT;
    switch (id) {
      case kZEQDispidSuccess:
        object->success = VariantToBool(value);
        break;
      case kZEQDispidError:
        object->success = !VariantToBool(value);
        break;
      case kZEQDispidErrorCode:
        object->errorCode = static_cast<uint32_t>(VariantToInt(value));
        break;
      case kZEQDispidSystemErrorCode:
        object->systemErrorCode = static_cast<uint32_t>(VariantToInt(value));
        break;
      default:
        object->errorDescription.Replace(VariantToStrDup(value, 0));
        break;
    }
    return S_OK;
  }
  if (!(flags & DISPATCH_PROPERTYGET) || !result) return S_OK;
  VariantClear(result);
  switch (id) {
    case kZEQDispidSuccess:
      VariantInitBool(result, object->success);
      break;
    case kZEQDispidError:
      VariantInitBool(result, !object->success);
      break;
    case kZEQDispidErrorCode:
      VariantInitUInt(result, object->errorCode);
      break;
    case kZEQDispidSystemErrorCode:
      VariantInitUInt(result, object->systemErrorCode);
      break;
    default:
      VariantSetString(result, object->errorDescription.data);
      break;
  }
  return S_OK;
}

bool IsResultMember(DISPID id) {
  return id == kZEQDispidSuccess || id == kZEQDispidError || id == kZEQDispidErrorCode ||
         id == kZEQDispidSystemErrorCode || id == kZEQDispidErrorDescription;
}

// S_FALSE when the DISPID is no ambient property or the owner has no
// container.
HRESULT InvokeAmbient(CZEQDispatchEx* object, DISPID id, VARIANT* result) {
  if (id != kAmbientUserAgent && id != kAmbientDownloadControl && id != kAmbientSilent &&
      id != kAmbientOfflineIfNotConnected)
    return S_FALSE;
  ZEQWindowContainer container{};
  if (!ZEQGetWindowContainer(object->owner, &container)) return S_FALSE;
  if (!result) return S_OK;
  switch (id) {
    case kAmbientUserAgent:
      VariantClear(result);
      VariantSetStringW(result, kUserAgent);
      break;
    case kAmbientDownloadControl:
      if (container.hasSite) {
        VariantClear(result);
        VariantInitInt(result, container.downloadControl);
      }
      break;
    case kAmbientSilent:
      VariantClear(result);
      VariantInitBool(result, FALSE);
      break;
    default:
      VariantClear(result);
      VariantInitBool(result, TRUE);
      break;
  }
  return S_OK;
}

HRESULT CommonInvokeSteps(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, IServiceProvider* caller) {
  if (!object->invokeCallback) return DISP_E_MEMBERNOTFOUND;
  if (!(object->flags & kZEQDispRaw)) {
    ZEQList* list = object->Members(false);
    wchar_t* name = nullptr;
    if (ExpandoName(list, id, &name)) {
      HRESULT hr = E_FAIL;
      try {
        hr = InvokeExpando(object, list, name, flags, params, result);
      } catch (...) {
        HeapFreeZ(name);
        throw;
      }
      HeapFreeZ(name);
      return hr;
    }
    if (id == kZEQDispidOnReadyStateChange || id == kZEQDispidReadyState) {
      const HRESULT hr = InvokeReadyState(object, id, flags, params, result);
      if (hr != S_FALSE) return hr;
    } else if ((object->flags & kZEQDispResultMembers) && IsResultMember(id)) {
      return InvokeResultMember(object, id, flags, params, result);
    } else if (!(object->flags & kZEQDispNoAmbient)) {
      const HRESULT hr = InvokeAmbient(object, id, result);
      if (hr != S_FALSE) return hr;
    }
  }
  return object->invokeCallback(object, id, lcid, flags, params, result, exception, caller);
}

}  // namespace

HRESULT CZEQDispatchEx::CommonInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller) {
  if (!object) return E_POINTER;
  // The call keeps the object alive even when the class lets script drop it.
  object->AddRef();
  HRESULT hr;
  try {
    hr = CommonInvokeSteps(object, id, lcid, flags, params, result, exception, caller);
  } catch (...) {
    ZEQLogUnexpected("CZEQDispatchEx::CommonInvoke");
    hr = DISP_E_EXCEPTION;
  }
  object->Release();
  return hr;
}

HRESULT CZEQDispatchEx::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT*) {
  return CommonInvoke(this, id, lcid, flags, params, result, exception, nullptr);
}

HRESULT CZEQDispatchEx::InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, IServiceProvider* caller) {
  return CommonInvoke(this, id, lcid, flags, params, result, exception, caller);
}

// ---------------------------------------------------------------------------
// Ready state and result fields.

int ZEQSetReadyState(uint32_t newState, CZEQDispatchEx* object, uint32_t code) {
  if (!object) return 0;
  if (object->readyState == newState) return 1;
  object->readyState = newState;
  if (!object->readyStateHandler) return 0;
  // The handler is fetched for this thread: a function of another thread's
  // page is called through its proxy and runs on that page's thread.
  IDispatch* handler = GetGITDispatch(object->readyStateHandler);
  if (!handler) return 0;
  VARIANT args[2];
  VariantInitDispatch(&args[0], static_cast<IDispatchEx*>(object));  // the last argument
  VariantInitUInt(&args[1], code);
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT answer;
  VariantInit(&answer);
  const HRESULT hr =
      handler->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &answer, nullptr, nullptr);
  handler->Release();
  const bool proceed = SUCCEEDED(hr) && static_cast<uint32_t>(VariantToInt(&answer)) == ZEQACTION_CONTINUE;
  VariantClear(&answer);
  VariantClear(&args[0]);
  VariantClear(&args[1]);
  return proceed ? 1 : 0;
}

namespace ZEQReturnData {

int SetResult(CZEQDispatchEx* object, uint32_t code, uint32_t expected, uint32_t systemError, uint32_t mode) {
  if (!object) return 0;
  if (mode & 1) {
    object->errorCode = code;
    object->success = code == expected;
  } else if (mode & 2) {
    object->errorCode = code;
    object->success = code != expected;
  } else {
    object->success = code && expected;
    object->errorCode = object->success ? 0 : 2;
  }
  object->systemErrorCode = systemError;
  if (systemError == static_cast<uint32_t>(-1)) {
    object->errorDescription.Replace(nullptr);
    return 1;
  }
  char* message = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, systemError, 0x400, reinterpret_cast<char*>(&message), 0, nullptr);
  if (length && message) {
    try {
      object->errorDescription.Replace(StrDupExtra(message, 0));
    } catch (...) {
      LocalFree(message);
      throw;
    }
  }
  if (message) LocalFree(message);
  return 1;
}

}  // namespace ZEQReturnData

void ZEQSetResultSuccess(CZEQDispatchEx* object) {
  if (object) ZEQReturnData::SetResult(object, 1, 1, 0, 4);
}
