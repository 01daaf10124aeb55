// JSArray: the heap VARIANTs of a script array and their conversion into one
// SAFEARRAY of VARIANTs.
#include "host/js_array.h"

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/variant.h"

namespace {

VARIANT* NewElement() {
  auto* element = static_cast<VARIANT*>(HeapAllocZ(sizeof(VARIANT)));
  VariantInit(element);
  return element;
}

void FreeElement(VARIANT* element) {
  if (!element) return;
  VariantClear(element);
  HeapFreeZ(element);
}

}  // namespace

bool IsJSArray(const void* record) { return IsTaggedRecord(record, sizeof(JSArray), kJSArrayTag); }

JSArray* JSArray::Init() {
  ZEQStampRecord(this, kJSArrayTag, nullptr);
  holder = nullptr;
  auto* made = static_cast<ZEQListHolder*>(HeapAllocZ(sizeof(ZEQListHolder)));
  try {
    made->list = new ZEQList;
  } catch (...) {
    HeapFreeZ(made);
    throw;
  }
  holder = made;
  return this;
}

int JSArray::Clear() {
  ZEQList* list = List();
  if (!list) return 1;
  ZEQLockGuard guard(list->lock);
  for (int i = 0; i < list->count; ++i) {
    ZEQListItem* item = list->index[i];
    FreeElement(reinterpret_cast<VARIANT*>(item->key));
    item->key = 0;
  }
  list->Clear(false);
  return 1;
}

void JSArray::Destroy() {
  Clear();
  ZEQList::DeleteHolder(holder);
  holder = nullptr;
}

JSArray* JSArray::New() {
  auto* array = static_cast<JSArray*>(HeapAllocZ(sizeof(JSArray)));
  try {
    return array->Init();
  } catch (...) {
    HeapFreeZ(array);
    throw;
  }
}

JSArray* JSArray::Delete(JSArray* array) {
  if (!array) return array;
  array->Destroy();
  ZEQRetireRecord(array);
  HeapFreeZ(array);
  return array;
}

int JSArray::ResetToUInt(uint32_t value) {
  Clear();
  AppendUInt(value);
  return 0;
}

int JSArray::Count() {
  ZEQList* list = List();
  if (!list) return 0;
  ZEQLockGuard guard(list->lock);
  return list->count;
}

VARIANT* JSArray::At(int index) {
  ZEQList* list = List();
  return list ? reinterpret_cast<VARIANT*>(list->GetAt(index, false)) : nullptr;
}

int JSArray::Insert(VARIANT* element, int position) {
  ZEQList* list = List();
  ZEQListItem* item = nullptr;
  try {
    if (list) item = list->Insert(element, 0, position, 0, 0, ZEQLIST_POINTER_KEY, nullptr);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  if (!item) FreeElement(element);
  return 1;
}

int JSArray::AppendUInt(uint32_t value, int position) {
  VARIANT* element = NewElement();
  VariantInitUInt(element, value);
  return Insert(element, position);
}

int JSArray::AppendInt(int32_t value, int position) {
  VARIANT* element = NewElement();
  VariantInitInt(element, value);
  return Insert(element, position);
}

int JSArray::AppendBool(BOOL value, int position) {
  VARIANT* element = NewElement();
  VariantInitBool(element, value);
  return Insert(element, position);
}

int JSArray::AppendDouble(double value, int position) {
  VARIANT* element = NewElement();
  VariantInitDouble(element, value);
  return Insert(element, position);
}

int JSArray::AppendStringW(const wchar_t* text, int position) {
  VARIANT* element = NewElement();
  try {
    VariantSetStringW(element, text);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  return Insert(element, position);
}

int JSArray::AppendStringA(const char* text) {
  VARIANT* element = NewElement();
  try {
    VariantSetString(element, text);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  return Insert(element, kJSArrayEnd);
}

int JSArray::AppendStringList(ZEQList* list) {
  if (!list) return 1;
  ZEQLockGuard guard(list->lock);
  for (int i = 0; i < list->count; ++i) {
    const ZEQListItem* item = list->index[i];
    AppendStringA(item->keyLength > 0 ? item->KeyText() : nullptr);
  }
  return 1;
}

int JSArray::AppendFileTime(const FILETIME* time, bool toLocal) {
  VARIANT* element = NewElement();
  try {
    VariantSetFileTimeText(element, time, toLocal);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  return Insert(element, kJSArrayEnd);
}

int JSArray::AppendNull() {
  VARIANT* element = NewElement();
  VariantInitNull(element);
  return Insert(element, kJSArrayEnd);
}

int JSArray::AppendVariant(const VARIANT* value) {
  if (!value) return AppendNull();
  VARIANT* element = NewElement();
  try {
    VariantInitCopy(element, value);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  return Insert(element, kJSArrayEnd);
}

int JSArray::AppendVariantRef(VARIANT* value) {
  VARIANT* element = NewElement();
  VariantInitRefVariant(element, value);
  return Insert(element, kJSArrayEnd);
}

int JSArray::AppendDispatch(IDispatch* object) { return AppendDispatchAt(object, kJSArrayEnd); }

int JSArray::AppendDispatchAt(IDispatch* object, int position) {
  if (!object) return AppendNull();
  VARIANT* element = NewElement();
  VariantInitDispatch(element, object);
  return Insert(element, position);
}

int JSArray::AppendArray(JSArray* other) {
  VARIANT* element = NewElement();
  try {
    if (other) other->ToSafeArray(element);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  return Insert(element, kJSArrayEnd);
}

VARIANT* JSArray::ToSafeArray(VARIANT* out) {
  if (!out) return nullptr;
  ZEQList* list = List();
  if (!list) return out;
  ZEQLockGuard guard(list->lock);
  if (list->count < 1) return out;
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(list->count));
  if (!array) throw ZEQOutOfMemory();
  VARIANT* slots = nullptr;
  if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&slots)))) {
    SafeArrayDestroy(array);
    return out;
  }
  for (int i = 0; i < list->count; ++i) {
    VariantInit(&slots[i]);
    VariantCopy(&slots[i], reinterpret_cast<VARIANT*>(list->index[i]->key));
  }
  SafeArrayUnaccessData(array);
  V_VT(out) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(out) = array;
  return out;
}

int JSArray::ToVariant(JSArray* array, VARIANT* out) {
  if (array && out) array->ToSafeArray(out);
  return 0;
}

char* SafeArrayToHeapBuffer(SAFEARRAY* array) {
  if (!array) return nullptr;
  const UINT dimensions = SafeArrayGetDim(array);
  size_t count = dimensions ? 1 : 0;
  for (UINT i = 0; i < dimensions; ++i) count *= array->rgsabound[i].cElements;
  const UINT size = SafeArrayGetElemsize(array);
  const unsigned char* data = nullptr;
  if (!size || FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(const_cast<unsigned char**>(&data)))) || (count && !data)) return nullptr;
  char* block = nullptr;
  try {
    block = static_cast<char*>(HeapAllocZ(count + 3));
  } catch (...) {
    SafeArrayUnaccessData(array);
    throw;
  }
  // One byte per element: a VARIANT element's value, else the element's
  // first (lowest) byte.
  VARTYPE type = VT_EMPTY;
  SafeArrayGetVartype(array, &type);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* element = data + i * size;
    block[i] = type == VT_VARIANT ? static_cast<char>(VariantToInt(reinterpret_cast<const VARIANT*>(element)))
                                  : static_cast<char>(element[0]);
  }
  SafeArrayUnaccessData(array);
  return block;
}
