// The browser event sink of containers.
#include "host/browser_events.h"

#include <exdispid.h>
#include <ocidl.h>

#include <cstring>
#include <initializer_list>

#include "container_events.h"
#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/browser_container.h"
#include "host/containers.h"
#include "host/zeqibc.h"
#include "package/macros.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

using containerevents::Mode;
using containerevents::Raise;

namespace {

constexpr uint32_t kStateNavigating = 0x80;
constexpr uint32_t kStateNavigationComplete = 0x100;
constexpr uint32_t kStateDocumentComplete = 0x8000001;
constexpr uint32_t kStateOwnPageComplete = 0x20;
constexpr uint32_t kStateReadyRaised = 0x40;
constexpr uint32_t kApcAnswerCode = kZEQApcCoalesce | kZEQApcResultCoded;  // 0x201

// Browser state words (container record): client width and height, left,
// top, width, height; and the flags secure lock ... visible.
enum WindowState { kClientWidth, kClientHeight, kLeft, kTop, kWidth, kHeight };
enum BrowserFlag {
  kSecureLock, kPrivacy, kResizable, kToolBar, kMenuBar, kStatusBar, kAddressBar, kTheater, kFullScreen, kVisible
};

// Parameter `index` of the event in its published order (DISPPARAMS holds
// them last first), a by-reference VARIANT followed; null when missing.
const VARIANT* Parameter(const DISPPARAMS* params, UINT index) {
  if (!params || !params->rgvarg || index >= params->cArgs) return nullptr;
  const VARIANT* value = &params->rgvarg[params->cArgs - 1 - index];
  if (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  return value;
}

// The by-reference boolean of an event's out-parameter, or null.
VARIANT_BOOL* CancelSlot(const DISPPARAMS* params, UINT index) {
  const VARIANT* value = Parameter(params, index);
  return value && V_VT(value) == (VT_BYREF | VT_BOOL) ? V_BOOLREF(value) : nullptr;
}

void SetCancel(const DISPPARAMS* params, UINT index, bool cancel) {
  if (VARIANT_BOOL* slot = CancelSlot(params, index)) *slot = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

int32_t IntegerOf(const VARIANT* value) {
  if (!value) return 0;
  if (V_VT(value) == (VT_BYREF | VT_I4) && V_I4REF(value)) return *V_I4REF(value);
  if (V_VT(value) == (VT_BYREF | VT_BOOL) && V_BOOLREF(value)) return *V_BOOLREF(value) ? 1 : 0;
  if (V_VT(value) == VT_BOOL) return V_BOOL(value) ? 1 : 0;
  return VariantToInt(value);
}

bool BoolOf(const VARIANT* value) { return IntegerOf(value) != 0; }

ZEQTopDocumentCompleteObserver g_topDocumentObserver = nullptr;

// A heap text ("" for anything that is not text).
struct Text {
  char* text = nullptr;
  explicit Text(char* given) : text(given) {}
  ~Text() { HeapFreeZ(text); }
  const char* Get() const { return text ? text : ""; }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
};

char* PlainText(const VARIANT* value) { return value ? VariantToStrDup(value, 0) : nullptr; }
char* UrlText(const VARIANT* value) { return value ? VariantToExpandedString(value) : nullptr; }

// The post data of a navigation: the array's bytes, copied by its length
// and then terminated (the bytes need not end in a zero).
char* PostDataText(const VARIANT* value) {
  SAFEARRAY* array = value ? VariantGetSafeArray(value) : nullptr;
  if (!array || SafeArrayGetDim(array) != 1) return nullptr;
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  const UINT elementSize = SafeArrayGetElemsize(array);
  if (high < low || elementSize == 0) return nullptr;
  const size_t length = static_cast<size_t>(high - low + 1) * elementSize;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data)) || !data) return nullptr;
  auto text = static_cast<char*>(HeapAllocZ(length + 1));
  memcpy(text, data, length);
  text[length] = 0;
  SafeArrayUnaccessData(array);
  return text;
}

// A container's JSArray, destroyed with the scope.
struct Arguments {
  JSArray list;
  Arguments() { list.Init(); }
  ~Arguments() { list.Destroy(); }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
};

void EmptyList(ZEQList* list) {
  if (!list) return;
  ZEQLockGuard hold(list->lock);
  while (list->count > 0) list->RemoveAt(list->count - 1);
}

// The skin's frame margins: element 0's client insets (left, top, right,
// bottom), or zero without a skin.
void FrameMargins(HWND host, int margins[4]) {
  margins[0] = margins[1] = margins[2] = margins[3] = 0;
  ZEQWindowHolder record = ZEQGetWindowParam(host);
  if (!record.IsSet() || !record->skin.IsSet()) return;
  for (int i = 0; i < 4; ++i) margins[i] = record->skin->elements[0].client.area[i];
}

const wchar_t* BooleanEvent(DISPID id) {
  switch (id) {
    case DISPID_ONVISIBLE:
      return L"ZEQOnWBVisible";
    case DISPID_ONTOOLBAR:
      return L"ZEQOnWBToolBar";
    case DISPID_ONMENUBAR:
      return L"ZEQOnWBMenuBar";
    case DISPID_ONSTATUSBAR:
      return L"ZEQOnWBStatusBar";
    case DISPID_ONFULLSCREEN:
      return L"ZEQOnWBFullScreenMode";
    case DISPID_ONTHEATERMODE:
      return L"ZEQOnWBTheaterMode";
    case DISPID_ONADDRESSBAR:
      return L"ZEQOnWBAddressBar";
    case DISPID_WINDOWSETRESIZABLE:
      return L"ZEQOnWBResizable";
    case DISPID_PRIVACYIMPACTEDSTATECHANGE:
      return L"ZEQOnWBPrivacy";
    default:
      return nullptr;
  }
}

int32_t* BooleanSlot(ZEQBASECONTAINER* record, DISPID id) {
  switch (id) {
    case DISPID_ONVISIBLE:
      return &record->browserFlags[kVisible];
    case DISPID_ONTOOLBAR:
      return &record->browserFlags[kToolBar];
    case DISPID_ONMENUBAR:
      return &record->browserFlags[kMenuBar];
    case DISPID_ONSTATUSBAR:
      return &record->browserFlags[kStatusBar];
    case DISPID_ONFULLSCREEN:
      return &record->browserFlags[kFullScreen];
    case DISPID_ONTHEATERMODE:
      return &record->browserFlags[kTheater];
    case DISPID_ONADDRESSBAR:
      return &record->browserFlags[kAddressBar];
    case DISPID_WINDOWSETRESIZABLE:
      return &record->browserFlags[kResizable];
    case DISPID_PRIVACYIMPACTEDSTATECHANGE:
      return &record->browserFlags[kPrivacy];
    default:
      return nullptr;
  }
}

void ReplaceText(char** slot, char* text) {
  HeapFreeZ(*slot);
  *slot = text;
}

}  // namespace

void* CIBCEventSink::operator new(size_t size) { return HeapAllocZ(size); }
void CIBCEventSink::operator delete(void* block) { HeapFreeZ(block); }

CIBCEventSink::CIBCEventSink(CZEQRenderer* renderer) : CBaseEventSink(nullptr), renderer_(renderer) {
  if (renderer_) renderer_->AddRef();
}

CIBCEventSink::~CIBCEventSink() {
  if (renderer_) static_cast<IOleClientSite*>(renderer_)->Release();
}

ZEQContainerHolder CIBCEventSink::GetContainer() const {
  ZEQContainerHolder container;
  if (renderer_) container.ShareFrom(renderer_->Container());
  return container;
}

bool CIBCEventSink::IsTop(const VARIANT* browser) {
  IDispatch* given = browser ? VariantGetDispatch(browser) : nullptr;
  if (!given) return false;
  IUnknown* givenIdentity = nullptr;
  given->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&givenIdentity));
  given->Release();
  IWebBrowser2* own = renderer_->GetWebBrowser2();
  IUnknown* ownIdentity = nullptr;
  if (own) {
    own->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ownIdentity));
    own->Release();
  }
  const bool top = givenIdentity && givenIdentity == ownIdentity;
  if (givenIdentity) givenIdentity->Release();
  if (ownIdentity) ownIdentity->Release();
  return top;
}

HRESULT CIBCEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  ZEQGuardedComCall("CIBCEventSink::Invoke", [&]() -> HRESULT {
    IUnknown* unknown = nullptr;
    if (!renderer_ || FAILED(static_cast<IOleClientSite*>(renderer_)->QueryInterface(
                          IID_IUnknown, reinterpret_cast<void**>(&unknown))) ||
        !unknown) {
      return S_OK;
    }
    Dispatch(id, params);
    ZEQContainerHolder container = GetContainer();
    if (container.IsSet() && container->browserEvents) WebBrowserEvent(id, params);
    unknown->Release();
    return S_OK;
  });
  return S_OK;
}

void CIBCEventSink::Dispatch(DISPID id, DISPPARAMS* params) {
  ZEQContainerHolder container = GetContainer();
  ZEQBASECONTAINER* record = container.Get();
  if (!record) return;
  const bool ownPages = (record->options & kZEQContainerOwnPages) != 0;
  switch (id) {
    case DISPID_BEFORENAVIGATE2: {
      Text headers(PlainText(Parameter(params, 5)));
      if (strstr(headers.Get(), "KESTO-ZEQPragma: navigation-noevent")) return;
      Text post(PostDataText(Parameter(params, 4)));
      Text frame(PlainText(Parameter(params, 3)));
      Text url(UrlText(Parameter(params, 1)));
      const bool top = IsTop(Parameter(params, 0));
      {
        Arguments arguments;
        arguments.list.AppendStringA(url.Get());
        arguments.list.AppendStringA(frame.Get());
        arguments.list.AppendStringA(headers.Get());
        arguments.list.AppendStringA(post.Get());
        arguments.list.AppendBool(FALSE);
        arguments.list.AppendBool(top);
        Raise(container, L"ZEQOnBeforeNavigation", &arguments.list, Mode::Async, nullptr, kApcAnswerCode);
      }
      if (!strchr(url.Get(), '#') && top) {
        record->navigationState = kStateNavigating;
        for (const char* name : {"ZEQCNAVIGATIONERROR", "CZEQBASEBEHAVIOR::ZEQInitialize",
                                 "CZEQBASEBEHAVIOR::ZEQRefreshDocument"}) {
          RemovePropA(record->hostWindow, name);
        }
        EmptyList(record->navigationList);
        record->documentComplete = 0;
      }
      IBCApplyDPIZoom(container);
      return;
    }
    case DISPID_NEWWINDOW2:
    case DISPID_NEWWINDOW3: {
      const bool three = id == DISPID_NEWWINDOW3;
      SetCancel(params, 1, true);
      bool asTab = true, userInitiated = false, userRequested = false;
      if (three) {
        const uint32_t flags = static_cast<uint32_t>(IntegerOf(Parameter(params, 2)));
        asTab = false;
        if (flags & 0x40000) asTab = false;
        if (flags & 0x80000) asTab = true;
        if (flags & 0x10000) asTab = false;
        if (flags & 0x20000) asTab = true;
        userRequested = (flags & 0x80) != 0;
        userInitiated = (flags & 0x2) || (flags & 0x80);
      }
      Arguments arguments;
      arguments.list.AppendNull();
      arguments.list.AppendNull();
      arguments.list.AppendBool(asTab);
      arguments.list.AppendBool(userInitiated);
      arguments.list.AppendBool(userRequested);
      VARIANT answer;
      VariantInit(&answer);
      Raise(container, L"ZEQOnWBNewWindow", &arguments.list, Mode::Sync, &answer);
      ZEQContainerHolder target;
      if (V_VT(&answer) == VT_DISPATCH) target = ZEQContainerFromArgument(&answer);
      VariantClear(&answer);
      if (ZEQIsContainerReady(target)) OpenInContainer(target, params);
      return;
    }
    case DISPID_NAVIGATECOMPLETE2: {
      Text url(UrlText(Parameter(params, 1)));
      const bool top = IsTop(Parameter(params, 0));
      record->navigationState |= kStateNavigationComplete;
      if (ownPages && record->name && *record->name) NameUnnamedPageWindow(record->name);
      Arguments arguments;
      arguments.list.AppendStringA(url.Get());
      arguments.list.AppendBool(FALSE);
      arguments.list.AppendBool(top);
      Raise(container, L"ZEQOnNavigationComplete", &arguments.list, Mode::Async, nullptr, kApcAnswerCode);
      return;
    }
    case DISPID_DOCUMENTCOMPLETE:
      DocumentComplete(container, params);
      return;
    case DISPID_WINDOWCLOSING: {
      VARIANT_BOOL* cancel = CancelSlot(params, 1);
      record->closingArgument = cancel && *cancel ? 1 : 0;
      if (cancel) *cancel = VARIANT_TRUE;
      if (record->embedded) {
        record->closeRequested = 1;
        return;
      }
      ZEQWindowHolder window = ZEQGetWindowParam(record->hostWindow);
      if (!window.IsSet()) return;
      Arguments arguments;
      arguments.list.AppendBool(record->closingArgument);
      if (Raise(container, L"ZEQOnWBClose", &arguments.list, Mode::SyncCode) != ZEQACTION_CANCEL) {
        DestroyWindowExt(window->window, TRUE);
      }
      return;
    }
    case DISPID_FILEDOWNLOAD:
      SetCancel(params, 1, true);
      return;
    case DISPID_NAVIGATEERROR: {
      Text url(UrlText(Parameter(params, 1)));
      Text frame(PlainText(Parameter(params, 2)));
      const int32_t status = IntegerOf(Parameter(params, 3));
      const bool top = IsTop(Parameter(params, 0));
      SetCancel(params, 4, false);
      if (!ownPages) {
        Arguments arguments;
        arguments.list.AppendStringA(url.Get());
        arguments.list.AppendStringA(frame.Get());
        arguments.list.AppendUInt(static_cast<uint32_t>(status));
        arguments.list.AppendBool(top);
        if (Raise(container, L"ZEQOnNavigationError", &arguments.list, Mode::SyncCode) == ZEQACTION_CANCEL) {
          SetCancel(params, 4, true);
        }
      } else {
        ZEQLogPrintf("NAVIGATEERROR: Navigation Error - URL: \"%s\", StatusCode: %d", url.Get(), status);
        SetPropA(record->hostWindow, "ZEQCNAVIGATIONERROR", HANDLE(1));
        SetCancel(params, 4, true);
      }
      record->documentComplete = 1;
      return;
    }
    default:
      return;
  }
}

// The new window opens inside the container the page named: it becomes a
// container of foreign pages that raises the web-browser events, and its
// browser takes the window.
void CIBCEventSink::OpenInContainer(const ZEQContainerHolder& target, DISPPARAMS* params) {
  const VARIANT* out = params && params->cArgs > 0 ? &params->rgvarg[params->cArgs - 1] : nullptr;
  if (!out || V_VT(out) != (VT_BYREF | VT_DISPATCH) || !V_DISPATCHREF(out)) return;
  CZEQRenderer* site = ZEQGetContainerRenderer(target);
  IWebBrowser2* browser = site ? site->GetWebBrowser2() : nullptr;
  if (site) static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return;
  IDispatch* application = nullptr;
  browser->get_Application(&application);
  browser->Release();
  if (!application) return;
  ZEQBASECONTAINER* record = target.Get();
  record->options = (record->options & ~kZEQContainerOwnPages) | WB_ALLOWSRENAVIGATION;
  SetPropA(ZEQGetBodyWindow(record->hostWindow), "WEBB_INTERNALOPENER", HANDLE(1));
  record->browserEvents = 1;
  if (*V_DISPATCHREF(out)) (*V_DISPATCHREF(out))->Release();
  *V_DISPATCHREF(out) = application;
  SetCancel(params, 1, false);
}

void CIBCEventSink::NameUnnamedPageWindow(const char* name) {
  IWebBrowser2* browser = renderer_->GetWebBrowser2();
  if (!browser) return;
  IDispatch* document = nullptr;
  IHTMLDocument2* html = nullptr;
  IHTMLWindow2* window = nullptr;
  if (SUCCEEDED(browser->get_Document(&document)) && document) {
    document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
    document->Release();
  }
  if (html) {
    html->get_parentWindow(&window);
    html->Release();
  }
  browser->Release();
  if (!window) return;
  BSTR current = nullptr;
  if (SUCCEEDED(window->get_name(&current)) && SysStringLen(current) == 0) {
    const int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    BSTR wide = length > 0 ? SysAllocStringLen(nullptr, static_cast<UINT>(length - 1)) : nullptr;
    if (wide) {
      MultiByteToWideChar(CP_ACP, 0, name, -1, wide, length);
      window->put_name(wide);
      SysFreeString(wide);
    }
  }
  SysFreeString(current);
  window->Release();
}

void ZEQSetTopDocumentCompleteObserver(ZEQTopDocumentCompleteObserver observer) { g_topDocumentObserver = observer; }

void CIBCEventSink::DocumentComplete(const ZEQContainerHolder& container, DISPPARAMS* params) {
  ZEQBASECONTAINER* record = container.Get();
  Text url(UrlText(Parameter(params, 1)));
  const bool top = IsTop(Parameter(params, 0));
  const bool ownPages = (record->options & kZEQContainerOwnPages) != 0;
  record->navigationState |= kStateDocumentComplete;
  if (ownPages) record->navigationState |= kStateOwnPageComplete;
  if (!record->zoomApplied) {
    IDispatch* given = VariantGetDispatch(Parameter(params, 0));
    IWebBrowser2* completed = nullptr;
    if (given) {
      given->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&completed));
      given->Release();
    }
    if (completed) {
      VARIANT zoom;
      VariantInit(&zoom);
      V_VT(&zoom) = VT_I4;
      V_I4(&zoom) = record->zoom;
      completed->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &zoom, nullptr);
      completed->Release();
      record->zoomApplied = 1;
    }
  }
  if (top) {
    // The page takes script events from its first completed document on.
    IWebBrowser2* own = renderer_->GetWebBrowser2();
    ZEQSetWindowContainerReady(record->hostWindow, true, true, own);
    if (own) own->Release();
    if (const ZEQTopDocumentCompleteObserver observer = g_topDocumentObserver)
      observer(record->hostWindow, url.Get());
  }
  struct Target {
    const ZEQContainerHolder& container;
    const wchar_t* name;
    Mode mode;
  };
  auto raiseAll = [&](const Target (&targets)[3]) {
    for (const Target& target : targets) {
      if (!ZEQIsValidContainer(target.container)) continue;
      Arguments arguments;
      arguments.list.AppendStringA(url.Get());
      arguments.list.AppendBool(top);
      Raise(target.container, target.name, &arguments.list, target.mode);
    }
  };
  if (ownPages) {
    if (!(record->navigationState & kStateReadyRaised)) {
      record->navigationState |= kStateReadyRaised;
      raiseAll({{record->caller, L"ZEQOnOpenedContainerReady", Mode::Async},
                {record->parent, L"ZEQOnChildContainerReady", Mode::Async},
                {container, L"ZEQOnContainerReady", Mode::Sync}});
    }
  } else {
    raiseAll({{record->caller, L"ZEQOnOpenedDocumentComplete", Mode::Sync},
              {record->parent, L"ZEQOnChildDocumentComplete", Mode::Sync},
              {container, L"ZEQOnDocumentComplete", Mode::Sync}});
  }
  record->documentComplete = 1;
}

void CIBCEventSink::WebBrowserEvent(DISPID id, DISPPARAMS* params) {
  ZEQContainerHolder container = GetContainer();
  ZEQBASECONTAINER* record = container.Get();
  const bool act = !record->embedded;
  if (id == DISPID_FILEDOWNLOAD) {
    SetCancel(params, 1, false);
    return;
  }
  if (int32_t* slot = BooleanSlot(record, id)) {
    const bool value = BoolOf(Parameter(params, 0));
    *slot = value ? 1 : 0;
    if (act) {
      Arguments arguments;
      arguments.list.AppendBool(value);
      Raise(container, BooleanEvent(id), &arguments.list, Mode::Async);
    }
    return;
  }
  auto raiseNone = [&](const wchar_t* name) {
    if (act) Raise(container, name, nullptr, Mode::Async);
  };
  ZEQWindowHolder window = ZEQGetWindowParam(record->hostWindow);
  HWND moved = window.IsSet() && act ? window->window : nullptr;
  RECT placed = {};
  if (moved) GetWindowRect(moved, &placed);
  int margins[4];
  FrameMargins(record->hostWindow, margins);
  switch (id) {
    case DISPID_STATUSTEXTCHANGE:
      ReplaceText(&record->statusText, PlainText(Parameter(params, 0)));
      return;
    case DISPID_DOWNLOADCOMPLETE:
      raiseNone(L"ZEQOnWBTaskComplete");
      return;
    case DISPID_DOWNLOADBEGIN:
      raiseNone(L"ZEQOnWBTaskBegin");
      return;
    case DISPID_COMMANDSTATECHANGE: {
      const int32_t command = IntegerOf(Parameter(params, 0));
      const wchar_t* name = command == CSC_NAVIGATEBACK      ? L"ZEQOnWBNavigationBack"
                            : command == CSC_NAVIGATEFORWARD ? L"ZEQOnWBNavigationForward"
                                                             : nullptr;
      if (name && act) {
        Arguments arguments;
        arguments.list.AppendBool(BoolOf(Parameter(params, 1)));
        Raise(container, name, &arguments.list, Mode::Async);
      }
      return;
    }
    case DISPID_PROGRESSCHANGE: {
      const int32_t progress = IntegerOf(Parameter(params, 0));
      const int32_t maximum = IntegerOf(Parameter(params, 1));
      if (progress == -1) {
        raiseNone(L"ZEQOnWBTaskComplete");
      } else if (act) {
        Arguments arguments;
        arguments.list.AppendInt(maximum);
        arguments.list.AppendInt(progress);
        Raise(container, L"ZEQOnWBTaskProgress", &arguments.list, Mode::Async);
      }
      return;
    }
    case DISPID_TITLECHANGE: {
      ReplaceText(&record->title, PlainText(Parameter(params, 0)));
      if (act) {
        Arguments arguments;
        arguments.list.AppendStringA(record->title ? record->title : "");
        Raise(container, L"ZEQOnWBTitleChange", &arguments.list, Mode::Async);
      }
      return;
    }
    case DISPID_WINDOWSETLEFT:
      record->windowState[kLeft] = IntegerOf(Parameter(params, 0));
      if (moved) SetWindowPosExt(SWP_NOSIZE, moved, nullptr, record->windowState[kLeft], placed.top, 0, 0);
      return;
    case DISPID_WINDOWSETTOP:
      record->windowState[kTop] = IntegerOf(Parameter(params, 0));
      if (moved) SetWindowPosExt(SWP_NOSIZE, moved, nullptr, placed.left, record->windowState[kTop], 0, 0);
      return;
    case DISPID_WINDOWSETWIDTH:
      record->windowState[kWidth] = IntegerOf(Parameter(params, 0)) + margins[0] + margins[2];
      if (moved) {
        SetWindowPosExt(SWP_NOMOVE, moved, nullptr, 0, 0, record->windowState[kWidth], placed.bottom - placed.top);
      }
      return;
    case DISPID_WINDOWSETHEIGHT:
      record->windowState[kHeight] = IntegerOf(Parameter(params, 0)) + margins[1] + margins[3];
      if (moved) {
        SetWindowPosExt(SWP_NOMOVE, moved, nullptr, 0, 0, placed.right - placed.left, record->windowState[kHeight]);
      }
      return;
    case DISPID_CLIENTTOHOSTWINDOW:
      record->windowState[kClientWidth] = IntegerOf(Parameter(params, 0)) + margins[0] + margins[2];
      record->windowState[kClientHeight] = IntegerOf(Parameter(params, 1)) + margins[1] + margins[3];
      if (moved) {
        SetWindowPos(moved, nullptr, 0, 0, record->windowState[kClientWidth], record->windowState[kClientHeight],
                     SWP_NOMOVE | SWP_NOACTIVATE);
      }
      return;
    case DISPID_SETSECURELOCKICON: {
      record->browserFlags[kSecureLock] = IntegerOf(Parameter(params, 0));
      if (act) {
        Arguments arguments;
        arguments.list.AppendUInt(static_cast<uint32_t>(record->browserFlags[kSecureLock]));
        Raise(container, L"ZEQOnWBSecure", &arguments.list, Mode::Async);
      }
      return;
    }
    default:
      return;
  }
}

DWORD ZEQConnectBrowserEvents(CZEQRenderer* renderer, IUnknown* browser) {
  if (!renderer || !browser) return 0;
  IConnectionPointContainer* points = nullptr;
  if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) ||
      !points) {
    return 0;
  }
  IConnectionPoint* point = nullptr;
  points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point);
  points->Release();
  if (!point) return 0;
  CIBCEventSink* sink = new CIBCEventSink(renderer);
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(sink), &cookie))) cookie = 0;
  sink->Release();
  point->Release();
  return cookie;
}

void ZEQDisconnectBrowserEvents(IUnknown* browser, DWORD cookie) {
  if (!browser || !cookie) return;
  IConnectionPointContainer* points = nullptr;
  if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) ||
      !points) {
    return;
  }
  IConnectionPoint* point = nullptr;
  points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point);
  points->Release();
  if (!point) return;
  point->Unadvise(cookie);
  point->Release();
}
