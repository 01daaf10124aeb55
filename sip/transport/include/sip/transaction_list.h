// The pushed-transaction list: every live transaction, found again by the
// messages that belong to it. Every operation takes the global transaction
// lock (sip/transaction_states.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/transaction.h"

// Gives the transaction its kind and puts it in the list (once); returns a
// copy of the holder.
SIPTransactionHolder SIPPushTransaction(const SIPTransactionHolder& transaction, int32_t kind,
                                        const SIPTransactionHolder& related, const SIPTransactionHolder& second);
// Resets the transaction for the kind without pushing it: READY, end reason
// 0, popped, the kind's method; a server transaction gets an empty
// companion record when it has no live one, a client transaction drops its
// companion; the links are stored when given.
void SIPSetTransactionKind(const SIPTransactionHolder& transaction, int32_t kind, const SIPTransactionHolder& related,
                           const SIPTransactionHolder& second);
void SIPResetTransaction(const SIPTransactionHolder& transaction, int32_t kind);
// 1 when the transaction was in the list and was removed (its timers
// killed), else 0.
int SIPPopTransaction(const SIPTransactionHolder& transaction);
int SIPIsTransactionPushed(const SIPTransactionHolder& transaction);
int SIPIsRecordPushed(const SIPTransaction* record);
int SIPRemovePushedTransaction(const SIPTransactionHolder& transaction);
size_t SIPPushedTransactionCount();

// A new transaction based on another, with a new Call-ID and top Via
// branch; not pushed. Empty when based is empty.
SIPTransactionHolder SIPCreateBasedTransaction(const SIPTransactionHolder& based,
                                               const SIPTransactionHolder& related,
                                               const SIPTransactionHolder& second);
// 0 when nothing was set (an ended transaction without force).
int SIPSetEndReason(const SIPTransactionHolder& transaction, uint32_t reason, bool force);
// Ends the transaction for good (once); always 1.
int SIPDestroyTransaction(const SIPTransactionHolder& transaction);

// The pushed transaction a received message belongs to, or the message's
// own holder when none matches.
SIPTransactionHolder SIPFindMatchingTransaction(bool flagA, bool flagB, const SIPTransactionHolder& message);

// The kind's request method text ("" for kinds without one).
const char* SIPKindMethodText(int32_t kind);
