// A container for the document host's browser in tests: client site with the
// UI handler, command target and dialogs, an event sink that records the
// browser's events, a native object for window.external, page files in a
// temporary folder, and bounded message pumping.
#pragma once
#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>

#include <functional>
#include <string>
#include <vector>

namespace dochost_test {

// Pumps messages until pred() holds or the time runs out; pred's last value.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeout_ms = 5000);

// A folder of page files removed at destruction.
class PageFolder {
 public:
  PageFolder();
  ~PageFolder();
  std::wstring Write(const std::wstring& name, const std::string& content);
  std::wstring Url(const std::wstring& name) const;
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

// window.external: Record(values...) keeps its arguments as text; Twice(n)
// answers 2n.
class NativeObject : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++ref_; }
  ULONG STDMETHODCALLTYPE Release() override { return --ref_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* res, EXCEPINFO*,
                                   UINT*) override;
  std::vector<std::wstring> recorded;

 private:
  ULONG ref_ = 1;
};

struct ScriptErrorReport {
  long line = 0;
  long character = 0;
  std::wstring message;
  std::wstring url;
};

class TestSite : public IOleClientSite,
                 public IOleInPlaceSite,
                 public IDocHostUIHandler,
                 public IDocHostShowUI,
                 public IOleCommandTarget,
                 public IServiceProvider {
 public:
  explicit TestSite(HWND hwnd = nullptr) : hwnd_(hwnd) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++ref_; }
  ULONG STDMETHODCALLTYPE Release() override { return --ref_; }  // owned by the test
  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow, IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* h) override {
    *h = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
  // IDocHostUIHandler
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                   IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject**) override { return S_OK; }
  // IDocHostShowUI
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND, LPOLESTR text, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                        LRESULT* result) override;
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return S_OK; }
  // IOleCommandTarget
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override {
    return OLECMDERR_E_UNKNOWNGROUP;
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD id, DWORD opt, VARIANT* in, VARIANT* out) override;
  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID, void** out) override {
    services.push_back(service);
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }

  NativeObject external;
  std::vector<std::wstring> messages;
  std::vector<ScriptErrorReport> errors;
  std::vector<GUID> services;  // asked of QueryService, in order

 private:
  ULONG ref_ = 1;
  HWND hwnd_;
};

struct RecordedEvent {
  DISPID id;
  std::wstring text;  // URL or title
};

class EventSink : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++ref_; }
  ULONG STDMETHODCALLTYPE Release() override { return --ref_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*,
                                   UINT*) override;
  bool Has(DISPID id) const;
  size_t IndexOf(DISPID id) const;  // first occurrence, or npos

  std::vector<RecordedEvent> events;
  bool cancel_navigation = false;
  bool cancel_close = false;
  IDispatch* new_window_target = nullptr;  // handed to NewWindow3 when set

 private:
  ULONG ref_ = 1;
};

// A browser of the document host with a site and a connected sink.
class Harness {
 public:
  explicit Harness(HWND hwnd = nullptr);
  ~Harness();
  // Navigates and waits for DocumentComplete (or NavigateError).
  bool Load(const std::wstring& url);
  IHTMLDocument2* Doc();  // current document; the reference stays with the harness
  IHTMLDocument3* Doc3();
  // A global of the page's script through document.Script.
  std::wstring Global(const std::wstring& name);
  HRESULT Exec(const std::wstring& code);  // window.execScript
  // getElementById of the current document; one reference for the caller.
  IHTMLElement* ById(const wchar_t* id);

  IWebBrowser2* browser = nullptr;
  TestSite site;
  EventSink sink;

 private:
  DWORD cookie_ = 0;
  IHTMLDocument2* doc_ = nullptr;
  IHTMLDocument3* doc3_ = nullptr;
};

std::wstring VariantString(const VARIANT* v);

}  // namespace dochost_test
