#include "zeq_test_support.h"

#include "package/vfs.h"

namespace zeq_test {

std::string Address(const std::string& name) { return std::string("zeq:") + kRoot + "\\" + name; }

std::wstring AddressW(const std::string& name) {
  const std::string text = Address(name);
  return std::wstring(text.begin(), text.end());
}

void Mount(const std::string& name, const std::string& text) {
  const std::string path = std::string(kRoot) + "\\" + name;
  VFSMountFile(path.c_str(), text.data(), static_cast<uint32_t>(text.size()));
}

namespace {

class FetchCallback final : public IBindStatusCallback, public IServiceProvider, public IWindowForBindingUI {
 public:
  FetchCallback(Fetched* fetched, HWND window) : fetched_(fetched), window_(window) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
      *out = static_cast<IBindStatusCallback*>(this);
    } else if (iid == IID_IServiceProvider) {
      *out = static_cast<IServiceProvider*>(this);
    } else if (iid == IID_IWindowForBindingUI && window_) {
      *out = static_cast<IWindowForBindingUI*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&references_);
    if (!count) delete this;
    return static_cast<ULONG>(count);
  }
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG status, LPCWSTR text) override {
    if (status == BINDSTATUS_MIMETYPEAVAILABLE && fetched_) fetched_->mimeTypes.push_back(text ? text : L"");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR) override {
    if (fetched_) {
      fetched_->bindResult = result;
      fetched_->stopped = true;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override {
    if (!flags || !info) return E_POINTER;
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION;
    const ULONG size = info->cbSize;
    memset(info, 0, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
    if (!fetched_ || !medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return S_OK;
    char chunk[4096];
    for (;;) {
      ULONG got = 0;
      const HRESULT hr = medium->pstm->Read(chunk, sizeof chunk, &got);
      if (got) fetched_->bytes.append(chunk, got);
      if (hr != S_OK || !got) break;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    if (out) *out = nullptr;
    if (service == IID_IWindowForBindingUI && window_) return QueryInterface(iid, out);
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetWindow(REFGUID, HWND* window) override {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
  }
  // The test stops listening before it lets go (the binding may outlive it).
  void Detach() { fetched_ = nullptr; }

 private:
  volatile LONG references_ = 1;
  Fetched* fetched_;
  HWND window_;
};

}  // namespace

Fetched FetchUrl(const std::wstring& url, HWND bindingWindow, DWORD timeoutMs) {
  Fetched fetched;
  IMoniker* moniker = nullptr;
  HRESULT hr = CreateURLMonikerEx(nullptr, url.c_str(), &moniker, URL_MK_UNIFORM);
  if (FAILED(hr)) {
    fetched.bindResult = hr;
    return fetched;
  }
  auto* callback = new FetchCallback(&fetched, bindingWindow);
  IBindCtx* context = nullptr;
  hr = CreateAsyncBindCtx(0, callback, nullptr, &context);
  if (SUCCEEDED(hr)) {
    IStream* stream = nullptr;
    hr = moniker->BindToStorage(context, nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
    if (stream) stream->Release();
    if (FAILED(hr)) {
      fetched.bindResult = hr;
    } else {
      const DWORD start = GetTickCount();
      while (!fetched.stopped && GetTickCount() - start < timeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
      }
    }
    context->Release();
  } else {
    fetched.bindResult = hr;
  }
  callback->Detach();
  callback->Release();
  moniker->Release();
  return fetched;
}

HRESULT RecordingSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IInternetProtocolSink) {
    *out = static_cast<IInternetProtocolSink*>(this);
  } else if (iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT RecordingSink::Switch(PROTOCOLDATA* data) {
  switches.push_back(data ? data->grfFlags : 0);
  return switchAnswer;
}

HRESULT RecordingSink::ReportProgress(ULONG status, LPCWSTR text) {
  progress.push_back(status);
  texts.push_back(text ? text : L"");
  return S_OK;
}

HRESULT RecordingSink::ReportData(DWORD flags, ULONG progressValue, ULONG maximum) {
  dataFlags = flags;
  dataProgress = progressValue;
  dataMaximum = maximum;
  ++dataCalls;
  return S_OK;
}

HRESULT RecordingSink::ReportResult(HRESULT result, DWORD, LPCWSTR) {
  results.push_back(result);
  return S_OK;
}

HRESULT RecordingSink::QueryService(REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (service != IID_IWindowForBindingUI || iid != IID_IWindowForBindingUI || !window_) return E_NOINTERFACE;
  *out = static_cast<IWindowForBindingUI*>(this);
  AddRef();
  return S_OK;
}

HRESULT RecordingSink::GetWindow(REFGUID, HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return S_OK;
}

std::string ReadAll(IInternetProtocol* protocol) {
  std::string bytes;
  char chunk[7];  // small, so that reads end in the middle of the content
  for (int guard = 0; guard < 1000000; ++guard) {
    ULONG got = 0;
    const HRESULT hr = protocol->Read(chunk, sizeof chunk, &got);
    if (hr != S_OK) break;
    bytes.append(chunk, got);
  }
  return bytes;
}

}  // namespace zeq_test
