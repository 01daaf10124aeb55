// The user agent's state of a transaction beside its record. See
// sip/agent/call_state.h.
#include "sip/agent/call_state.h"

#include <map>

#include "foundation/lock.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "sip/agent/user_agent.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

struct CallState {
  SIPTransactionHolder refer;
  int listenerCount = 0;
  bool listenerActive = false;
  std::string pendingEndEvent;
  int pendingEndEventNumber = 0;
  bool Empty() const { return !refer.Get() && !listenerCount && !listenerActive && pendingEndEvent.empty(); }
};

// By the transactions' serial numbers (unique in the process); an entry
// lives while it holds something.
struct States {
  ZEQLock lock;
  std::map<uint32_t, CallState> bySerial;
};
States& All() {
  static States* states = new States;  // lives as long as the process
  return *states;
}

// Changes the transaction's entry under the lock; the entry goes once empty.
// What the entry released is released after the lock is left.
template <typename Change>
void Update(const SIPTransactionHolder& transaction, Change change) {
  if (!transaction.Get()) return;
  SIPTransactionHolder released;
  States& states = All();
  ZEQLockScope scope(states.lock);
  CallState& state = states.bySerial[transaction->serial];
  change(state);
  if (state.Empty()) {
    released = state.refer;
    states.bySerial.erase(transaction->serial);
  }
}

template <typename Read>
auto Look(const SIPTransactionHolder& transaction, Read read) -> decltype(read(CallState())) {
  States& states = All();
  ZEQLockScope scope(states.lock);
  auto found = transaction.Get() ? states.bySerial.find(transaction->serial) : states.bySerial.end();
  return read(found == states.bySerial.end() ? CallState() : found->second);
}

}  // namespace

void SIPSetReferTransaction(const SIPTransactionHolder& transaction, const SIPTransactionHolder& refer) {
  Update(transaction, [&](CallState& s) { s.refer = refer; });
}

SIPTransactionHolder SIPGetReferTransaction(const SIPTransactionHolder& transaction) {
  SIPTransactionHolder refer = Look(transaction, [](const CallState& s) { return s.refer; });
  return SIPTransactionHolderIsValid(refer) ? refer : SIPTransactionHolder();
}

void SIPSetRTPListenerState(const SIPTransactionHolder& transaction, int listenerCount, bool active) {
  Update(transaction, [&](CallState& s) {
    s.listenerCount = listenerCount > 0 ? listenerCount : 0;
    s.listenerActive = active;
  });
}

bool IsSIPMediaStreaming(const SIPTransactionHolder& transaction) {
  return Look(transaction, [](const CallState& s) { return s.listenerCount > 0; });
}

bool IsSIPRTPListenerActive(const SIPTransactionHolder& transaction) {
  return Look(transaction, [](const CallState& s) { return s.listenerActive; });
}

bool SIPSessionSignalToTerminate(const SIPTransactionHolder& transaction) {
  if (!IsSIPMediaStreaming(transaction)) return true;
  ZEQLogPrintf("SIPSessionSignalToTerminate: ZEQSIP: %08X", LogId(transaction.Get()));
  Update(transaction, [](CallState& s) { s.listenerActive = false; });
  return true;
}

void SIPSetPendingEndEvent(const SIPTransactionHolder& transaction, const char* name, int number) {
  Update(transaction, [&](CallState& s) {
    s.pendingEndEvent = name ? name : "";
    s.pendingEndEventNumber = number;
  });
}

std::string SIPGetPendingEndEvent(const SIPTransactionHolder& transaction, int* number) {
  return Look(transaction, [&](const CallState& s) {
    if (number) *number = s.pendingEndEventNumber;
    return s.pendingEndEvent;
  });
}

uint32_t SIPRaisePendingEndEvent(const SIPTransactionHolder& transaction) {
  int number = 0;
  std::string name = SIPGetPendingEndEvent(transaction, &number);
  if (name.empty()) return ZEQACTION_IGNORE;
  SIPSetPendingEndEvent(transaction, nullptr, 0);
  transaction->record.endReason = kSIPEndDestroyed;
  return SIPInvokeEvent(transaction, name.c_str(), "", number, nullptr, kZEQApcResultCoded);
}
