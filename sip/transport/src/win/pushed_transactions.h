// The pushed-transaction list itself, for the files of the transaction
// layer that walk it. Guarded by the global transaction lock
// (sip/transaction_states.h); each entry keeps one reference to its record.
#pragma once
#include <vector>

#include "sip/transaction.h"

namespace siptransport {
std::vector<SIPTransactionHolder*>& PushedTransactions();
}  // namespace siptransport
