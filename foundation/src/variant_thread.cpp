// VARIANTs that cross to another thread: objects through the Global
// Interface Table, everything else as a deep copy.
#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/variant.h"
#include "variant_internal.h"

ZEQMarshaledVariant* MarshalVariantForThread(const VARIANT* v) {
  auto* record = static_cast<ZEQMarshaledVariant*>(HeapAllocZ(sizeof(ZEQMarshaledVariant)));
  VariantInit(&record->value);
  // A reference would point into the sending thread's memory: the value it
  // names is what travels.
  const VARIANT* followed = zeqvariant::Follow(v);
  const zeqvariant::Value value = zeqvariant::Locate(followed);
  if (value.type == VT_DISPATCH) {
    IDispatch* object = zeqvariant::Read<IDispatch*>(value);
    if (object) {
      record->cookie = ZEQGITRegister(object);
      return record;
    }
    V_VT(&record->value) = VT_DISPATCH;  // a null object stays a null object
    return record;
  }
  if (followed) {
    HRESULT hr = zeqvariant::CheckMemory(
        VariantCopyInd(&record->value, const_cast<VARIANT*>(followed)));
    if (FAILED(hr)) VariantInit(&record->value);
  }
  return record;
}

BOOL UnmarshalVariantForThread(VARIANT* destination, const ZEQMarshaledVariant* record) {
  if (!destination) return FALSE;
  VariantInit(destination);
  if (!record) return FALSE;
  if (record->cookie) {
    IDispatch* object = GetGITDispatch(record->cookie);
    if (!object) return FALSE;
    VariantInitDispatch(destination, object);
    object->Release();
    return TRUE;
  }
  zeqvariant::CheckMemory(VariantCopy(destination, const_cast<VARIANT*>(&record->value)));
  return TRUE;
}

BOOL UnmarshalVariantInit(const ZEQMarshaledVariant* record, VARIANT* destination) {
  if (destination) VariantInit(destination);
  if (!record) return TRUE;
  return UnmarshalVariantForThread(destination, record);
}

void ZEQMarshaledVariant::Clear(ZEQMarshaledVariant* record) {
  if (!record) return;
  if (record->cookie) {
    RevokeGITCookie(record->cookie);
    record->cookie = 0;
  } else {
    VariantClear(&record->value);
  }
}

void ZEQMarshaledVariant::Free(ZEQMarshaledVariant* record) {
  if (!record) return;
  Clear(record);
  HeapFreeZ(record);
}
