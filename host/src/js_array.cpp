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

// A new element filled by fill; freed again when filling raises.
template <typename Fill>
VARIANT* MakeElement(Fill fill) {
  VARIANT* element = NewElement();
  try {
    fill(element);
  } catch (...) {
    FreeElement(element);
    throw;
  }
  return element;
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
  return Insert(MakeElement([&](VARIANT* element) { VariantInitUInt(element, value); }), position);
}

int JSArray::AppendInt(int32_t value, int position) {
  return Insert(MakeElement([&](VARIANT* element) { VariantInitInt(element, value); }), position);
}

int JSArray::AppendBool(BOOL value, int position) {
  return Insert(MakeElement([&](VARIANT* element) { VariantInitBool(element, value); }), position);
}

int JSArray::AppendDouble(double value, int position) {
  return Insert(MakeElement([&](VARIANT* element) { VariantInitDouble(element, value); }), position);
}

int JSArray::AppendStringW(const wchar_t* text, int position) {
  return Insert(MakeElement([&](VARIANT* element) { VariantSetStringW(element, text); }), position);
}

int JSArray::AppendStringA(const char* text) {
  return Insert(MakeElement([&](VARIANT* element) { VariantSetString(element, text); }), kJSArrayEnd);
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
  return Insert(MakeElement([&](VARIANT* element) { VariantSetFileTimeText(element, time, toLocal); }), kJSArrayEnd);
}

int JSArray::AppendNull() {
  return Insert(MakeElement([&](VARIANT* element) { VariantInitNull(element); }), kJSArrayEnd);
}

int JSArray::AppendVariant(const VARIANT* value) {
  if (!value) return AppendNull();
  return Insert(MakeElement([&](VARIANT* element) { VariantInitCopy(element, value); }), kJSArrayEnd);
}

int JSArray::AppendVariantRef(VARIANT* value) {
  return Insert(MakeElement([&](VARIANT* element) { VariantInitRefVariant(element, value); }), kJSArrayEnd);
}

int JSArray::AppendDispatch(IDispatch* object) { return AppendDispatchAt(object, kJSArrayEnd); }

int JSArray::AppendDispatchAt(IDispatch* object, int position) {
  if (!object) return AppendNull();
  return Insert(MakeElement([&](VARIANT* element) { VariantInitDispatch(element, object); }), position);
}

int JSArray::AppendArray(JSArray* other) {
  return Insert(MakeElement([&](VARIANT* element) {
                  if (other) other->ToSafeArray(element);
                }),
                kJSArrayEnd);
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
  if (!size || FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(const_cast<unsigned char**>(&data)))) ||
      (count && !data))
    return nullptr;
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
