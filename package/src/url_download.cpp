#include "url_download.h"

#include <urlmon.h>

#include "foundation/heap.h"

namespace {

using URLDownloadToCacheFileAProc = HRESULT(WINAPI*)(IUnknown*, const char*, char*, DWORD, DWORD,
                                                     IBindStatusCallback*);

URLDownloadToCacheFileAProc Downloader() {
  static const URLDownloadToCacheFileAProc proc = [] {
    HMODULE library = LoadLibraryA("urlmon.dll");
    return library ? reinterpret_cast<URLDownloadToCacheFileAProc>(
                         reinterpret_cast<void*>(GetProcAddress(library, "URLDownloadToCacheFileA")))
                   : nullptr;
  }();
  return proc;
}

// The binding's callback: it only notes the HTTP status of the answer.
class StatusCallback : public IBindStatusCallback, public IHttpNegotiate {
 public:
  static StatusCallback* Create() {
    void* memory = HeapAllocZ(sizeof(StatusCallback));
    return new (memory) StatusCallback;
  }
  DWORD status() const { return status_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IBindStatusCallback) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (riid == IID_IHttpNegotiate) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
      this->~StatusCallback();
      HeapFreeZ(this);
    }
    return ULONG(left);
  }

  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override {
    if (additional) *additional = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* additional) override {
    if (additional) *additional = nullptr;
    status_ = code;
    return S_OK;
  }

 private:
  StatusCallback() = default;
  virtual ~StatusCallback() = default;

  LONG references_ = 1;
  DWORD status_ = 0;  // 0 while no HTTP answer was seen (other schemes)
};

}  // namespace

BOOL DownloadUrlToCache(const char* url, char* local, DWORD size) {
  URLDownloadToCacheFileAProc download = Downloader();
  if (!download || !url || !local || !size) return FALSE;
  local[0] = '\0';
  StatusCallback* callback = StatusCallback::Create();
  const HRESULT hr = download(nullptr, url, local, size, 0, callback);
  const DWORD status = callback->status();
  callback->Release();
  return hr == S_OK && (status == 0 || (status >= 200 && status < 300));
}
