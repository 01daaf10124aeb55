// The process-wide dialog list: dialogs made from their transactions,
// found by every message of them (newest first), listed once, and dropped
// with the transaction that made them.
#include <gtest/gtest.h>

#include <cstdio>

#include "sip/agent/status_report.h"
#include "sip/dialogs.h"
#include "sip/subscriptions.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"

namespace {

// A transaction of a kind (odd: server) with a Call-ID and tags.
SIPTransactionHolder Transaction(int32_t kind, const char* callId, const char* fromTag, const char* toTag) {
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  SIPRecord* r = &t->record;
  r->kind = kind;
  snprintf(r->msg.callId, sizeof r->msg.callId, "%s", callId);
  snprintf(r->msg.from.tag, sizeof r->msg.from.tag, "%s", fromTag);
  snprintf(r->msg.to.tag, sizeof r->msg.to.tag, "%s", toTag);
  snprintf(r->msg.cseqMethod, sizeof r->msg.cseqMethod, "INVITE");
  r->msg.cseq = 5;
  return t;
}

struct DialogList : ::testing::Test {
  void TearDown() override {
    for (SIPTransactionHolder* t : {&server, &client}) SIPReleaseTransactionDialogs(*t);
    EXPECT_EQ(SIPDialogListCount(), listed);
  }
  size_t listed = SIPDialogListCount();
  SIPTransactionHolder server = Transaction(3, "Call-A", "remote", "local");
  SIPTransactionHolder client = Transaction(4, "Call-B", "mine", "theirs");
};

TEST_F(DialogList, MessagesOfADialogFindItFromEitherSide) {
  SIPDialogHolder a = SIPDialogCreate(server);
  SIPDialogHolder b = SIPDialogCreate(client);
  ASSERT_TRUE(a.Get() && b.Get());
  struct {
    const char* name;
    SIPTransactionHolder message;
    SIPDialogRecord* found;
  } cases[] = {
      {"a request of the server dialog", Transaction(9, "call-a", "REMOTE", "local"), a.Get()},
      {"a response of the client dialog", Transaction(8, "Call-B", "mine", "theirs"), b.Get()},
      {"a client message with the server's tags", Transaction(8, "Call-A", "remote", "local"), nullptr},
      {"another Call-ID", Transaction(9, "Call-C", "remote", "local"), nullptr},
  };
  for (auto& c : cases) EXPECT_EQ(SIPFindDialog(c.message).Get(), c.found) << c.name;
}

TEST_F(DialogList, TheNewestOfTwoAlikeDialogsIsFoundAndEachIsListedOnce) {
  SIPDialogHolder first = SIPDialogCreate(server);
  SIPDialogHolder second = SIPDialogCreate(server);
  EXPECT_EQ(SIPDialogListCount(), listed + 2);
  EXPECT_EQ(SIPFindDialog(server).Get(), second.Get());
  SIPDialogListAdd(first);
  EXPECT_EQ(SIPDialogListCount(), listed + 2);
  SIPDialogListRemove(second);
  SIPDialogListRemove(second);  // not listed: nothing changes
  EXPECT_FALSE(SIPDialogListContains(second));
  EXPECT_EQ(SIPFindDialog(server).Get(), first.Get());
}

TEST_F(DialogList, ATransactionDropsOnlyTheDialogsItMade) {
  SIPDialogHolder own = SIPDialogCreate(server);
  SIPTransactionHolder other = Transaction(3, "Call-A", "remote", "local");
  SIPDialogHolder foreign = SIPDialogCreate(other);
  EXPECT_TRUE(SIPReleaseTransactionDialogs(server));
  EXPECT_FALSE(SIPDialogListContains(own));
  EXPECT_TRUE(SIPDialogListContains(foreign));
  SIPReleaseTransactionDialogs(other);
  EXPECT_FALSE(SIPDialogListContains(foreign));
}

TEST_F(DialogList, ATransactionWithoutAToTagHasNoDialog) {
  SIPTransactionHolder untagged = Transaction(3, "Call-D", "remote", "");
  EXPECT_FALSE(SIPDialogCreate(untagged).Get());
  EXPECT_FALSE(SIPReleaseTransactionDialogs(untagged));
}

TEST_F(DialogList, ADialogLivesWhileListedOrHeldAndIsCountedUntilItsLastRelease) {
  long before = SIPDialogsAllocated();
  {
    SIPDialogHolder held = SIPDialogCreate(server);
    EXPECT_EQ(SIPDialogsAllocated(), before + 1);
    SIPReleaseTransactionDialogs(server);
    EXPECT_EQ(SIPDialogsAllocated(), before + 1);  // still held here
    EXPECT_EQ(held->owner.Get(), server.Get());
  }
  EXPECT_EQ(SIPDialogsAllocated(), before);
}

TEST_F(DialogList, ARequestIsPendingInADialogUntilItIsAnsweredAndOnlyOnItsOwnerSide) {
  SIPDialogHolder dialog = SIPDialogCreate(client);
  ASSERT_TRUE(dialog.Get());
  SIPTransactionHolder serverSide = Transaction(3, "Call-B", "theirs", "mine");
  struct {
    const char* name;
    const char* toTag;     // of the pending re-INVITE
    int32_t state;         // it reached
    const char* method;    // asked for
    const SIPTransactionHolder* asking;
    bool pending;
  } cases[] = {
      {"a re-INVITE sent and not answered", "theirs", kSIPStateTrying, "invite", &client, true},
      {"a re-INVITE that got its provisional answer", "theirs", kSIPStateProceeding, "INVITE", &client, true},
      {"a re-INVITE answered", "theirs", kSIPStateCompleted, "INVITE", &client, false},
      {"another method asked for", "theirs", kSIPStateTrying, "BYE", &client, false},
      {"asked by the other side of the dialog", "theirs", kSIPStateTrying, "INVITE", &serverSide, false},
      {"a request of another dialog", "elsewhere", kSIPStateTrying, "INVITE", &client, false},
  };
  for (auto& c : cases) {
    SIPTransactionHolder reinvite = Transaction(4, "Call-B", "mine", c.toTag);
    SIPPushTransaction(reinvite, 4, SIPTransactionHolder(), SIPTransactionHolder());
    ASSERT_EQ(SIPSetTransactionState(reinvite, kSIPStateTrying), 1) << c.name;
    if (c.state != kSIPStateTrying) {
      ASSERT_EQ(SIPSetTransactionState(reinvite, c.state), 1) << c.name;
    }
    EXPECT_EQ(SIPDialogHasPendingRequest(c.method, dialog, *c.asking), c.pending) << c.name;
    SIPPopTransaction(reinvite);
    EXPECT_FALSE(SIPDialogHasPendingRequest(c.method, dialog, *c.asking)) << c.name << ", once popped";
  }
}

TEST_F(DialogList, TheStatusReportCountsDialogsAndSubscriptions) {
  ZEQDebugCounters before{}, after{};
  SIPFillStatusCounters(&before);
  SIPDialogHolder dialog = SIPDialogCreate(server);
  SIPSubscriptionHolder subscription =
      SIPSubscriptionCreate("SUBSCRIBE", 0, "presence", "", -1, client, SIPDialogHolder());
  SIPFillStatusCounters(&after);
  EXPECT_EQ(after.sipDialogsAllocated, before.sipDialogsAllocated + 1);
  EXPECT_EQ(after.sipDialogsPushed, before.sipDialogsPushed + 1);
  EXPECT_EQ(after.sipSubscriptions, before.sipSubscriptions + 1);
  SIPSubscriptionListRemove(subscription);
}

}  // namespace
