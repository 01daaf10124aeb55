// The process members of the host object.
#include "kesto/process_members.h"

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/text.h"
#include "host/dispatch_ex.h"
#include "host/host_object.h"
#include "host/js_array.h"
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

void AnswerNumber(VARIANT* result, LONG value) {
  if (!result) return;
  V_VT(result) = VT_I4;
  V_I4(result) = value;
}

HRESULT AnswerStatus(VARIANT* result, uint32_t code) {
  if (!result) return S_OK;
  JSArray* array = JSArray::New();
  HRESULT hr = S_OK;
  try {
    array->AppendUInt(code);
    if (!array->ToSafeArray(result)) hr = E_OUTOFMEMORY;
  } catch (...) {
    JSArray::Delete(array);
    throw;
  }
  JSArray::Delete(array);
  return hr;
}

HRESULT CreateId(const DISPPARAMS* params, VARIANT* result) {
  const VARIANT* name = Argument(params, 0);
  if (!name) return DISP_E_BADPARAMCOUNT;
  if (V_VT(name) != VT_BSTR) return DISP_E_TYPEMISMATCH;
  char* text = WideToAnsiDup(V_BSTR(name) ? V_BSTR(name) : L"", 0);
  const int code = CreateInstanceIdentity(text);
  HeapFreeZ(text);
  return AnswerStatus(result, static_cast<uint32_t>(code));
}

HRESULT Invoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
               IServiceProvider*) {
  if (object && object->IsRegistering()) {
    for (const MemberName& member : kMembers) ZEQRegisterMember(object, member.id, kZEQMemberMethod, member.name);
    return S_OK;
  }
  LONG code = 0;
  switch (id) {
    case kCreateId:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      return CreateId(params, result);
    case kCloseId:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      AnswerNumber(result, CloseInstanceIdentity());
      return S_OK;
    case kSetExitCode:
    case kExit:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (!Argument(params, 0)) return DISP_E_BADPARAMCOUNT;
      if (!Number(Argument(params, 0), &code)) return DISP_E_TYPEMISMATCH;
      ZEQSetExitCode(static_cast<UINT>(code));
      if (id == kSetExitCode) {
        AnswerNumber(result, 0);
        return S_OK;
      }
      ZEQLogPrintf("KESTOExit: the page ends the process with exit code %d", int(code));
      KESTOTerminate();
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

void InstallProcessMembers() { ZEQRegisterHostMemberTable(KestoMemberTable::kApplicationMethods, Invoke); }
