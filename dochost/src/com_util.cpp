#include "com_util.h"

#include <cwctype>

#include "foundation/log.h"
#include "interface_stubs.h"

namespace dochost {

HRESULT ReturnBstr(const std::wstring& s, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

void SetVariantString(VARIANT* v, const std::wstring& s) {
  VariantInit(v);
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

std::wstring VariantText(const VARIANT* v) {
  if (!v) return std::wstring();
  if (V_VT(v) == VT_BSTR) return V_BSTR(v) ? std::wstring(V_BSTR(v), SysStringLen(V_BSTR(v))) : std::wstring();
  VARIANT tmp;
  VariantInit(&tmp);
  std::wstring s;
  if (V_VT(v) != VT_EMPTY && V_VT(v) != VT_NULL &&
      SUCCEEDED(VariantChangeType(&tmp, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR)) && V_BSTR(&tmp))
    s.assign(V_BSTR(&tmp), SysStringLen(V_BSTR(&tmp)));
  VariantClear(&tmp);
  return s;
}

long VariantLong(const VARIANT* v, long fallback) {
  if (!v) return fallback;
  VARIANT tmp;
  VariantInit(&tmp);
  long r = fallback;
  if (SUCCEEDED(VariantChangeType(&tmp, const_cast<VARIANT*>(v), 0, VT_I4))) r = V_I4(&tmp);
  VariantClear(&tmp);
  return r;
}

IDispatch* VariantDispatch(const VARIANT* v) {
  if (!v) return nullptr;
  IUnknown* unk = nullptr;
  switch (V_VT(v)) {
    case VT_DISPATCH: unk = V_DISPATCH(v); break;
    case VT_UNKNOWN: unk = V_UNKNOWN(v); break;
    case VT_DISPATCH | VT_BYREF: unk = V_DISPATCHREF(v) ? *V_DISPATCHREF(v) : nullptr; break;
    case VT_UNKNOWN | VT_BYREF: unk = V_UNKNOWNREF(v) ? *V_UNKNOWNREF(v) : nullptr; break;
    case VT_VARIANT | VT_BYREF: return VariantDispatch(V_VARIANTREF(v));
    default: return nullptr;
  }
  IDispatch* d = nullptr;
  if (unk) unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
  return d;
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring Upper(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

std::wstring Utf8ToWide(const char* s, size_t n) {
  if (!s || !n) return std::wstring();
  int len = MultiByteToWideChar(CP_UTF8, 0, s, static_cast<int>(n), nullptr, 0);
  std::wstring w(len, L'\0');
  if (len) MultiByteToWideChar(CP_UTF8, 0, s, static_cast<int>(n), &w[0], len);
  return w;
}

std::string WideToUtf8(const std::wstring& s) {
  if (s.empty()) return std::string();
  int len = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(len, '\0');
  if (len) WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], len, nullptr, nullptr);
  return out;
}

std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(s[b])) ++b;
  while (e > b && std::iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

HRESULT Unserved(const char* interfaceName, const char* member, volatile LONG* logged) {
  if (logged && InterlockedExchange(logged, 1) == 0)
    ZEQLogPrintf("DocHost: [NOT SERVED] %s::%s", interfaceName, member);
  return E_NOTIMPL;
}

}  // namespace dochost
