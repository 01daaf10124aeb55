// The search of the pushed-transaction list. See sip/transaction_walk.h.
#include "sip/transaction_walk.h"

#include "pushed_transactions.h"
#include "sip/transaction_states.h"

SIPTransactionHolder SIPFindPushedTransaction(SIPPushedTransactionMatch match, void* context) {
  if (!match) return SIPTransactionHolder();
  SIPTransactionLockScope lock;
  // By index: a rule that pops or pushes (under the same lock) must not
  // leave the walk on a stale iterator.
  auto& list = siptransport::PushedTransactions();
  for (size_t i = 0; i < list.size(); ++i) {
    SIPTransactionHolder entry = *list[i];
    if (IsValidSIPTransaction(entry.Get()) && match(entry, context)) return entry;
  }
  return SIPTransactionHolder();
}
