// The user agent's start: its operations in the transaction layer and the
// "ZEQSIP" class in the script namespace.
#include "sip/agent/user_agent.h"

#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "host/script_namespace.h"
#include "script_object_internal.h"
#include "sip/agent/helpers.h"
#include "sip/agent_services.h"
#include "sip/challenges.h"

namespace {

void InvokeDestroyEvent(const SIPTransactionHolder& transaction, uint32_t flags) {
  ZEQInvokeSIPDestroyTransactionEvent(transaction, nullptr, false, flags ? flags : kZEQApcResultCoded);
}

}  // namespace

bool SIPInstallUserAgent() {
  static bool installed = false;
  if (!installed) {
    SIPAgentServices services = {};
    services.resendLastMessage = SIPResendLastMessage;
    services.invokeDestroyTransactionEvent = InvokeDestroyEvent;
    services.askTerminateExpiredCalling = SIPAskTerminateExpiredCalling;
    services.objectListRemove = SIPObjectListRemove;
    services.generateCallId = SIPWriteNewCallID;
    services.answerChallenge = SIPAnswerChallenge;
    SIPInstallAgentServices(&services);
    installed = true;
  }
  return ZEQRegisterScriptClass(L"ZEQSIP", ZEQLookupMemberCallback, ZEQSIPInvoke);
}
