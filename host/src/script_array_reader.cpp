// Script arrays read into one SAFEARRAY of their elements.
#include <cwchar>

#include "foundation/variant.h"
#include "host/dispatch_ex.h"

namespace {

// Longest array read element by element.
constexpr double kMaxElements = 1048576;

// A property of the array (case-sensitive name) into value; false when it
// has none.
bool ReadProperty(IDispatchEx* array, const wchar_t* name, VARIANT* value) {
  BSTR wanted = SysAllocString(name);
  if (!wanted) return false;
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = array->GetDispID(wanted, fdexNameCaseSensitive, &id);
  SysFreeString(wanted);
  if (FAILED(hr)) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return SUCCEEDED(array->InvokeEx(id, GetUserDefaultLCID(), DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr));
}

// The elements through the array's own members ("length", then "0", "1"
// ...), for engines whose arrays have no hidden array property. Holes read
// as empty values.
bool ReadElements(IDispatchEx* array, VARIANT* out) {
  VARIANT length;
  VariantInit(&length);
  if (!ReadProperty(array, L"length", &length)) return false;
  const double count = VariantToDouble(&length);
  VariantClear(&length);
  if (!(count >= 0 && count <= kMaxElements) || count != static_cast<double>(static_cast<ULONG>(count))) return false;
  const ULONG n = static_cast<ULONG>(count);
  SAFEARRAY* elements = SafeArrayCreateVector(VT_VARIANT, 0, n);
  if (!elements) return false;
  VARIANT* slots = nullptr;
  if (FAILED(SafeArrayAccessData(elements, reinterpret_cast<void**>(&slots)))) {
    SafeArrayDestroy(elements);
    return false;
  }
  for (ULONG i = 0; i < n; ++i) {
    wchar_t index[16];
    swprintf(index, 16, L"%lu", i);
    if (!ReadProperty(array, index, &slots[i])) VariantInit(&slots[i]);
  }
  SafeArrayUnaccessData(elements);
  VariantClear(out);
  V_VT(out) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(out) = elements;
  return true;
}

}  // namespace

bool ScriptArrayToSafeArray(const VARIANT* in, VARIANT* out) {
  if (!in || !out || V_VT(in) != VT_DISPATCH || !V_DISPATCH(in)) return false;
  IDispatchEx* array = nullptr;
  if (FAILED(V_DISPATCH(in)->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&array))) || !array) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  bool read =
      SUCCEEDED(array->InvokeEx(-2700, GetUserDefaultLCID(), DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr));
  if (!read) read = ReadElements(array, out);
  array->Release();
  return read;
}
