// Result objects and the named values that operations add to them.
#include "host/return_data.h"

#include <cstdio>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/pointer_token.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/js_array.h"
#include "member_table_internal.h"

using namespace zeqmembers;

namespace {

void FreeRecord(ZEQRETURNDATA* record) {
  ZEQReleasePointerToken(record);
  VariantClear(&record->value);
  ZEQRetireRecord(record);
  HeapFreeZ(record);
}

// Makes a record, lets fill set its VARIANT and registers it under the name
// as a method entry whose DISPID is the record's token. The entry owns the
// record from then on.
template <typename Fill>
int AddValue(CZEQDispatchEx* object, const wchar_t* name, Fill fill) {
  if (!object) return 0;
  auto* record = static_cast<ZEQRETURNDATA*>(HeapAllocZ(sizeof(ZEQRETURNDATA)));
  ZEQStampRecord(record, kZEQReturnDataTag, nullptr);
  VariantInit(&record->value);
  try {
    fill(&record->value);
    const bool indexed = (object->flags & kZEQDispIndexed) != 0;
    ZEQListItem* item = nullptr;
    if (indexed || !IsEmptyStringW(name)) {
      item =
          PutEntry(object->Members(true), name, ZEQPointerToToken(record), kZEQMemberMethod, kOwnsReturnData, indexed);
    }
    if (!item) FreeRecord(record);
  } catch (...) {
    FreeRecord(record);
    throw;
  }
  return 1;
}

}  // namespace

bool IsReturnData(const void* record) { return IsTaggedRecord(record, sizeof(ZEQRETURNDATA), kZEQReturnDataTag); }

void ZEQReturnDataFreeToken(uint32_t token) {
  auto* record = static_cast<ZEQRETURNDATA*>(ZEQTokenToPointer(token));
  if (IsReturnData(record)) FreeRecord(record);
}

// ---------------------------------------------------------------------------
// The "ZEQReturn" class.

namespace ZEQReturn {

CZEQDispatchEx* Create(HWND owner, uint32_t code, uint32_t expected, uint32_t systemError, uint32_t mode) {
  CZEQDispatchEx* object = nullptr;
  try {
    object = CZEQDispatchEx::Create(L"ZEQReturn", owner, ZEQReturnGetIDsOfNames, Invoke, kZEQDispInstance);
    ZEQReturnData::SetResult(object, code, expected, systemError, mode);
  } catch (const ZEQOutOfMemory&) {
    if (object) object->Release();
    return nullptr;
  }
  return object;
}

CZEQDispatchEx* CreateFailed(HWND owner) { return Create(owner, 0, 1, 1, 4); }

HRESULT Invoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
               IServiceProvider*) {
  // The values go with the object's member store.
  if (ZEQIsLifecycleCall(id, flags, params, result)) return S_OK;
  if (flags & DISPATCH_CONSTRUCT) return DISP_E_EXCEPTION;
  ZEQList* list = object->Members(false);
  if (!result || !list) return DISP_E_MEMBERNOTFOUND;
  ZEQLockGuard guard(list->lock);
  ZEQListItem* item = ReturnDataEntry(list, id);
  if (!item || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  auto* record = static_cast<ZEQRETURNDATA*>(ZEQTokenToPointer(static_cast<uint32_t>(item->value1)));
  if (!IsReturnData(record)) return DISP_E_MEMBERNOTFOUND;
  VariantClear(result);
  return VariantCopy(result, &record->value);
}

}  // namespace ZEQReturn

HRESULT ZEQReturnGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

// ---------------------------------------------------------------------------
// Setters.

namespace ZEQReturnData {

int SetUInt(CZEQDispatchEx* object, const wchar_t* name, uint32_t value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantInitUInt(v, value); });
}

int SetInt(CZEQDispatchEx* object, const wchar_t* name, int32_t value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantInitInt(v, value); });
}

int SetBool(CZEQDispatchEx* object, const wchar_t* name, BOOL value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantInitBool(v, value); });
}

int SetDouble(CZEQDispatchEx* object, const wchar_t* name, double value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantInitDouble(v, value); });
}

int SetCacheLocalFileSize(CZEQDispatchEx* object, uint32_t high, uint32_t low) {
  return SetDouble(object, L"CacheLocalFileSize", static_cast<double>(high) * 4294967296.0 + low);
}

int SetStringA(CZEQDispatchEx* object, const wchar_t* name, const char* value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantSetString(v, value); });
}

int SetStringW(CZEQDispatchEx* object, const wchar_t* name, const wchar_t* value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantSetStringW(v, value); });
}

int SetHexString(CZEQDispatchEx* object, const wchar_t* name, const char* prefix, uint32_t value) {
  char text[33];
  snprintf(text, sizeof(text), "%s%x", prefix ? prefix : "", value);
  wchar_t* wide = AnsiToWideDup(text, 0);
  int done = 0;
  try {
    done = SetStringW(object, name, wide);
  } catch (...) {
    HeapFreeZ(wide);
    throw;
  }
  HeapFreeZ(wide);
  return done;
}

int SetFileTime(CZEQDispatchEx* object, const wchar_t* name, const FILETIME* value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantSetFileTimeText(v, value, true); });
}

int SetNull(CZEQDispatchEx* object, const wchar_t* name) {
  return AddValue(object, name, [](VARIANT* v) { VariantInitNull(v); });
}

int SetDispatch(CZEQDispatchEx* object, const wchar_t* name, IDispatch* value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantInitDispatch(v, value); });
}

int SetVariant(CZEQDispatchEx* object, const wchar_t* name, const VARIANT* value) {
  return AddValue(object, name, [&](VARIANT* v) { VariantInitCopy(v, value); });
}

int SetBinary(CZEQDispatchEx* object, const wchar_t* name, SAFEARRAY* bytes) {
  if (!bytes) return SetNull(object, name);
  return AddValue(object, name, [&](VARIANT* v) {
    V_VT(v) = VT_ARRAY | VT_UI1;
    V_ARRAY(v) = bytes;
  });
}

int SetArray(CZEQDispatchEx* object, const wchar_t* name, JSArray* array) {
  return AddValue(object, name, [&](VARIANT* v) {
    if (array) array->ToSafeArray(v);
  });
}

int SetArrayCopy(CZEQDispatchEx* object, const wchar_t* name, JSArray* array) {
  VARIANT value;
  VariantInit(&value);
  int done = 0;
  try {
    if (array) array->ToSafeArray(&value);
    done = SetVariant(object, name, &value);
  } catch (...) {
    VariantClear(&value);
    throw;
  }
  VariantClear(&value);
  return done;
}

int SetStringList(CZEQDispatchEx* object, const wchar_t* name, const char* list) {
  JSArray array;
  array.Init();
  int done = 0;
  try {
    if (list) {
      const char* text = list;
      do {
        array.AppendStringA(text);
        text += strlen(text) + 1;
      } while (*text);
    }
    done = SetArray(object, name, &array);
  } catch (...) {
    array.Destroy();
    throw;
  }
  array.Destroy();
  return done;
}

}  // namespace ZEQReturnData
