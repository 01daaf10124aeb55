// Error reports and final error responses. See sip/agent/final_errors.h.
#include "sip/agent/final_errors.h"

#include <windows.h>

#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "host/js_array.h"
#include "sip/agent/end_events.h"
#include "sip/agent/helpers.h"
#include "sip/agent/user_agent.h"
#include "sip/agent_services.h"
#include "sip/challenges.h"
#include "sip/dispatch_rules.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"

namespace {

constexpr int32_t kKindInviteClient = 4;

using ResponseHandling = void (*)(int, const SIPTransactionHolder&, const SIPTransactionHolder&, int);
ResponseHandling volatile g_otherResponses = nullptr;

void ReportError(const SIPTransactionHolder& transaction, int code, int detail) {
  if (transaction.Get()) transaction->record.errorDetail = detail;
  SIPInvokeTransactionError(transaction, code, 0);
}

}  // namespace

uint32_t SIPInvokeTransactionError(const SIPTransactionHolder& transaction, int code, uint32_t flags) {
  if (!SIPTransactionHolderIsValid(transaction)) return ZEQACTION_CONTINUE;
  SIPRecord* r = &transaction->record;
  r->errorCode = code;
  SIPConnectionSettings* connection = SIPGetRootConnection(r);
  if (!connection->listening) {
    // A registration start-up waiting for its REGISTER's outcome moves on.
    connection->resultCode = code;
    if (connection->waitEvent) SetEvent(reinterpret_cast<HANDLE>(connection->waitEvent));
  }
  if (r->userHandled) {
    JSArray arguments;
    arguments.Init();
    arguments.AppendInt(code);
    uint32_t answer = SIPInvokeEvent(transaction, "ZEQOnSIPError", "", 0, &arguments, flags);
    arguments.Destroy();
    return answer;
  }
  SIPSetTransactionState(transaction, kSIPStateTerminated);
  return ZEQACTION_CONTINUE;
}

int SIPINVITEProccessFinalErrorResponse(const SIPTransactionHolder& invite, int status) {
  if (!SIPTransactionHolderIsValid(invite)) return 0;
  SIPSetEndReason(invite, kSIPEndRefused, false);
  if (SIPSetTransactionState(invite, kSIPStateCompleted)) SIPACKSendRequest(nullptr, invite);
  // A re-INVITE of a call that goes on (a hold request) is no failure of
  // the call.
  if (invite->record.kind == kKindInviteClient && SIPTransactionHolderIsValid(invite->related)) return 0;
  // The answer to this side's own CANCEL is no error either.
  if (invite->record.endReason != kSIPEndCancelled) SIPInvokeTransactionError(invite, status, 0);
  return 0;
}

int SIPSUBSCRIBEProccessErrorResponse(const SIPTransactionHolder&, const SIPTransactionHolder& transaction) {
  SIPSetEndReason(transaction, kSIPEndRefused, false);
  return 1;
}

int SIPREFERProccessErrorResponse(const SIPTransactionHolder&, const SIPTransactionHolder& transaction) {
  SIPSetEndReason(transaction, kSIPEndRefused, false);
  return 1;
}

int SIPProccessFinalErrorResponse(int status, const SIPTransactionHolder& response,
                                  const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction)) return 1;
  if (!IsSIPBeforeFinalResponse(transaction)) {
    // A repeated final response: the INVITE's ACK went missing.
    if (transaction->record.kind == kKindInviteClient) SIPACKSendRequest(nullptr, transaction);
    return 1;
  }
  int handled = 1;
  switch (SIPKindToMethod(transaction->record.kind)) {
    case kSIPMethodInvite:
      handled = SIPINVITEProccessFinalErrorResponse(transaction, status);
      break;
    case kSIPMethodBye:
      handled = SIPBYEProccessErrorResponse(transaction, transaction);
      break;
    case kSIPMethodSubscribe:
      handled = SIPSUBSCRIBEProccessErrorResponse(response, transaction);
      break;
    case kSIPMethodRefer:
      handled = SIPREFERProccessErrorResponse(response, transaction);
      break;
    default:
      break;
  }
  if (handled) {
    SIPSetEndReason(transaction, kSIPEndRefused, false);
    if (SIPSetTransactionState(transaction, kSIPStateCompleted) &&
        SIPInvokeTransactionError(transaction, status, 0) != ZEQACTION_CONTINUE)
      return 0;
  }
  ZEQInvokeSIPDestroyTransactionEvent(transaction, nullptr, false, kZEQApcResultCoded);
  return 1;
}

void SIPProcessResponse(int handler, const SIPTransactionHolder& transaction, const SIPTransactionHolder& response,
                        int status) {
  try {
    if (handler == static_cast<int>(SIPResponseHandler::kFinalError)) {
      SIPForgetChallenges(transaction);
      SIPProccessFinalErrorResponse(status, response, transaction);
      return;
    }
    if (ResponseHandling other = g_otherResponses) other(handler, transaction, response, status);
  } catch (...) {
    ZEQLogPrintf("!SIPProcessResponse: Unexpected exception...");
  }
}

void SIPInstallFinalErrorHandling() {
  SIPAgentServices services = SIPGetAgentServices();
  if (services.processResponse != SIPProcessResponse) g_otherResponses = services.processResponse;
  services.processResponse = SIPProcessResponse;
  services.invokeTransactionError = ReportError;
  SIPInstallAgentServices(&services);
}
