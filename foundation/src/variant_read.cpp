// Reading native values out of whatever VARIANT type script passed.
#include <dispex.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "foundation/colour_text.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "variant_internal.h"

namespace zeqvariant {

// No real chain of references is anywhere near this long.
constexpr int kMaxReferenceDepth = 64;

const VARIANT* Follow(const VARIANT* v) {
  for (int depth = 0; v && V_VT(v) == (VT_BYREF | VT_VARIANT); ++depth) {
    if (depth == kMaxReferenceDepth) return nullptr;
    v = V_VARIANTREF(v);
  }
  return v;
}

Value Locate(const VARIANT* v) {
  v = Follow(v);
  if (!v) return {VT_EMPTY, nullptr};
  const VARTYPE type = V_VT(v);
  if (type & VT_BYREF) {
    if (!V_BYREF(v)) return {VT_EMPTY, nullptr};
    return {VARTYPE(type & ~VT_BYREF), V_BYREF(v)};
  }
  return {type, &V_I4(v)};
}

}  // namespace zeqvariant

using zeqvariant::Locate;
using zeqvariant::Read;
using zeqvariant::Value;

namespace {

// Texts longer than this are cut before they are read as an integer.
constexpr size_t kIntTextChars = 16;

// Truncation toward zero into the 32-bit range.
int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int32_t TextToInt(BSTR text) {
  if (!text) return 0;
  wchar_t head[kIntTextChars + 1] = {};
  wcsncpy(head, text, kIntTextChars);
  // Each character may take two bytes in a double-byte code page.
  char narrow[2 * kIntTextChars + 1];
  WideToAnsiBuf(head, narrow, sizeof(narrow));
  long value = strtol(narrow, nullptr, 10);
  // long is 32 bits here, and strtol clamps what does not fit.
  return static_cast<int32_t>(value);
}

double TextToDouble(BSTR text) {
  if (!text || !*text) return 0;
  char* narrow = WideToAnsiDup(text, 0);
  if (!narrow) return 0;
  double value = strtod(narrow, nullptr);
  HeapFreeZ(narrow);
  return value;
}

// The integer types shared by VariantToInt and VariantToDouble; found is
// false for any other type.
int64_t IntegerValue(const Value& value, bool* found) {
  *found = true;
  switch (value.type) {
    case VT_I1: return Read<signed char>(value);
    case VT_I2: return Read<SHORT>(value);
    case VT_UI1: return Read<BYTE>(value);
    case VT_UI2: return Read<USHORT>(value);
    case VT_I4: return Read<LONG>(value);
    case VT_INT: return Read<INT>(value);
    case VT_UI4: return Read<ULONG>(value);
    default: *found = false; return 0;
  }
}

BSTR TextOf(const Value& value) { return Read<BSTR>(value); }

// ASCII case folding: the boolean words are plain ASCII.
bool EqualsNoCase(const wchar_t* text, const wchar_t* word) {
  for (; *word; ++text, ++word) {
    wchar_t c = *text;
    if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    if (c != *word) return false;
  }
  return *text == 0;
}

uint32_t SwapRedBlue(uint32_t colour) {
  return (colour & 0xFF00FF00u) | (colour & 0xFFu) << 16 | (colour >> 16 & 0xFFu);
}

char* TextDup(const VARIANT* v, size_t extra, bool utf8) {
  const Value value = Locate(v);
  if (value.type == VT_NULL) return StrDupExtra("", extra);
  if (value.type != VT_BSTR) return nullptr;
  BSTR text = TextOf(value);
  if (!text || !*text) return StrDupExtra("", extra);
  return utf8 ? WideToUtf8DupLen(text, nullptr, extra) : WideToAnsiDup(text, extra);
}

}  // namespace

int32_t VariantToInt(const VARIANT* v) {
  const Value value = Locate(v);
  bool integer = false;
  int64_t n = IntegerValue(value, &integer);
  if (integer) return static_cast<int32_t>(static_cast<uint32_t>(n));
  switch (value.type) {
    case VT_BSTR: return TextToInt(TextOf(value));
    case VT_R4: return TruncateToInt(Read<FLOAT>(value));
    case VT_R8: return TruncateToInt(Read<DOUBLE>(value));
    default: return 0;
  }
}

double VariantToDouble(const VARIANT* v) {
  const Value value = Locate(v);
  bool integer = false;
  int64_t n = IntegerValue(value, &integer);
  if (integer) return static_cast<double>(n);
  switch (value.type) {
    case VT_BSTR: return TextToDouble(TextOf(value));
    case VT_R4: return Read<FLOAT>(value);
    case VT_R8: return Read<DOUBLE>(value);
    default: return 0;
  }
}

BOOL IsNumericVarType(VARTYPE type) {
  switch (type) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_DECIMAL: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL VariantToBool(const VARIANT* v) {
  const Value value = Locate(v);
  if (value.type == VT_BOOL) return Read<VARIANT_BOOL>(value) != 0;
  if (value.type == VT_BSTR) {
    BSTR text = TextOf(value);
    if (!text || !*text) return FALSE;
    if (EqualsNoCase(text, L"FALSE") || EqualsNoCase(text, L"NO")) return FALSE;
    return TRUE;  // "TRUE", "YES" and any other text
  }
  if (IsNumericVarType(value.type)) return VariantToInt(v) != 0;
  return FALSE;
}

char* VariantToStrDup(const VARIANT* v, size_t extra) { return TextDup(v, extra, false); }

char* VariantToUtf8Dup(const VARIANT* v, size_t extra) { return TextDup(v, extra, true); }

uint32_t VariantToARGB(const VARIANT* v) {
  const Value value = Locate(v);
  if (value.type != VT_BSTR) return SwapRedBlue(static_cast<uint32_t>(VariantToInt(v)));
  BSTR text = TextOf(value);
  if (!text) return 0;
  // Colour texts are short; a longer text is no colour.
  char narrow[64];
  if (!WideToAnsiBuf(text, narrow, sizeof(narrow))) return 0;
  return ParseColorToARGB(narrow);
}

COLORREF VariantToColorRef(const VARIANT* v) { return SwapRedBlue(VariantToARGB(v)); }

IDispatch* VariantGetDispatch(const VARIANT* v) {
  const VARIANT* followed = zeqvariant::Follow(v);
  const Value value = Locate(followed);
  if (value.type == VT_DISPATCH) {
    IDispatch* object = Read<IDispatch*>(value);
    if (object) object->AddRef();
    return object;
  }
  // Only the by-reference form of an IUnknown is taken, and only when the
  // object really is an IDispatch.
  if (value.type == VT_UNKNOWN && (V_VT(followed) & VT_BYREF)) {
    IUnknown* object = Read<IUnknown*>(value);
    IDispatch* dispatch = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
      return dispatch;
  }
  return nullptr;
}

IDispatchEx* VariantGetDispatchEx(const VARIANT* v) {
  IDispatch* object = VariantGetDispatch(v);
  if (!object) return nullptr;
  IDispatchEx* extended = nullptr;
  if (FAILED(object->QueryInterface(__uuidof(IDispatchEx), reinterpret_cast<void**>(&extended))))
    extended = nullptr;
  object->Release();
  return extended;
}

SAFEARRAY* VariantGetSafeArray(const VARIANT* v) {
  const Value value = Locate(v);
  if (!(value.type & VT_ARRAY)) return nullptr;
  return Read<SAFEARRAY*>(value);
}
