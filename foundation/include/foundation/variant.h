// VARIANT helpers: the one reading of script values for the whole program.
//
// Makers first VariantInit the destination (they do not clear what it held);
// a null destination does nothing and gives 0. Makers throw ZEQOutOfMemory
// when a BSTR, array or copy cannot be allocated.
//
// Readers never fail: a type they do not handle gives 0, FALSE, null or an
// empty text. Every reader follows by-reference VARIANTs (VT_BYREF |
// VT_VARIANT) to the value they point to, however deeply nested (a chain
// that never ends, or a null link, reads as empty), and reads the by-reference
// form of a plain type (VT_BYREF | type) through its pointer as that type.
// Texts returned are new process-heap blocks (HeapFreeZ).
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <cstdint>

struct IDispatchEx;

// ---------------------------------------------------------------------------
// Making VARIANTs.

int VariantInitInt(VARIANT* v, int32_t value);  // VT_I4
void VariantSetInt(VARIANT* v, int32_t value);
int VariantInitUInt(VARIANT* v, uint32_t value);  // VT_UI4
void VariantSetUInt(VARIANT* v, uint32_t value);
inline void VariantSetUInt32(VARIANT* v, DWORD value) { VariantSetUInt(v, value); }
int VariantInitDouble(VARIANT* v, double value);  // VT_R8
// VT_BOOL: VARIANT_TRUE for a non-zero flag, else VARIANT_FALSE.
int VariantInitBool(VARIANT* v, BOOL flag);
// VT_BOOL holding the given VARIANT_BOOL as it is.
int VariantInitBoolValue(VARIANT* v, VARIANT_BOOL value);
int VariantInitNull(VARIANT* v);
// VT_DISPATCH with a reference of its own; VT_NULL for a null object.
int VariantInitDispatch(VARIANT* v, IDispatch* object);
void VariantSetDispatch(VARIANT* v, IDispatch* object);
// VT_BSTR copied from a wide text (a null text gives a null BSTR, which
// reads as empty).
int VariantSetStringW(VARIANT* v, const wchar_t* wide);
// VT_BSTR from an ANSI text; a null or empty text gives an empty BSTR.
int VariantSetString(VARIANT* v, const char* text);
// VT_BYREF | VT_VARIANT pointing to target (which must outlive v).
int VariantInitRefVariant(VARIANT* v, VARIANT* target);
// One-dimensional SAFEARRAY of VARIANTs (lower bound 0) holding one VT_UI1
// per byte of the text, terminator excluded; a null text gives no elements.
SAFEARRAY* StringToByteVariantArray(const char* text);
// VT_ARRAY | VT_VARIANT holding StringToByteVariantArray(text); returns v.
VARIANT* VariantSetByteArray(VARIANT* v, const char* text);
// VariantInit, then VariantCopy (a null source leaves the destination empty).
void VariantInitCopy(VARIANT* destination, const VARIANT* source);
int VariantCopyInit(VARIANT* destination, const VARIANT* source);
// VT_BSTR of the date text "dd/mm/yyyy hh:mm:ss" ("00/00/0000 00:00:00" for
// no time), converted to local time when toLocal is set.
int VariantSetFileTimeText(VARIANT* v, const FILETIME* time, bool toLocal);

// ---------------------------------------------------------------------------
// Reading VARIANTs.

// VT_BSTR: its first 16 characters read as a decimal integer (leading blanks
// and a sign allowed, reading stops at the first other character, values
// beyond the 32-bit range are clamped); VT_I1, VT_I2 sign-extended; VT_UI1,
// VT_UI2, VT_I4, VT_UI4, VT_INT as they are; VT_R4, VT_R8 truncated toward
// zero (clamped to the 32-bit range; NaN gives 0). Every other type 0
// (VT_BOOL, dates and objects included).
int32_t VariantToInt(const VARIANT* v);
// VT_BSTR: the whole text read as a decimal number; the integer types of
// VariantToInt and VT_R4, VT_R8 as they are; other types 0.
double VariantToDouble(const VARIANT* v);
// VT_BOOL non-zero; VT_BSTR: "TRUE" and "YES" TRUE, "FALSE", "NO" and the
// empty text FALSE (any case), every other text TRUE; numeric types
// (IsNumericVarType) their VariantToInt non-zero; every other type FALSE.
BOOL VariantToBool(const VARIANT* v);
// VT_I2, VT_I4, VT_R4, VT_R8, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4,
// VT_I8, VT_UI8, VT_INT, VT_UINT.
BOOL IsNumericVarType(VARTYPE type);
// A text VARIANT as a new ANSI (or UTF-8) text with room for extra bytes;
// VT_NULL gives "" with room for extra; other types null.
char* VariantToStrDup(const VARIANT* v, size_t extra);
char* VariantToUtf8Dup(const VARIANT* v, size_t extra);
// A colour as 0xAARRGGBB: a text through ParseColorToARGB; a number is a
// Windows colour value 0x??BBGGRR whose red and blue bytes are exchanged
// (the top byte is kept).
uint32_t VariantToARGB(const VARIANT* v);
// VariantToARGB with red and blue exchanged back: a colour text gives its
// COLORREF, a number comes back as it is.
COLORREF VariantToColorRef(const VARIANT* v);
// VT_DISPATCH or VT_BYREF | VT_DISPATCH with a reference for the caller;
// VT_BYREF | VT_UNKNOWN asked for IDispatch; other types null.
IDispatch* VariantGetDispatch(const VARIANT* v);
// The object of VariantGetDispatch asked for IDispatchEx (a reference the
// caller owns), or null.
IDispatchEx* VariantGetDispatchEx(const VARIANT* v);
// The array of a VT_ARRAY or VT_BYREF | VT_ARRAY value (not copied: it stays
// with the VARIANT), or null.
SAFEARRAY* VariantGetSafeArray(const VARIANT* v);

// ---------------------------------------------------------------------------
// Argument arrays and cross-thread values.

// The pre-destroy callback of VARIANT holders: VariantClear; returns 1.
int VariantClearCallback(VARIANT* v);

// An argument array in the DISPPARAMS form: {VARIANT array, no named ids,
// count, 0}, record and array on the process heap.
namespace ZEQVariantArray {
// VariantClear of the elements from the last to the first, then frees the
// array and the record. A null record is ignored.
void Delete(DISPPARAMS* record);
}  // namespace ZEQVariantArray

// A VARIANT made ready for another thread: an object (VT_DISPATCH) is parked
// in the Global Interface Table and travels as its cookie, with the VARIANT
// left empty; any other value is a deep copy and the cookie is 0.
struct ZEQMarshaledVariant {
  VARIANT value;
  DWORD cookie;

  // Revokes the cookie when it is set, else clears the VARIANT; the record
  // stays allocated and empty.
  static void Clear(ZEQMarshaledVariant* record);
  // Clear, then frees the record. A null record is ignored.
  static void Free(ZEQMarshaledVariant* record);
};

// A new heap record of the value (a null VARIANT gives an empty value).
// By-reference values are followed and copied, never carried as pointers.
// An object that the table refuses travels as an empty value.
ZEQMarshaledVariant* MarshalVariantForThread(const VARIANT* v);
// Turns the record back into a VARIANT on the calling thread: an object is
// fetched from the table (its proxy for this thread), anything else copied.
// FALSE when the object cannot be fetched or an argument is null (the
// destination is left empty). The record stays with the caller.
BOOL UnmarshalVariantForThread(VARIANT* destination, const ZEQMarshaledVariant* record);
// VariantInit of the destination; with a record, UnmarshalVariantForThread.
// TRUE without a record.
BOOL UnmarshalVariantInit(const ZEQMarshaledVariant* record, VARIANT* destination);
