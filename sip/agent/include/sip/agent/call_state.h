// What the user agent keeps of a transaction beside its record: the REFER
// a transfer call was made for, the state of its media session's receive
// loop, and the end event held back while that session runs (script hears
// of a call's end only after its audio has stopped).
#pragma once
#include <cstdint>
#include <string>

#include "sip/transaction.h"

// The REFER whose transfer this transaction (an INVITE) carries out; empty
// when none or when it is no longer live.
void SIPSetReferTransaction(const SIPTransactionHolder& transaction, const SIPTransactionHolder& refer);
SIPTransactionHolder SIPGetReferTransaction(const SIPTransactionHolder& transaction);

// The media session's receive loop: listenerCount receive loops running,
// active while the loop is to go on. The session sets them.
void SIPSetRTPListenerState(const SIPTransactionHolder& transaction, int listenerCount, bool active);
// A media session of the transaction is streaming: a receive loop runs.
bool IsSIPMediaStreaming(const SIPTransactionHolder& transaction);
// The receive loop is to go on (cleared by SIPSessionSignalToTerminate).
bool IsSIPRTPListenerActive(const SIPTransactionHolder& transaction);
// Asks a running session to end (its loop's active flag cleared); nothing
// without one. Always true.
bool SIPSessionSignalToTerminate(const SIPTransactionHolder& transaction);

// The end event held back for the session: stored by the end-event raiser
// (a later one replaces it), read by the session once its audio has
// stopped. Empty name when none.
void SIPSetPendingEndEvent(const SIPTransactionHolder& transaction, const char* name, int number);
std::string SIPGetPendingEndEvent(const SIPTransactionHolder& transaction, int* number);
// Raises the held-back end event (empty arguments, flags 0x200) and clears
// it; the transaction then counts as destroyed, so no second end event
// follows. The script's answer, or ZEQACTION_IGNORE when none was held.
uint32_t SIPRaisePendingEndEvent(const SIPTransactionHolder& transaction);
