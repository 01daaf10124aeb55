// Putting one prepared SIP message of a record on the wire: where it goes
// (route set, Request-URI, the account's outbound setting, or a response's
// Via), which socket carries it (an open connection of the account, else a
// new one), the address placeholders filled at every send, and the copies
// kept for retransmission.
#pragma once
#include <cstdint>

#include "sip/connections.h"
#include "sip/transaction.h"

// Flag bit 0: send the record's last sent text again (a retransmission).
constexpr uint32_t kSIPSendLastMessage = 0x1;

// The longest a send waits for a new stream connection to be made; a
// server that does not answer by then fails the send as unconnectable
// (503 to the transaction, last-error 104).
constexpr unsigned long kSIPConnectWaitMs = 3000;

// The record's connection slot (SIPTransaction::connectionSocket) is tried
// first, then an open connection of the account to the destination, then a
// new socket. Non-zero when sent; 0 when not, with the thread's last-error 2, 104 or
// 302 (0 when TestOptions bit 1 turned a failed send into a success).
// socketOut, when given, receives the socket used; a new socket is then
// not registered for notifications (the caller reads the answer itself).
int SendSIPMessage(const SIPTransactionHolder& record, uint32_t flags, SIPSocketHolder* socketOut);

// The destination of the record's message: IPv4 address (network order)
// and port; 0 when none can be computed or resolved.
int SIPComputeDestination(const SIPTransactionHolder& record, uint32_t* address, int* port);

// Removes every "sip:" and "sips:" and what precedes the first "@" outside
// double quotes, in place.
void SIPStripURIScheme(char* text);
