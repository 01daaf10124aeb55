// The user agent's operations as the transaction layer calls them, with the
// defaults that hold until a user agent installs its own.
#include "sip/agent_services.h"

#include <cstring>

#include "foundation/log.h"
#include "sip/identifiers.h"
#include "sip/transaction_states.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

// Nothing is sent without a user agent: said so, never pretended.
void NoResend(const SIPTransactionHolder& transaction) {
  ZEQLogPrintf("SIPResendLastMessage: SIP: %08X - [FAILED] No sender installed", LogId(transaction.Get()));
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

const SIPAgentServices kDefaults = {NoResend, RecordErrorAndTerminate, NoEvent, EndExpiredCalling, NoObjectList,
                                    UuidCallId};
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
}

const SIPAgentServices& SIPGetAgentServices() { return g_services; }
