#include "container_test_support.h"

#include "foundation/git_table.h"
#include "host/browser_container.h"
#include "host/dispatch_ex.h"
#include "host/script_calls.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"

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
  ZEQSetHostObjectFactory([](const ZEQContainerHolder&) -> IDispatch* {
    IDispatch* recorder = &TheRecorder();
    recorder->AddRef();
    return recorder;
  });
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(static_cast<char>(c));
  return out;
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
