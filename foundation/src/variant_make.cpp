// Making VARIANTs of native values.
#include <climits>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "variant_internal.h"

namespace zeqvariant {

HRESULT CheckMemory(HRESULT hr) {
  if (hr == E_OUTOFMEMORY) throw ZEQOutOfMemory();
  return hr;
}

}  // namespace zeqvariant

namespace {

BSTR CheckedString(BSTR made) {
  if (!made) throw ZEQOutOfMemory();
  return made;
}

}  // namespace

int VariantInitInt(VARIANT* v, int32_t value) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_I4;
  V_I4(v) = value;
  return 1;
}

void VariantSetInt(VARIANT* v, int32_t value) { VariantInitInt(v, value); }

int VariantInitUInt(VARIANT* v, uint32_t value) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_UI4;
  V_UI4(v) = value;
  return 1;
}

void VariantSetUInt(VARIANT* v, uint32_t value) { VariantInitUInt(v, value); }

int VariantInitDouble(VARIANT* v, double value) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_R8;
  V_R8(v) = value;
  return 1;
}

int VariantInitBool(VARIANT* v, BOOL flag) {
  return VariantInitBoolValue(v, flag ? VARIANT_TRUE : VARIANT_FALSE);
}

int VariantInitBoolValue(VARIANT* v, VARIANT_BOOL value) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_BOOL;
  V_BOOL(v) = value;
  return 1;
}

int VariantInitNull(VARIANT* v) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_NULL;
  return 1;
}

int VariantInitDispatch(VARIANT* v, IDispatch* object) {
  if (!v) return 0;
  if (!object) return VariantInitNull(v);
  VariantInit(v);
  object->AddRef();
  V_VT(v) = VT_DISPATCH;
  V_DISPATCH(v) = object;
  return 1;
}

void VariantSetDispatch(VARIANT* v, IDispatch* object) { VariantInitDispatch(v, object); }

int VariantSetStringW(VARIANT* v, const wchar_t* wide) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = wide ? CheckedString(SysAllocString(wide)) : nullptr;
  return 1;
}

int VariantSetString(VARIANT* v, const char* text) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = CheckedString(IsEmptyString(text) ? SysAllocString(L"") : AnsiToBSTR(text));
  return 1;
}

int VariantInitRefVariant(VARIANT* v, VARIANT* target) {
  if (!v) return 0;
  VariantInit(v);
  V_VT(v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(v) = target;
  return 1;
}

SAFEARRAY* StringToByteVariantArray(const char* text) {
  const size_t n = text ? strlen(text) : 0;
  if (n > ULONG_MAX) throw ZEQOutOfMemory();
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(n));
  if (!array) throw ZEQOutOfMemory();
  if (n == 0) return array;
  VARIANT* elements = nullptr;
  if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements)))) {
    SafeArrayDestroy(array);
    throw ZEQOutOfMemory();
  }
  // The elements were created empty; each becomes one byte of the text.
  for (size_t i = 0; i < n; ++i) {
    V_VT(&elements[i]) = VT_UI1;
    V_UI1(&elements[i]) = static_cast<BYTE>(text[i]);
  }
  SafeArrayUnaccessData(array);
  return array;
}

VARIANT* VariantSetByteArray(VARIANT* v, const char* text) {
  if (!v) return nullptr;
  VariantInit(v);
  V_ARRAY(v) = StringToByteVariantArray(text);
  V_VT(v) = VT_ARRAY | VT_VARIANT;
  return v;
}

void VariantInitCopy(VARIANT* destination, const VARIANT* source) {
  VariantCopyInit(destination, source);
}

int VariantCopyInit(VARIANT* destination, const VARIANT* source) {
  if (!destination) return 0;
  VariantInit(destination);
  if (source) zeqvariant::CheckMemory(VariantCopy(destination, const_cast<VARIANT*>(source)));
  return 1;
}

int VariantSetFileTimeText(VARIANT* v, const FILETIME* time, bool toLocal) {
  if (!v) return 0;
  char text[32];
  FormatFileTime(text, sizeof(text), time, toLocal);
  return VariantSetString(v, text);
}
