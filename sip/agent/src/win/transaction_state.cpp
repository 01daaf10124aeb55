#include "sip/agent/helpers.h"
#include "sip/transaction_states.h"

namespace {

// The machines' state words.
constexpr int32_t kStateCalling = 1;
constexpr int32_t kStateProceeding = 2;
constexpr int32_t kStateCompleted = 3;
constexpr int32_t kStateConfirmed = 4;
constexpr int32_t kStateAccepted = 5;
constexpr int32_t kStateTerminated = 6;

}  // namespace

bool IsSIPBeforeFinalResponse(const SIPTransactionHolder& transaction) {
  int32_t state = SIPGetTransactionState(transaction);
  return state == kStateCalling || state == kStateProceeding;
}

bool IsSIPTransactionProceeding(const SIPTransactionHolder& transaction) {
  return SIPGetTransactionState(transaction) == kStateProceeding;
}

bool IsSIPTransactionCompletedState(const SIPTransactionHolder& transaction) {
  return SIPGetTransactionState(transaction) == kStateCompleted;
}

bool IsSIPTransactionAccepted(const SIPTransactionHolder& transaction) {
  return SIPGetTransactionState(transaction) == kStateAccepted;
}

bool IsSIPTransactionCompleted(const SIPTransactionHolder& transaction) {
  int32_t state = SIPGetTransactionState(transaction);
  return state == kStateCompleted || state == kStateConfirmed || state == kStateAccepted ||
         state == kStateTerminated;
}

bool IsSIPTransactionOpen(const SIPTransactionHolder& transaction) {
  if (!transaction.Get()) return false;
  SIPTransactionLockScope lock;
  return transaction->record.endReason == 0;
}

bool SIPIsOtherTransaction(const SIPTransactionHolder& first, const SIPTransactionHolder& second) {
  return first.Get() != second.Get();
}
