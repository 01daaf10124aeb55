// The entry of every received SIP message: parsed, traced, answered where
// the stack answers by itself, and handed to the user agent (requests) or
// to its client transaction (responses). Runs on the main thread, where the
// transaction timers run too.
#pragma once
#include <cstdint>

#include "sip/transaction.h"

// 1 when the message was processed (also after any failure), 0 when the
// lost-message simulation dropped it. header holds the header lines, body
// the body (may be empty); the source is the sender's address and port.
// arrivedOn, when set, is the stream connection the message came on: a
// request keeps it as its connection, so its answers go back on it.
int SIPListenerProcessMessage(const char* header, const char* body, const char* sourceHost, int sourcePort,
                              const SIPTransactionHolder& listener,
                              const SIPSocketHolder& arrivedOn = SIPSocketHolder());

// 1 when a received 401 or 407 is to be answered with credentials: the
// transaction has not answered a challenge yet, or the new one is stale.
int SIPEnsureToSendCredentials(const SIPTransactionHolder& transaction, const SIPTransactionHolder& response);

// How the dispatch puts its own answers (405, 404) on the wire:
// SendSIPMessage unless another sender is installed (null restores it).
using SIPMessageSender = int (*)(const SIPTransactionHolder& record, uint32_t flags);
void SIPSetDispatchSender(SIPMessageSender sender);
