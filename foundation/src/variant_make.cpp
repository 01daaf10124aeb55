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

// VariantInit, the value, then the type: a value that throws leaves an empty
// VARIANT. 1, or 0 for a null VARIANT.
template <typename Fill>
int Make(VARIANT* v, VARTYPE type, Fill fill) {
  if (!v) return 0;
  VariantInit(v);
  fill(v);
  V_VT(v) = type;
  return 1;
}

}  // namespace

int VariantInitInt(VARIANT* v, int32_t value) {
  return Make(v, VT_I4, [&](VARIANT* m) { V_I4(m) = value; });
}

void VariantSetInt(VARIANT* v, int32_t value) { VariantInitInt(v, value); }

int VariantInitUInt(VARIANT* v, uint32_t value) {
  return Make(v, VT_UI4, [&](VARIANT* m) { V_UI4(m) = value; });
}

void VariantSetUInt(VARIANT* v, uint32_t value) { VariantInitUInt(v, value); }

int VariantInitDouble(VARIANT* v, double value) {
  return Make(v, VT_R8, [&](VARIANT* m) { V_R8(m) = value; });
}

int VariantInitBool(VARIANT* v, BOOL flag) {
  return VariantInitBoolValue(v, flag ? VARIANT_TRUE : VARIANT_FALSE);
}

int VariantInitBoolValue(VARIANT* v, VARIANT_BOOL value) {
  return Make(v, VT_BOOL, [&](VARIANT* m) { V_BOOL(m) = value; });
}

int VariantInitNull(VARIANT* v) {
  return Make(v, VT_NULL, [](VARIANT*) {});
}

int VariantInitDispatch(VARIANT* v, IDispatch* object) {
  if (!object) return VariantInitNull(v);
  return Make(v, VT_DISPATCH, [&](VARIANT* m) {
    object->AddRef();
    V_DISPATCH(m) = object;
  });
}

void VariantSetDispatch(VARIANT* v, IDispatch* object) { VariantInitDispatch(v, object); }

int VariantSetStringW(VARIANT* v, const wchar_t* wide) {
  return Make(v, VT_BSTR, [&](VARIANT* m) {
    V_BSTR(m) = wide ? CheckedString(SysAllocString(wide)) : nullptr;
  });
}

int VariantSetString(VARIANT* v, const char* text) {
  return Make(v, VT_BSTR, [&](VARIANT* m) {
    V_BSTR(m) = CheckedString(IsEmptyString(text) ? SysAllocString(L"") : AnsiToBSTR(text));
  });
}

int VariantInitRefVariant(VARIANT* v, VARIANT* target) {
  return Make(v, VT_BYREF | VT_VARIANT, [&](VARIANT* m) { V_VARIANTREF(m) = target; });
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
  Make(v, VT_ARRAY | VT_VARIANT, [&](VARIANT* m) { V_ARRAY(m) = StringToByteVariantArray(text); });
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
