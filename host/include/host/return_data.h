// Result objects: most operations that script calls answer with a "ZEQReturn"
// object that carries the result members (Success, Error, ErrorCode,
// SystemErrorCode, ErrorDescription) and any number of named values, which
// script reads as plain properties. Each named value is a ZEQRETURNDATA
// record holding one VARIANT, registered in the object's member table with
// the record's token as DISPID, so it exists only on the object it was
// added to.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/records.h"
#include "host/dispatch_ex.h"

struct JSArray;

constexpr char kZEQReturnDataTag[] = "+ZEQRETURNDATA";

struct ZEQRETURNDATA {
  ZEQTypedRecord header;  // "+ZEQRETURNDATA", serial 0
  VARIANT value;
};

// Memory check over the record's size, then the tag.
bool IsReturnData(const void* record);

namespace ZEQReturn {
// A new result object (one reference) with its result fields set by
// ZEQReturnData::SetResult; null when memory is exhausted.
CZEQDispatchEx* Create(HWND owner, uint32_t code, uint32_t expected, uint32_t systemError, uint32_t mode);
// Create(owner, 0, 1, 1, 4): Success false, ErrorCode 2, SystemErrorCode 1.
CZEQDispatchEx* CreateFailed(HWND owner);
// The class callbacks: values are read as properties; any other use of them
// is refused, and new on a result object fails.
HRESULT Invoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* exception, IServiceProvider* caller);
}  // namespace ZEQReturn
HRESULT ZEQReturnGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);

// Setters: each adds a value of that name to any script object (a second
// value of the same name replaces the first, which is freed at once) and
// returns 1. The object's member store frees the records.
namespace ZEQReturnData {
int SetUInt(CZEQDispatchEx* object, const wchar_t* name, uint32_t value);
int SetInt(CZEQDispatchEx* object, const wchar_t* name, int32_t value);
int SetBool(CZEQDispatchEx* object, const wchar_t* name, BOOL value);  // VARIANT_TRUE for non-zero
int SetDouble(CZEQDispatchEx* object, const wchar_t* name, double value);
// "CacheLocalFileSize": high x 2^32 + low as a double.
int SetCacheLocalFileSize(CZEQDispatchEx* object, uint32_t high, uint32_t low);
// From the ANSI code page; null or "" gives an empty string.
int SetStringA(CZEQDispatchEx* object, const wchar_t* name, const char* value);
int SetStringW(CZEQDispatchEx* object, const wchar_t* name, const wchar_t* value);
// prefix followed by the number in lower-case hexadecimal (at most 32
// characters).
int SetHexString(CZEQDispatchEx* object, const wchar_t* name, const char* prefix, uint32_t value);
// The date text "dd/mm/yyyy hh:mm:ss" in local time.
int SetFileTime(CZEQDispatchEx* object, const wchar_t* name, const FILETIME* value);
int SetNull(CZEQDispatchEx* object, const wchar_t* name);
// With a reference of its own; a null object is stored as null.
int SetDispatch(CZEQDispatchEx* object, const wchar_t* name, IDispatch* value);
int SetVariant(CZEQDispatchEx* object, const wchar_t* name, const VARIANT* value);
// VT_ARRAY | VT_UI1 holding the array, which the value takes over; a null
// array is stored as null.
int SetBinary(CZEQDispatchEx* object, const wchar_t* name, SAFEARRAY* bytes);
// The array's elements as one SAFEARRAY value; an empty array stores an
// empty value.
int SetArray(CZEQDispatchEx* object, const wchar_t* name, JSArray* array);
int SetArrayCopy(CZEQDispatchEx* object, const wchar_t* name, JSArray* array);
// A list of narrow strings, each ending in NUL, the list ending where a NUL
// follows a string's NUL, as an array of strings. The first string is always
// taken.
int SetStringList(CZEQDispatchEx* object, const wchar_t* name, const char* list);
}  // namespace ZEQReturnData

// Adds one named value per key=value field of a comma-separated text (a
// comma or '=' inside double quotes belongs to the field): "ResultCode" as
// a hexadecimal VT_UI4, "HRCounter" as the decimal VT_I4 after its leading
// non-digits, any other key as a string. Returns 1.
int ParseTraceFields(const char* text, CZEQDispatchEx* object);
