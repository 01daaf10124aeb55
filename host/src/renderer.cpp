// The browser site object.
#include "host/renderer.h"

#include <cstdio>
#include <new>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/instance_name.h"
#include "foundation/git_table.h"
#include "host/browser_services.h"

namespace {

constexpr char kHostStyle[] = "FORM{ behavior: url( #default#ZEQForm ); }\r\n";
constexpr char kHostNamespaces[] = "KESTO;KESTOX;ZEQ;";

// A task-memory wide copy of the concatenation (the control frees it).
wchar_t* TaskText(const char* first, const char* second) {
  const int a = lstrlenA(first);
  const int b = second ? lstrlenA(second) : 0;
  auto joined = static_cast<char*>(HeapAllocZ(static_cast<size_t>(a) + b + 1));
  CopyMemory(joined, first, a);
  if (b) CopyMemory(joined + a, second, b);
  const int wide = MultiByteToWideChar(CP_ACP, 0, joined, -1, nullptr, 0);
  auto text = static_cast<wchar_t*>(CoTaskMemAlloc(sizeof(wchar_t) * (wide > 0 ? wide : 1)));
  if (text) {
    text[0] = 0;
    if (wide > 0) MultiByteToWideChar(CP_ACP, 0, joined, -1, text, wide);
  }
  HeapFreeZ(joined);
  if (!text) throw std::bad_alloc();
  return text;
}

}  // namespace

CZEQRenderer* CZEQRenderer::Create(const ZEQContainerHolder& container, uint32_t windowFlags) {
  void* block = HeapAllocZ(sizeof(CZEQRenderer));
  return new (block) CZEQRenderer(container, windowFlags);
}

CZEQRenderer::CZEQRenderer(const ZEQContainerHolder& container, uint32_t windowFlags) {
  container_.ShareFrom(container);
  const bool own = OwnPages();
  hostFlags_ = own ? kZEQHostFlagsOwnPages : kZEQHostFlagsForeignPages;
  downloadControl_ = own ? kZEQDownloadControlOwnPages : kZEQDownloadControlForeignPages;
  if (!(windowFlags & WB_ALLOWSSCROLLBAR)) hostFlags_ |= DOCHOSTUIFLAG_SCROLL_NO;
}

CZEQRenderer::~CZEQRenderer() {
  ReleaseBrowser();
  if (hostDispatch_) hostDispatch_->Release();
  hostDispatch_ = nullptr;
}

bool CZEQRenderer::OwnPages() const {
  return container_.IsSet() && (container_->options & kZEQContainerOwnPages) != 0;
}

HWND CZEQRenderer::HostWindow() const { return container_.IsSet() ? container_->hostWindow : nullptr; }

HRESULT CZEQRenderer::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IWebBrowser2)) {
    return browser_ ? browser_->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IDispatchEx)) {
    if (hostDispatch_) return hostDispatch_->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *out = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
    *out = static_cast<IOleInPlaceSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleCommandTarget)) {
    *out = static_cast<IOleCommandTarget*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
    *out = static_cast<IOleInPlaceFrame*>(this);
  } else if (IsEqualIID(iid, IID_IOleControlSite)) {
    *out = static_cast<IOleControlSite*>(this);
  } else if (IsEqualIID(iid, IID_IDocHostUIHandler) || IsEqualIID(iid, IID_IDocHostUIHandler2)) {
    *out = static_cast<IDocHostUIHandler2*>(this);
  } else if (IsEqualIID(iid, IID_IDocHostShowUI)) {
    *out = static_cast<IDocHostShowUI*>(this);
  } else if (IsEqualIID(iid, IID_IServiceProvider)) {
    *out = static_cast<IServiceProvider*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CZEQRenderer::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CZEQRenderer::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left <= 0) {
    this->~CZEQRenderer();
    HeapFreeZ(this);
    return 0;
  }
  return static_cast<ULONG>(left);
}

HRESULT CZEQRenderer::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT CZEQRenderer::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  HWND host = HostWindow();
  if (!host || !IsWindow(host)) return S_FALSE;
  *window = host;
  return S_OK;
}

HRESULT CZEQRenderer::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                       LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (frame) {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
  }
  if (document) *document = nullptr;
  RECT client = {};
  HWND host = HostWindow();
  if (host) GetClientRect(host, &client);
  client.left = client.top = 0;
  if (position) *position = client;
  if (clip) *clip = client;
  if (info) {
    info->cb = sizeof(OLEINPLACEFRAMEINFO);
    info->fMDIApp = FALSE;
    info->hwndFrame = host;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

HRESULT CZEQRenderer::GetExtendedControl(IDispatch** out) {
  if (!out) return E_INVALIDARG;
  // The site's primary interface, as the control asked for it.
  *out = reinterpret_cast<IDispatch*>(static_cast<IOleClientSite*>(this));
  AddRef();
  return S_OK;
}

HRESULT CZEQRenderer::GetHostInfo(DOCHOSTUIINFO* info) {
  return ZEQGuardedComCall("CZEQRenderer::GetHostInfo", [&]() -> HRESULT {
    if (!info) return E_POINTER;
    info->cbSize = sizeof(DOCHOSTUIINFO);
    info->dwFlags = hostFlags_;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    const ZEQBASECONTAINER* record = container_.Get();
    info->pchHostCss = TaskText(kHostStyle, record ? record->hostStyle : nullptr);
    if (OwnPages()) {
      try {
        info->pchHostNS = TaskText(kHostNamespaces, record ? record->hostNamespaces : nullptr);
      } catch (...) {
        CoTaskMemFree(info->pchHostCss);
        info->pchHostCss = nullptr;
        throw;
      }
    }
    return S_OK;
  });
}

void ZEQOptionKeyPath(bool ownPages, char* buffer, size_t size) {
  if (!buffer || !size) return;
  snprintf(buffer, size, "SOFTWARE\\Orvane\\%s\\MSHTML\\%s", ZEQInstanceNameBuffer(),
           ownPages ? "ZEQ" : "WebBrowser");
}

HRESULT CZEQRenderer::GetOverrideKeyPath(LPOLESTR* path, DWORD) {
  return ZEQGuardedComCall("CZEQRenderer::GetOverrideKeyPath", [&]() -> HRESULT {
    if (!path) return S_OK;
    char text[1024];
    ZEQOptionKeyPath(OwnPages(), text, sizeof text);
    *path = TaskText(text, nullptr);
    return S_OK;
  });
}

HRESULT CZEQRenderer::GetOptionKeyPath(LPOLESTR* path, DWORD reserved) { return GetOverrideKeyPath(path, reserved); }

HRESULT CZEQRenderer::GetDropTarget(IDropTarget*, IDropTarget** target) {
  // The program's drop target belongs to the window layer's drag and drop;
  // until one is bound the control keeps its own.
  if (target) *target = nullptr;
  return E_NOTIMPL;
}

HRESULT CZEQRenderer::GetExternal(IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // window.external is the host dispatch object itself, reached as the
  // site's IDispatch: the page calls it directly, so it must be a real
  // IDispatch pointer, never another interface of the site.
  if (OwnPages() && hostDispatch_) return hostDispatch_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
  return S_OK;
}

HRESULT CZEQRenderer::ShowMessage(HWND, LPOLESTR text, LPOLESTR, DWORD, LPOLESTR, DWORD, LRESULT* result) {
  return ZEQGuardedComCall("CZEQRenderer::ShowMessage", [&]() -> HRESULT {
    if (!text) return S_FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return S_FALSE;
    auto narrow = static_cast<char*>(HeapAllocZ(static_cast<size_t>(bytes)));
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, bytes, nullptr, nullptr);
    const float similarity = EngineMessageSimilarity(narrow);
    HeapFreeZ(narrow);
    // The engine's own complaints are answered "no" without being shown;
    // everything else is shown by the control.
    if (similarity < 0.75f) return S_FALSE;
    if (result) *result = IDNO;
    return S_OK;
  });
}

HRESULT CZEQRenderer::QueryService(REFGUID service, REFIID iid, void** out) {
  return ZEQGuardedComCall("CZEQRenderer::QueryService",
                           [&]() -> HRESULT { return ZEQQueryBrowserService(this, service, iid, out); });
}

void CZEQRenderer::SetHostDispatch(IDispatch* dispatch) {
  if (dispatch) dispatch->AddRef();
  if (hostDispatch_) hostDispatch_->Release();
  hostDispatch_ = dispatch;
}

void CZEQRenderer::SetBrowser(IUnknown* browser, DWORD cookie) {
  if (browser) browser->AddRef();
  ReleaseBrowser();
  browser_ = browser;
  browserCookie_ = cookie;
  browserThread_ = GetCurrentThreadId();
}

void CZEQRenderer::ReleaseBrowser() {
  if (browserCookie_) RevokeGITCookie(browserCookie_);
  browserCookie_ = 0;
  if (browser_) browser_->Release();
  browser_ = nullptr;
}

IWebBrowser2* CZEQRenderer::GetWebBrowser2() {
  IWebBrowser2* web = nullptr;
  HWND host = HostWindow();
  const bool ownThread = host ? GetWindowThreadProcessId(host, nullptr) == GetCurrentThreadId()
                              : browserThread_ == GetCurrentThreadId();
  if (ownThread) {
    if (browser_) browser_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web));
    return web;
  }
  if (IUnknown* fetched = GetInterfaceFromGIT(browserCookie_)) {
    fetched->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web));
    fetched->Release();
  }
  return web;
}

int CZEQRenderer::DoVerb(LONG verb) {
  IOleObject* object = nullptr;
  if (!browser_ || FAILED(browser_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object))) || !object) {
    return 0;
  }
  HWND host = HostWindow();
  if (host) GetClientRect(host, &siteRect_);
  object->DoVerb(verb, nullptr, static_cast<IOleClientSite*>(this), 0, host, &siteRect_);
  object->Release();
  return 1;
}

int CZEQRenderer::DoVerbShow() { return DoVerb(OLEIVERB_SHOW); }
int CZEQRenderer::DoVerbInPlaceActivate() { return DoVerb(OLEIVERB_INPLACEACTIVATE); }

int CZEQRenderer::TranslateAcceleratorFilter(MSG message) {
  if (!browser_) return 1;
  const bool own = OwnPages();
  const WPARAM key = message.wParam;
  if (own && key == VK_F5) return 1;
  if (GetAsyncKeyState(VK_CONTROL) & 0x8000) {
    if (key == 'L') return 1;
    if (own && (key == 'N' || key == 'P' || key == VK_ADD || key == VK_SUBTRACT)) return 1;
  }
  IOleInPlaceActiveObject* active = nullptr;
  if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active))) || !active) {
    return 1;
  }
  const HRESULT hr = active->TranslateAccelerator(&message);
  active->Release();
  return hr == S_OK ? 0 : 1;
}
