// The "ZEQIBC" script class.
#include "host/zeqibc.h"

#include <exdisp.h>
#include <mshtml.h>

#include <cstdio>
#include <set>
#include <string>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "foundation/registered_messages.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "host/containers.h"
#include "host/namespace_put.h"
#include "host/js_array.h"
#include "host/renderer.h"
#include "package/macros.h"
#include "windows/container_windows.h"
#include "windows/window_commands.h"
#include "windows/window_helpers.h"
#include "windows/window_utils.h"

namespace {

// The live objects, so that an object handed back by script is known for
// one of ours before it is used.
struct LiveObjects {
  CRITICAL_SECTION lock;
  std::set<IDispatchEx*> objects;
  LiveObjects() { InitializeCriticalSection(&lock); }
};
LiveObjects& Live() {
  static LiveObjects* live = new LiveObjects();
  return *live;
}

void Track(CZEQDispatchEx* object, bool alive) {
  LiveObjects& live = Live();
  EnterCriticalSection(&live.lock);
  try {
    if (alive) {
      live.objects.insert(static_cast<IDispatchEx*>(object));
    } else {
      live.objects.erase(static_cast<IDispatchEx*>(object));
    }
  } catch (...) {
    LeaveCriticalSection(&live.lock);
    throw;
  }
  LeaveCriticalSection(&live.lock);
}

bool IsLive(IDispatchEx* object) {
  LiveObjects& live = Live();
  EnterCriticalSection(&live.lock);
  const bool found = live.objects.count(object) != 0;
  LeaveCriticalSection(&live.lock);
  return found;
}

constexpr UINT kNameMax = 512;  // characters of a page window's name

enum Access : uint32_t { kCall = 1, kGet = 2, kPut = 4 };

struct Member {
  DISPID id;
  uint32_t kind;
  const wchar_t* name;
  uint32_t access;
  UINT callArguments = 0;  // what a call takes
  // A wrong access answers "no such member" rather than a type mismatch.
  bool unknownOnWrongAccess = false;
};

const Member kMembers[] = {
    {kZEQIBCId, kZEQMemberMethod, L"Id", kCall | kGet},
    {kZEQIBCIsBrowser, kZEQMemberProperty, L"IsBrowser", kGet},
    {kZEQIBCIsDropTarget, kZEQMemberProperty, L"IsDropTarget", kGet},
    {kZEQIBCArguments, kZEQMemberProperty, L"Arguments", kGet | kPut},
    {kZEQIBCStartArguments, kZEQMemberProperty, L"StartArguments", kGet | kPut},
    {kZEQIBCCloseArguments, kZEQMemberProperty, L"CloseArguments", kGet | kPut},
    {kZEQIBCLoaderCSS, kZEQMemberProperty, L"LoaderCSS", kGet},
    {kZEQIBCStartLocationURL, kZEQMemberProperty, L"StartLocationURL", kGet},
    {kZEQIBCURL, kZEQMemberProperty, L"URL", kGet},
    {kZEQIBCNameProp, kZEQMemberProperty, L"NameProp", kGet},
    {kZEQIBCProtocol, kZEQMemberProperty, L"Protocol", kGet},
    {kZEQIBCSecurity, kZEQMemberProperty, L"Security", kGet},
    {kZEQIBCDomain, kZEQMemberProperty, L"Domain", kGet},
    {kZEQIBCMIMEType, kZEQMemberProperty, L"MIMEType", kGet},
    {kZEQIBCIsTopLevel, kZEQMemberProperty, L"IsTopLevel", kGet},
    {kZEQIBCLocationURL, kZEQMemberProperty, L"LocationURL", kGet | kPut},
    {kZEQIBCLocationName, kZEQMemberProperty, L"LocationName", kGet},
    {kZEQIBCIsBusy, kZEQMemberProperty, L"IsBusy", kGet},
    {kZEQIBCIsChild, kZEQMemberProperty, L"IsChild", kGet},
    {kZEQIBCIsDocumentComplete, kZEQMemberProperty, L"IsDocumentComplete", kGet},
    {kZEQIBCSetDefaultStateSet, kZEQMemberProperty, L"SetDefaultStateSet", kGet | kPut},
    {kZEQIBCSetMaximizedStateSet, kZEQMemberProperty, L"SetMaximizedStateSet", kGet | kPut},
    {kZEQIBCZoom, kZEQMemberProperty, L"Zoom", kGet | kPut},
    {kZEQIBCPrint, kZEQMemberMethod, L"Print", kCall},
    {kZEQIBCShowPrintPreview, kZEQMemberMethod, L"ShowPrintPreview", kCall},
    {kZEQIBCShowPageSetup, kZEQMemberMethod, L"ShowPageSetup", kCall},
    {kZEQIBCPopupBlocker, kZEQMemberProperty, L"PopupBlocker", kGet | kPut},
    {kZEQIBCMSHTMLActivateUI, kZEQMemberMethod, L"MSHTMLActivateUI", kCall},
    {kZEQIBCRegisterObject, kZEQMemberProperty, L"RegisterObject", kCall, 2, true},
    {kZEQIBCName, kZEQMemberProperty, L"Name", kGet},
    {kZEQIBCIsModal, kZEQMemberProperty, L"IsModal", kGet},
    {kZEQIBCAcceptMouseInput, kZEQMemberProperty, L"AcceptMouseInput", kGet},
    {kZEQIBCSetFocus, kZEQMemberMethod, L"SetFocus", kCall},
    {kZEQIBCOnMouseMoveEvent, kZEQMemberProperty, L"OnMouseMoveEvent", kGet | kPut},
    {kZEQIBCMaxMemoryUsage, kZEQMemberProperty, L"MaxMemoryUsage", kGet | kPut},
    {kZEQIBCZEQGlobal, kZEQMemberProperty, L"ZEQGlobal", kGet},
};

const Member* FindMember(DISPID id) {
  for (const Member& member : kMembers) {
    if (member.id == id) return &member;
  }
  return nullptr;
}

uint32_t AccessOf(WORD flags) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return kPut;
  uint32_t access = 0;
  if (flags & DISPATCH_METHOD) access |= kCall;
  if (flags & DISPATCH_PROPERTYGET) access |= kGet;
  return access;
}

// The value of a put: the last argument (the named DISPID_PROPERTYPUT one).
const VARIANT* PutValue(const DISPPARAMS* params) {
  return params && params->cArgs > 0 ? &params->rgvarg[0] : nullptr;
}

void AnswerBool(VARIANT* result, bool value) {
  if (result) VariantInitBool(result, value ? TRUE : FALSE);
}

void AnswerText(VARIANT* result, const char* text) {
  if (!result) return;
  const int length = MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, nullptr, 0);
  BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(length > 0 ? length - 1 : 0));
  if (!wide) throw ZEQOutOfMemory();
  MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, wide, length);
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = wide;
}

// A browser property of a ready container.
template <typename Read>
void AnswerBrowser(const ZEQContainerHolder& container, Read read) {
  if (!ZEQIsContainerReady(container)) return;
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return;
  IWebBrowser2* browser = site->GetWebBrowser2();
  static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return;
  read(browser);
  browser->Release();
}

void AnswerBrowserBool(const ZEQContainerHolder& container, VARIANT* result,
                       HRESULT (STDMETHODCALLTYPE IWebBrowser2::*get)(VARIANT_BOOL*)) {
  AnswerBrowser(container, [&](IWebBrowser2* browser) {
    VARIANT_BOOL value = VARIANT_FALSE;
    if (SUCCEEDED((browser->*get)(&value)) && result) VariantInitBoolValue(result, value);
  });
}

// A text property of a ready container's document; the result stays empty
// when the document does not give it.
void AnswerDocumentText(const ZEQContainerHolder& container, VARIANT* result,
                        HRESULT (STDMETHODCALLTYPE IHTMLDocument2::*get)(BSTR*)) {
  AnswerBrowser(container, [&](IWebBrowser2* browser) {
    IDispatch* document = nullptr;
    if (FAILED(browser->get_Document(&document)) || !document) return;
    IHTMLDocument2* html = nullptr;
    document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
    document->Release();
    if (!html) return;
    BSTR text = nullptr;
    if (SUCCEEDED((html->*get)(&text)) && result) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = text ? text : SysAllocString(L"");
    } else {
      SysFreeString(text);
    }
    html->Release();
  });
}

void PostToHost(const ZEQBASECONTAINER* record, const char* message) {
  PostMessageA(record->hostWindow, RegisterWindowMessageA(message), 0, 0);
}

HRESULT ReadArguments(ZEQMarshaledVariant* arguments, VARIANT* result) {
  if (result && arguments) UnmarshalVariantInit(arguments, result);
  return S_OK;
}

// A text put: the value must be a text.
HRESULT PutText(const VARIANT* value, char** slot) {
  if (!value || V_VT(value) != VT_BSTR) return DISP_E_TYPEMISMATCH;
  char* text = VariantToStrDup(value, 0);
  HeapFreeZ(*slot);
  *slot = text;
  return S_OK;
}

HRESULT PutInteger(const VARIANT* value, int32_t* slot) {
  if (!value || !IsNumericVarType(V_VT(value))) return DISP_E_TYPEMISMATCH;
  *slot = VariantToInt(value);
  return S_OK;
}

ZEQContainerHolder ContainerOf(CZEQDispatchEx* object) {
  ZEQContainerHolder container;
  auto id = static_cast<uint32_t*>(object->nativeData);
  if (id && *id) container.AssignAndDeleteSource(ZEQContainerHolder::NewFromId(*id));
  return container;
}

// The page window's own name, else the container's name (a new GUID text
// kept in the container when it was given none).
void AnswerName(const ZEQContainerHolder& container, VARIANT* result) {
  BSTR name = nullptr;
  AnswerBrowser(container, [&](IWebBrowser2* browser) {
    IHTMLWindow2* window = GetParentWindow2(browser);
    if (!window) return;
    if (FAILED(window->get_name(&name))) name = nullptr;
    window->Release();
  });
  if (name && *name) {
    if (SysStringLen(name) > kNameMax) {
      BSTR cut = SysAllocStringLen(name, kNameMax);
      SysFreeString(name);
      if (!cut) throw ZEQOutOfMemory();
      name = cut;
    }
    if (result) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = name;
    } else {
      SysFreeString(name);
    }
    return;
  }
  SysFreeString(name);
  ZEQBASECONTAINER* record = container.Get();
  if (!record->name || !*record->name) {
    GUID guid = {};
    CoCreateGuid(&guid);
    char text[40];
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    char* copy = StrDupExtra(text, 0);
    HeapFreeZ(record->name);
    record->name = copy;
  }
  AnswerText(result, record->name);
}

// Publishes a program object in the page's script under its class name
// (another object under the given name).
bool RegisterObject(const ZEQContainerHolder& container, DISPPARAMS* params) {
  const VARIANT* nameValue = &params->rgvarg[1];
  const VARIANT* objectValue = &params->rgvarg[0];
  IDispatchEx* object = VariantGetDispatchEx(objectValue);
  if (!object) return false;
  bool defined = false;
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(object);
  std::wstring name;
  if (native) {
    name = native->className ? native->className : L"";
    native->Release();
  } else {
    const VARIANT* text = nameValue;
    if (V_VT(text) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(text)) text = V_VARIANTREF(text);
    if (V_VT(text) == VT_BSTR && V_BSTR(text)) name = V_BSTR(text);
  }
  if (!name.empty()) {
    AnswerBrowser(container, [&](IWebBrowser2* browser) {
      IDispatchEx* space = GetScriptDispatchEx(browser);
      if (!space) return;
      defined = SUCCEEDED(ZEQDispatchPutObject(space, name.c_str(), object));
      space->Release();
    });
  }
  object->Release();
  return defined;
}

HRESULT Act(const ZEQContainerHolder& container, const Member& member, uint32_t access,
            DISPPARAMS* params, VARIANT* result) {
  ZEQBASECONTAINER* record = container.Get();
  const VARIANT* value = access == kPut ? PutValue(params) : nullptr;
  switch (member.id) {
    case kZEQIBCId:
      if (result) VariantInitUInt(result, static_cast<uint32_t>(record->id));
      return S_OK;
    case kZEQIBCIsBrowser:
      AnswerBrowserBool(container, result, &IWebBrowser2::get_RegisterAsBrowser);
      return S_OK;
    case kZEQIBCIsDropTarget:
      AnswerBrowserBool(container, result, &IWebBrowser2::get_RegisterAsDropTarget);
      return S_OK;
    case kZEQIBCIsBusy:
      AnswerBrowserBool(container, result, &IWebBrowser2::get_Busy);
      return S_OK;
    case kZEQIBCURL:
      AnswerDocumentText(container, result, &IHTMLDocument2::get_URL);
      return S_OK;
    case kZEQIBCNameProp:
      AnswerDocumentText(container, result, &IHTMLDocument2::get_nameProp);
      return S_OK;
    case kZEQIBCProtocol:
      AnswerDocumentText(container, result, &IHTMLDocument2::get_protocol);
      return S_OK;
    case kZEQIBCSecurity:
      AnswerDocumentText(container, result, &IHTMLDocument2::get_security);
      return S_OK;
    case kZEQIBCDomain:
      AnswerDocumentText(container, result, &IHTMLDocument2::get_domain);
      return S_OK;
    case kZEQIBCMIMEType:
      AnswerDocumentText(container, result, &IHTMLDocument2::get_mimeType);
      return S_OK;
    case kZEQIBCIsTopLevel:
      AnswerBrowserBool(container, result, &IWebBrowser2::get_TopLevelContainer);
      return S_OK;
    case kZEQIBCLocationName:
      AnswerBrowser(container, [&](IWebBrowser2* browser) {
        BSTR name = nullptr;
        if (SUCCEEDED(browser->get_LocationName(&name)) && result) {
          V_VT(result) = VT_BSTR;
          V_BSTR(result) = name ? name : SysAllocString(L"");
        } else {
          SysFreeString(name);
        }
      });
      return S_OK;
    case kZEQIBCArguments:
    case kZEQIBCStartArguments:
      if (access == kGet) return ReadArguments(record->arguments, result);
      ZEQSetContainerArguments(container, MarshalVariantForThread(value));
      AnswerBool(result, true);
      return S_OK;
    case kZEQIBCCloseArguments:
      if (access == kGet) return ReadArguments(record->closeArguments, result);
      ZEQSetContainerCloseArguments(container, MarshalVariantForThread(value));
      AnswerBool(result, true);
      return S_OK;
    case kZEQIBCLoaderCSS:
      AnswerText(result, record->loaderStyleSheet);
      return S_OK;
    case kZEQIBCStartLocationURL:
      AnswerText(result, record->startDocument);
      return S_OK;
    case kZEQIBCLocationURL: {
      if (access == kGet) {
        AnswerBrowser(container, [&](IWebBrowser2* browser) {
          BSTR url = nullptr;
          if (SUCCEEDED(browser->get_LocationURL(&url)) && result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = url ? url : SysAllocString(L"");
          } else {
            SysFreeString(url);
          }
        });
        return S_OK;
      }
      if (V_VT(value) != VT_BSTR) return DISP_E_TYPEMISMATCH;
      bool navigated = false;
      if (ZEQIBCCheckRenavigation(container)) {
        char* url = VariantToExpandedString(value);
        navigated = url && *url && ZEQPostContainerNavigation(GetTopLevelWindowExt(record->hostWindow), url);
        HeapFreeZ(url);
      }
      AnswerBool(result, navigated);
      return S_OK;
    }
    case kZEQIBCIsChild: {
      HWND parent = GetParentWindowExt(record->hostWindow);
      AnswerBool(result, parent && (GetWindowLongPtrA(parent, GWL_STYLE) & WS_CHILD));
      return S_OK;
    }
    case kZEQIBCIsDocumentComplete:
      AnswerBool(result, (record->navigationState & 0x8000000) != 0);
      return S_OK;
    case kZEQIBCSetDefaultStateSet:
    case kZEQIBCSetMaximizedStateSet: {
      char** slot = member.id == kZEQIBCSetDefaultStateSet ? &record->defaultStateSet : &record->maximizedStateSet;
      if (access == kGet) {
        AnswerText(result, *slot);
        return S_OK;
      }
      return PutText(value, slot);
    }
    case kZEQIBCZoom:
      if (access == kGet) {
        if (result) VariantInitInt(result, record->zoom);
        return S_OK;
      }
      {
        const HRESULT hr = PutInteger(value, &record->zoom);
        if (SUCCEEDED(hr)) PostToHost(record, "CMSG_ZEQIBCZOOM");
        return hr;
      }
    case kZEQIBCPrint:
      PostToHost(record, "CMSG_ZEQIBCPRINT");
      AnswerBool(result, true);
      return S_OK;
    case kZEQIBCShowPrintPreview:
      PostToHost(record, "CMSG_ZEQIBCPRINTPREVIEW");
      AnswerBool(result, true);
      return S_OK;
    case kZEQIBCShowPageSetup:
      PostToHost(record, "CMSG_ZEQIBCSHOWPAGESETUP");
      AnswerBool(result, true);
      return S_OK;
    case kZEQIBCPopupBlocker:
      if (access == kGet) {
        if (result) VariantInitInt(result, record->popupBlocker);
        return S_OK;
      }
      return PutInteger(value, &record->popupBlocker);
    case kZEQIBCMSHTMLActivateUI:
      if (HWND server = FindIEServerWindow(record->hostWindow)) SendMessageA(server, CMSG_SETACTIVEIESERVER, 0, 1);
      return S_OK;
    case kZEQIBCRegisterObject:
      AnswerBool(result, RegisterObject(container, params));
      return S_OK;
    case kZEQIBCName:
      AnswerName(container, result);
      return S_OK;
    case kZEQIBCIsModal: {
      ZEQWindowHolder window = ZEQGetWindowParam(record->hostWindow);
      AnswerBool(result, window.IsSet() && window->modalState[0] > 0);
      return S_OK;
    }
    case kZEQIBCAcceptMouseInput:
      AnswerBool(result, ZEQWindowAcceptsInput(record->hostWindow));
      return S_OK;
    case kZEQIBCSetFocus: {
      HWND host = record->hostWindow;
      HWND parent = GetParent(host);
      const bool visible = IsWindowVisible(host) && (!parent || IsWindowVisible(parent));
      if (visible) {
        HWND server = FindIEServerWindow(host);
        HWND target = server ? server : host;
        SetActiveWindowExt(target);
        SetFocusAndSelect(target);
      }
      AnswerBool(result, visible);
      return S_OK;
    }
    case kZEQIBCOnMouseMoveEvent:
      if (access == kGet) {
        AnswerBool(result, record->mouseMoveEvents != 0);
        return S_OK;
      }
      record->mouseMoveEvents = VariantToBool(value) ? 1 : 0;
      return S_OK;
    case kZEQIBCMaxMemoryUsage:
      if (access == kGet) {
        if (result) VariantInitInt(result, record->maxMemoryUsage);
        return S_OK;
      }
      return PutInteger(value, &record->maxMemoryUsage);
    case kZEQIBCZEQGlobal: {
      CZEQDispatchEx* global = ZEQNewGlobalObject(record->hostWindow);
      if (!result) {
        if (global) global->Release();
      } else if (global) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = static_cast<IDispatchEx*>(global);  // the caller's reference
      } else {
        VariantInitNull(result);
      }
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

CZEQDispatchEx* ZEQIBC(const ZEQContainerHolder& container) {
  if (!container.IsSet()) return nullptr;
  CZEQDispatchEx* object =
      CZEQDispatchEx::Create(L"ZEQIBC", container->hostWindow, ZEQIBCGetIDsOfNames, ZEQIBCInvoke, kZEQDispPlain);
  ZEQContainerHolder shared;
  shared.ShareFrom(container);
  *static_cast<uint32_t*>(object->nativeData) = shared.GetId();
  return object;
}

int JSArray::AppendZEQIBC(const ZEQContainerHolder& container) {
  CZEQDispatchEx* object = ZEQIBC(container);
  if (!object) return AppendNull();
  try {
    AppendDispatch(static_cast<IDispatchEx*>(object));
  } catch (...) {
    object->Release();
    throw;
  }
  object->Release();
  return 1;
}

ZEQContainerHolder ZEQContainerFromArgument(const VARIANT* argument) {
  ZEQContainerHolder container;
  IDispatchEx* object = argument ? VariantGetDispatchEx(argument) : nullptr;
  if (!object) return container;
  if (IsLive(object)) {
    auto id = static_cast<uint32_t*>(static_cast<CZEQDispatchEx*>(object)->nativeData);
    if (id && *id) container.AssignAndDeleteSource(ZEQContainerHolder::NewFromId(*id));
  }
  object->Release();
  return container;
}

HRESULT ZEQIBCGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQIBCInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO*, IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) {
    if (object->IsRegistering() && !object->nativeData) {
      object->nativeData = HeapAllocZ(sizeof(uint32_t));
      for (const Member& member : kMembers) ZEQRegisterMember(object, member.id, member.kind, member.name);
      Track(object, true);
    }
    if (object->IsDestroying()) {
      Track(object, false);
      HeapFreeZ(object->nativeData);
      object->nativeData = nullptr;
    }
    return S_OK;
  }
  try {
    if (flags & DISPATCH_CONSTRUCT) return DISP_E_UNKNOWNINTERFACE;
    ZEQContainerHolder container = ContainerOf(object);
    if (!container.IsSet()) return DISP_E_EXCEPTION;
    const Member* member = FindMember(id);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    uint32_t access = AccessOf(flags) & member->access;
    if (!access) return member->unknownOnWrongAccess ? DISP_E_MEMBERNOTFOUND : DISP_E_TYPEMISMATCH;
    if (access == (kCall | kGet)) access = kGet;
    // A put takes exactly its value, a call its own arguments, a get none.
    const UINT count = params ? params->cArgs : 0;
    const UINT wanted = access == kPut ? 1u : access == kCall ? member->callArguments : 0u;
    if (count != wanted) return DISP_E_BADPARAMCOUNT;
    if (result) VariantClear(result);
    return Act(container, *member, access, params, result);
  } ZEQ_COM_CATCH("ZEQIBC::Invoke")
}
