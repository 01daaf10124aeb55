// The process-wide subscription list: the subscription a NOTIFY, a response
// or an ending transaction belongs to, listed once, and its timers, which
// end with it.
#include <gtest/gtest.h>

#include <cstdio>

#include "foundation/timer_thread.h"
#include "sip/dialogs.h"
#include "sip/subscriptions.h"
#include "sip/transaction_states.h"
#include "sip_runtime_support.h"

namespace {

SIPTransactionHolder Message(int32_t kind, const char* method, const char* callId, int cseq, const char* fromTag,
                             const char* toTag, const char* event = "", const char* eventId = "") {
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  SIPRecord* r = &t->record;
  r->kind = kind;
  snprintf(r->msg.method, sizeof r->msg.method, "%s", method);
  snprintf(r->msg.callId, sizeof r->msg.callId, "%s", callId);
  snprintf(r->msg.from.tag, sizeof r->msg.from.tag, "%s", fromTag);
  snprintf(r->msg.to.tag, sizeof r->msg.to.tag, "%s", toTag);
  snprintf(r->msg.event.event, sizeof r->msg.event.event, "%s", event);
  snprintf(r->msg.event.id, sizeof r->msg.event.id, "%s", eventId);
  r->msg.cseq = cseq;
  return t;
}

unsigned __stdcall NoFiring(void*) { return 0; }

struct SubscriptionList : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(runtime.Started()); }
  void TearDown() override {
    for (SIPSubscriptionHolder* s : {&refer, &presence}) SIPSubscriptionListRemove(*s);
    EXPECT_EQ(SIPSubscriptionListCount(), listed);
  }
  SIPTimerRuntime runtime;
  size_t listed = SIPSubscriptionListCount();
  // A REFER this side sent (its subscription without a dialog) and a
  // SUBSCRIBE to presence.
  SIPTransactionHolder referRequest = Message(18, "REFER", "Refer-Call", 7, "mine", "");
  SIPSubscriptionHolder refer = SIPSubscriptionCreate("REFER", kSIPSubscriptionNew, "refer", "", -1, referRequest,
                                                      SIPDialogHolder());
  SIPTransactionHolder subscribeRequest = Message(16, "SUBSCRIBE", "Sub-Call", 3, "ours", "", "presence", "p1");
  SIPSubscriptionHolder presence = SIPSubscriptionCreate("SUBSCRIBE", kSIPSubscriptionNew, "presence", "p1", -1,
                                                         subscribeRequest, SIPDialogHolder());
};

TEST_F(SubscriptionList, EachMessageFindsTheSubscriptionItBelongsTo) {
  ASSERT_TRUE(refer.Get() && presence.Get());
  struct {
    const char* name;
    SIPTransactionHolder message;
    SIPSubscriptionRecord* found;
  } cases[] = {
      {"a NOTIFY of the refer package", Message(11, "NOTIFY", "Refer-Call", 1, "theirs", "mine", "refer"),
       refer.Get()},
      {"a NOTIFY before the To tag is known", Message(11, "notify", "Refer-Call", 1, "theirs", "", "refer"),
       refer.Get()},
      {"a NOTIFY whose Call-ID differs in letter case", Message(11, "NOTIFY", "refer-call", 1, "t", "mine", "refer"),
       nullptr},
      {"a NOTIFY of presence with its id", Message(11, "NOTIFY", "Sub-Call", 1, "t", "ours", "Presence", "p1"),
       presence.Get()},
      {"a NOTIFY of presence with another id", Message(11, "NOTIFY", "Sub-Call", 1, "t", "ours", "presence", "p2"),
       nullptr},
      {"a NOTIFY from another party", Message(11, "NOTIFY", "Sub-Call", 1, "t", "other", "presence", "p1"), nullptr},
      {"the response to the REFER, by its CSeq", Message(18, "", "Refer-Call", 7, "mine", "x"), refer.Get()},
      {"a response of another CSeq", Message(18, "", "Refer-Call", 8, "mine", "x"), nullptr},
  };
  for (auto& c : cases) EXPECT_EQ(SIPFindSubscription(c.message).Get(), c.found) << c.name;
}

TEST_F(SubscriptionList, ASubscriptionIsListedOnceAndLeavesWithItsTimers) {
  size_t count = SIPSubscriptionListCount();
  SIPSubscriptionListAdd(refer);
  EXPECT_EQ(SIPSubscriptionListCount(), count);
  refer->expires = 60;
  SIPSubscriptionStartTimer(refer);
  ZEQTimer* expiry = refer->expiryTimer;
  ASSERT_NE(expiry, nullptr);
  ZEQTimerAddRef(expiry);
  ZEQSetTimer(nullptr, &refer->refreshTimer, 60000, NoFiring, nullptr, 0, 0);
  ASSERT_NE(refer->refreshTimer, nullptr);
  SIPSubscriptionListRemove(refer);
  EXPECT_FALSE(SIPSubscriptionListContains(refer));
  EXPECT_EQ(refer->expiryTimer, nullptr);
  EXPECT_EQ(refer->refreshTimer, nullptr);
  EXPECT_EQ(expiry->listed, 0);  // off the timer list
  ZEQTimerRelease(expiry);
  SIPSubscriptionListRemove(refer);  // not listed: nothing changes
  EXPECT_EQ(SIPSubscriptionListCount(), count - 1);
}

TEST_F(SubscriptionList, AnExpiredOrTerminatedSubscriptionLeavesTheList) {
  struct {
    const char* name;
    int32_t state;
    int32_t expires;
    bool listedAfter;
  } cases[] = {
      {"no expiry given: it stays", kSIPSubscriptionActive, -1, true},
      {"terminated: it leaves", kSIPSubscriptionTerminated, 60, false},
      {"an expiry of 0: it leaves", kSIPSubscriptionActive, 0, false},
  };
  for (auto& c : cases) {
    SIPSubscriptionListAdd(presence);
    SIPSubscriptionSetState(presence, c.state, "noresource", "");
    presence->expires = c.expires;
    SIPSubscriptionStartTimer(presence);
    EXPECT_EQ(SIPSubscriptionListContains(presence), c.listedAfter) << c.name;
  }
  EXPECT_STREQ(presence->stateReason, "noresource");
  // A running expiry ends the subscription when it fires.
  SIPSubscriptionListAdd(presence);
  SIPSubscriptionSetState(presence, kSIPSubscriptionActive, nullptr, nullptr);
  presence->expires = 1;
  SIPSubscriptionStartTimer(presence);
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return !SIPSubscriptionListContains(presence); }, 5000));
  EXPECT_EQ(presence->subscriptionState, kSIPSubscriptionTerminated);
}

}  // namespace
