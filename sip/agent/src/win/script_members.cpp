// The member table of "ZEQSIP" objects and its dispatcher: construction,
// the weak link to the record, the dispatch rules (flags and argument
// counts), the transaction's own members and the account settings.
#include <cstdio>
#include <cstring>

#include "foundation/com_guard.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/variant.h"
#include "host/js_array.h"
#include "host/return_data.h"
#include "script_object_internal.h"
#include "sip/agent/helpers.h"
#include "sip/agent/message_text.h"
#include "sip/agent/user_agent.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"

namespace {

// How script may call a member.
constexpr uint32_t kMethod = 1;
constexpr uint32_t kGet = 2;
constexpr uint32_t kPut = 4;
constexpr int kAnyCount = -1;

struct Member {
  const wchar_t* name;
  DISPID id;
  uint32_t registered;  // kZEQMemberMethod or kZEQMemberProperty
  uint32_t calls;       // kMethod, or kGet | kPut
  int arguments;        // for methods: the exact count, or kAnyCount
};

constexpr uint32_t M = kZEQMemberMethod;
constexpr uint32_t P = kZEQMemberProperty;

// In registration order; IsReplacement is registered twice.
const Member kMembers[] = {
    {L"Id", 1, P, kGet, 0},
    {L"WeakId", 2, P, kGet, 0},
    {L"CloseTransaction", 3, M, kMethod, 0},
    {L"DestroyTransaction", 4, M, kMethod, 0},
    {L"StartListener", 10, M, kMethod, 1},
    {L"StopListener", 11, M, kMethod, 1},
    {L"AcceptInvite", 31, M, kMethod, 0},
    {L"SetCodecs", 55200, M, kMethod, 2},
    {L"RefuseInvite", 32, M, kMethod, 2},
    {L"CancelInvite", 33, M, kMethod, 2},
    {L"FinalizeSession", 34, M, kMethod, 2},
    {L"RedirectInvite", 36, M, kMethod, 2},
    {L"Invite", 30, M, kMethod, 1},
    {L"Transfer", 37, M, kMethod, 1},
    {L"SendDTMF", 35, M, kMethod, 2},
    {L"SendOptionsRequest", 38, M, kMethod, kAnyCount},
    {L"UpdateConnectionIfNeeded", 39, M, kMethod, kAnyCount},
    {L"SetPortRange", 40, M, kMethod, 2},
    {L"ProxyLocalPort", 125, M, kMethod, 2},
    {L"Alive", 5, P, kGet, 0},
    {L"Type", 105, P, kGet, 0},
    {L"Transport", 115, P, kGet | kPut, 0},
    {L"BasedTransaction", 106, P, kGet, 0},
    {L"Status", 107, P, kGet, 0},
    {L"CallID", 108, P, kGet, 0},
    {L"DisplayName", 109, P, kGet | kPut, 0},
    {L"User", 110, P, kGet | kPut, 0},
    {L"AuthenticationUser", 111, P, kGet | kPut, 0},
    {L"AuthenticationPassword", 112, P, kGet | kPut, 0},
    {L"Domain", 113, P, kGet | kPut, 0},
    {L"ProxyURI", 114, P, kGet | kPut, 0},
    {L"RegisterExpiration", 151, P, kGet | kPut, 0},
    {L"DTMFType", 152, P, kGet | kPut, 0},
    {L"CallingTimeout", 153, P, kGet | kPut, 0},
    {L"RegisterTimeout", 167, P, kGet | kPut, 0},
    {L"DTMFPayload", 154, P, kGet | kPut, 0},
    {L"SDPIP", 155, P, kGet | kPut, 0},
    {L"STUN", 156, P, kGet | kPut, 0},
    {L"RTPFrameSize", 158, P, kGet | kPut, 0},
    {L"NATKeepAlive", 160, P, kGet | kPut, 0},
    {L"TestOptions", 162, P, kGet | kPut, 0},
    {L"Outbound", 116, P, kGet | kPut, 0},
    {L"Options", 117, P, kGet | kPut, 0},
    {L"SIPTOSDiffServ", 118, P, kGet | kPut, 0},
    {L"RTPTOSDiffServ", 119, P, kGet | kPut, 0},
    {L"NATOptions", 120, P, kGet | kPut, 0},
    {L"RouteOptions", 123, P, kGet | kPut, 0},
    {L"ProxyRemotePort", 124, P, kGet | kPut, 0},
    {L"To", 126, P, kGet, 0},
    {L"From", 127, P, kGet, 0},
    {L"Contact", 128, P, kGet, 0},
    {L"CSeq", 129, P, kGet, 0},
    {L"ConnectionStatus", 130, P, kGet, 0},
    {L"LastError", 131, P, kGet, 0},
    {L"ReasonSIPError", 168, P, kPut, 0},
    {L"IsBeforeFinalResponse", 132, P, kGet, 0},
    {L"IsRTPMediaStreaming", 133, P, kGet, 0},
    {L"RTPMediaType", 134, P, kGet, 0},
    {L"IsSessionActive", 135, P, kGet, 0},
    {L"Reason", 164, P, kGet, 0},
    {L"SetHeader", 165, M, kMethod, 3},
    {L"GetHeader", 166, M, kMethod, 2},
    {L"PutOnHold", 161, P, kGet | kPut, 0},
    {L"HoldState", 139, P, kGet, 0},
    {L"PutOnConference", 163, P, kGet | kPut, 0},
    {L"Focus", 121, P, kGet | kPut, 0},
    {L"ConnectionInfo", 145, M, kGet, 0},
    {L"RTPStreamInfo", 148, M, kGet, 0},
    {L"EncoderInfo", 149, M, kGet, 0},
    {L"DecoderInfo", 150, M, kGet, 0},
    {L"SetRecord", 143, M, kGet | kPut, 0},
    {L"RecordPassword", 159, M, kGet | kPut, 0},
    {L"RecordOutputFile", 142, M, kGet | kPut, 0},
    {L"RecordFileCustomData", 144, M, kGet | kPut, 0},
    {L"VESetMicrophoneDevice", 200, P, kMethod, 1},
    {L"VESetSpeakerDevice", 201, P, kMethod, 1},
    {L"VEDisableAudioInput", 203, P, kGet | kPut, 0},
    {L"VEDisableAudioOutput", 204, P, kGet | kPut, 0},
    {L"VEMicrophoneVolume", 206, P, kGet | kPut, 0},
    {L"VESpeakerVolume", 205, P, kGet | kPut, 0},
    {L"IsRTPListenerActive", 136, P, kGet, 0},
    {L"RTPListenerCount", 137, P, kGet, 0},
    {L"RTPListenerActivateCount", 138, P, kGet, 0},
    {L"HasInputConnector", 140, P, kGet, 0},
    {L"IsReplacement", 141, P, kGet, 0},
    {L"IsReplacement", 141, P, kGet, 0},
};

const Member* FindMember(DISPID id) {
  for (const Member& member : kMembers)
    if (member.id == id) return &member;
  return nullptr;
}

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

// Script arguments in script order (the parameter array holds them last
// first).
const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
  if (!params || index >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - index];
}
// The value of a put: the named argument DISPID_PROPERTYPUT, or the first.
const VARIANT* PutValue(const DISPPARAMS* params) { return Argument(params, 0); }

void SetUInt(VARIANT* result, uint32_t value) {
  V_VT(result) = VT_UI4;
  V_UI4(result) = value;
}
void SetInt(VARIANT* result, int32_t value) {
  V_VT(result) = VT_I4;
  V_I4(result) = value;
}
void SetBool(VARIANT* result, bool value) {
  V_VT(result) = VT_BOOL;
  V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetText(VARIANT* result, const char* text) {
  V_VT(result) = VT_BSTR;
  int length = MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(length > 0 ? length - 1 : 0));
  if (out && length > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, out, length);
  V_BSTR(result) = out;
}

// A text put: the argument's text as is (a value that is not text stores
// nothing), cut and, for most fields, trimmed and unquoted.
void PutText(const DISPPARAMS* params, char* field, size_t size, bool trim) {
  const VARIANT* value = PutValue(params);
  if (!value || V_VT(value) != VT_BSTR) return;
  char* text = VariantToStrDup(value, 0);
  if (!text) return;
  SIPSettingText(text, field, size, trim);
  HeapFreeZ(text);
}

int32_t PutNumber(const DISPPARAMS* params) {
  const VARIANT* value = PutValue(params);
  return value ? VariantToInt(value) : 0;
}

// Settings members that are a plain number of the account.
int32_t* NumberField(SIPAccountSettings* a, DISPID id) {
  switch (id) {
    case 151: return &a->registerExpiration;
    case 152: return &a->dtmfType;
    case 154: return &a->dtmfPayloadType;
    case 160: return &a->natKeepAlive;
    case 162: return reinterpret_cast<int32_t*>(&a->testOptions);
    case 116: return &a->outboundMode;
    case 117: return reinterpret_cast<int32_t*>(&a->options);
    case 118: return &a->sipDiffServ;
    case 119: return &a->rtpDiffServ;
    case 120: return &a->natOptions;
    case 123: return &a->routeOptions;
    case 124: return &a->proxyRemotePort;
    default: return nullptr;
  }
}

// Text settings: the field, its size and whether puts are trimmed.
char* TextField(SIPAccountSettings* a, DISPID id, size_t* size, bool* trim) {
  *trim = true;
  switch (id) {
    case 109: *size = 128; return a->displayName;
    case 110: *size = 128; return a->user;
    case 111: *size = 128; return a->authenticationUser;
    case 113: *size = 128; return a->domain;
    case 114: *size = 128; *trim = false; return a->proxyHost;
    case 155: *size = 32; return a->sdpAddress;
    case 156: *size = 32; return a->stunServer;
    default: return nullptr;
  }
}

// The members whose flows are not part of this user agent yet answer a
// failure, never a success.
HRESULT Unavailable(const Member& member, const SIPTransactionHolder& t, VARIANT* result, bool array) {
  ZEQLogPrintf("ZEQSIPInvoke: SIP: %08X - [NOT AVAILABLE] %ls", LogId(t.Get()), member.name);
  if (array) {
    JSArray values;
    values.Init();
    values.AppendUInt(ZEQERROR_GENERALFAILURE);
    JSArray::ToVariant(&values, result);
    values.Destroy();
  } else if (member.calls == kMethod) {
    SetInt(result, static_cast<int32_t>(ZEQERROR_GENERALFAILURE));
  }
  return S_OK;
}

HRESULT Construct(CZEQDispatchEx* object, DISPPARAMS* params, VARIANT* result) {
  UINT count = params ? params->cArgs : 0;
  if (count > 1) return DISP_E_BADPARAMCOUNT;
  SIPTransactionHolder created;
  if (count == 0) {
    created = SIPCreateBasedTransaction(SIPTransactionHolder(), SIPTransactionHolder(), SIPTransactionHolder());
    if (!created.Get()) created = SIPTransactionCreate(SIPTransactionHolder());
  } else {
    SIPTransactionHolder account = SIPTransactionFromVariant(Argument(params, 0));
    if (account.Get())
      created = SIPCreateBasedTransaction(account, SIPTransactionHolder(), SIPTransactionHolder());
  }
  if (!created.Get()) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = nullptr;
    return S_OK;
  }
  if (!created->based.Get()) SIPSetAccountContainer(created, ZEQGetBaseContainer(object->owner));
  CZEQDispatchEx* instance = ZEQSIP(object->owner, created);
  if (!instance) return E_OUTOFMEMORY;
  created->record.userHandled = 1;
  ZEQSetResultSuccess(instance);
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = static_cast<IDispatchEx*>(instance);
  return S_OK;
}

HRESULT InvokeMember(CZEQDispatchEx* object, const Member& member, WORD flags, DISPPARAMS* params,
                     VARIANT* result, const SIPTransactionHolder& t) {
  SIPRecord& r = t->record;
  SIPAccountSettings* account = SIPGetRootAccount(&r);
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;

  if (int32_t* number = NumberField(account, member.id)) {
    if (put) *number = PutNumber(params);
    else SetUInt(result, static_cast<uint32_t>(*number));
    return S_OK;
  }
  size_t size = 0;
  bool trim = true;
  if (char* text = TextField(account, member.id, &size, &trim)) {
    if (!put) {
      SetText(result, text);
      return S_OK;
    }
    PutText(params, text, size, trim);
    // The user name is also the authentication user until script sets one.
    if (member.id == 110) std::memcpy(account->authenticationUser, account->user, sizeof account->user);
    return S_OK;
  }

  switch (member.id) {
    case 1: SetUInt(result, t->serial); return S_OK;
    case 2: SetUInt(result, LogId(t.Get())); return S_OK;
    case 3: {
      ZEQLogPrintf("SIPDestroyTransaction %08X: Called from ZEQ.CloseTransaction()", LogId(t.Get()));
      if (!SIPDestroyTransaction(t)) {
        SetInt(result, static_cast<int32_t>(ZEQERROR_GENERALFAILURE));
        return S_OK;
      }
      SIPObjectListAdd(t);
      SetInt(result, static_cast<int32_t>(ZEQERROR_NOERROR));
      return S_OK;
    }
    case 4: SIPObjectListRemove(t); SetInt(result, 0); return S_OK;
    case 10:
      if (SIPTransactionHolderIsValid(t->based)) {
        SetInt(result, 1);  // only a root record registers
        return S_OK;
      }
      return Unavailable(member, t, result, false);
    case 5: SetBool(result, SIPTransactionHolderIsValid(t)); return S_OK;
    case 105: SetUInt(result, static_cast<uint32_t>(r.kind)); return S_OK;
    case 115:
      if (put) SIPGetRootConnection(&r)->transport = PutNumber(params);
      else SetInt(result, SIPGetRootConnection(&r)->transport);
      return S_OK;
    case 106:
      if (SIPTransactionHolderIsValid(t->based)) SIPTransactionToVariant(result, t->based);
      if (V_VT(result) == VT_EMPTY) V_VT(result) = VT_NULL;
      return S_OK;
    case 107: SetText(result, SIPStatusText(SIPGetTransactionState(t), r.endReason)); return S_OK;
    case 108: SetText(result, r.msg.callId); return S_OK;
    case 112:
      if (put) {
        const VARIANT* value = PutValue(params);
        char* text = value ? VariantToUtf8Dup(value, 0) : nullptr;
        if (!text && value) {
          VARIANT converted;
          VariantInit(&converted);
          if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, VT_BSTR))) text = VariantToUtf8Dup(&converted, 0);
          VariantClear(&converted);
        }
        SIPAccountSetPassword(account, text ? text : "");
        if (text) {
          SecureZeroMemory(text, strlen(text));
          HeapFreeZ(text);
        }
      } else {
        VariantSetUTF8String(result, account->password);
      }
      return S_OK;
    case 153:
    case 167: {
      int32_t* seconds = member.id == 153 ? &account->callingTimeout : &account->registerTimeout;
      if (put) *seconds = PutNumber(params) / 1000;
      else SetInt(result, *seconds);
      return S_OK;
    }
    case 158:
      if (put) {
        int32_t value = PutNumber(params);
        account->rtpFrameSize = (value >= 1 && value <= 9) ? 10 : value;
      } else {
        SetInt(result, account->rtpFrameSize);
      }
      return S_OK;
    case 129: SetInt(result, r.msg.cseq); return S_OK;
    case 130: SetUInt(result, static_cast<uint32_t>(SIPGetRootConnection(&r)->stateBits)); return S_OK;
    case 131: SetUInt(result, static_cast<uint32_t>(r.errorCode)); return S_OK;
    case 168:
      if (IsSIPTransactionCompleted(t)) r.errorCode = PutNumber(params);
      return S_OK;
    // Media sessions are not run by this user agent yet: no call streams.
    case 132:
    case 133:
    case 135:
    case 136: SetBool(result, false); return S_OK;
    case 137:
    case 138: SetUInt(result, 0); return S_OK;
    case 134: SetText(result, SIPGetTransactionState(t) == 2 ? "Early" : "Session"); return S_OK;
    case 164: {
      if (!r.msg.reasonHeader.protocol[0]) {
        V_VT(result) = VT_NULL;
        return S_OK;
      }
      CZEQDispatchEx* reason = ZEQReturn::Create(object->owner, 1, 1, 0, 4);
      if (!reason) return E_OUTOFMEMORY;
      ZEQReturnData::SetStringA(reason, L"Protocol", r.msg.reasonHeader.protocol);
      ZEQReturnData::SetInt(reason, L"Cause", r.msg.reasonHeader.cause);
      ZEQReturnData::SetStringA(reason, L"Text", r.msg.reasonHeader.text);
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = static_cast<IDispatchEx*>(reason);
      return S_OK;
    }
    case 161:
    case 163:
    case 121:
      if (put) return Unavailable(member, t, result, false);
      SetBool(result, member.id == 161 ? r.userHold : member.id == 163 ? r.conference : r.focus);
      return S_OK;
    case 203:
    case 204:
      if (put) r.switches[member.id - 203] = VariantToBool(PutValue(params)) ? 1 : 0;
      else SetBool(result, r.switches[member.id - 203] != 0);
      return S_OK;
    case 126: return sipagent::PartyToVariant(object->owner, r.msg.to, result);
    case 127: return sipagent::PartyToVariant(object->owner, r.msg.from, result);
    case 128: return sipagent::PartyToVariant(object->owner, r.msg.contact, result);
    case 139: return sipagent::HoldStateToVariant(object->owner, r, result);
    case 165:
    case 166: {
      char* texts[3] = {};
      for (UINT i = 0; i < 3; ++i) {
        const VARIANT* value = Argument(params, i);
        texts[i] = value && V_VT(value) == VT_BSTR ? VariantToStrDup(value, 0) : nullptr;
      }
      if (member.id == 165) SetInt(result, sipagent::SetExtraHeader(&r, texts[0], texts[1], texts[2]));
      else SetText(result, sipagent::MessageHeaderValue(r, texts[0], texts[1]).c_str());
      for (char* text : texts) HeapFreeZ(text);
      return S_OK;
    }
    case 140: SetBool(result, false); return S_OK;
    case 141: SetBool(result, r.msg.replaces.callId[0] != 0); return S_OK;
    case 37:
    case 38:
    case 39: return Unavailable(member, t, result, true);
    default: return Unavailable(member, t, result, false);
  }
}

HRESULT Dispatch(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) {
    if (object->IsRegistering()) {
      object->nativeData = HeapAllocZ(sizeof(sipagent::ObjectData));
      for (const Member& member : kMembers) ZEQRegisterMember(object, member.id, member.registered, member.name);
    } else if (object->IsDestroying()) {
      HeapFreeZ(object->nativeData);
      object->nativeData = nullptr;
    }
    return S_OK;
  }
  VARIANT scratch;
  if (!result) result = &scratch;
  VariantInit(result);
  ZEQContainerHolder container = ZEQGetBaseContainer(object->owner);
  if (!ZEQIsContainerReady(container)) return DISP_E_EXCEPTION;
  if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);

  SIPTransactionHolder t = SIPTransactionFromScriptObject(object);
  if (!t.Get()) return S_OK;
  const Member* member = FindMember(id);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  UINT count = params ? params->cArgs : 0;
  if (member->calls == kMethod) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (member->arguments != kAnyCount && count != static_cast<UINT>(member->arguments)) return DISP_E_BADPARAMCOUNT;
  } else {
    bool get = (flags & DISPATCH_PROPERTYGET) && (member->calls & kGet);
    bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && (member->calls & kPut);
    if (!get && !put) return DISP_E_TYPEMISMATCH;
    if (put && !get && count < 1) return DISP_E_BADPARAMCOUNT;
    // A get that script writes as a call (obj.Status()) is a get.
    if (put && (flags & DISPATCH_PROPERTYGET) && (member->calls & kGet) && !(flags & DISPATCH_PROPERTYPUT))
      put = false;
  }
  return InvokeMember(object, *member, flags, params, result, t);
}

}  // namespace

HRESULT ZEQSIPInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO*, IServiceProvider*) try {
  return Dispatch(object, id, flags, params, result);
} ZEQ_COM_CATCH("ZEQSIPInvoke")
