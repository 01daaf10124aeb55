#include "test_classes.h"


#include "foundation/heap.h"
#include "foundation/variant.h"
#include "host/js_array.h"
#include "host/return_data.h"

namespace host_test {

volatile long g_testRegistrations = 0;
volatile long g_testDestructions = 0;

namespace {

struct TestData {
  int32_t value;
};

UINT Count(const DISPPARAMS* params) { return params ? params->cArgs - params->cNamedArgs : 0; }
// Argument i in script order.
const VARIANT* Arg(const DISPPARAMS* params, UINT i) { return &params->rgvarg[params->cArgs - 1 - i]; }

void Answer(VARIANT* result, IDispatch* object) {
  if (!result) {
    object->Release();
    return;
  }
  VariantClear(result);
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
}

}  // namespace

HRESULT TestObjectInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO*, IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) {
    if (object->IsRegistering()) {
      InterlockedIncrement(&g_testRegistrations);
      object->nativeData = HeapAllocZ(sizeof(TestData));
      ZEQRegisterMember(object, 1, kZEQMemberMethod, L"Echo");
      ZEQRegisterMember(object, 2, kZEQMemberProperty, L"Value");
      ZEQRegisterMember(object, 3, kZEQMemberMethod, L"Sum");
      ZEQRegisterMember(object, 4, kZEQMemberMethod, L"MakeReturn");
      ZEQRegisterMember(object, 5, kZEQMemberMethod, L"MakeArray");
      ZEQRegisterMember(object, 6, kZEQMemberMethod, L"CountArray");
      ZEQRegisterMember(object, 7, kZEQMemberMethod, L"Fail");
      ZEQRegisterMember(object, 8, kZEQMemberProperty, L"Flags");
      ZEQRegisterMember(object, 9, kZEQMemberMethod, L"Keep");
      ZEQRegisterInterfaceMember(object);
    }
    if (object->IsDestroying()) {
      InterlockedIncrement(&g_testDestructions);
      HeapFreeZ(object->nativeData);
      object->nativeData = nullptr;
    }
    return S_OK;
  }
  if (flags & DISPATCH_CONSTRUCT) {
    CZEQDispatchEx* made = CZEQDispatchEx::Create(object->className, object->owner, ZEQLookupMemberCallback,
                                                  TestObjectInvoke, kZEQDispInstance);
    ZEQSetResultSuccess(made);
    Answer(result, made);
    return S_OK;
  }
  auto* data = static_cast<TestData*>(object->nativeData);
  const bool call = (flags & DISPATCH_METHOD) != 0;
  switch (id) {
    case 1:
      if (!call) return DISP_E_MEMBERNOTFOUND;
      if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
      if (result) {
        VariantClear(result);
        VariantCopyInd(result, const_cast<VARIANT*>(Arg(params, 0)));
      }
      return S_OK;
    case 2:
      if (flags & DISPATCH_PROPERTYPUT) {
        // The value of a put is its named argument.
        if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
        data->value = VariantToInt(&params->rgvarg[0]);
        return S_OK;
      }
      if (flags & DISPATCH_PROPERTYGET) {
        if (result) VariantInitInt(result, data->value);
        return S_OK;
      }
      return DISP_E_MEMBERNOTFOUND;
    case 3: {
      if (!call) return DISP_E_MEMBERNOTFOUND;
      int32_t sum = 0;
      for (UINT i = 0; i < Count(params); ++i) sum += VariantToInt(Arg(params, i));
      if (result) VariantInitInt(result, sum);
      return S_OK;
    }
    case 4: {
      if (!call) return DISP_E_MEMBERNOTFOUND;
      CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, 1, 1, 0, 4);
      ZEQReturnData::SetUInt(answer, L"Count", Count(params) ? static_cast<uint32_t>(VariantToInt(Arg(params, 0))) : 0);
      ZEQReturnData::SetStringW(answer, L"Name", L"item");
      Answer(result, answer);
      return S_OK;
    }
    case 5: {
      if (!call) return DISP_E_MEMBERNOTFOUND;
      JSArray array;
      array.Init();
      array.AppendUInt(7);
      array.AppendStringW(L"text");
      array.AppendBool(TRUE);
      JSArray inner;
      inner.Init();
      inner.AppendInt(1);
      inner.AppendInt(2);
      array.AppendArray(&inner);
      inner.Destroy();
      if (result) VariantClear(result);
      JSArray::ToVariant(&array, result);
      array.Destroy();
      return S_OK;
    }
    case 6: {
      if (!call) return DISP_E_MEMBERNOTFOUND;
      if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
      VARIANT elements;
      VariantInit(&elements);
      if (!ScriptArrayToSafeArray(Arg(params, 0), &elements)) return DISP_E_TYPEMISMATCH;
      SAFEARRAY* array = VariantGetSafeArray(&elements);
      const long count = array ? static_cast<long>(array->rgsabound[0].cElements) : -1;
      VariantClear(&elements);
      if (result) VariantInitInt(result, count);
      return S_OK;
    }
    case 7:
      throw ZEQOutOfMemory();
    case 8:
      if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
      if (result) VariantInitUInt(result, object->flags);
      return S_OK;
    case 9:
      if (!call || Count(params) != 1) return DISP_E_BADPARAMCOUNT;
      ZEQReturnData::SetVariant(object, L"kept", Arg(params, 0));
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

CZEQDispatchEx* NewTestObject(HWND owner, uint32_t flags, const ZEQPropertyStoreHolder& store) {
  return CZEQDispatchEx::Create(kTestClass, owner, ZEQLookupMemberCallback, TestObjectInvoke, flags, store);
}

HRESULT DispIdOf(IDispatchEx* object, const wchar_t* name, DISPID* id, DWORD nameFlags) {
  BSTR b = SysAllocString(name);
  HRESULT hr = object->GetDispID(b, nameFlags, id);
  SysFreeString(b);
  return hr;
}

HRESULT GetProperty(IDispatchEx* object, DISPID id, VARIANT* value) {
  VariantInit(value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return object->InvokeEx(id, 0, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

HRESULT PutProperty(IDispatchEx* object, DISPID id, const VARIANT& value) {
  VARIANT arg = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&arg, &named, 1, 1};
  return object->InvokeEx(id, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

}  // namespace host_test
