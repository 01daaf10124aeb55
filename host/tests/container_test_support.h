// Shared pieces of the tests of browser containers: an external object that
// records the calls page script makes of it (with the calling thread), and
// the one-time set-up of window classes and container creation.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

namespace container_test {

// window.external for the tests: Record(text) keeps the text and the thread
// that called.
class Recorder : public IDispatch {
 public:
  Recorder() { InitializeCriticalSection(&lock_); }
  ~Recorder() { DeleteCriticalSection(&lock_); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the test
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override;

  size_t Count();
  std::wstring TextAt(size_t index);
  DWORD ThreadAt(size_t index);

 private:
  CRITICAL_SECTION lock_;
  std::vector<std::wstring> texts_;
  std::vector<DWORD> threads_;
};

// Pumps this thread's messages and polls pred every 10 ms until it holds or
// the time runs out (work of other threads sends this one no message);
// pred's last value.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = 10000);

// The recorder every new container gets as its host dispatch object.
Recorder& TheRecorder();
// Window classes, container creation and the host object factory; once.
void SetUpContainers();
// Makes the recorder the host object of containers made from now on (as
// SetUpContainers does).
void UseRecorderAsHostObject();

// The page of the container of a window (its program window or its host
// window): code run with window.execScript, a global of its script as text
// ("<no page>" or "<unknown>" when there is none), and the site's host
// object (one reference, or null).
HRESULT PageExec(HWND window, const std::wstring& code);
std::wstring PageGlobal(HWND window, const std::wstring& name);
IDispatch* HostObjectOf(HWND window);

}  // namespace container_test
