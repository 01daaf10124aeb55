// Transaction states with the runtime's timer thread: retransmissions and
// terminations fired at the main window, time-outs reaching the user agent,
// timers that die with their record, refused changes in the trace.
#include <gtest/gtest.h>

#include <cstring>

#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip_runtime_support.h"

namespace {

SIPTransactionHolder MakeAccount(int32_t transport) {
  SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
  account->record.connection.transport = transport;
  strcpy(account->record.connection.listenerAddressText, "127.0.0.1");
  account->record.connection.listenerPort = 15500;
  return account;
}

// A pushed transaction of the kind, based on the account.
SIPTransactionHolder MakeTransaction(const SIPTransactionHolder& account, int32_t kind) {
  SIPTransactionHolder t = SIPTransactionCreate(account);
  SIPPushTransaction(t, kind, SIPTransactionHolder(), SIPTransactionHolder());
  return t;
}

class SipTransactionTimers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(runtime_.Started()); }
  SIPTimerRuntime runtime_;
  SIPCountingAgent agent_;
};

TEST_F(SipTransactionTimers, AnInviteOverUDPIsSentAgainAfterT1AndThenAfterTwiceT1) {
  SIPTransactionHolder account = MakeAccount(kSIPTransportUDP);
  SIPTransactionHolder t = MakeTransaction(account, 4);
  DWORD start = GetTickCount();
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateCalling), 1);
  ASSERT_NE(t->timers[kSIPTimerA], nullptr);
  ASSERT_NE(t->timers[kSIPTimerB], nullptr);
  EXPECT_EQ(t->timers[kSIPTimerB]->interval, 256000u);
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([&] { return agent_.resends >= 1; }, 10000));
  EXPECT_GE(GetTickCount() - start, 450u);
  // The next retransmission waits twice as long.
  EXPECT_EQ(t->timers[kSIPTimerA]->interval, 1000u);
  // A final response ends the retransmissions and the calling time-out.
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateCompleted), 1);
  EXPECT_EQ(t->timers[kSIPTimerA], nullptr);
  EXPECT_EQ(t->timers[kSIPTimerB], nullptr);
  ASSERT_NE(t->timers[kSIPTimerD], nullptr);
  EXPECT_EQ(t->timers[kSIPTimerD]->interval, 32000u);
  EXPECT_EQ(SIPSetTransactionState(t, kSIPStateTerminated), 1);
  EXPECT_FALSE(SIPTransactionHolderIsValid(t)) << "a transaction no script holds is destroyed";
}

TEST_F(SipTransactionTimers, OverTCPNothingIsRetransmittedAndACompletedTransactionEndsAtTheNextTick) {
  SIPTransactionHolder account = MakeAccount(kSIPTransportTCP);
  SIPTransactionHolder t = MakeTransaction(account, 14);
  size_t pushed = SIPPushedTransactionCount();
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1);
  EXPECT_EQ(t->timers[kSIPTimerE], nullptr);
  EXPECT_NE(t->timers[kSIPTimerF], nullptr);
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateCompleted), 1);
  ASSERT_NE(t->timers[kSIPTimerK], nullptr);
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([&] { return !SIPTransactionHolderIsValid(t); }, 10000));
  EXPECT_EQ(t->record.state, kSIPStateTerminated);
  EXPECT_FALSE(SIPIsTransactionPushed(t));
  EXPECT_EQ(SIPPushedTransactionCount(), pushed - 1);
  for (int slot = 0; slot < kSIPTimerSlots; slot++) EXPECT_EQ(t->timers[slot], nullptr) << slot;
  EXPECT_EQ(agent_.resends, 0);
}

TEST_F(SipTransactionTimers, AScriptHeldTransactionIsPoppedButNotDestroyedAtTermination) {
  SIPTransactionHolder account = MakeAccount(kSIPTransportTCP);
  SIPTransactionHolder t = MakeTransaction(account, 14);
  t->record.userHandled = 1;
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTerminated), 1);
  EXPECT_TRUE(SIPTransactionHolderIsValid(t));
  EXPECT_FALSE(SIPIsTransactionPushed(t));
  EXPECT_EQ(SIPSetTransactionState(t, kSIPStateTerminated), 0) << "terminated twice";
  EXPECT_EQ(SIPDestroyTransaction(t), 1);
  EXPECT_FALSE(SIPTransactionHolderIsValid(t));
  EXPECT_EQ(SIPDestroyTransaction(t), 1) << "destroying twice only logs";
}

TEST_F(SipTransactionTimers, ATimeOutReArmedBeforeItFiresStillReachesItsTransaction) {
  SIPTransactionHolder account = MakeAccount(kSIPTransportUDP);
  SIPTransactionHolder t = SIPTransactionCreate(account);
  t->record.kind = 3;  // an INVITE server that sent a 2xx; L is armed even when not pushed
  t->record.state = kSIPStateAccepted;
  ASSERT_NE(SIPTransactionCreateTimer(kSIPTimerL, 5000, SIPTransactionTimeoutTimer, 0, t), nullptr);
  ZEQTimer* first = t->timers[kSIPTimerL];
  ASSERT_EQ(SIPTransactionCreateTimer(kSIPTimerL, 30, SIPTransactionTimeoutTimer, 0, t), first);
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([&] { return agent_.endEvents >= 1; }, 10000));
  EXPECT_EQ(agent_.errors, 1);
  EXPECT_EQ(agent_.lastError, 504);
  EXPECT_EQ(t->record.endReason, kSIPEndExpired);
  EXPECT_EQ(t->timers[kSIPTimerL], nullptr) << "a time-out fires once";
}

TEST_F(SipTransactionTimers, AnExpiredRingingCallThatScriptKeepsGetsItsCallingTimeAgain) {
  SIPTransactionHolder account = MakeAccount(kSIPTransportUDP);
  account->record.account.callingTimeout = 1;
  SIPTransactionHolder t = MakeTransaction(account, 4);
  agent_.endExpiredCalling = false;
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateCalling), 1);
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateProceeding), 1);
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([&] { return agent_.asks >= 1; }, 10000));
  EXPECT_EQ(agent_.endEvents, 0);
  ASSERT_NE(t->timers[kSIPTimerB], nullptr);
  EXPECT_EQ(t->timers[kSIPTimerB]->interval, 1000u);
  agent_.endExpiredCalling = true;
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([&] { return agent_.endEvents >= 1; }, 10000));
  EXPECT_EQ(agent_.asks, 2);
  EXPECT_EQ(agent_.lastError, 504);
  SIPSetTransactionState(t, kSIPStateTerminated);
}

TEST_F(SipTransactionTimers, ARecordFreedWithArmedTimersTakesThemWithIt) {
  size_t before = ZEQTimerListCount();
  {
    SIPTransactionHolder account = MakeAccount(kSIPTransportUDP);
    SIPTransactionHolder t = SIPTransactionCreate(account);
    t->record.kind = 3;
    t->record.state = kSIPStateAccepted;
    ASSERT_NE(SIPTransactionCreateTimer(kSIPTimerL, 20, SIPTransactionTimeoutTimer, 0, t), nullptr);
    ASSERT_NE(SIPTransactionCreateTimer(kSIPTimerHold, 20, SIPTransactionTimeoutTimer, 0, t), nullptr);
    EXPECT_EQ(ZEQTimerListCount(), before + 2);
  }
  EXPECT_EQ(ZEQTimerListCount(), before);
  SIPTimerRuntime::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(agent_.endEvents, 0);
}

TEST_F(SipTransactionTimers, ARefusedChangeIsLoggedWithOneAlertRecord) {
  SIPCapturedLog log;
  SIPTransactionHolder account = MakeAccount(kSIPTransportUDP);
  SIPTransactionHolder t = MakeTransaction(account, 4);
  EXPECT_EQ(SIPSetTransactionState(t, kSIPStateCompleted), 0);
  EXPECT_EQ(t->record.state, kSIPStateReady);
  EXPECT_EQ(log.Count("Invalid State - Current: 0 to New: 3"), 1u);
  EXPECT_EQ(log.Count("<<\\Type=\"SIP:Alert\", Label=\"Invalid Status\", Id=\""), 1u) << log.Contents();
  SIPSetTransactionState(t, kSIPStateTerminated);
}

}  // namespace
