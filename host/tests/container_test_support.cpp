#include "container_test_support.h"

#include "foundation/git_table.h"
#include "host/browser_container.h"
#include "host/containers.h"
#include "host/dispatch_ex.h"
#include "host/namespace_put.h"
#include "host/script_calls.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"
#include <gtest/gtest.h>
#include "windows/records.h"
#include "test_support.h"
#include <mshtml.h>

namespace container_test {

HRESULT Recorder::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  return S_OK;
}

HRESULT Recorder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count != 1 || !names || !ids) return DISP_E_UNKNOWNNAME;
  if (lstrcmpiW(names[0], L"Record") != 0) {
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = 1;
  return S_OK;
}

HRESULT Recorder::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (id != 1) return DISP_E_MEMBERNOTFOUND;
  std::wstring text;
  if (params && params->cArgs > 0) {
    VARIANT copy;
    VariantInit(&copy);
    if (SUCCEEDED(VariantChangeType(&copy, &params->rgvarg[params->cArgs - 1], 0, VT_BSTR)) && V_BSTR(&copy)) {
      text = V_BSTR(&copy);
    }
    VariantClear(&copy);
  }
  EnterCriticalSection(&lock_);
  texts_.push_back(text);
  threads_.push_back(GetCurrentThreadId());
  LeaveCriticalSection(&lock_);
  if (result) VariantInit(result);
  return S_OK;
}

size_t Recorder::Count() {
  EnterCriticalSection(&lock_);
  const size_t count = texts_.size();
  LeaveCriticalSection(&lock_);
  return count;
}

std::wstring Recorder::TextAt(size_t index) {
  EnterCriticalSection(&lock_);
  std::wstring text = index < texts_.size() ? texts_[index] : std::wstring();
  LeaveCriticalSection(&lock_);
  return text;
}

DWORD Recorder::ThreadAt(size_t index) {
  EnterCriticalSection(&lock_);
  const DWORD thread = index < threads_.size() ? threads_[index] : 0;
  LeaveCriticalSection(&lock_);
  return thread;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start >= timeoutMs) return pred();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

Recorder& TheRecorder() {
  static Recorder* recorder = new Recorder();
  return *recorder;
}

void SetUpContainers() {
  static bool done = false;
  if (done) return;
  done = true;
  ZEQCreateGlobalInterfaceTable();
  RegisterDispatchExClassFactory();
  ZEQRegisterWindowClasses();
  ZEQInstallBrowserContainers();
  UseRecorderAsHostObject();
}

void UseRecorderAsHostObject() {
  ZEQSetHostObjectFactory([](const ZEQContainerHolder&) -> IDispatch* {
    IDispatch* recorder = &TheRecorder();
    recorder->AddRef();
    return recorder;
  });
}

ZEQContainerHolder ContainerOf(HWND window) {
  if (!window) return ZEQContainerHolder();
  ZEQContainerHolder container = ZEQGetBaseContainer(window);
  if (!container.IsSet()) container = ZEQGetBaseContainer(GetDlgItem(window, kBodyWindowId));
  return container;
}

ZEQContainerHolder ReadyContainerOf(HWND window) {
  ZEQContainerHolder container = ContainerOf(window);
  ZEQWindowContainer view{};
  if (!container.IsSet() || !ZEQGetWindowContainer(container->hostWindow, &view)) return ZEQContainerHolder();
  ZEQSetWindowContainerReady(container->hostWindow, true, true, view.browser);
  return container;
}

namespace {

// The current document of the container's browser (one reference), or null.
IHTMLDocument2* PageDocument(HWND window) {
  ZEQContainerHolder container = ContainerOf(window);
  if (!container.IsSet()) return nullptr;
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return nullptr;
  IWebBrowser2* browser = site->GetWebBrowser2();
  static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return nullptr;
  IDispatch* document = nullptr;
  IHTMLDocument2* html = nullptr;
  if (SUCCEEDED(browser->get_Document(&document)) && document) {
    document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
    document->Release();
  }
  browser->Release();
  return html;
}

}  // namespace

HRESULT PageExec(HWND window, const std::wstring& code) {
  IHTMLDocument2* document = PageDocument(window);
  if (!document) return E_FAIL;
  IHTMLWindow2* page = nullptr;
  HRESULT hr = document->get_parentWindow(&page);
  document->Release();
  if (FAILED(hr) || !page) return E_FAIL;
  BSTR text = SysAllocString(code.c_str());
  BSTR language = SysAllocString(L"JScript");
  VARIANT result;
  VariantInit(&result);
  hr = page->execScript(text, language, &result);
  VariantClear(&result);
  SysFreeString(text);
  SysFreeString(language);
  page->Release();
  return hr;
}

std::wstring PageGlobal(HWND window, const std::wstring& name) {
  IHTMLDocument2* document = PageDocument(window);
  if (!document) return L"<no page>";
  IDispatch* script = nullptr;
  document->get_Script(&script);
  document->Release();
  if (!script) return L"<no page>";
  std::wstring text = L"<unknown>";
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
  if (SUCCEEDED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                 nullptr))) {
      text = dochost_test::VariantString(&value);
    }
    VariantClear(&value);
  }
  script->Release();
  return text;
}

bool PagePublish(HWND window, const wchar_t* name, IDispatch* object) {
  IHTMLDocument2* document = PageDocument(window);
  if (!document) return false;
  IDispatch* script = nullptr;
  document->get_Script(&script);
  document->Release();
  IDispatchEx* space = nullptr;
  if (script) script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&space));
  if (script) script->Release();
  if (!space) return false;
  const bool done = SUCCEEDED(ZEQDispatchPutObject(space, name, object));
  space->Release();
  return done;
}

IDispatch* HostObjectOf(HWND window) {
  ZEQContainerHolder container = ContainerOf(window);
  if (!container.IsSet()) return nullptr;
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return nullptr;
  IDispatch* host = site->HostDispatch();
  if (host) host->AddRef();
  static_cast<IOleClientSite*>(site)->Release();
  return host;
}

void ContainerPages::Close() {
  for (HWND window : windows_) {
    if (IsWindow(window)) DestroyWindowExt(window, FALSE);
  }
  windows_.clear();
}

HWND ContainerPages::Open(uint32_t options, const std::string& body, HWND parent) {
  const std::wstring name = L"page_" + std::to_wstring(GetCurrentThreadId()) + L"_" +
                            std::to_wstring(windows_.size()) + L".html";
  folder_.Write(name, "<html><head><title>t</title></head><body><script>" + body +
                          "var loaded = 1;</script></body></html>");
  const std::wstring wideUrl = folder_.Url(name);
  const std::string url(wideUrl.begin(), wideUrl.end());
  const std::string windowName(name.begin(), name.end());
  RECT rect = {10, 20, 320, 240};
  HWND window = nullptr;
  const int created = ZEQCreateContainerWindow(nullptr, "Page", url.c_str(), &rect, nullptr, windowName.c_str(),
                                               options, 0, &window, ContainerOf(parent), ContainerOf(parent));
  if (created != 0 || !window) {
    ADD_FAILURE() << "the container window was not made: " << created;
    return nullptr;
  }
  windows_.push_back(window);
  if (!WaitUntil([&] { return PageGlobal(window, L"loaded") == L"1"; }, 10000)) {
    ADD_FAILURE() << "the page did not run in time";
    return nullptr;
  }
  return window;
}

std::wstring ContainerPages::Evaluate(HWND window, const std::wstring& expression) {
  const std::wstring code = L"try { answer = String(" + expression +
                            L"); } catch (e) { answer = 'error:' + (e.number >>> 0).toString(16); }";
  if (FAILED(PageExec(window, code))) return L"<not run>";
  return PageGlobal(window, L"answer");
}

PageContainer::PageContainer(const std::string& markup, size_t records) {
  SetUpContainers();
  ZEQInstallScriptCalls();
  static int serial = 0;
  const std::wstring name = L"page" + std::to_wstring(++serial) + L".html";
  folder_.Write(name, markup);
  url_ = Narrow(folder_.Url(name));
  from_ = TheRecorder().Count();
  RECT rect = {10, 10, 300, 200};
  if (ZEQCreateContainerWindow(nullptr, "Page", url_.c_str(), &rect, nullptr, "page", WB_ALLOWSZEQ, 0, &window_,
                               ZEQContainerHolder(), ZEQContainerHolder()) != 0) {
    return;
  }
  container_ = ZEQGetBaseContainer(ZEQGetBodyWindow(window_));
  if (!container_.IsSet()) return;
  if (!WaitUntil([&] { return Recorded().size() >= records; })) return;
  site_ = ZEQGetContainerRenderer(container_);
  browser_ = site_ ? site_->GetWebBrowser2() : nullptr;
  failed_ = browser_ == nullptr;
}

PageContainer::~PageContainer() {
  if (browser_) browser_->Release();
  if (site_) static_cast<IOleClientSite*>(site_)->Release();
  container_.Release();
  if (IsWindow(window_)) DestroyWindow(window_);
}

std::vector<std::string> PageContainer::Recorded() const {
  std::vector<std::string> texts;
  for (size_t i = from_; i < TheRecorder().Count(); ++i) texts.push_back(Narrow(TheRecorder().TextAt(i)));
  return texts;
}

}  // namespace container_test
