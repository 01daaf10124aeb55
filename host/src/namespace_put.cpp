#include "host/namespace_put.h"

#include "foundation/variant.h"

namespace {

HRESULT PutVariant(IDispatchEx* space, const wchar_t* name, VARIANT* value) {
  if (!space || !name) return E_INVALIDARG;
  BSTR wanted = SysAllocString(name);
  if (!wanted) return E_OUTOFMEMORY;
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = space->GetDispID(wanted, fdexNameEnsure | fdexNameCaseSensitive, &id);
  SysFreeString(wanted);
  if (FAILED(hr)) return hr;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{value, &put, 1, 1};
  return space->InvokeEx(id, 1033, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

}  // namespace

HRESULT ZEQDispatchPutUInt(IDispatchEx* space, const wchar_t* name, uint32_t value) {
  VARIANT v;
  VariantInitUInt(&v, value);
  return PutVariant(space, name, &v);
}

HRESULT ZEQDispatchPutString(IDispatchEx* space, const wchar_t* name, const char* text) {
  VARIANT v;
  VariantInit(&v);
  try {
    VariantSetString(&v, text);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = PutVariant(space, name, &v);
  VariantClear(&v);
  return hr;
}

HRESULT ZEQDispatchPutObject(IDispatchEx* space, const wchar_t* name, IDispatch* object) {
  VARIANT v;
  VariantInitDispatch(&v, object);
  const HRESULT hr = PutVariant(space, name, &v);
  VariantClear(&v);
  return hr;
}
