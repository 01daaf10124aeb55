// The common members of container-host objects: "Define", "Based" and the
// four event members, carried out for the caller's container.
#include <cstdint>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/containers.h"
#include "host/dispatch_ex.h"
#include "host/object_events.h"

namespace {

struct CallerSearch {
  HWND window;
  ZEQWindowContainer container;
};

BOOL CALLBACK FindThreadContainer(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<CallerSearch*>(context);
  if (ZEQGetWindowContainer(window, &search->container)) {
    search->window = window;
    return FALSE;
  }
  return TRUE;
}

// The container of the page that makes the call: script runs only on the
// thread that owns its container's window, so the caller's container is the
// object's own when the object belongs to this thread, else a container of
// this thread.
bool CallerContainer(const CZEQDispatchEx* object, HWND* window, ZEQWindowContainer* container) {
  CallerSearch search{};
  HWND owner = object->owner;
  if (owner && GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId() &&
      ZEQGetWindowContainer(owner, &search.container)) {
    search.window = owner;
  } else {
    EnumThreadWindows(GetCurrentThreadId(), FindThreadContainer, reinterpret_cast<LPARAM>(&search));
  }
  if (!search.window) return false;
  *window = search.window;
  *container = search.container;
  return true;
}

bool IsCommonMember(DISPID id) {
  return id == kZEQDispidDefine || id == kZEQDispidBased || id == kZEQDispidRegisterEvent ||
         id == kZEQDispidAddEventListener || id == kZEQDispidRemoveEventListener || id == kZEQDispidFireEvent;
}

UINT Count(const DISPPARAMS* params) { return params ? params->cArgs : 0; }
const VARIANT* Arg(const DISPPARAMS* params, UINT i) { return &params->rgvarg[params->cArgs - 1 - i]; }

void AnswerInt(VARIANT* result, int32_t value) {
  if (!result) return;
  VariantClear(result);
  VariantInitInt(result, value);
}

}  // namespace

HRESULT ZEQInvokeEventMembers(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                              IServiceProvider*) {
  try {
    if (!IsCommonMember(id)) return DISP_E_MEMBERNOTFOUND;
    HWND callerWindow = nullptr;
    ZEQWindowContainer caller{};
    if (!object || !CallerContainer(object, &callerWindow, &caller)) return DISP_E_EXCEPTION;
    const bool method = (flags & DISPATCH_METHOD) != 0;
    switch (id) {
      case kZEQDispidDefine:
        return S_OK;
      case kZEQDispidBased: {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_TYPEMISMATCH;
        IDispatchEx* base = object->Base();
        if (result) {
          VariantClear(result);
          VariantInitDispatch(result, base);
        }
        if (base) base->Release();
        return S_OK;
      }
      case kZEQDispidRegisterEvent:
        if (!method) return DISP_E_TYPEMISMATCH;
        AnswerInt(result, 0);
        return S_OK;
      case kZEQDispidAddEventListener: {
        if (!method) return DISP_E_TYPEMISMATCH;
        if (Count(params) != 2) return DISP_E_BADPARAMCOUNT;
        wchar_t* name = nullptr;
        char* narrow = VariantToStrDup(Arg(params, 0), 0);
        name = AnsiToWideDup(narrow ? narrow : "", 0);
        HeapFreeZ(narrow);
        VARIANT function;
        VariantInit(&function);
        VariantCopyInd(&function, const_cast<VARIANT*>(Arg(params, 1)));
        uint32_t listener = 0;
        try {
          listener = ZEQAddEventListener(object, caller.id, callerWindow, name, &function);
        } catch (...) {
          VariantClear(&function);
          HeapFreeZ(name);
          throw;
        }
        VariantClear(&function);
        HeapFreeZ(name);
        AnswerInt(result, static_cast<int32_t>(listener));
        return S_OK;
      }
      case kZEQDispidRemoveEventListener:
        if (!method) return DISP_E_TYPEMISMATCH;
        if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
        AnswerInt(result, static_cast<int32_t>(
                              ZEQRemoveEventListener(object, static_cast<uint32_t>(VariantToInt(Arg(params, 0))))));
        return S_OK;
      case kZEQDispidFireEvent:
        if (!method) return DISP_E_TYPEMISMATCH;
        if (Count(params) < 1 || Count(params) > kZEQFireEventMaxArguments) return DISP_E_BADPARAMCOUNT;
        ZEQFireObjectEventListeners(object, params, result);
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  } catch (...) {
    ZEQLogUnexpected("ZEQInvokeEventMembers");
    return E_OUTOFMEMORY;
  }
}
