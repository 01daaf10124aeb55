// The process-wide dialog list: dialogs made from their transactions,
// found by every message of them (newest first), listed once, and dropped
// with the transaction that made them.
#include <gtest/gtest.h>

#include <cstdio>

#include "sip/dialogs.h"
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

}  // namespace
