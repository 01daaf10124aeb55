// Argument lists built from C values by a type string.
#include <cstdarg>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/variant.h"
#include "host/js_array.h"

namespace {

// Takes the letter's value from the list; with a destination, fills it
// (initialised). False for a letter outside the table (no value taken).
bool TakeValue(char letter, va_list* args, VARIANT* v) {
  switch (letter) {
    case 'b': {
      const BOOL value = va_arg(*args, BOOL);
      if (v) VariantInitBool(v, value);
      return true;
    }
    case 'd':
    case 'i': {
      const int32_t value = va_arg(*args, int32_t);
      if (v) VariantInitInt(v, value);
      return true;
    }
    case 'u': {
      const uint32_t value = va_arg(*args, uint32_t);
      if (v) VariantInitUInt(v, value);
      return true;
    }
    case 'g': {
      const double value = va_arg(*args, double);
      if (v) VariantInitDouble(v, value);
      return true;
    }
    case 's': {
      const char* value = va_arg(*args, const char*);
      if (v) VariantSetString(v, value);
      return true;
    }
    case 'w': {
      const wchar_t* value = va_arg(*args, const wchar_t*);
      if (v) VariantSetStringW(v, value);
      return true;
    }
    case 'o': {
      IDispatch* value = va_arg(*args, IDispatch*);
      if (v) VariantInitDispatch(v, value);
      return true;
    }
    case 'v': {
      const VARIANT* value = va_arg(*args, const VARIANT*);
      if (v) {
        if (value) {
          VariantInitCopy(v, value);
        } else {
          VariantInitNull(v);
        }
      }
      return true;
    }
    case 'r': {
      VARIANT* value = va_arg(*args, VARIANT*);
      if (v) VariantInitRefVariant(v, value);
      return true;
    }
    case 'n':
      if (v) VariantInitNull(v);
      return true;
    default:
      if (v) VariantInit(v);
      return false;
  }
}

ZEQVariantVector* BuildVector(const char* types, va_list* args) {
  const bool backwards = types[0] == '<';
  const char* letters = types + (backwards ? 1 : 0);
  const int32_t count = static_cast<int32_t>(strlen(letters));
  auto* vector = static_cast<ZEQVariantVector*>(HeapAllocZ(sizeof(ZEQVariantVector)));
  try {
    if (count > 0) vector->data = HeapAllocArray<VARIANT>(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) VariantInit(&vector->data[i]);
    vector->count = count;
    for (int32_t i = 0; i < count; ++i) TakeValue(letters[i], args, &vector->data[backwards ? count - 1 - i : i]);
  } catch (...) {
    ZEQVariantVectorDelete(vector);
    throw;
  }
  return vector;
}

JSArray* BuildArray(const char* types, va_list* args) {
  JSArray* array = JSArray::New();
  try {
    for (const char* letter = types; *letter; ++letter) {
      VARIANT value;
      if (!TakeValue(*letter, args, &value)) continue;
      // A by-reference value is copied as the reference it is.
      array->AppendVariant(&value);
      VariantClear(&value);
    }
  } catch (...) {
    JSArray::Delete(array);
    throw;
  }
  return array;
}

}  // namespace

void* ZEQBuildArguments(int mode, const char* types, ...) {
  if (!types) types = "";
  va_list args;
  va_start(args, types);
  void* built = nullptr;
  try {
    if (mode == kZEQBuildVector) {
      built = BuildVector(types, &args);
    } else if (mode == kZEQBuildArray) {
      built = BuildArray(types, &args);
    } else {
      for (const char* letter = types; *letter; ++letter) TakeValue(*letter, &args, nullptr);
    }
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
  return built;
}
