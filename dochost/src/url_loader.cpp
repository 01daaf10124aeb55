#include "url_loader.h"

#include <vector>

#include <shlwapi.h>
#include <urlmon.h>

#include "com_util.h"
#include "foundation/com_guard.h"
#include "window_classes.h"

namespace {
// Longest URL the platform handles.
constexpr DWORD kMaxUrl = 2084;
}  // namespace

namespace dochost {

std::wstring NormalizeUrl(const std::wstring& url) {
  bool drive_path = url.size() > 2 && url[1] == L':' && (url[2] == L'\\' || url[2] == L'/');
  bool unc_path = url.size() > 2 && url[0] == L'\\' && url[1] == L'\\';
  if (!drive_path && !unc_path) return url;
  wchar_t buffer[kMaxUrl];
  DWORD len = kMaxUrl;
  if (FAILED(UrlCreateFromPathW(url.c_str(), buffer, &len, 0))) return url;
  return buffer;
}

std::wstring CombineUrl(const std::wstring& base, const std::wstring& relative) {
  if (base.empty()) return NormalizeUrl(relative);
  wchar_t buffer[kMaxUrl];
  DWORD len = 0;
  if (FAILED(CoInternetCombineUrl(base.c_str(), relative.c_str(), 0, buffer, kMaxUrl, &len, 0)))
    return NormalizeUrl(relative);
  return std::wstring(buffer, len);
}

namespace {

// Collects the data of one binding. The binding is asynchronous, as the
// platform's browser binds, and the caller pumps messages until it stops.
class LoadCallback final : public IBindStatusCallback {
 public:
  explicit LoadCallback(std::string* bytes) : bytes_(bytes) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IBindStatusCallback) return E_NOINTERFACE;
    *out = static_cast<IBindStatusCallback*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG r = InterlockedDecrement(&ref_);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
  }
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR) override {
    result_ = result;
    done_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override {
    if (!flags || !info) return E_POINTER;
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION;
    ULONG size = info->cbSize;
    memset(info, 0, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override try {
    if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return S_OK;
    char chunk[16384];
    for (;;) {
      ULONG got = 0;
      HRESULT hr = medium->pstm->Read(chunk, sizeof(chunk), &got);
      if (got) bytes_->append(chunk, got);
      if (hr != S_OK || got == 0) break;
    }
    return S_OK;
  } ZEQ_COM_CATCH("LoadCallback::OnDataAvailable")
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  bool Done() const { return done_; }
  HRESULT Result() const { return result_; }

 private:
  LONG ref_ = 1;
  std::string* bytes_;
  bool done_ = false;
  HRESULT result_ = E_PENDING;
};

bool IsHeldDuringLoad(const MSG& msg) {
  if (!msg.hwnd) return false;
  wchar_t name[64];
  if (!GetClassNameW(msg.hwnd, name, 64)) return false;
  return wcscmp(name, kBrowserMessageClass) == 0 || wcscmp(name, kTimerWindowClass) == 0;
}

// How long a page or script may take to arrive.
constexpr DWORD kLoadTimeoutMs = 30000;

}  // namespace

HRESULT LoadUrlBytes(const std::wstring& url, std::string* bytes) {
  bytes->clear();
  Ref<IMoniker> moniker;
  HRESULT hr = CreateURLMonikerEx(nullptr, url.c_str(), moniker.Out(), URL_MK_UNIFORM);
  if (FAILED(hr)) return hr;
  std::string data;
  Ref<LoadCallback> callback = Ref<LoadCallback>::Adopt(new LoadCallback(&data));
  Ref<IBindCtx> ctx;
  if (FAILED(hr = CreateAsyncBindCtx(0, callback.Get(), nullptr, ctx.Out()))) return hr;
  Ref<IStream> stream;
  hr = moniker->BindToStorage(ctx.Get(), nullptr, IID_IStream, stream.OutVoid());
  if (FAILED(hr)) return hr;
  // Pages' own timers and navigation steps wait until the data is in: a
  // page must not end, or run a timer, in the middle of loading a script.
  std::vector<MSG> held;
  DWORD start = GetTickCount();
  while (!callback->Done()) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kLoadTimeoutMs) {
      hr = INET_E_CONNECTION_TIMEOUT;
      break;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kLoadTimeoutMs - elapsed, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        hr = E_ABORT;
        break;
      }
      if (IsHeldDuringLoad(msg)) {
        if (msg.message != WM_TIMER) held.push_back(msg);  // a timer fires again by itself
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (hr == E_ABORT) break;
  }
  for (const MSG& m : held) PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
  if (!callback->Done()) return FAILED(hr) ? hr : E_ABORT;
  if (FAILED(callback->Result())) return callback->Result();
  bytes->swap(data);
  return S_OK;
}

namespace {

bool ValidUtf8(const std::string& s) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0) > 0;
}

std::wstring FromCodePage(UINT cp, const char* data, size_t n) {
  if (!n) return std::wstring();
  int len = MultiByteToWideChar(cp, 0, data, static_cast<int>(n), nullptr, 0);
  std::wstring w(len, L'\0');
  if (len) MultiByteToWideChar(cp, 0, data, static_cast<int>(n), &w[0], len);
  return w;
}

}  // namespace

std::wstring DecodeText(const std::string& bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return FromCodePage(CP_UTF8, bytes.data() + 3, n - 3);
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE)
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (n - 2) / 2);
  if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    std::wstring w;
    for (size_t i = 2; i + 1 < n; i += 2) w += static_cast<wchar_t>((b[i] << 8) | b[i + 1]);
    return w;
  }
  if (ValidUtf8(bytes)) return FromCodePage(CP_UTF8, bytes.data(), n);
  return FromCodePage(CP_ACP, bytes.data(), n);
}

}  // namespace dochost
