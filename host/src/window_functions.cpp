// The window functions' member table: registration, the dispatch rules
// every member shares (calling container, call kind, argument count) and
// the argument and answer helpers.
#include "host/window_functions.h"
#include "windows/common_window_proc.h"

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "foundation/marshal_packet.h"
#include "host/handle_table.h"
#include "host/host_object.h"
#include "host/zeqibc.h"
#include "window_functions_internal.h"
#include "windows/window_utils.h"

namespace zeqwinfn {
namespace {

enum class Family { kQuery, kChange };

struct Member {
  const wchar_t* name;
  DISPID id;
  UINT least;
  UINT most;
  Family family;
};

// In registration order.
constexpr Member kMembers[] = {
    {L"ZEQNewWindow", 20200, 13, 13, Family::kQuery},
    {L"ZEQCloseWindow", 20300, 3, 3, Family::kQuery},
    {L"ZEQGetTopWindow", 20002, 0, 1, Family::kQuery},
    {L"ZEQGetWindow", 20001, 0, 1, Family::kQuery},
    {L"ZEQGetMainWindow", 20011, 0, 0, Family::kQuery},
    {L"ZEQGetBaseWindow", 20016, 0, 1, Family::kQuery},
    {L"ZEQGetParentWindow", 20003, 0, 1, Family::kQuery},
    {L"ZEQValidateWindow", 20100, 1, 1, Family::kQuery},
    {L"ZEQWaitWindowToClose", 20104, 0, 2, Family::kQuery},
    {L"ZEQWindowSimulateModal", 20503, 2, 2, Family::kChange},
    {L"ZEQShowWindow", 20201, 1, 4, Family::kChange},
    {L"ZEQMinimizeWindow", 20301, 0, 2, Family::kChange},
    {L"ZEQMaximizeWindow", 20302, 0, 2, Family::kChange},
    {L"ZEQFullScreenWindow", 20304, 0, 2, Family::kChange},
    {L"ZEQRestoreWindow", 20303, 0, 2, Family::kChange},
    {L"ZEQEnumTopLevelWindows", 20107, 0, 0, Family::kQuery},
    {L"ZEQEnumExclusiveWindows", 20108, 0, 0, Family::kQuery},
    {L"ZEQSetWindowAlwaysOnTop", 20400, 1, 2, Family::kChange},
    {L"ZEQGetWindowState", 20004, 0, 1, Family::kQuery},
    {L"ZEQGetWindowRect", 20005, 0, 1, Family::kQuery},
    {L"ZEQSetWindowPos", 20401, 5, 6, Family::kChange},
    {L"ZEQSetWindowSize", 20402, 3, 3, Family::kChange},
    {L"ZEQFlashWindow", 20202, 0, 1, Family::kChange},
    {L"ZEQEnableWindow", 20006, 1, 2, Family::kChange},
    {L"ZEQSetWindowFocus", 20404, 0, 1, Family::kChange},
    {L"ZEQSetWindowForeground", 20405, 0, 1, Family::kChange},
    {L"ZEQGetWindowOpenerType", 20007, 0, 1, Family::kQuery},
    {L"ZEQSetWindowMinMaxInfo", 20406, 9, 9, Family::kChange},
    {L"ZEQSetWindowParent", 20408, 2, 2, Family::kChange},
    {L"ZEQSetWindowAttributes", 20008, 3, 3, Family::kChange},
    {L"ZEQSetWindowPlacement", 20010, 8, 8, Family::kChange},
    {L"ZEQSetWindowTitleBarText", 20101, 1, 2, Family::kChange},
    {L"ZEQGetWindowAttributes", 20009, 1, 1, Family::kQuery},
    {L"ZEQSetContainerSize", 15017, 3, 3, Family::kChange},
    {L"ZEQGetBestPosition", 20120, 0, 1, Family::kQuery},
    {L"ZEQGetFocus", 20014, 0, 0, Family::kQuery},
};
constexpr DISPID kGetFocusId = 20014;

const Member* FindMember(DISPID id) {
  for (const Member& member : kMembers) {
    if (member.id == id) return &member;
  }
  return nullptr;
}

}  // namespace

UINT Count(const Call& call) { return call.params ? call.params->cArgs : 0; }

const VARIANT* Arg(const Call& call, UINT index) {
  if (index >= Count(call)) return nullptr;
  return &call.params->rgvarg[call.params->cArgs - 1 - index];
}

int32_t Int(const Call& call, UINT index) {
  const VARIANT* value = Arg(call, index);
  return value ? VariantToInt(value) : 0;
}

bool Flag(const Call& call, UINT index) {
  const VARIANT* value = Arg(call, index);
  return value && VariantToBool(value);
}

bool RawFlag(const Call& call, UINT index) {
  const VARIANT* value = Arg(call, index);
  if (!value) return false;
  if (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  return (V_UI2(value) & 0xFFFF) != 0;
}

char* Text(const Call& call, UINT index) {
  const VARIANT* value = Arg(call, index);
  char* text = value ? VariantToStrDup(value, 0) : nullptr;
  if (!text) text = static_cast<char*>(HeapAllocZ(1));
  return text;
}

ZEQContainerHolder ContainerArg(const Call& call, UINT index) { return ZEQContainerFromArgument(Arg(call, index)); }

ZEQContainerHolder OptionalContainer(const Call& call, UINT index) {
  if (index < Count(call)) return ContainerArg(call, index);
  return call.calling;
}

HWND TargetWindow(const ZEQContainerHolder& container) {
  if (!container.IsSet()) return nullptr;
  return GetTopLevelWindowExt(container->hostWindow);
}

ZEQWindowHolder RecordOf(const ZEQContainerHolder& container) {
  if (!container.IsSet()) return ZEQWindowHolder();
  return ZEQGetWindowParam(container->hostWindow);
}

void AnswerStatus(const Call& call, int32_t status) {
  if (call.result) VariantSetInt(call.result, status);
}

StatusArray::StatusArray() : array_(JSArray::New()) {}
StatusArray::~StatusArray() { JSArray::Delete(array_); }

void StatusArray::AppendContainer(const ZEQContainerHolder& container) {
  CZEQDispatchEx* object = ZEQIBC(container);
  array_->AppendDispatch(object);
  if (object) object->Release();
}

HRESULT StatusArray::Answer(const Call& call, int32_t status) {
  array_->AppendUInt(static_cast<uint32_t>(status), 0);
  if (call.result) {
    VariantClear(call.result);
    array_->ToSafeArray(call.result);
  }
  return S_OK;
}

HRESULT AnswerFailure(const Call& call) {
  StatusArray answer;
  return answer.Answer(call, static_cast<int32_t>(ZEQERROR_GENERALFAILURE));
}

}  // namespace zeqwinfn

using namespace zeqwinfn;

ZEQWindowHolder* ZEQWindowParamFromVariant(ZEQWindowHolder* holder, const VARIANT* value) {
  if (!holder) return holder;
  holder->Reset();
  ZEQHandleHolder handle;
  ZEQHandleFromVariant(&handle, value);
  if (!handle.IsSet() || !ZEQHandleIsType(handle, ZEQHANDLE_WINDOWRECORD)) return holder;
  auto packet = reinterpret_cast<KESTOMarshalPacket*>(handle->payload);
  if (!packet || !KESTOMarshal::IsLocal(packet)) return holder;
  ZEQWindowHolder named(packet);
  holder->ShareFrom(named);
  return holder;
}

uint32_t ZEQParseWindowRelations(const char* text) {
  if (!text) return 0;
  uint32_t relations = 0;
  if (FindOptionWord(text, "callerfriend", false)) relations |= kRelationCallerFriend;
  if (FindOptionWord(text, "parentfriend", false)) relations |= kRelationParentFriend;
  if (FindOptionWord(text, "notifyparent", false)) relations |= kRelationNotifyParent;
  return relations;
}

HRESULT ZEQWindowFunctionsInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) {
    if (object && object->IsRegistering()) {
      for (const Member& member : kMembers) {
        ZEQRegisterMember(object, member.id, member.id == kGetFocusId ? kZEQMemberProperty : kZEQMemberMethod,
                          member.name);
      }
    }
    return S_OK;
  }
  try {
    if (result) VariantInit(result);
    const Member* member = FindMember(id);
    if (!member || !object) return DISP_E_MEMBERNOTFOUND;
    Call call = {object, flags, params, result, ZEQGetBaseContainer(object->owner)};
    if (!ZEQIsContainerReady(call.calling)) return DISP_E_MEMBERNOTFOUND;
    // Every member is a method; ZEQGetFocus is registered as a property but
    // answers only as a call too.
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    const UINT count = Count(call);
    if (count < member->least || count > member->most) return DISP_E_BADPARAMCOUNT;
    return member->family == Family::kQuery ? ServeQuery(call, id) : ServeChange(call, id);
  } catch (...) {
    ZEQLogPrintf("!ZEQWindowFunctionsInvoke: Unexpected exception...");
    if (result) VariantClear(result);
    return E_OUTOFMEMORY;
  }
}

void ZEQInstallWindowFunctions() {
  ZEQRegisterHostMemberTable(KestoMemberTable::kWindowFunctions, ZEQWindowFunctionsInvoke);
  // The common window handling makes a window's dependents follow its moves
  // and visibility through this hook. Its modal hook stays unset: a modal
  // period ends here when the modal window's alive event fires, and ending
  // it twice would unbalance the owner's counts.
  ZEQWindowRelationHooks hooks = {};
  hooks.syncDependents = [](HWND window, uint32_t flags) {
    ZEQSyncDependentWindows(nullptr, nullptr, flags, ZEQGetWindowParam(window));
  };
  ZEQInstallWindowRelationHooks(hooks);
}
