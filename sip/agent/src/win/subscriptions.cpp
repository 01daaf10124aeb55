// Subscription records and their list. See sip/subscriptions.h.
#include "sip/subscriptions.h"

#include <new>
#include <vector>

#include "foundation/heap.h"
#include "foundation/lock.h"
#include "foundation/log.h"
#include "foundation/timer_thread.h"
#include "sip/dialog_rules.h"
#include "sip/transaction_states.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

// The list: newest first, each entry one reference of its subscription.
struct SubscriptionList {
  ZEQLock lock;
  std::vector<SIPSubscriptionHolder> entries;
};
SubscriptionList& List() {
  static SubscriptionList* list = new SubscriptionList;  // lives as long as the process
  return *list;
}

bool SameRecord(const SIPSubscriptionHolder& a, const SIPSubscriptionHolder& b) {
  return a.Get() && a.Get() == b.Get();
}

void KillTimer(ZEQTimer* volatile* slot) {
  if (*slot) ZEQKillTimer(slot);
}

// The subscription is over when its expiry runs out: no message, no event.
unsigned __stdcall ExpiryTimer(void* argument) {
  auto* timer = static_cast<ZEQTimer*>(argument);
  uint32_t id = static_cast<uint32_t>(timer->context);
  if (!id) return 0;
  SIPSubscriptionHolder subscription;
  subscription.AssignAndDeleteSource(SIPSubscriptionHolder::NewFromId(id));
  if (!subscription.Get()) return 0;
  ZEQLogPrintf("SIPSubscriptionExpiryTimer: Subscription: %08X - [EXPIRED]", LogId(subscription.Get()));
  subscription->subscriptionState = kSIPSubscriptionTerminated;
  SIPSubscriptionStartTimer(subscription);
  return 0;
}

sipagent::SubscriptionKey KeyOf(const SIPSubscriptionRecord& s) {
  sipagent::SubscriptionKey key = {};
  key.hasDialog = s.hasDialog != 0;
  key.isRefer = SIPTransactionHolderIsValid(s.transaction) && SIPTransactionKindToMethod(&s.transaction->record) ==
                                                                  kSIPMethodRefer;
  key.eventName = s.eventName;
  key.eventId = s.eventId;
  key.requestCSeq = s.requestCSeq;
  key.callId = s.callId;
  key.fromTag = s.fromTag;
  return key;
}

}  // namespace

void SIPSubscriptionDelete(SIPSubscriptionRecord* subscription) {
  if (!subscription) return;
  // The timers name the record's own slots: none may outlive it.
  KillTimer(&subscription->expiryTimer);
  KillTimer(&subscription->refreshTimer);
  subscription->~SIPSubscriptionRecord();
  HeapFreeZ(subscription);
}

SIPSubscriptionHolder SIPSubscriptionCreate(const char* method, int32_t state, const char* eventName,
                                            const char* eventId, int32_t expires,
                                            const SIPTransactionHolder& transaction, const SIPDialogHolder& dialog) {
  if (!SIPTransactionHolderIsValid(transaction)) return SIPSubscriptionHolder();
  SubscriptionList& list = List();
  ZEQLockScope scope(list.lock);
  void* block = HeapAllocZ(sizeof(SIPSubscriptionRecord));
  SIPSubscriptionHolder subscription(new (block) SIPSubscriptionRecord());
  SIPSubscriptionRecord& s = *subscription.Get();
  const SIPRecord& r = transaction->record;
  sipagent::CopyField(s.requestMethod, sizeof s.requestMethod, method);
  s.transaction = transaction;
  if (dialog.Get()) {
    s.dialog = dialog;
    s.hasDialog = 1;
  }
  s.subscriptionState = state;
  sipagent::CopyField(s.eventName, sizeof s.eventName, eventName);
  sipagent::CopyField(s.eventId, sizeof s.eventId, eventId);
  s.expires = expires;
  s.requestCSeq = static_cast<uint32_t>(r.msg.cseq);
  sipagent::CopyField(s.requestCSeqMethod, sizeof s.requestCSeqMethod, r.msg.cseqMethod);
  sipagent::CopyField(s.callId, sizeof s.callId, r.msg.callId);
  sipagent::CopyField(s.fromTag, sizeof s.fromTag, r.msg.from.tag);
  SIPSubscriptionListAdd(subscription);
  SIPSubscriptionStartTimer(subscription);
  return subscription;
}

bool SIPSubscriptionListContains(const SIPSubscriptionHolder& subscription) {
  SubscriptionList& list = List();
  ZEQLockScope scope(list.lock);
  for (const SIPSubscriptionHolder& entry : list.entries)
    if (SameRecord(entry, subscription)) return true;
  return false;
}

bool SIPSubscriptionListAdd(const SIPSubscriptionHolder& subscription) {
  if (!subscription.Get()) return true;
  SubscriptionList& list = List();
  ZEQLockScope scope(list.lock);
  if (!SIPSubscriptionListContains(subscription)) list.entries.insert(list.entries.begin(), subscription);
  return true;
}

bool SIPSubscriptionListRemove(const SIPSubscriptionHolder& subscription) {
  SIPSubscriptionHolder removed;  // released after the lock is left
  {
    SubscriptionList& list = List();
    ZEQLockScope scope(list.lock);
    for (size_t i = 0; i < list.entries.size(); ++i) {
      if (!SameRecord(list.entries[i], subscription)) continue;
      removed = list.entries[i];
      list.entries.erase(list.entries.begin() + static_cast<std::ptrdiff_t>(i));
      KillTimer(&removed->expiryTimer);
      KillTimer(&removed->refreshTimer);
      break;
    }
  }
  return true;
}

size_t SIPSubscriptionListCount() {
  SubscriptionList& list = List();
  ZEQLockScope scope(list.lock);
  return list.entries.size();
}

SIPSubscriptionHolder SIPFindSubscription(const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction)) return SIPSubscriptionHolder();
  const SIPRecord& r = transaction->record;
  SubscriptionList& list = List();
  ZEQLockScope scope(list.lock);
  SIPDialogRecord* own = nullptr;
  bool ownLooked = false;
  for (const SIPSubscriptionHolder& entry : list.entries) {
    sipagent::SubscriptionKey key = KeyOf(*entry.Get());
    bool sameDialog = false;
    if (key.hasDialog) {
      if (!ownLooked) {
        own = SIPFindDialog(transaction).Get();
        ownLooked = true;
      }
      sameDialog = SIPFindDialog(entry->transaction).Get() == own;
    }
    switch (sipagent::MatchSubscription(key, r, sameDialog)) {
      case sipagent::SubscriptionMatch::kAtOnce:
        return entry;
      case sipagent::SubscriptionMatch::kCandidate:
        if (sipagent::SubscriptionEventMatches(key, r)) return entry;
        break;
      case sipagent::SubscriptionMatch::kNone:
        break;
    }
  }
  return SIPSubscriptionHolder();
}

int SIPSubscriptionSetState(const SIPSubscriptionHolder& subscription, int32_t state, const char* reason,
                            const char* retryAfter) {
  if (!subscription.Get()) return 1;
  SIPSubscriptionRecord& s = *subscription.Get();
  s.subscriptionState = state;
  if (reason && *reason) sipagent::CopyField(s.stateReason, sizeof s.stateReason, reason);
  if (retryAfter && *retryAfter) sipagent::CopyField(s.retryAfter, sizeof s.retryAfter, retryAfter);
  return 1;
}

SIPSubscriptionHolder SIPSubscriptionStartTimer(const SIPSubscriptionHolder& subscription) {
  if (!subscription.Get()) return subscription;
  SubscriptionList& list = List();
  ZEQLockScope scope(list.lock);
  SIPSubscriptionRecord& s = *subscription.Get();
  if (s.subscriptionState == kSIPSubscriptionTerminated || s.expires == 0) {
    SIPSubscriptionListRemove(subscription);
  } else if (s.expires > 0) {
    SIPSubscriptionHolder keyed = subscription;
    ZEQSetTimer(nullptr, &s.expiryTimer, static_cast<uint32_t>(s.expires) * 1000u, ExpiryTimer, SIPTimerNoOp,
                keyed.GetId(), 0);
  }
  return subscription;
}
