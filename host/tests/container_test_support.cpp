#include "container_test_support.h"

#include "foundation/git_table.h"
#include "host/browser_container.h"
#include "host/dispatch_ex.h"
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

}  // namespace container_test
