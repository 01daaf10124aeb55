#include "browser.h"

#include <exdispid.h>
#include <mshtmhst.h>
#include <shlguid.h>

#include <mutex>

#include "dochost/dochost.h"
#include "foundation/com_guard.h"
#include "html_tree.h"
#include "script_engine.h"
#include "url_loader.h"
#include "window_classes.h"

namespace dochost {
namespace {

constexpr UINT kMsgNavigate = WM_APP + 1;
constexpr UINT kMsgClose = WM_APP + 2;
// Window classes of the platform's control, which the system looks for by name.
const wchar_t kEmbeddingClass[] = L"Shell Embedding";
const wchar_t kViewClass[] = L"Shell DocObject View";
const wchar_t kServerClass[] = L"Internet Explorer_Server";

HINSTANCE ModuleInstance();

LRESULT CALLBACK MessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) try {
  Browser* b = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (b && msg == kMsgNavigate) {
    b->OnNavigateMessage(static_cast<LONG>(wp));
    return 0;
  }
  if (b && msg == kMsgClose) {
    b->OnCloseMessage();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
} ZEQ_CALLBACK_CATCH("MessageProc", 0)

// The embedding and view windows keep their only child as large as themselves.
LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SIZE) {
    if (HWND child = GetWindow(hwnd, GW_CHILD)) MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ServerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) try {
  if (msg == WM_LBUTTONUP) {
    if (Browser* b = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
      b->OnServerClick(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
} ZEQ_CALLBACK_CATCH("ServerProc", 0)

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&MessageProc), &module);
  return module;
}

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSW wc{};
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpfnWndProc = MessageProc;
    wc.lpszClassName = kBrowserMessageClass;
    RegisterClassW(&wc);
    wc.lpfnWndProc = FrameProc;
    wc.lpszClassName = kEmbeddingClass;
    RegisterClassW(&wc);
    wc.lpszClassName = kViewClass;
    RegisterClassW(&wc);
    wc.lpfnWndProc = ServerProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kServerClass;
    RegisterClassW(&wc);
  });
}

ITypeInfo* BrowserTypeInfo() {
  static ITypeInfo* info = [] {
    ITypeLib* lib = nullptr;
    ITypeInfo* ti = nullptr;
    if (SUCCEEDED(LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, &lib))) {
      ITypeInfo* disp = nullptr;
      if (SUCCEEDED(lib->GetTypeInfoOfGuid(IID_IWebBrowser2, &disp))) {
        HREFTYPE href = 0;
        if (FAILED(disp->GetRefTypeOfImplType(static_cast<UINT>(-1), &href)) ||
            FAILED(disp->GetRefTypeInfo(href, &ti))) {
          ti = disp;
          disp = nullptr;
        }
        if (disp) disp->Release();
      }
      lib->Release();
    }
    return ti;
  }();
  return info;
}

VARIANT ByRef(VARIANT* target) {
  VARIANT v;
  V_VT(&v) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&v) = target;
  return v;
}

}  // namespace

// ---- EventPoint

HRESULT EventPoint::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
  *out = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("EventPoint::QueryInterface")

ULONG EventPoint::AddRef() { return owner_->AddRef(); }
ULONG EventPoint::Release() { return owner_->Release(); }

HRESULT EventPoint::GetConnectionInterface(IID* iid) try {
  if (!iid) return E_POINTER;
  *iid = DIID_DWebBrowserEvents2;
  return S_OK;
} ZEQ_COM_CATCH("EventPoint::GetConnectionInterface")

HRESULT EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) try {
  if (!out) return E_POINTER;
  *out = static_cast<IConnectionPointContainer*>(owner_);
  (*out)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("EventPoint::GetConnectionPointContainer")

HRESULT EventPoint::Advise(IUnknown* sink, DWORD* cookie) try {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  Ref<IDispatch> disp;
  if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, disp.OutVoid())) || !disp)
    sink->QueryInterface(IID_IDispatch, disp.OutVoid());
  if (!disp) return CONNECT_E_CANNOTCONNECT;
  *cookie = next_cookie_++;
  sinks_.emplace_back(*cookie, disp);
  return S_OK;
} ZEQ_COM_CATCH("EventPoint::Advise")

HRESULT EventPoint::Unadvise(DWORD cookie) try {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->first == cookie) {
      Ref<IDispatch> keep = it->second;  // released after the list is consistent
      sinks_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
} ZEQ_COM_CATCH("EventPoint::Unadvise")

HRESULT EventPoint::EnumConnections(IEnumConnections** out) try {
  if (out) *out = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("EventPoint::EnumConnections")

void EventPoint::Fire(DISPID id, VARIANT* args, UINT count) {
  // A sink may unadvise or navigate while it runs: call a copy of the list.
  std::vector<Ref<IDispatch>> sinks;
  for (auto& s : sinks_) sinks.push_back(s.second);
  for (auto& s : sinks) {
    DISPPARAMS dp{args, nullptr, count, 0};
    s->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);
  }
}

void EventPoint::Clear() {
  std::vector<std::pair<DWORD, Ref<IDispatch>>> old;
  old.swap(sinks_);
}

// ---- Browser

Browser::Browser() : point_(this) {
  RegisterClasses();
  msg_hwnd_ = CreateWindowExW(0, kBrowserMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
  if (msg_hwnd_) SetWindowLongPtrW(msg_hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Browser::~Browser() {
  // Unload handlers may take and drop references while the document ends.
  ref_ = 1 << 20;
  EndDocument();
  point_.Clear();
  DestroyWindows();
  if (msg_hwnd_) {
    SetWindowLongPtrW(msg_hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(msg_hwnd_);
  }
  site_.Reset();
}

HRESULT Browser::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
      iid == IID_IWebBrowser2)
    *out = static_cast<IWebBrowser2*>(this);
  else if (iid == IID_IOleObject)
    *out = static_cast<IOleObject*>(this);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
    *out = static_cast<IOleInPlaceObject*>(this);
  else if (iid == IID_IOleInPlaceActiveObject)
    *out = static_cast<IOleInPlaceActiveObject*>(this);
  else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
    *out = static_cast<IPersistStreamInit*>(this);
  else if (iid == IID_IConnectionPointContainer)
    *out = static_cast<IConnectionPointContainer*>(this);
  else if (iid == IID_IServiceProvider)
    *out = static_cast<IServiceProvider*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Browser::QueryInterface")

ULONG Browser::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }

ULONG Browser::Release() {
  LONG r = InterlockedDecrement(&ref_);
  if (r == 0) delete this;
  return static_cast<ULONG>(r);
}

HRESULT Browser::GetTypeInfoCount(UINT* n) try {
  if (!n) return E_POINTER;
  *n = BrowserTypeInfo() ? 1 : 0;
  return S_OK;
} ZEQ_COM_CATCH("Browser::GetTypeInfoCount")

HRESULT Browser::GetTypeInfo(UINT i, LCID, ITypeInfo** ti) try {
  if (!ti) return E_POINTER;
  *ti = nullptr;
  if (i != 0) return DISP_E_BADINDEX;
  ITypeInfo* info = BrowserTypeInfo();
  if (!info) return E_NOTIMPL;
  info->AddRef();
  *ti = info;
  return S_OK;
} ZEQ_COM_CATCH("Browser::GetTypeInfo")

HRESULT Browser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID, DISPID* ids) try {
  ITypeInfo* info = BrowserTypeInfo();
  return info ? info->GetIDsOfNames(names, n, ids) : E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::GetIDsOfNames")

HRESULT Browser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* res, EXCEPINFO* ei,
                        UINT* argerr) try {
  ITypeInfo* info = BrowserTypeInfo();
  return info ? info->Invoke(static_cast<IWebBrowser2*>(this), id, flags, dp, res, ei, argerr) : E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::Invoke")

// ---- Navigation

HRESULT Browser::GoBack() try { return E_FAIL; } ZEQ_COM_CATCH("Browser::GoBack")
HRESULT Browser::GoForward() try { return E_FAIL; } ZEQ_COM_CATCH("Browser::GoForward")

HRESULT Browser::Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* post, VARIANT* headers) try {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = url;
  return Navigate2(&v, flags, frame, post, headers);
} ZEQ_COM_CATCH("Browser::Navigate")

HRESULT Browser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* frame, VARIANT* post, VARIANT* headers) try {
  if (!url) return E_INVALIDARG;
  std::wstring target = NormalizeUrl(Trim(VariantText(url)));
  if (target.empty()) return E_INVALIDARG;
  Ref<IWebBrowser2> keep(this);
  // BeforeNavigate2 comes first, inside the call, and may cancel.
  Var v_url, v_flags, v_frame, v_post, v_headers;
  SetVariantString(v_url.Get(), target);
  V_VT(v_flags.Get()) = VT_I4;
  V_I4(v_flags.Get()) = flags ? VariantLong(flags, 0) : 0;
  SetVariantString(v_frame.Get(), frame ? VariantText(frame) : std::wstring());
  if (post && V_VT(post) != VT_EMPTY && V_VT(post) != VT_ERROR) VariantCopyInd(v_post.Get(), post);
  SetVariantString(v_headers.Get(), headers ? VariantText(headers) : std::wstring());
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT args[7];
  V_VT(&args[6]) = VT_DISPATCH;
  V_DISPATCH(&args[6]) = Self();
  args[5] = ByRef(v_url.Get());
  args[4] = ByRef(v_flags.Get());
  args[3] = ByRef(v_frame.Get());
  args[2] = ByRef(v_post.Get());
  args[1] = ByRef(v_headers.Get());
  V_VT(&args[0]) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&args[0]) = &cancel;
  point_.Fire(DISPID_BEFORENAVIGATE2, args, 7);
  if (cancel != VARIANT_FALSE) return S_OK;
  // The rest of the navigation runs from the message loop, as the control's does.
  pending_url_ = target;
  LONG serial = ++nav_serial_;
  busy_ = true;
  ready_state_ = READYSTATE_LOADING;
  FireNoArgs(DISPID_DOWNLOADBEGIN);
  if (!msg_hwnd_ || !PostMessageW(msg_hwnd_, kMsgNavigate, static_cast<WPARAM>(serial), 0))
    LoadDocument(target, serial);
  return S_OK;
} ZEQ_COM_CATCH("Browser::Navigate2")

void Browser::OnNavigateMessage(LONG serial) {
  if (serial != nav_serial_) return;  // stopped or superseded
  LoadDocument(pending_url_, serial);
}

void Browser::LoadDocument(const std::wstring& url, LONG serial) {
  Ref<IWebBrowser2> keep(this);
  try {
    std::string bytes;
    HRESULT hr = S_OK;
    if (Lower(url).compare(0, 6, L"about:") != 0) hr = LoadUrlBytes(url, &bytes);
    if (serial != nav_serial_) return;
    if (FAILED(hr)) {
      Var v_url, v_frame, v_status;
      SetVariantString(v_url.Get(), url);
      SetVariantString(v_frame.Get(), L"");
      V_VT(v_status.Get()) = VT_I4;
      V_I4(v_status.Get()) = hr;
      VARIANT_BOOL cancel = VARIANT_FALSE;
      VARIANT args[5];
      V_VT(&args[4]) = VT_DISPATCH;
      V_DISPATCH(&args[4]) = Self();
      args[3] = ByRef(v_url.Get());
      args[2] = ByRef(v_frame.Get());
      args[1] = ByRef(v_status.Get());
      V_VT(&args[0]) = VT_BOOL | VT_BYREF;
      V_BOOLREF(&args[0]) = &cancel;
      busy_ = false;
      ready_state_ = READYSTATE_COMPLETE;
      point_.Fire(DISPID_NAVIGATEERROR, args, 5);
      FireNoArgs(DISPID_DOWNLOADCOMPLETE);
      return;
    }
    EndDocument();
    Ref<Document> doc = Ref<Document>::Adopt(new Document(this, url));
    document_ = doc;
    location_url_ = url;
    if (Element* root = ParseDocumentTree(doc.Get(), WideToUtf8(DecodeText(bytes)))) {
      doc->SetRoot(root);
      root->Release();
    }
    doc->LoadFrames();
    ready_state_ = READYSTATE_INTERACTIVE;
    FireUrlEvent(DISPID_NAVIGATECOMPLETE2, url);
    if (document_.Get() != doc.Get()) return;
    std::wstring title = doc->Title();
    FireTextEvent(DISPID_TITLECHANGE, title.empty() ? url : title);
    if (document_.Get() != doc.Get()) return;
    doc->SetReadyState(L"interactive");
    // The body's onload attribute is the window's load handler.
    Element* body = doc->Body();
    if (body && body->FindAttr(L"onload") && doc->Win() && doc->Win()->Engine()) {
      Ref<IDispatch> fn;
      if (SUCCEEDED(doc->Win()->Engine()->CompileHandler(body->AttrText(L"onload"), L"onload", fn.Out()))) {
        VARIANT f;
        V_VT(&f) = VT_DISPATCH;
        V_DISPATCH(&f) = fn.Get();
        doc->Win()->Core().SetEventProperty(L"onload", &f);
      }
    }
    doc->RunScripts();
    if (document_.Get() != doc.Get() || doc->Closed()) return;
    doc->SetReadyState(L"complete");
    ready_state_ = READYSTATE_COMPLETE;
    Ref<EventObj> ev = Ref<EventObj>::Adopt(new EventObj());
    DispatchWindowEvent(doc->Win(), L"onload", ev.Get(), nullptr, 0, nullptr);
    if (document_.Get() != doc.Get()) return;
    busy_ = false;
    FireNoArgs(DISPID_DOWNLOADCOMPLETE);
    FireUrlEvent(DISPID_DOCUMENTCOMPLETE, url);
  } catch (...) {
    // Out of memory while loading: the navigation ends where it stood.
    busy_ = false;
    ready_state_ = READYSTATE_COMPLETE;
  }
}

void Browser::EndDocument() {
  if (!document_) return;
  Ref<Document> doc = document_;
  document_.Reset();
  doc->Close();
}

HRESULT Browser::Refresh() try {
  if (location_url_.empty()) return S_OK;
  pending_url_ = location_url_;
  LONG serial = ++nav_serial_;
  busy_ = true;
  ready_state_ = READYSTATE_LOADING;
  if (!msg_hwnd_ || !PostMessageW(msg_hwnd_, kMsgNavigate, static_cast<WPARAM>(serial), 0))
    LoadDocument(pending_url_, serial);
  return S_OK;
} ZEQ_COM_CATCH("Browser::Refresh")

HRESULT Browser::Refresh2(VARIANT*) try { return Refresh(); } ZEQ_COM_CATCH("Browser::Refresh2")

HRESULT Browser::Stop() try {
  ++nav_serial_;
  if (busy_) {
    busy_ = false;
    ready_state_ = document_ ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
  }
  return S_OK;
} ZEQ_COM_CATCH("Browser::Stop")

HRESULT Browser::Quit() try {
  ++nav_serial_;
  EndDocument();
  busy_ = false;
  return S_OK;
} ZEQ_COM_CATCH("Browser::Quit")

HRESULT Browser::get_Application(IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = Self();
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_Application")

HRESULT Browser::get_Parent(IDispatch** p) try { return get_Application(p); } ZEQ_COM_CATCH("Browser::get_Parent")

HRESULT Browser::get_Container(IDispatch** p) try {
  if (p) *p = nullptr;
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_Container")

HRESULT Browser::get_Document(IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = document_ ? static_cast<IDispatchEx*>(document_.Get()) : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_Document")

HRESULT Browser::get_TopLevelContainer(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_TopLevelContainer")

HRESULT Browser::get_Type(BSTR* p) try { return ReturnBstr(L"HTML Document", p); } ZEQ_COM_CATCH("Browser::get_Type")

HRESULT Browser::get_LocationName(BSTR* p) try {
  std::wstring title = document_ ? document_->Title() : std::wstring();
  return ReturnBstr(title.empty() ? location_url_ : title, p);
} ZEQ_COM_CATCH("Browser::get_LocationName")

HRESULT Browser::get_LocationURL(BSTR* p) try { return ReturnBstr(location_url_, p); } ZEQ_COM_CATCH("Browser::get_LocationURL")

HRESULT Browser::get_Busy(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = busy_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_Busy")

HRESULT Browser::get_HWND(SHANDLE_PTR* p) try {
  if (!p) return E_POINTER;
  *p = reinterpret_cast<SHANDLE_PTR>(embedding_);
  return embedding_ ? S_OK : E_FAIL;
} ZEQ_COM_CATCH("Browser::get_HWND")

HRESULT Browser::get_Visible(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_Visible")

HRESULT Browser::put_Visible(VARIANT_BOOL v) try {
  visible_ = v != VARIANT_FALSE;
  if (embedding_) ShowWindow(embedding_, visible_ ? SW_SHOW : SW_HIDE);
  return S_OK;
} ZEQ_COM_CATCH("Browser::put_Visible")

HRESULT Browser::QueryStatusWB(OLECMDID, OLECMDF* p) try {
  if (!p) return E_POINTER;
  *p = OLECMDF_SUPPORTED;
  return S_OK;
} ZEQ_COM_CATCH("Browser::QueryStatusWB")

HRESULT Browser::ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) try { return S_OK; } ZEQ_COM_CATCH("Browser::ExecWB")

HRESULT Browser::get_ReadyState(READYSTATE* p) try {
  if (!p) return E_POINTER;
  *p = ready_state_;
  return S_OK;
} ZEQ_COM_CATCH("Browser::get_ReadyState")

#define ZEQ_BOOL_PROPERTY(name, field)             \
  HRESULT Browser::get_##name(VARIANT_BOOL* p) {   \
    if (!p) return E_POINTER;                      \
    *p = field ? VARIANT_TRUE : VARIANT_FALSE;     \
    return S_OK;                                   \
  }                                                \
  HRESULT Browser::put_##name(VARIANT_BOOL v) {    \
    field = v != VARIANT_FALSE;                    \
    return S_OK;                                   \
  }
ZEQ_BOOL_PROPERTY(Offline, offline_)
ZEQ_BOOL_PROPERTY(Silent, silent_)
ZEQ_BOOL_PROPERTY(RegisterAsBrowser, register_as_browser_)
ZEQ_BOOL_PROPERTY(RegisterAsDropTarget, register_as_drop_target_)
#undef ZEQ_BOOL_PROPERTY

// ---- Events raised for the document

void Browser::FireUrlEvent(DISPID id, const std::wstring& url) {
  Var v_url;
  SetVariantString(v_url.Get(), url);
  VARIANT args[2];
  V_VT(&args[1]) = VT_DISPATCH;
  V_DISPATCH(&args[1]) = Self();
  args[0] = ByRef(v_url.Get());
  point_.Fire(id, args, 2);
}

void Browser::FireTextEvent(DISPID id, const std::wstring& text) {
  Bstr b(text);
  VARIANT arg;
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = b.Get();
  point_.Fire(id, &arg, 1);
}

void Browser::FireNoArgs(DISPID id) { point_.Fire(id, nullptr, 0); }

void Browser::TitleChanged(const std::wstring& title) { FireTextEvent(DISPID_TITLECHANGE, title); }

void Browser::StatusTextChanged(const std::wstring& text) { FireTextEvent(DISPID_STATUSTEXTCHANGE, text); }

HRESULT Browser::OpenNewWindow(const std::wstring& url, IHTMLWindow2** out) try {
  *out = nullptr;
  Ref<IWebBrowser2> keep(this);
  std::wstring full = CombineUrl(location_url_, url.empty() ? L"about:blank" : url);
  IDispatch* target = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Bstr context(location_url_), address(full);
  VARIANT args[5];
  V_VT(&args[4]) = VT_DISPATCH | VT_BYREF;
  V_DISPATCHREF(&args[4]) = &target;
  V_VT(&args[3]) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&args[3]) = &cancel;
  V_VT(&args[2]) = VT_UI4;
  V_UI4(&args[2]) = 0x40000;  // NWMF_SUGGESTWINDOW: opened by script
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = context.Get();
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = address.Get();
  point_.Fire(DISPID_NEWWINDOW3, args, 5);
  Ref<IDispatch> given = Ref<IDispatch>::Adopt(target);
  // Only a browser that the sink hands over can take the page: this object
  // has no top-level window of its own to open.
  if (cancel != VARIANT_FALSE || !given) return S_OK;
  Ref<IWebBrowser2> other = given.As<IWebBrowser2>(IID_IWebBrowser2);
  if (!other) return S_OK;
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = address.Get();
  other->Navigate2(&v, nullptr, nullptr, nullptr, nullptr);
  Ref<IDispatch> doc;
  if (SUCCEEDED(other->get_Document(doc.Out())) && doc) {
    Ref<IHTMLDocument2> doc2 = doc.As<IHTMLDocument2>(IID_IHTMLDocument2);
    if (doc2) doc2->get_parentWindow(out);
  }
  return S_OK;
} ZEQ_COM_CATCH("Browser::OpenNewWindow")

void Browser::CloseRequested() {
  if (close_pending_) return;
  Ref<IWebBrowser2> keep(this);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT args[2];
  V_VT(&args[1]) = VT_BOOL;
  V_BOOL(&args[1]) = VARIANT_FALSE;  // not a child window
  V_VT(&args[0]) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&args[0]) = &cancel;
  point_.Fire(DISPID_WINDOWCLOSING, args, 2);
  if (cancel != VARIANT_FALSE) return;
  // The page's script is still running: the document ends after it returns.
  close_pending_ = true;
  if (!msg_hwnd_ || !PostMessageW(msg_hwnd_, kMsgClose, 0, 0)) close_pending_ = false;
}

void Browser::OnCloseMessage() {
  close_pending_ = false;
  Ref<IWebBrowser2> keep(this);
  ++nav_serial_;
  EndDocument();
}

SIZE Browser::ViewSize() {
  SIZE s{pos_.right - pos_.left, pos_.bottom - pos_.top};
  if (server_) {
    RECT r;
    GetClientRect(server_, &r);
    s.cx = r.right;
    s.cy = r.bottom;
  }
  return s;
}

void Browser::OnServerClick(int x, int y) {
  if (!document_) return;
  Ref<Document> doc = document_;
  Ref<IHTMLElement> hit;
  if (FAILED(doc->elementFromPoint(x, y, hit.Out())) || !hit) return;
  hit->click();
}

// ---- IOleObject

HRESULT Browser::SetClientSite(IOleClientSite* site) try {
  if (!site) {
    // The container lets go: the page ends with it.
    Ref<IWebBrowser2> keep(this);
    ++nav_serial_;
    InPlaceDeactivate();
    EndDocument();
  }
  site_ = site;
  return S_OK;
} ZEQ_COM_CATCH("Browser::SetClientSite")

HRESULT Browser::GetClientSite(IOleClientSite** site) try {
  if (!site) return E_POINTER;
  *site = site_.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Browser::GetClientSite")

HRESULT Browser::SetHostNames(LPCOLESTR, LPCOLESTR) try { return S_OK; } ZEQ_COM_CATCH("Browser::SetHostNames")

HRESULT Browser::Close(DWORD) try { return InPlaceDeactivate(); } ZEQ_COM_CATCH("Browser::Close")

HRESULT Browser::SetMoniker(DWORD, IMoniker*) try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::SetMoniker")

HRESULT Browser::GetMoniker(DWORD, DWORD, IMoniker** mk) try {
  if (mk) *mk = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::GetMoniker")

HRESULT Browser::InitFromData(IDataObject*, BOOL, DWORD) try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::InitFromData")

HRESULT Browser::GetClipboardData(DWORD, IDataObject** data) try {
  if (data) *data = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::GetClipboardData")

HRESULT Browser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) try {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      break;
    case OLEIVERB_HIDE:
      if (embedding_) ShowWindow(embedding_, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
  if (site && !site_) site_ = site;
  if (!site_) return E_UNEXPECTED;
  if (in_place_) {
    if (embedding_ && visible_) ShowWindow(embedding_, SW_SHOW);
    return S_OK;
  }
  Ref<IOleInPlaceSite> ip = site_.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
  if (!ip) return E_NOINTERFACE;
  if (ip->CanInPlaceActivate() != S_OK) return E_FAIL;
  ip->OnInPlaceActivate();
  HWND host = parent;
  if (!host) ip->GetWindow(&host);
  RECT pos = rect ? *rect : RECT{0, 0, 0, 0};
  Ref<IOleInPlaceFrame> frame;
  Ref<IOleInPlaceUIWindow> ui;
  RECT site_pos{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof(info);
  if (SUCCEEDED(ip->GetWindowContext(frame.Out(), ui.Out(), &site_pos, &clip, &info)) && !rect) pos = site_pos;
  if (!host || !StartWindows(host, pos)) return E_FAIL;
  in_place_ = true;
  return S_OK;
} ZEQ_COM_CATCH("Browser::DoVerb")

bool Browser::StartWindows(HWND parent, const RECT& pos) {
  RegisterClasses();
  pos_ = pos;
  HINSTANCE inst = ModuleInstance();
  DWORD child = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  embedding_ = CreateWindowExW(0, kEmbeddingClass, L"", child | (visible_ ? WS_VISIBLE : 0), pos.left, pos.top,
                               pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, inst, nullptr);
  if (!embedding_) return false;
  view_ = CreateWindowExW(0, kViewClass, L"", child | WS_VISIBLE, 0, 0, pos.right - pos.left, pos.bottom - pos.top,
                          embedding_, nullptr, inst, nullptr);
  server_ = view_ ? CreateWindowExW(0, kServerClass, L"", child | WS_VISIBLE, 0, 0, pos.right - pos.left,
                                    pos.bottom - pos.top, view_, nullptr, inst, nullptr)
                  : nullptr;
  if (server_) SetWindowLongPtrW(server_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

void Browser::DestroyWindows() {
  if (server_) SetWindowLongPtrW(server_, GWLP_USERDATA, 0);
  if (embedding_) DestroyWindow(embedding_);
  embedding_ = view_ = server_ = nullptr;
}

HRESULT Browser::EnumVerbs(IEnumOLEVERB** verbs) try {
  if (verbs) *verbs = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::EnumVerbs")

HRESULT Browser::Update() try { return S_OK; } ZEQ_COM_CATCH("Browser::Update")
HRESULT Browser::IsUpToDate() try { return S_OK; } ZEQ_COM_CATCH("Browser::IsUpToDate")

HRESULT Browser::GetUserClassID(CLSID* clsid) try {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_WebBrowser;
  return S_OK;
} ZEQ_COM_CATCH("Browser::GetUserClassID")

HRESULT Browser::GetUserType(DWORD, LPOLESTR* type) try {
  if (type) *type = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::GetUserType")

HRESULT Browser::SetExtent(DWORD, SIZEL* size) try {
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
} ZEQ_COM_CATCH("Browser::SetExtent")

HRESULT Browser::GetExtent(DWORD, SIZEL* size) try {
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
} ZEQ_COM_CATCH("Browser::GetExtent")

HRESULT Browser::Advise(IAdviseSink*, DWORD* cookie) try {
  if (cookie) *cookie = 0;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::Advise")

HRESULT Browser::Unadvise(DWORD) try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::Unadvise")

HRESULT Browser::EnumAdvise(IEnumSTATDATA** e) try {
  if (e) *e = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::EnumAdvise")

HRESULT Browser::GetMiscStatus(DWORD, DWORD* status) try {
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
            OLEMISC_RECOMPOSEONRESIZE;
  return S_OK;
} ZEQ_COM_CATCH("Browser::GetMiscStatus")

HRESULT Browser::SetColorScheme(LOGPALETTE*) try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::SetColorScheme")

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT Browser::GetWindow(HWND* hwnd) try {
  if (!hwnd) return E_POINTER;
  *hwnd = embedding_;
  return embedding_ ? S_OK : E_FAIL;
} ZEQ_COM_CATCH("Browser::GetWindow")

HRESULT Browser::ContextSensitiveHelp(BOOL) try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::ContextSensitiveHelp")

HRESULT Browser::InPlaceDeactivate() try {
  if (!in_place_) return S_OK;
  in_place_ = false;
  DestroyWindows();
  if (Ref<IOleInPlaceSite> ip = site_.As<IOleInPlaceSite>(IID_IOleInPlaceSite)) ip->OnInPlaceDeactivate();
  return S_OK;
} ZEQ_COM_CATCH("Browser::InPlaceDeactivate")

HRESULT Browser::UIDeactivate() try { return S_OK; } ZEQ_COM_CATCH("Browser::UIDeactivate")

HRESULT Browser::SetObjectRects(LPCRECT pos, LPCRECT) try {
  if (!pos) return E_POINTER;
  pos_ = *pos;
  if (embedding_)
    SetWindowPos(embedding_, nullptr, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
} ZEQ_COM_CATCH("Browser::SetObjectRects")

HRESULT Browser::ReactivateAndUndo() try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::ReactivateAndUndo")
HRESULT Browser::TranslateAccelerator(LPMSG) try { return S_FALSE; } ZEQ_COM_CATCH("Browser::TranslateAccelerator")
HRESULT Browser::OnFrameWindowActivate(BOOL) try { return S_OK; } ZEQ_COM_CATCH("Browser::OnFrameWindowActivate")
HRESULT Browser::OnDocWindowActivate(BOOL) try { return S_OK; } ZEQ_COM_CATCH("Browser::OnDocWindowActivate")
HRESULT Browser::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) try { return S_OK; } ZEQ_COM_CATCH("Browser::ResizeBorder")
HRESULT Browser::EnableModeless(BOOL) try { return S_OK; } ZEQ_COM_CATCH("Browser::EnableModeless")

// ---- IPersistStreamInit

HRESULT Browser::GetClassID(CLSID* clsid) try { return GetUserClassID(clsid); } ZEQ_COM_CATCH("Browser::GetClassID")
HRESULT Browser::IsDirty() try { return S_FALSE; } ZEQ_COM_CATCH("Browser::IsDirty")
HRESULT Browser::Load(LPSTREAM) try { return S_OK; } ZEQ_COM_CATCH("Browser::Load")
HRESULT Browser::Save(LPSTREAM, BOOL) try { return S_OK; } ZEQ_COM_CATCH("Browser::Save")
HRESULT Browser::GetSizeMax(ULARGE_INTEGER*) try { return E_NOTIMPL; } ZEQ_COM_CATCH("Browser::GetSizeMax")
HRESULT Browser::InitNew() try { return S_OK; } ZEQ_COM_CATCH("Browser::InitNew")

// ---- IConnectionPointContainer, IServiceProvider

HRESULT Browser::EnumConnectionPoints(IEnumConnectionPoints** e) try {
  if (e) *e = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Browser::EnumConnectionPoints")

HRESULT Browser::FindConnectionPoint(REFIID iid, IConnectionPoint** cp) try {
  if (!cp) return E_POINTER;
  *cp = nullptr;
  if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
  *cp = &point_;
  point_.AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Browser::FindConnectionPoint")

HRESULT Browser::QueryService(REFGUID service, REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (service == SID_SWebBrowserApp || service == IID_IWebBrowser2) return QueryInterface(iid, out);
  Ref<IServiceProvider> sp;
  if (site_) site_->QueryInterface(IID_IServiceProvider, sp.OutVoid());
  return sp ? sp->QueryService(service, iid, out) : E_NOINTERFACE;
} ZEQ_COM_CATCH("Browser::QueryService")

}  // namespace dochost

// ---- Choice of the browser object

bool DocHostPlatformEngineAvailable() {
  static const bool available = [] {
    IUnknown* doc = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_HTMLDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&doc));
    if (SUCCEEDED(hr) && doc) {
      doc->Release();
      return true;
    }
    return false;
  }();
  return available;
}

HRESULT DocHostCreateOwnBrowser(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  dochost::Browser* b = nullptr;
  try {
    b = new dochost::Browser();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  HRESULT hr = b->QueryInterface(iid, out);
  b->Release();
  return hr;
}

HRESULT DocHostCreateWebBrowser(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (DocHostPlatformEngineAvailable())
    return CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, iid, out);
  return DocHostCreateOwnBrowser(iid, out);
}
