#include "test_support.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <ocidl.h>
#include <shlwapi.h>

#include "dochost/dochost.h"

namespace dochost_test {

bool PumpUntil(const std::function<bool()>& pred, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!pred()) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeout_ms) return pred();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

std::wstring VariantString(const VARIANT* v) {
  VARIANT tmp;
  VariantInit(&tmp);
  std::wstring s;
  if (SUCCEEDED(VariantChangeType(&tmp, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR)) && V_BSTR(&tmp))
    s = V_BSTR(&tmp);
  VariantClear(&tmp);
  return s;
}

// ---- PageFolder

PageFolder::PageFolder() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  static LONG counter = 0;
  path_ = std::wstring(tmp) + L"dochost_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
          std::to_wstring(InterlockedIncrement(&counter));
  CreateDirectoryW(path_.c_str(), nullptr);
}

PageFolder::~PageFolder() {
  for (const auto& f : files_) DeleteFileW(f.c_str());
  RemoveDirectoryW(path_.c_str());
}

std::wstring PageFolder::Write(const std::wstring& name, const std::string& content) {
  std::wstring file = path_ + L"\\" + name;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (h != INVALID_HANDLE_VALUE) {
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
  }
  files_.push_back(file);
  return file;
}

std::wstring PageFolder::Url(const std::wstring& name) const {
  std::wstring file = path_ + L"\\" + name;
  wchar_t url[2084];
  DWORD len = 2084;
  UrlCreateFromPathW(file.c_str(), url, &len, 0);
  return url;
}

// ---- NativeObject

HRESULT NativeObject::QueryInterface(REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == IID_IDispatch) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT NativeObject::GetTypeInfoCount(UINT* n) {
  *n = 0;
  return S_OK;
}

HRESULT NativeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) {
  if (wcscmp(names[0], L"Record") == 0) {
    ids[0] = 1;
    return S_OK;
  }
  if (wcscmp(names[0], L"Twice") == 0) {
    ids[0] = 2;
    return S_OK;
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT NativeObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT* res, EXCEPINFO*, UINT*) {
  if (id == 1) {
    for (UINT i = dp->cArgs; i > 0; --i) recorded.push_back(VariantString(&dp->rgvarg[i - 1]));
    return S_OK;
  }
  if (id == 2 && dp->cArgs == 1 && res) {
    VARIANT n;
    VariantInit(&n);
    VariantChangeType(&n, &dp->rgvarg[0], 0, VT_I4);
    V_VT(res) = VT_I4;
    V_I4(res) = 2 * V_I4(&n);
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

// ---- TestSite

HRESULT TestSite::QueryInterface(REFIID iid, void** out) {
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite)
    *out = static_cast<IOleClientSite*>(this);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
    *out = static_cast<IOleInPlaceSite*>(this);
  else if (iid == IID_IDocHostUIHandler)
    *out = static_cast<IDocHostUIHandler*>(this);
  else if (iid == IID_IDocHostShowUI)
    *out = static_cast<IDocHostShowUI*>(this);
  else if (iid == IID_IOleCommandTarget)
    *out = static_cast<IOleCommandTarget*>(this);
  else if (iid == IID_IServiceProvider)
    *out = static_cast<IServiceProvider*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT TestSite::GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT pos, LPRECT clip,
                                   LPOLEINPLACEFRAMEINFO info) {
  *f = nullptr;
  *d = nullptr;
  RECT r{0, 0, 0, 0};
  if (hwnd_) GetClientRect(hwnd_, &r);
  *pos = r;
  *clip = r;
  info->fMDIApp = FALSE;
  info->hwndFrame = hwnd_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT TestSite::GetExternal(IDispatch** out) {
  *out = &external;
  external.AddRef();
  return S_OK;
}

HRESULT TestSite::ShowMessage(HWND, LPOLESTR text, LPOLESTR, DWORD, LPOLESTR, DWORD, LRESULT* result) {
  messages.push_back(text ? text : L"");
  if (result) *result = IDOK;
  return S_OK;
}

namespace {

// Reads a named value of an object through IDispatch, as a host reads the
// error fields of the event object.
std::wstring ReadProperty(IDispatch* obj, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  if (FAILED(obj->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return L"<none>";
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT v;
  VariantInit(&v);
  if (FAILED(obj->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)))
    return L"<failed>";
  std::wstring s = VariantString(&v);
  VariantClear(&v);
  return s;
}

}  // namespace

HRESULT TestSite::Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) {
  if (!group || *group != CGID_DocHostCommandHandler) return OLECMDERR_E_UNKNOWNGROUP;
  if (id != OLECMDID_SHOWSCRIPTERROR) return OLECMDERR_E_NOTSUPPORTED;
  ScriptErrorReport report;
  IHTMLDocument2* doc = nullptr;
  if (in && V_VT(in) == VT_UNKNOWN && V_UNKNOWN(in) &&
      SUCCEEDED(V_UNKNOWN(in)->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc)))) {
    IHTMLWindow2* win = nullptr;
    IHTMLEventObj* ev = nullptr;
    if (SUCCEEDED(doc->get_parentWindow(&win)) && win && SUCCEEDED(win->get_event(&ev)) && ev) {
      report.line = _wtol(ReadProperty(ev, L"errorLine").c_str());
      report.character = _wtol(ReadProperty(ev, L"errorCharacter").c_str());
      report.message = ReadProperty(ev, L"errorMessage");
      report.url = ReadProperty(ev, L"errorUrl");
      ev->Release();
    }
    if (win) win->Release();
    doc->Release();
  }
  errors.push_back(report);
  if (out) {
    V_VT(out) = VT_BOOL;
    V_BOOL(out) = VARIANT_TRUE;  // let scripts go on running
  }
  return S_OK;
}

// ---- EventSink

HRESULT EventSink::QueryInterface(REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*, UINT*) {
  RecordedEvent e{id, L""};
  switch (id) {
    case DISPID_BEFORENAVIGATE2:  // pDisp, URL, Flags, Frame, PostData, Headers, Cancel
      e.text = VariantString(V_VARIANTREF(&dp->rgvarg[5]));
      if (cancel_navigation) *V_BOOLREF(&dp->rgvarg[0]) = VARIANT_TRUE;
      break;
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
      e.text = VariantString(V_VARIANTREF(&dp->rgvarg[0]));
      break;
    case DISPID_NAVIGATEERROR:  // pDisp, URL, Frame, StatusCode, Cancel
      e.text = VariantString(V_VARIANTREF(&dp->rgvarg[3]));
      break;
    case DISPID_TITLECHANGE:
    case DISPID_STATUSTEXTCHANGE:
      e.text = V_BSTR(&dp->rgvarg[0]) ? V_BSTR(&dp->rgvarg[0]) : L"";
      break;
    case DISPID_NEWWINDOW3:  // ppDisp, Cancel, Flags, UrlContext, Url
      e.text = V_BSTR(&dp->rgvarg[0]) ? V_BSTR(&dp->rgvarg[0]) : L"";
      if (new_window_target) {
        new_window_target->AddRef();
        *V_DISPATCHREF(&dp->rgvarg[4]) = new_window_target;
      } else {
        *V_BOOLREF(&dp->rgvarg[3]) = VARIANT_TRUE;
      }
      break;
    case DISPID_WINDOWCLOSING:  // IsChildWindow, Cancel
      if (cancel_close) *V_BOOLREF(&dp->rgvarg[0]) = VARIANT_TRUE;
      break;
    default:
      break;
  }
  events.push_back(e);
  return S_OK;
}

bool EventSink::Has(DISPID id) const { return IndexOf(id) != std::wstring::npos; }

size_t EventSink::IndexOf(DISPID id) const {
  for (size_t i = 0; i < events.size(); ++i)
    if (events[i].id == id) return i;
  return std::wstring::npos;
}

// ---- Harness

Harness::Harness(HWND hwnd) : site(hwnd) {
  DocHostCreateOwnBrowser(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
  if (!browser) return;
  IOleObject* ole = nullptr;
  if (SUCCEEDED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ole->SetClientSite(&site);
    ole->Release();
  }
  IConnectionPointContainer* cpc = nullptr;
  if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) {
    IConnectionPoint* cp = nullptr;
    if (SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp))) {
      cp->Advise(&sink, &cookie_);
      cp->Release();
    }
    cpc->Release();
  }
}

Harness::~Harness() {
  if (doc_) doc_->Release();
  if (doc3_) doc3_->Release();
  if (!browser) return;
  IOleObject* ole = nullptr;
  if (SUCCEEDED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  browser->Release();
}

bool Harness::Load(const std::wstring& url) {
  if (doc_) doc_->Release();
  if (doc3_) doc3_->Release();
  doc_ = nullptr;
  doc3_ = nullptr;
  size_t before = sink.events.size();
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(url.c_str());
  HRESULT hr = browser->Navigate2(&v, nullptr, nullptr, nullptr, nullptr);
  VariantClear(&v);
  if (FAILED(hr)) return false;
  bool done = PumpUntil([&] {
    for (size_t i = before; i < sink.events.size(); ++i)
      if (sink.events[i].id == DISPID_DOCUMENTCOMPLETE || sink.events[i].id == DISPID_NAVIGATEERROR) return true;
    return false;
  });
  return done;
}

IHTMLDocument2* Harness::Doc() {
  if (!doc_) {
    IDispatch* d = nullptr;
    if (SUCCEEDED(browser->get_Document(&d)) && d) {
      d->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc_));
      d->Release();
    }
  }
  return doc_;
}

IHTMLDocument3* Harness::Doc3() {
  if (!doc3_ && Doc()) doc_->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&doc3_));
  return doc3_;
}

std::wstring Harness::Global(const std::wstring& name) {
  IDispatch* script = nullptr;
  if (!Doc() || FAILED(doc_->get_Script(&script)) || !script) return L"<no script>";
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
  std::wstring s = L"<unknown>";
  if (SUCCEEDED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                                 nullptr)))
      s = VariantString(&v);
    VariantClear(&v);
  }
  script->Release();
  return s;
}

IHTMLElement* Harness::ById(const wchar_t* id) {
  IHTMLElement* e = nullptr;
  if (!Doc3()) return nullptr;
  BSTR b = SysAllocString(id);
  doc3_->getElementById(b, &e);
  SysFreeString(b);
  return e;
}

HRESULT Harness::Exec(const std::wstring& code) {
  IHTMLWindow2* win = nullptr;
  if (!Doc() || FAILED(doc_->get_parentWindow(&win)) || !win) return E_FAIL;
  BSTR c = SysAllocString(code.c_str());
  BSTR lang = SysAllocString(L"JScript");
  VARIANT r;
  VariantInit(&r);
  HRESULT hr = win->execScript(c, lang, &r);
  VariantClear(&r);
  SysFreeString(c);
  SysFreeString(lang);
  win->Release();
  return hr;
}

}  // namespace dochost_test

namespace {

// The tests run on one apartment thread, as a container's UI thread does.
class OleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { OleInitialize(nullptr); }
  void TearDown() override { OleUninitialize(); }
};

::testing::Environment* const ole_environment = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

}  // namespace
