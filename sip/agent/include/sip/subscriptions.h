// The user agent's subscription records and their process-wide list: a
// REFER's implicit "refer" subscription or a SUBSCRIBE, found again by the
// NOTIFYs, responses and ends that belong to it, with its expiry and
// refresh timers. The matching rule itself is in sip/dialog_rules.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/shared_handle.h"
#include "sip/dialogs.h"
#include "sip/transaction.h"

struct ZEQTimer;

// Subscription states.
constexpr int32_t kSIPSubscriptionNew = 0;
constexpr int32_t kSIPSubscriptionActive = 2;
constexpr int32_t kSIPSubscriptionPending = 3;
constexpr int32_t kSIPSubscriptionTerminated = 4;

struct SIPSubscriptionRecord {
  char requestMethod[36];  // "REFER" or "SUBSCRIBE"
  SIPTransactionHolder transaction;
  int32_t hasDialog;
  SIPDialogHolder dialog;
  int32_t subscriptionState;
  char stateReason[129];
  char retryAfter[9];
  char eventName[129];
  char eventId[129];
  int32_t expires;  // seconds; -1 none given, 0 ends the subscription
  uint32_t requestCSeq;
  char requestCSeqMethod[36];
  char callId[129];
  char fromTag[129];
  ZEQTimer* volatile expiryTimer;
  ZEQTimer* volatile refreshTimer;
};
void SIPSubscriptionDelete(SIPSubscriptionRecord* subscription);
template <>
struct ZEQPayloadTraits<SIPSubscriptionRecord>
    : ZEQPayloadPolicy<SIPSubscriptionRecord, SIPSubscriptionDelete, ZEQPayloadFree::ByDeleter> {};
using SIPSubscriptionHolder = ZEQSharedHandle<SIPSubscriptionRecord>;

// A new listed subscription of the live transaction (its CSeq, Call-ID and
// From tag copied), its expiry timer armed; empty when the transaction is
// not live.
SIPSubscriptionHolder SIPSubscriptionCreate(const char* method, int32_t state, const char* eventName,
                                            const char* eventId, int32_t expires,
                                            const SIPTransactionHolder& transaction, const SIPDialogHolder& dialog);
bool SIPSubscriptionListAdd(const SIPSubscriptionHolder& subscription);  // once; true
// Takes the subscription out of the list and kills its expiry and refresh
// timers; true (also when it was not listed).
bool SIPSubscriptionListRemove(const SIPSubscriptionHolder& subscription);
bool SIPSubscriptionListContains(const SIPSubscriptionHolder& subscription);
size_t SIPSubscriptionListCount();

// The newest listed subscription the transaction (a received NOTIFY, a
// response, a transaction that ends) belongs to, or an empty holder.
SIPSubscriptionHolder SIPFindSubscription(const SIPTransactionHolder& transaction);

// Sets the state; the reason and retry-after texts only when given and not
// empty. 1.
int SIPSubscriptionSetState(const SIPSubscriptionHolder& subscription, int32_t state, const char* reason,
                            const char* retryAfter);
// A terminated subscription, or one whose expiry is 0, leaves the list; an
// expiry of -1 changes nothing; otherwise the expiry timer is armed (or
// re-armed) for that many seconds, after which the subscription ends
// without a message or an event. Returns the holder.
SIPSubscriptionHolder SIPSubscriptionStartTimer(const SIPSubscriptionHolder& subscription);
