// The browser site: the client site of a container's web-browser control,
// through which the control asks for its window, frame, host settings,
// external object and services, and through which the host shows it. The
// pages of a container with WB_ALLOWSZEQ ("zeq" option) get no 3-D border,
// flat scroll bars, UTF-8 URLs, the program's XML namespaces, a default form
// behavior and window.external bound to the host dispatch object.
#pragma once
#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <servprov.h>

#include <cstdint>

#include "windows/records.h"

// Host flags and download control of a container that shows the program's
// own pages, and of one that shows foreign pages.
constexpr DWORD kZEQHostFlagsOwnPages = 0x0C012094;
constexpr DWORD kZEQHostFlagsForeignPages = 0x0C876096;
constexpr DWORD kZEQDownloadControlOwnPages = 0x44070;
constexpr DWORD kZEQDownloadControlForeignPages = 0x42070;
constexpr uint32_t kZEQContainerOwnPages = 0x100000;  // WB_ALLOWSZEQ

class CZEQRenderer final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleCommandTarget,
                           public IOleInPlaceFrame,
                           public IOleControlSite,
                           public IDocHostUIHandler2,
                           public IDocHostShowUI,
                           public IServiceProvider {
 public:
  // One reference for the caller; shares the container.
  static CZEQRenderer* Create(const ZEQContainerHolder& container, uint32_t windowFlags);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow (shared by the in-place site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
  // IOleCommandTarget
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override {
    return OLECMDERR_E_UNKNOWNGROUP;
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD options, VARIANT* in, VARIANT* out) override;
  // IOleInPlaceUIWindow, IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }
  // IOleControlSite
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }
  // IDocHostUIHandler2
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD menu, POINT* point, IUnknown* target, IDispatch* element) override;
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                   IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* path, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override;
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject**) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetOverrideKeyPath(LPOLESTR* path, DWORD reserved) override;
  // IDocHostShowUI
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND, LPOLESTR text, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                        LRESULT* result) override;
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return S_OK; }
  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;

  // Set by the container's creator. The site keeps a reference to each.
  void SetHostDispatch(IDispatch* dispatch);
  void SetBrowser(IUnknown* browser, DWORD cookie);
  // Drops the browser (teardown); the site stays for whoever holds it.
  void ReleaseBrowser();

  // The control's IWebBrowser2 for the calling thread (one reference).
  IWebBrowser2* GetWebBrowser2();
  // IOleObject::DoVerb with OLEIVERB_SHOW or OLEIVERB_INPLACEACTIVATE; 1
  // when the browser offers IOleObject.
  int DoVerbShow();
  int DoVerbInPlaceActivate();
  // 0 when the browser translated the message, 1 otherwise (also for the
  // held-back keys: refresh, location, new window, print and zoom).
  int TranslateAcceleratorFilter(MSG message);

  DWORD HostFlags() const { return hostFlags_; }
  DWORD DownloadControl() const { return downloadControl_; }
  // The browser's Global Interface Table cookie (0: none).
  DWORD BrowserCookie() const { return browserCookie_; }
  // The connection of the container's event sink to the browser (0: none).
  void SetEventCookie(DWORD cookie) { eventCookie_ = cookie; }
  DWORD EventCookie() const { return eventCookie_; }
  const ZEQContainerHolder& Container() const { return container_; }
  IDispatch* HostDispatch() const { return hostDispatch_; }

 private:
  CZEQRenderer(const ZEQContainerHolder& container, uint32_t windowFlags);
  ~CZEQRenderer();
  HWND HostWindow() const;
  bool OwnPages() const;
  int DoVerb(LONG verb);

  volatile LONG references_ = 1;
  ZEQContainerHolder container_;
  IDispatch* hostDispatch_ = nullptr;
  RECT siteRect_ = {};
  DWORD browserCookie_ = 0;
  DWORD eventCookie_ = 0;
  IUnknown* browser_ = nullptr;
  DWORD browserThread_ = 0;
  DWORD hostFlags_ = 0;
  DWORD downloadControl_ = 0;
};

// The option key path of a container: "SOFTWARE\Orvane\<instance>\MSHTML\ZEQ"
// for one that shows the program's pages, "...\MSHTML\WebBrowser" otherwise.
void ZEQOptionKeyPath(bool ownPages, char* buffer, size_t size);

// How close a text is to the browser engine's own message text (0 to 1):
// the longest common subsequence over the engine text's length.
float EngineMessageSimilarity(const char* text);
// The engine's message text (set at browser start).
void ZEQSetEngineMessageText(const char* text);
const char* ZEQEngineMessageText();

// 1 when a navigation of the container is allowed (see the renderer's
// source); 0 with a log line otherwise.
int ZEQIBCCheckRenavigation(ZEQContainerHolder container);
// The DPI zoom of the screen, stored in the container; posts
// "CMSG_ZEQIBCZOOM" to its host window; 1.
int IBCApplyDPIZoom(ZEQContainerHolder container);
