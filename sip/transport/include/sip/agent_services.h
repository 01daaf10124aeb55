// What the transaction layer calls of the SIP user agent. The user agent
// installs its operations at start-up; until then the transaction layer
// uses its own defaults, which never report a message as sent.
#pragma once
#include <cstdint>

#include "sip/transaction.h"

struct SIPAgentServices {
  // Sends the transaction's last sent message again.
  void (*resendLastMessage)(const SIPTransactionHolder& transaction);
  // Records the error code and raises the error event, or ends the
  // transaction.
  void (*invokeTransactionError)(const SIPTransactionHolder& transaction, int code, int detail);
  // Raises the transaction's end event.
  void (*invokeDestroyTransactionEvent)(const SIPTransactionHolder& transaction, uint32_t flags);
  // Whether an INVITE whose calling time ran out while ringing is to end.
  bool (*askTerminateExpiredCalling)(const SIPTransactionHolder& transaction);
  // Drops the transaction from the list of script objects.
  void (*objectListRemove)(const SIPTransactionHolder& transaction);
  // Gives the record a new Call-ID; false when none could be made.
  bool (*generateCallId)(SIPRecord* record);
};

// Installs the operations (copied); null restores the defaults: no resend
// (logged), the error recorded and the transaction terminated, no events,
// an expired calling INVITE ended, a
// Call-ID made of a new UUID.
void SIPInstallAgentServices(const SIPAgentServices* services);
const SIPAgentServices& SIPGetAgentServices();
