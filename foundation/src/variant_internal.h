// Shared by the VARIANT helpers: following by-reference values and locating
// the value a VARIANT holds.
#pragma once
#include <windows.h>
#include <oaidl.h>

namespace zeqvariant {

// The VARIANT at the end of a chain of VT_BYREF | VT_VARIANT links; null for
// a null VARIANT, a null link or a chain longer than any real one (a chain
// that loops back on itself).
const VARIANT* Follow(const VARIANT* v);

// The value of a followed VARIANT: its base type (VT_BYREF cleared) and the
// address of the value of that type (inside the VARIANT, or where its
// reference points). Arrays keep their VT_ARRAY bit; a null reference gives
// VT_EMPTY.
struct Value {
  VARTYPE type;
  const void* data;
};
Value Locate(const VARIANT* v);

template <typename T>
T Read(const Value& value) {
  return *static_cast<const T*>(value.data);
}

// Throws ZEQOutOfMemory for E_OUTOFMEMORY; other results are returned.
HRESULT CheckMemory(HRESULT hr);

}  // namespace zeqvariant
