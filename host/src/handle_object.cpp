// The "ZEQHandle" script object: Id, Cancel and Close over a record of the
// handle table, found again by its registry id on every call.
#include <urlmon.h>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/marshal_packet.h"
#include "foundation/pointer_token.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "host/handle_table.h"
#include "host/js_array.h"

namespace {

constexpr wchar_t kHandleClass[] = L"ZEQHandle";
constexpr DISPID kIdMember = 1;
constexpr DISPID kCancelMember = 3;
constexpr DISPID kCloseMember = 4;
constexpr uint32_t ZEQERROR_CANCELLED = 307;

uint32_t RegistryIdOf(const CZEQDispatchEx* object) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object->nativeData));
}

void HolderOf(const CZEQDispatchEx* object, ZEQHandleHolder* holder) {
  holder->AssignAndDeleteSource(ZEQHandleHolder::NewFromId(RegistryIdOf(object)));
}

// Payloads that are addresses reach script through their pointer token;
// handles, socket numbers and timer ids are 32-bit values already.
bool PayloadIsAddress(const ZEQHandleRecord* record) {
  switch (record->type) {
    case ZEQHANDLE_FILERECORD:
    case ZEQHANDLE_PLUGIN:
    case ZEQHANDLE_MIXER:
    case ZEQHANDLE_PROFILER:
    case ZEQHANDLE_SECUREBUFFER:
    case ZEQHANDLE_COMOBJECT:
      return true;
    default:
      return record->ownsPayload != 0;
  }
}

void AnswerZeroArray(VARIANT* result) {
  if (!result) return;
  JSArray array;
  array.Init();
  try {
    array.AppendUInt(0);
    VariantClear(result);
    JSArray::ToVariant(&array, result);
  } catch (...) {
    array.Destroy();
    throw;
  }
  array.Destroy();
}

HRESULT ReadId(const ZEQHandleHolder& holder, VARIANT* result) {
  if (!result) return S_OK;
  VariantClear(result);
  if (!holder.IsSet() || holder.Get()->closed) return S_OK;  // gone: empty
  const ZEQHandleRecord* record = holder.Get();
  uint32_t value;
  if (record->type == ZEQHANDLE_WINDOWRECORD)
    value = record->id;
  else if (PayloadIsAddress(record))
    value = ZEQPointerToToken(reinterpret_cast<void*>(record->payload));
  else
    value = static_cast<uint32_t>(record->payload);
  VariantInitUInt(result, value);
  return S_OK;
}

HRESULT Cancel(CZEQDispatchEx* object, const ZEQHandleHolder& holder, VARIANT* result) {
  if (!ZEQHandleIsType(holder, ZEQHANDLE_COMOBJECT)) return DISP_E_MEMBERNOTFOUND;
  object->success = FALSE;
  object->errorCode = ZEQERROR_CANCELLED;
  if (auto* unknown = reinterpret_cast<IUnknown*>(holder.Get()->payload)) {
    IBinding* binding = nullptr;
    if (SUCCEEDED(unknown->QueryInterface(IID_IBinding, reinterpret_cast<void**>(&binding))) && binding) {
      binding->Abort();
      binding->Release();
    }
  }
  AnswerZeroArray(result);
  return S_OK;
}

CZEQDispatchEx* MakeObject(ZEQHandleHolder& holder, HWND owner) {
  CZEQDispatchEx* object =
      CZEQDispatchEx::Create(kHandleClass, owner, ZEQHandleGetIDsOfNames, ZEQHandleInvoke, kZEQDispPlain);
  uint32_t registryId = 0;
  try {
    if (ZEQHandleTable::AddRef(1, &registryId, holder) <= 0) registryId = 0;
  } catch (...) {
    object->Release();
    throw;
  }
  if (!registryId) {
    object->Release();
    return nullptr;
  }
  object->nativeData = reinterpret_cast<void*>(static_cast<uintptr_t>(registryId));
  return object;
}

}  // namespace

namespace ZEQHandle {

CZEQDispatchEx* Create(const char* name, uintptr_t ownerValue, uint32_t type, uintptr_t payload, uint32_t id,
                       HWND owner) {
  try {
    ZEQHandleHolder holder;
    ZEQHandleNewHolder(&holder);
    ZEQHandleRecord* record = holder.Get();
    record->ownerValue = ownerValue;
    record->type = type;
    record->payload = payload;
    record->id = id;
    record->module = GetModuleHandleA(nullptr);
    record->creatingThread = GetCurrentThreadId();
    if (name && name[0]) ZEQNamedHandle::Register(name, holder);
    return MakeObject(holder, owner);
  } catch (...) {
    ZEQLogUnexpected("ZEQHandle::Create");
    return nullptr;
  }
}

CZEQDispatchEx* CreateFor(ZEQHandleHolder holder, HWND owner) {
  if (!holder.IsSet()) return nullptr;
  try {
    return MakeObject(holder, owner);
  } catch (...) {
    ZEQLogUnexpected("ZEQHandle::CreateFor");
    return nullptr;
  }
}

}  // namespace ZEQHandle

CZEQDispatchEx* ZEQHandleObjectForPacket(KESTOMarshalPacket* packet, uint32_t registryId, uint32_t type,
                                         HWND owner) {
  if (!packet) return nullptr;
  CZEQDispatchEx* object = ZEQHandle::Create(nullptr, 0, type, reinterpret_cast<uintptr_t>(packet), registryId, owner);
  if (!object) {
    FreeMarshalPacket(packet);
    return nullptr;
  }
  ZEQHandleHolder holder;
  HolderOf(object, &holder);
  if (holder.IsSet()) holder.Get()->ownsPayload = 1;
  return object;
}

int ZEQHandleObjectToScriptArray(CZEQDispatchEx* object, JSArray* array) {
  if (!object || !array) return 0;
  return array->AppendDispatchAt(static_cast<IDispatchEx*>(object), kJSArrayEnd);
}

void ZEQHandleObjectToVariant(CZEQDispatchEx* object, VARIANT* value) {
  if (!value) return;
  VariantInitDispatch(value, object ? static_cast<IDispatchEx*>(object) : nullptr);
}

void ZEQHandleFromVariant(ZEQHandleHolder* holder, const VARIANT* value) {
  if (!holder) return;
  holder->Release();
  if (!ZEQVariantIsObjectOfClass(value, kHandleClass)) return;
  IDispatch* dispatch = VariantGetDispatch(value);
  CZEQDispatchEx* object = dispatch ? ZEQGetNativeDispatchEx(dispatch) : nullptr;
  if (dispatch) dispatch->Release();
  if (!object) return;
  HolderOf(object, holder);
  object->Release();
}

HRESULT ZEQHandleGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id) {
  return ZEQLookupMemberCallback(object, name, nameFlags, id);
}

HRESULT ZEQHandleInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, IServiceProvider*) {
  try {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      if (object->IsRegistering()) {
        ZEQRegisterMember(object, kIdMember, kZEQMemberProperty, L"Id");
        ZEQRegisterMember(object, kCancelMember, kZEQMemberMethod, L"Cancel");
        ZEQRegisterMember(object, kCloseMember, kZEQMemberMethod, L"Close");
      } else if (object->IsDestroying() && RegistryIdOf(object)) {
        // The object's script reference goes; the last one closes.
        ZEQHandleHolder holder;
        HolderOf(object, &holder);
        ZEQHandleTable::CloseHandle(false, holder);
        object->nativeData = nullptr;
      }
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return DISP_E_EXCEPTION;
    ZEQHandleHolder holder;
    HolderOf(object, &holder);
    if (id == kIdMember && (flags & DISPATCH_PROPERTYGET)) return ReadId(holder, result);
    if (id == kCancelMember && (flags & DISPATCH_METHOD)) return Cancel(object, holder, result);
    if (id == kCloseMember && (flags & DISPATCH_METHOD)) {
      ZEQHandleTable::CloseHandle(true, holder);
      AnswerZeroArray(result);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  } catch (...) {
    ZEQLogUnexpected("ZEQHandleInvoke");
    return E_OUTOFMEMORY;
  }
}
