// The user agent's start: its operations in the transaction layer and the
// "ZEQSIP" class in the script namespace.
#include "sip/agent/user_agent.h"

#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "host/script_namespace.h"
#include "script_object_internal.h"
#include "sip/agent/end_events.h"
#include "sip/agent/final_errors.h"
#include "sip/agent/helpers.h"
#include "sip/agent/status_report.h"
#include "sip/agent_services.h"
#include "sip/challenges.h"
#include "sip/server_startup.h"

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
    // Final errors and error reports are the user agent's; the other
    // responses keep the handling just installed.
    SIPInstallFinalErrorHandling();
    SIPStartupSteps steps = {};
    steps.invokeCloseEvents = [](const SIPTransactionHolder& registration) { SIPInvokeCloseEvents(registration); };
    SIPInstallStartupSteps(&steps);
    ZEQSetDebugCountersProvider(SIPFillStatusCounters);
    installed = true;
  }
  return ZEQRegisterScriptClass(L"ZEQSIP", ZEQLookupMemberCallback, ZEQSIPInvoke);
}
