// The user agent's operations as the transaction layer calls them, with the
// defaults that hold until a user agent installs its own.
#include "sip/agent_services.h"

#include <cstring>

#include "foundation/log.h"
#include "sip/dispatch_rules.h"
#include "sip/send.h"
#include "sip/transaction_list.h"
#include "sip/identifiers.h"
#include "sip/transaction_states.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

// The last sent text goes out again; a record that sent nothing has
// nothing to repeat, which is said, never pretended.
void ResendLastMessage(const SIPTransactionHolder& transaction) {
  if (SIPTransactionHolderIsValid(transaction) && transaction->record.lastMessage.length) {
    SendSIPMessage(transaction, kSIPSendLastMessage, nullptr);
    return;
  }
  ZEQLogPrintf("SIPResendLastMessage: SIP: %08X - [FAILED] Nothing sent before", LogId(transaction.Get()));
}

// The error is kept and the transaction ends, so that nothing waits for it.
void RecordErrorAndTerminate(const SIPTransactionHolder& transaction, int code, int detail) {
  if (!SIPTransactionHolderIsValid(transaction)) return;
  transaction->record.errorCode = code;
  transaction->record.errorDetail = detail;
  SIPSetTransactionState(transaction, kSIPStateTerminated);
}

void NoEvent(const SIPTransactionHolder&, uint32_t) {}
bool EndExpiredCalling(const SIPTransactionHolder&) { return true; }
void NoObjectList(const SIPTransactionHolder&) {}
bool UuidCallId(SIPRecord* record) {
  char uuid[37];
  if (!SIPNewUuidText(uuid)) return false;
  memcpy(record->msg.callId, uuid, sizeof uuid);
  return true;
}

void NoRequestHandler(int method, const SIPTransactionHolder& request, const char*) {
  ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - [NO HANDLER] %s not answered", LogId(request.Get()),
               SIPMethodName(method));
}

// Without a user agent a response still ends its transaction's wait: a
// success completes it, a final error completes it and is reported.
void CompleteOnResponse(int handler, const SIPTransactionHolder& transaction, const SIPTransactionHolder&,
                        int status) {
  auto which = static_cast<SIPResponseHandler>(handler);
  if (which == SIPResponseHandler::kInvite1xx || which == SIPResponseHandler::kProceeding) return;
  SIPSetTransactionState(transaction, kSIPStateCompleted);
  if (which == SIPResponseHandler::kFinalError) SIPGetAgentServices().invokeTransactionError(transaction, status, 0);
}

bool NoCredentials(const SIPTransactionHolder&, const SIPTransactionHolder&, int) { return false; }

void RefuseRedirect(const SIPTransactionHolder& transaction, const SIPTransactionHolder&, int status, const char*) {
  SIPSetEndReason(transaction, kSIPEndRefused, false);
  SIPGetAgentServices().invokeTransactionError(transaction, status, 0);
}

bool NoRegister(const SIPTransactionHolder& registration, int) {
  ZEQLogPrintf("SIPREGISTERSendRequest: SIP: %08X - [FAILED] No user agent installed", LogId(registration.Get()));
  return false;
}

const SIPAgentServices kDefaults = {ResendLastMessage,         RecordErrorAndTerminate, NoEvent,       EndExpiredCalling,
                                    NoObjectList,     UuidCallId,              NoRequestHandler, CompleteOnResponse,
                                    NoCredentials,    RefuseRedirect,          NoRegister};
SIPAgentServices g_services = kDefaults;

}  // namespace

void SIPInstallAgentServices(const SIPAgentServices* services) {
  SIPTransactionLockScope lock;
  g_services = services ? *services : kDefaults;
  // A missing operation keeps its default.
  if (!g_services.resendLastMessage) g_services.resendLastMessage = kDefaults.resendLastMessage;
  if (!g_services.invokeTransactionError) g_services.invokeTransactionError = kDefaults.invokeTransactionError;
  if (!g_services.invokeDestroyTransactionEvent)
    g_services.invokeDestroyTransactionEvent = kDefaults.invokeDestroyTransactionEvent;
  if (!g_services.askTerminateExpiredCalling)
    g_services.askTerminateExpiredCalling = kDefaults.askTerminateExpiredCalling;
  if (!g_services.objectListRemove) g_services.objectListRemove = kDefaults.objectListRemove;
  if (!g_services.generateCallId) g_services.generateCallId = kDefaults.generateCallId;
  if (!g_services.processRequest) g_services.processRequest = kDefaults.processRequest;
  if (!g_services.processResponse) g_services.processResponse = kDefaults.processResponse;
  if (!g_services.answerChallenge) g_services.answerChallenge = kDefaults.answerChallenge;
  if (!g_services.followRedirect) g_services.followRedirect = kDefaults.followRedirect;
  if (!g_services.sendRegister) g_services.sendRegister = kDefaults.sendRegister;
}

const SIPAgentServices& SIPGetAgentServices() { return g_services; }
