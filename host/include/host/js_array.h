// Script arrays: native code collects the values it hands to script (event
// arguments, enumerations, header lists, reply elements) in a JSArray, an
// ordered list of heap VARIANTs that the array owns, and turns it into one
// VARIANT holding a SAFEARRAY of VARIANTs, which script receives as one array
// value.
//
// Typical use in a class Invoke callback: a JSArray in place, Init, append,
// ToVariant into the result, Destroy.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/list.h"
#include "foundation/records.h"
#include "windows/records.h"

constexpr char kJSArrayTag[] = "+JSARRAY";
// Appending position: at or past the count appends, 0 or less puts first.
constexpr int kJSArrayEnd = 0x7FFFFFFF;

struct JSArray {
  ZEQTypedRecord header;  // "+JSARRAY", serial 0
  ZEQListHolder* holder;  // its list

  // Writes the tag and makes a new empty list; returns this.
  JSArray* Init();
  // Clears and frees every element, then empties the list for reuse; 1.
  int Clear();
  // Clear, then deletes the list and its holder (not the record itself).
  void Destroy();
  // A new heap array, initialised.
  static JSArray* New();
  // Destroy, then frees a heap record; returns the pointer it was given.
  static JSArray* Delete(JSArray* array);
  // Clear, then one VT_UI4 element; 0.
  int ResetToUInt(uint32_t value);

  int Count();
  // The element VARIANT at an index (owned by the array), or null.
  VARIANT* At(int index);

  // Appenders: each returns 1.
  int AppendUInt(uint32_t value, int position = kJSArrayEnd);
  int AppendInt(int32_t value, int position = kJSArrayEnd);
  int AppendBool(BOOL value, int position = kJSArrayEnd);  // VARIANT_TRUE for non-zero
  int AppendDouble(double value, int position = kJSArrayEnd);
  int AppendStringW(const wchar_t* text, int position = kJSArrayEnd);
  // From the ANSI code page; null or "" gives an empty string.
  int AppendStringA(const char* text);
  // One string per key of a list whose keys are narrow texts, in list order.
  int AppendStringList(ZEQList* list);
  // The date text "dd/mm/yyyy hh:mm:ss", in local time when toLocal is set.
  int AppendFileTime(const FILETIME* time, bool toLocal);
  int AppendNull();
  // A copy; a null pointer appends null.
  int AppendVariant(const VARIANT* value);
  // A by-reference element pointing to value, which must outlive the array's
  // use.
  int AppendVariantRef(VARIANT* value);
  // VT_DISPATCH with its own reference; a null object appends null.
  int AppendDispatch(IDispatch* object);
  // The same at a position (a null object is appended at the end).
  int AppendDispatchAt(IDispatch* object, int position);
  // The other array as one nested array element.
  int AppendArray(JSArray* other);
  // A new script object of the container (VT_DISPATCH), or null for an
  // empty holder.
  int AppendZEQIBC(const ZEQContainerHolder& container);

  // Under the list's lock: a SAFEARRAY of VARIANT copies of the elements in
  // out (VT_ARRAY | VT_VARIANT). An empty array leaves out as it was.
  // Returns out.
  VARIANT* ToSafeArray(VARIANT* out);
  // ToSafeArray when both are given; 0.
  static int ToVariant(JSArray* array, VARIANT* out);

 private:
  int Insert(VARIANT* element, int position);
  ZEQList* List() const { return holder ? holder->list : nullptr; }
};

// Valid JSArray record (memory check and tag).
bool IsJSArray(const void* record);

// Argument lists from C values, one per letter of the type string:
//   b BOOL (VT_BOOL), d and i int32_t (VT_I4), u uint32_t (VT_UI4),
//   g double (VT_R8), s narrow text (VT_BSTR, ANSI), w wide text (VT_BSTR),
//   o IDispatch* (VT_DISPATCH with a reference; null gives VT_NULL),
//   v VARIANT* (a copy; null gives VT_NULL), r VARIANT* (by reference),
//   n no value (VT_NULL).
// Other letters take no value.
enum ZEQBuildMode {
  // A new ZEQVariantVector (freed with ZEQVariantVectorDelete) with one
  // VARIANT per letter (other letters leave theirs empty); a type string
  // beginning with '<' fills it from the last slot back, as DISPPARAMS
  // expects.
  kZEQBuildVector = 0,
  // A new heap JSArray (JSArray::Delete) with the values in order; other
  // letters append nothing.
  kZEQBuildArray = 1,
};
// Any other mode steps over the values and returns null.
void* ZEQBuildArguments(int mode, const char* types, ...);

// A byte SAFEARRAY copied into a new heap block, one byte per element,
// three bytes longer than the element count (so always terminated); null
// when the data cannot be read. The caller frees it (HeapFreeZ).
char* SafeArrayToHeapBuffer(SAFEARRAY* array);
