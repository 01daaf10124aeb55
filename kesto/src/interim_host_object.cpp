// The interim window.external of the loader page.
#include "kesto/interim_host_object.h"

#include <oaidl.h>
#include <windows.h>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/text.h"
#include "host/browser_container.h"
#include "kesto/instance_commands.h"

namespace {

enum Member : DISPID { kCreateId = 1004, kCloseId = 1005, kSetExitCode = 1008, kExit = 1009 };

struct MemberName {
  const wchar_t* name;
  DISPID id;
};
constexpr MemberName kMembers[] = {
    {L"KESTOCreateID", kCreateId},
    {L"KESTOCloseID", kCloseId},
    {L"KESTOSetExitCode", kSetExitCode},
    {L"KESTOExit", kExit},
};

// Script's arguments are numbered as the page writes them.
const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
  if (!params || index >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - index];
}

bool Number(const VARIANT* value, LONG* out) {
  if (!value) return false;
  VARIANT number;
  VariantInit(&number);
  const bool ok = SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(value), 0, VT_I4));
  if (ok) *out = V_I4(&number);
  VariantClear(&number);
  return ok;
}

void Answer(VARIANT* result, LONG value) {
  if (!result) return;
  VariantInit(result);
  V_VT(result) = VT_I4;
  V_I4(result) = value;
}

class InterimHostObject : public IDispatch {
 public:
  virtual ~InterimHostObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const MemberName& member : kMembers) {
      if (lstrcmpiW(names[0], member.name) == 0) {
        ids[0] = member.id;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

 private:
  volatile LONG references_ = 1;
};

HRESULT InterimHostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO*, UINT*) try {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params ? params->cArgs : 0;
  LONG code = 0;
  switch (id) {
    case kCreateId: {
      if (count < 1) return DISP_E_BADPARAMCOUNT;
      const VARIANT* name = Argument(params, 0);
      if (V_VT(name) != VT_BSTR) return DISP_E_TYPEMISMATCH;
      char* text = WideToAnsiDup(V_BSTR(name) ? V_BSTR(name) : L"", 0);
      Answer(result, CreateInstanceIdentity(text));
      HeapFreeZ(text);
      return S_OK;
    }
    case kCloseId:
      Answer(result, CloseInstanceIdentity());
      return S_OK;
    case kSetExitCode:
      if (count < 1) return DISP_E_BADPARAMCOUNT;
      if (!Number(Argument(params, 0), &code)) return DISP_E_TYPEMISMATCH;
      ZEQSetExitCode(static_cast<UINT>(code));
      Answer(result, 0);
      return S_OK;
    case kExit:
      if (count < 1) return DISP_E_BADPARAMCOUNT;
      if (!Number(Argument(params, 0), &code)) return DISP_E_TYPEMISMATCH;
      ZEQSetExitCode(static_cast<UINT>(code));
      ZEQLogPrintf("KESTOExit: the page ends the process with exit code %d", int(code));
      KESTOTerminate();
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}
ZEQ_COM_CATCH("InterimHostObject::Invoke")

IDispatch* MakeHostObject(const ZEQContainerHolder&) { return new InterimHostObject(); }

}  // namespace

void InstallInterimHostObject() { ZEQSetHostObjectFactory(MakeHostObject); }
