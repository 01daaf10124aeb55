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
  // A received request of a method the user agent handles (INVITE, ACK,
  // CANCEL, BYE, OPTIONS, SUBSCRIBE, NOTIFY, REFER): the handler finds or
  // makes its server transaction and answers. body is NOTIFY's body.
  void (*processRequest)(int method, const SIPTransactionHolder& request, const char* body);
  // A response for its client transaction; handler is a SIPResponseHandler
  // (sip/dispatch_rules.h) other than a redirection or a challenge.
  void (*processResponse)(int handler, const SIPTransactionHolder& transaction, const SIPTransactionHolder& response,
                          int status);
  // Answers a challenge: the ACK of an INVITE's challenge, then the request
  // again with credentials; false when it could not be sent.
  bool (*answerChallenge)(const SIPTransactionHolder& transaction, const SIPTransactionHolder& response, int status);
  // Follows a redirection of the completed transaction to target (its ACK,
  // the new transaction, script's consent, the new INVITE) and sets its end
  // reason.
  void (*followRedirect)(const SIPTransactionHolder& transaction, const SIPTransactionHolder& response, int status,
                         const char* target);
  // Sends the registration's REGISTER again (refresh 1: before it
  // expires); false when it was not sent.
  bool (*sendRegister)(const SIPTransactionHolder& registration, int refresh);
};

// Installs the operations (copied); null restores the defaults: the last
// sent text sent again (SendSIPMessage), the error recorded and the
// transaction terminated, no events, an expired calling INVITE ended, a
// Call-ID made of a new UUID; received requests logged and left
// unanswered; a 2xx completing its transaction, a final error completing
// it and reported as its error; no credentials sent (the challenge ends as
// a final error); no redirection followed (refused, the status reported as
// error); no REGISTER sent again (logged).
void SIPInstallAgentServices(const SIPAgentServices* services);
const SIPAgentServices& SIPGetAgentServices();
