// Receiving SIP messages on the main thread when a listed socket has data.
// Nothing blocks: a datagram is read whole; a stream is read as far as it
// has data and framed by the socket's SIPStreamFramer, so a message split
// across segments waits for its rest and several in one segment are each
// dispatched.
#pragma once
#include <winsock2.h>

#include <cstdint>

#include "sip/transaction.h"

// 1 when at least one message was handed to the dispatch and accepted.
int SIPListenerOnSocketEvent(SOCKET socket);

// The address a response's top Via names for its sender: received (else
// the sent-by host) and rport (else the sent-by port, else port as given).
int SIPGetViaAddress(const SIPTransactionHolder& record, char* host, size_t hostSize, int* port);
