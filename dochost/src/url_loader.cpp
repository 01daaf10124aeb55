#include "url_loader.h"

#include <shlwapi.h>
#include <urlmon.h>

#include "com_util.h"

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

HRESULT LoadUrlBytes(const std::wstring& url, std::string* bytes) {
  bytes->clear();
  Ref<IMoniker> moniker;
  HRESULT hr = CreateURLMonikerEx(nullptr, url.c_str(), moniker.Out(), URL_MK_UNIFORM);
  if (FAILED(hr)) return hr;
  Ref<IBindCtx> ctx;
  if (FAILED(hr = CreateBindCtx(0, ctx.Out()))) return hr;
  Ref<IStream> stream;
  hr = moniker->BindToStorage(ctx.Get(), nullptr, IID_IStream, stream.OutVoid());
  if (FAILED(hr)) return hr;
  if (!stream) return E_FAIL;
  char chunk[16384];
  for (;;) {
    ULONG got = 0;
    hr = stream->Read(chunk, sizeof(chunk), &got);
    if (got) bytes->append(chunk, got);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE || got == 0) break;
  }
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
