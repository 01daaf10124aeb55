// The pushed-transaction list, the kinds of transactions, their end and
// the look-up of the transaction a received message belongs to.
#include "sip/connections.h"  // first: Winsock 2 before windows.h
#include "sip/transaction_list.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/log.h"
#include "sip/agent_services.h"
#include "sip/identifiers.h"
#include "pushed_transactions.h"
#include "sip/transaction_matching.h"
#include "sip/transaction_states.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

std::vector<SIPTransactionHolder*>& Pushed() { return siptransport::PushedTransactions(); }

}  // namespace

// Each entry keeps one reference to its record; guarded by the global
// transaction lock.
std::vector<SIPTransactionHolder*>& siptransport::PushedTransactions() {
  static auto* list = new std::vector<SIPTransactionHolder*>;
  return *list;
}

const char* SIPKindMethodText(int32_t kind) {
  static const char* const kMethods[] = {"REGISTER", "INVITE", "CANCEL", "BYE",  "MESSAGE",
                                         "NOTIFY",   "OPTIONS", "SUBSCRIBE", "REFER", "INFO", "ACK"};
  if (kind == 0) return "REGISTER";
  if (kind < 2 || kind > 22) return "";
  return kMethods[(kind - 1) / 2];
}

int SIPIsRecordPushed(const SIPTransaction* record) {
  SIPTransactionLockScope lock;
  for (SIPTransactionHolder* entry : Pushed())
    if (entry->Get() == record) return 1;
  return 0;
}

int SIPIsTransactionPushed(const SIPTransactionHolder& transaction) {
  return transaction.IsSet() && SIPIsRecordPushed(transaction.Get());
}

size_t SIPPushedTransactionCount() {
  SIPTransactionLockScope lock;
  return Pushed().size();
}

int SIPRemovePushedTransaction(const SIPTransactionHolder& transaction) {
  SIPTransactionHolder* removed = nullptr;
  {
    SIPTransactionLockScope lock;
    auto& list = Pushed();
    for (size_t i = 0; i < list.size(); i++)
      if (list[i]->Get() == transaction.Get()) {
        removed = list[i];
        list.erase(list.begin() + static_cast<ptrdiff_t>(i));
        break;
      }
  }
  // The caller holds its own reference, so this release frees nothing.
  delete removed;
  return removed ? 1 : 0;
}

int SIPPopTransaction(const SIPTransactionHolder& transaction) {
  SIPTransactionLockScope lock;
  if (!transaction.IsSet() || !SIPRemovePushedTransaction(transaction)) return 0;
  SIPTransactionDestroyTimer(-1, transaction);
  transaction->connectionSocket.Release();
  ZEQLogPrintf("SIPPopTransaction: SIP: %08X - Remaining Transactions: %d", LogId(transaction.Get()),
               static_cast<int>(Pushed().size()));
  return 1;
}

void SIPResetTransaction(const SIPTransactionHolder& transaction, int32_t kind) {
  if (!transaction.IsSet()) return;
  SIPTransactionLockScope lock;
  SIPRecord& r = transaction->record;
  r.kind = kind;
  r.state = kSIPStateReady;
  r.endReason = 0;
  if (!SIPPopTransaction(transaction)) {
    r.authAttempts = 0;
    r.errorCode = 0;
  }
}

void SIPSetTransactionKind(const SIPTransactionHolder& transaction, int32_t kind, const SIPTransactionHolder& related,
                           const SIPTransactionHolder& second) {
  if (!SIPTransactionHolderIsValid(transaction)) return;
  SIPTransactionLockScope lock;
  SIPTransaction* t = transaction.Get();
  SIPResetTransaction(transaction, kind);
  snprintf(t->record.msg.method, sizeof t->record.msg.method, "%s", SIPKindMethodText(kind));
  if (SIPGetUAModeOf(&t->record) == 0) {
    if (!SIPTransactionHolderIsValid(t->companion)) t->companion = SIPTransactionCreate(SIPTransactionHolder());
  } else {
    t->companion.Release();
  }
  if (related.IsSet()) SIPTransactionSetRelated(t, related);
  if (second.IsSet()) t->second = second;
}

SIPTransactionHolder SIPPushTransaction(const SIPTransactionHolder& transaction, int32_t kind,
                                        const SIPTransactionHolder& related, const SIPTransactionHolder& second) {
  SIPTransactionLockScope lock;
  SIPSetTransactionKind(transaction, kind, related, second);
  if (SIPTransactionHolderIsValid(transaction) && !SIPIsTransactionPushed(transaction)) {
    Pushed().push_back(new SIPTransactionHolder(transaction));
    ZEQLogPrintf("SIPPushTransaction: SIP: %08X", LogId(transaction.Get()));
  }
  return transaction;
}

SIPTransactionHolder SIPCreateBasedTransaction(const SIPTransactionHolder& based,
                                               const SIPTransactionHolder& related,
                                               const SIPTransactionHolder& second) {
  if (!based.IsSet()) return SIPTransactionHolder();
  SIPTransactionHolder t = SIPTransactionCreate(based);
  SIPGetAgentServices().generateCallId(&t->record);
  SIPGenerateBranch(&t->record);
  if (related.IsSet()) SIPTransactionSetRelated(t.Get(), related);
  if (second.IsSet()) t->second = second;
  return t;
}

int SIPSetEndReason(const SIPTransactionHolder& transaction, uint32_t reason, bool force) {
  if (!SIPTransactionHolderIsValid(transaction)) return 0;
  SIPTransactionLockScope lock;
  return SIPSetEndReasonOf(&transaction->record, reason, force);
}

int SIPDestroyTransaction(const SIPTransactionHolder& transaction) {
  SIPTransaction* t = transaction.Get();
  ZEQLogPrintf("-SIPDestroyTransaction: [ENTER] SIP: %08X", LogId(t));
  if (!t) return 1;
  if (t->record.destroyed) {
    ZEQLogPrintf("SIPDestroyTransaction: [ALREADY DESTROYED #1] SIP: %08X", LogId(t));
    return 1;
  }
  if (!SIPTransactionHolderIsValid(transaction)) {
    t->record.destroyed = 1;
    ZEQLogPrintf("SIPDestroyTransaction: [ALREADY DESTROYED #2] SIP: %08X", LogId(t));
    return 1;
  }
  // A root record (a registration) takes its listening, accepted and client
  // connections with it.
  if (!t->based.IsSet()) SIPCloseRootRelatedConnections(transaction);
  {
    SIPTransactionLockScope lock;
    SIPPopTransaction(transaction);
    SIPMarkTransactionDestroyed(t);  // sets the destroyed flag too
    SIPTransactionDestroyTimer(-1, transaction);
  }
  ZEQLogPrintf("-SIPDestroyTransaction: [LEAVE] SIP: %08X", LogId(t));
  return 1;
}

SIPTransactionHolder SIPFindMatchingTransaction(bool flagA, bool flagB, const SIPTransactionHolder& message) {
  if (!SIPTransactionHolderIsValid(message)) return message;
  SIPTransactionLockScope lock;
  for (SIPTransactionHolder* entry : Pushed()) {
    SIPTransaction* candidate = entry->Get();
    if (!IsValidSIPTransaction(candidate) || !SIPTransactionHolderIsValid(candidate->companion)) continue;
    if (SIPMessageMatchesTransaction(&message->record, &candidate->record, &candidate->companion->record, flagA,
                                     flagB))
      return *entry;
  }
  return message;
}
