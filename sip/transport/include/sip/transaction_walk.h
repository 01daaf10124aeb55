// A search of the pushed-transaction list by a rule of the caller's, for
// questions the list's own look-ups do not answer (such as whether a
// dialog has a request still pending).
#pragma once

#include "sip/transaction.h"

// The first live pushed transaction (oldest first) for which match answers
// true, or an empty holder. match runs under the global transaction lock
// (sip/transaction_states.h), which it may take again; it must not wait
// for another thread.
using SIPPushedTransactionMatch = bool (*)(const SIPTransactionHolder& transaction, void* context);
SIPTransactionHolder SIPFindPushedTransaction(SIPPushedTransactionMatch match, void* context);
