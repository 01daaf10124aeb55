// SIP events to script: the delivery rules, the trace records around each
// event and the end events of transactions.
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "host/js_array.h"
#include "host/script_calls.h"
#include "sip/agent/call_state.h"
#include "sip/agent/end_events.h"
#include "sip/agent/message_text.h"
#include "sip/agent/user_agent.h"
#include "sip/identifiers.h"
#include "sip/subscriptions.h"
#include "sip/trace.h"
#include "sip/transaction_list.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

void WriteEventTrace(const SIPTransactionHolder& t, const char* name, int code, bool after, uint32_t answer) {
  char codeText[48];
  if (t->record.errorDetail) snprintf(codeText, sizeof codeText, "Code: %d/%d", code, t->record.errorDetail);
  else snprintf(codeText, sizeof codeText, "Code: %d", code);
  char label[200];
  snprintf(label, sizeof label, after ? "Label=\"%s\", Direction=\"OUT\"" : "Label=\"%s\", Direction=\"IN\"", name);
  SIPWriteTraceRecord("SIP:Event", codeText, nullptr, after ? answer : 0, nullptr, label, nullptr, 0, 0, t);
}

SIPReferProgressSender volatile g_referProgress = nullptr;

// A transfer call that failed: its referrer learns it from the final
// progress report of the REFER's subscription, which ends. A report that
// cannot go out does not stop the error event.
void EndReferSubscription(const SIPTransactionHolder& transaction) {
  SIPTransactionHolder refer = SIPGetReferTransaction(transaction);
  SIPSubscriptionHolder subscription = SIPFindSubscription(refer);
  if (!subscription.Get()) return;
  SIPSubscriptionSetState(subscription, kSIPSubscriptionTerminated, "noresource", nullptr);
  int code = transaction->record.errorCode;
  char body[320];
  snprintf(body, sizeof body, "%s %d %s", "SIP/2.0", code, code == 100 ? "Trying" : SIPStatusCodeToText(code));
  SIPReferProgressSender sender = g_referProgress;
  if (!sender || !sender(transaction, subscription, "message/sipfrag", body))
    ZEQLogPrintf("SIPNOTIFYSendReferProgress: SIP: %08X - [NOT SENT] %s", LogId(transaction.Get()), body);
  SIPSubscriptionStartTimer(subscription);
}

}  // namespace

void SIPSetReferProgressSender(SIPReferProgressSender sender) { g_referProgress = sender; }

uint32_t SIPInvokeEvent(const SIPTransactionHolder& transaction, const char* eventName, const char*, int number,
                        JSArray* arguments, uint32_t flags) {
  std::string name = eventName ? eventName : "";
  if (!SIPTransactionHolderIsValid(transaction)) {
    ZEQLogPrintf("SIPInvokeEvent: %08X [IGNORE NOT ACTIVE] %s", LogId(transaction.Get()), name.c_str());
    return ZEQACTION_IGNORE;
  }
  ZEQContainerHolder container = SIPAccountContainerHolderCopy(transaction);
  if (!ZEQIsValidContainer(container)) {
    ZEQLogPrintf("SIPInvokeEvent: %08X [IGNORE NO IBC] %s", LogId(transaction.Get()), name.c_str());
    return ZEQACTION_IGNORE;
  }
  if (!transaction->record.userHandled) {
    ZEQLogPrintf("SIPInvokeEvent: %08X [IGNORE NOT USER HANDLED] %s", LogId(transaction.Get()), name.c_str());
    return ZEQACTION_IGNORE;
  }
  if (!name.empty() && name[0] == '!') {
    name.erase(0, 1);
  } else if (!SIPGetRootConnection(&transaction->record)->listening) {
    ZEQLogPrintf("*** SIPInvokeEvent: %08X [IGNORE NOT LISTENING] %s", LogId(transaction.Get()), name.c_str());
    return ZEQACTION_IGNORE;
  }
  if (_stricmp(name.c_str(), "ZEQOnSIPError") == 0) EndReferSubscription(transaction);
  // The caller's arguments follow the object and the number.
  JSArray own;
  own.Init();
  JSArray* values = arguments ? arguments : &own;
  int code = 0;
  if (_stricmp(name.c_str(), "ZEQOnSIPError") == 0 && values->Count() > 0) code = VariantToInt(values->At(0));
  WriteEventTrace(transaction, name.c_str(), code, false, 0);
  SIPPushScriptObjectArgument(values, transaction, 0);
  values->AppendInt(number, 1);

  std::wstring wide(name.begin(), name.end());
  VARIANT result;
  VariantInit(&result);
  uint32_t answer = ZEQDeliverAPCWithArgs(container->hostWindow, wide.c_str(), values, &result,
                                          flags | kZEQApcArgumentList | kZEQApcNoContainerArgument |
                                              kZEQApcResultCoded,
                                          nullptr, 0, nullptr, nullptr);
  VariantClear(&result);
  own.Destroy();
  WriteEventTrace(transaction, name.c_str(), code, true, answer);
  return answer;
}

uint32_t ZEQInvokeSIPDestroyTransactionEvent(const SIPTransactionHolder& transaction, const char* givenName,
                                             bool force, uint32_t flags) {
  if (!transaction.Get()) return ZEQACTION_IGNORE;
  if (!SIPGetRootConnection(&transaction->record)->listening && !force) {
    ZEQLogPrintf("ZEQInvokeSIPDestroyTransactionEvent: [IGNORE #1]");
    return ZEQACTION_IGNORE;
  }
  if (transaction->record.endReason == kSIPEndDestroyed) {
    ZEQLogPrintf("ZEQInvokeSIPDestroyTransactionEvent: [IGNORE #2]");
    return ZEQACTION_IGNORE;
  }
  // The end of a subscription's request or NOTIFY is the end of the
  // subscription's own transaction.
  SIPTransactionHolder ending = transaction;
  SIPSubscriptionHolder subscription;
  int method = SIPKindToMethod(transaction->record.kind);
  if (method == kSIPMethodSubscribe || method == kSIPMethodRefer || method == kSIPMethodNotify) {
    subscription = SIPFindSubscription(transaction);
    if (subscription.Get() && subscription->transaction.Get()) ending = subscription->transaction;
  }
  SIPRecord& r = ending->record;
  int number = (r.kind & 1) ? 1 : 2;
  char name[64] = "";
  if (givenName && *givenName) {
    snprintf(name, sizeof name, "%s", givenName);
  } else if (!SIPEndEventName(SIPKindToMethod(r.kind), r.endReason, r.byTransfer != 0, name, sizeof name)) {
    return ZEQACTION_IGNORE;
  }
  std::string event = force ? std::string("!") + name : std::string(name);
  // While the call's audio runs, script hears of its end only once the
  // session has stopped it.
  if (IsSIPMediaStreaming(ending)) {
    SIPSetPendingEndEvent(ending, event.c_str(), number);
    return SIPSessionSignalToTerminate(ending) ? 1 : 0;
  }
  // From here on script reads the transaction as destroyed, and no second
  // end event is raised for it.
  r.endReason = kSIPEndDestroyed;
  JSArray arguments;
  arguments.Init();
  if (subscription.Get() && subscription->dialog.Get() && subscription->dialog->owner.Get())
    SIPPushScriptObjectArgument(&arguments, subscription->dialog->owner, 0);
  uint32_t answer = SIPInvokeEvent(ending, event.c_str(), "", number, &arguments, flags);
  arguments.Destroy();
  return answer;
}
