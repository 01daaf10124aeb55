// The document host's browser object: what a container sees of the
// platform's web-browser control (navigation, the current document, in-place
// activation in the container's window, and DWebBrowserEvents2).
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <oleidl.h>

#include <string>
#include <vector>

#include "document.h"

namespace dochost {

class Browser;

// The DWebBrowserEvents2 connection point; lives inside its browser.
class EventPoint final : public IConnectionPoint {
 public:
  explicit EventPoint(Browser* owner) : owner_(owner) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

  // Calls every sink; arguments in DISPPARAMS order (last parameter first).
  void Fire(DISPID id, VARIANT* args, UINT count);
  void Clear();

 private:
  Browser* owner_;
  std::vector<std::pair<DWORD, Ref<IDispatch>>> sinks_;
  DWORD next_cookie_ = 1;
};

class Browser final : public IWebBrowser2NotImpl,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IPersistStreamInit,
                      public IConnectionPointContainer,
                      public IServiceProvider,
                      public DocumentHost {
 public:
  Browser();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, from the platform's type library of the browser control.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** ti) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* res,
                                   EXCEPINFO* ei, UINT* argerr) override;
  // IWebBrowser, IWebBrowserApp, IWebBrowser2
  HRESULT STDMETHODCALLTYPE GoBack() override;
  HRESULT STDMETHODCALLTYPE GoForward() override;
  HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* post,
                                     VARIANT* headers) override;
  HRESULT STDMETHODCALLTYPE Refresh() override;
  HRESULT STDMETHODCALLTYPE Refresh2(VARIANT* level) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE get_Application(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE get_Container(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE get_Type(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_LocationName(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE Quit() override;
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* p) override;
  HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* url, VARIANT* flags, VARIANT* frame, VARIANT* post,
                                      VARIANT* headers) override;
  HRESULT STDMETHODCALLTYPE QueryStatusWB(OLECMDID cmd, OLECMDF* p) override;
  HRESULT STDMETHODCALLTYPE ExecWB(OLECMDID cmd, OLECMDEXECOPT opt, VARIANT* in, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* p) override;
  HRESULT STDMETHODCALLTYPE get_Offline(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_Offline(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_RegisterAsBrowser(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_RegisterAsBrowser(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL v) override;

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD save) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* mk) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** mk) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                                   LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** e) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* pal) override;
  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT rect, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  // IPersistStreamInit
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clear_dirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** e) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** cp) override;
  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;

  // DocumentHost
  IOleClientSite* ClientSite() override { return site_.Get(); }
  void TitleChanged(const std::wstring& title) override;
  void StatusTextChanged(const std::wstring& text) override;
  HRESULT OpenNewWindow(const std::wstring& url, IHTMLWindow2** out) override;
  void CloseRequested() override;
  SIZE ViewSize() override;

  // Message-window callbacks.
  void OnNavigateMessage(LONG serial);
  void OnCloseMessage();
  void OnServerClick(int x, int y);

 private:
  ~Browser();
  IDispatch* Self() { return static_cast<IWebBrowser2*>(this); }
  void LoadDocument(const std::wstring& url, LONG serial);
  void EndDocument();
  bool StartWindows(HWND parent, const RECT& pos);
  void DestroyWindows();
  void FireUrlEvent(DISPID id, const std::wstring& url);
  void FireTextEvent(DISPID id, const std::wstring& text);
  void FireNoArgs(DISPID id);

  LONG ref_ = 1;
  EventPoint point_;
  Ref<IOleClientSite> site_;
  Ref<Document> document_;
  HWND msg_hwnd_ = nullptr;
  HWND embedding_ = nullptr;
  HWND view_ = nullptr;
  HWND server_ = nullptr;
  RECT pos_{0, 0, 0, 0};
  SIZEL extent_{0, 0};
  std::wstring location_url_;
  std::wstring pending_url_;
  LONG nav_serial_ = 0;
  bool busy_ = false;
  READYSTATE ready_state_ = READYSTATE_UNINITIALIZED;
  bool in_place_ = false;
  bool silent_ = false, offline_ = false, visible_ = true;
  bool register_as_browser_ = false, register_as_drop_target_ = true;
  bool close_pending_ = false;
};

}  // namespace dochost
