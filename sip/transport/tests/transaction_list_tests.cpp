// The pushed-transaction list: kinds, pushing and popping, destruction,
// based transactions and the look-up of received messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/connections.h"
#include "sip/parser.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip_runtime_support.h"

namespace {

const char kInvite[] =
    "INVITE sip:alice@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 192.0.2.7:5060;branch=z9hG4bK-list-1\r\n"
    "From: <sip:bob@example.com>;tag=b\r\nTo: <sip:alice@example.com>\r\nCall-ID: list-1\r\n"
    "CSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n";
const char kCancel[] =
    "CANCEL sip:alice@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 192.0.2.7:5060;branch=z9hG4bK-list-1\r\n"
    "From: <sip:bob@example.com>;tag=b\r\nTo: <sip:alice@example.com>\r\nCall-ID: list-1\r\n"
    "CSeq: 1 CANCEL\r\nContent-Length: 0\r\n\r\n";

SIPTransactionHolder Parsed(const char* text) {
  SIPTransactionHolder record = SIPTransactionCreate(SIPTransactionHolder());
  EXPECT_EQ(SIPParseMessage(&record->record, text, strlen(text), nullptr, 0), kSIPParsed);
  record->record.messageMode = kSIPModeRequest;
  return record;
}

// An INVITE server transaction whose companion holds the received INVITE.
SIPTransactionHolder InviteServer() {
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  SIPPushTransaction(t, 3, SIPTransactionHolder(), SIPTransactionHolder());
  EXPECT_EQ(SIPParseMessage(&t->companion->record, kInvite, strlen(kInvite), nullptr, 0), kSIPParsed);
  return t;
}

TEST(SipTransactionList, AKindResetsTheTransactionAndGivesServersACompanion) {
  SIPTransactionHolder related = SIPTransactionCreate(SIPTransactionHolder());
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  t->record.state = kSIPStateCompleted;
  t->record.endReason = kSIPEndExpired;
  t->record.authAttempts = 2;
  SIPPushTransaction(t, 13, related, SIPTransactionHolder());
  EXPECT_TRUE(SIPIsTransactionPushed(t));
  EXPECT_EQ(t->record.state, kSIPStateReady);
  EXPECT_EQ(t->record.endReason, 0u);
  EXPECT_EQ(t->record.authAttempts, 0);
  EXPECT_STREQ(t->record.msg.method, "OPTIONS");
  EXPECT_TRUE(SIPTransactionHolderIsValid(t->companion));
  EXPECT_EQ(t->related.Get(), related.Get());
  // Pushed twice, listed once.
  size_t count = SIPPushedTransactionCount();
  SIPPushTransaction(t, 13, SIPTransactionHolder(), SIPTransactionHolder());
  EXPECT_EQ(SIPPushedTransactionCount(), count);
  // A client kind drops the companion; the new kind pops it, the push lists it again.
  SIPSetTransactionKind(t, 14, SIPTransactionHolder(), SIPTransactionHolder());
  EXPECT_FALSE(t->companion.IsSet());
  EXPECT_FALSE(SIPIsTransactionPushed(t));
  EXPECT_EQ(SIPPushedTransactionCount(), count - 1);
  EXPECT_EQ(SIPPopTransaction(t), 0);
  struct KindCase {
    int32_t kind;
    const char* method;
  } kinds[] = {{0, "REGISTER"}, {2, "REGISTER"}, {3, "INVITE"}, {6, "CANCEL"}, {8, "BYE"},   {10, "MESSAGE"},
               {11, "NOTIFY"},  {14, "OPTIONS"}, {16, "SUBSCRIBE"}, {17, "REFER"}, {20, "INFO"}, {22, "ACK"},
               {1, ""},         {23, ""},        {24, ""},       {-1, ""}};
  for (const KindCase& c : kinds) EXPECT_STREQ(SIPKindMethodText(c.kind), c.method) << c.kind;
}

TEST(SipTransactionList, APoppedTransactionLosesItsTimersButNotItsHoldTimer) {
  SIPTimerRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  t->record.connection.transport = kSIPTransportUDP;
  SIPPushTransaction(t, 14, SIPTransactionHolder(), SIPTransactionHolder());
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1);
  ASSERT_NE(SIPTransactionCreateTimer(kSIPTimerHold, 60000, SIPTransactionTimeoutTimer, 0, t),
            nullptr);
  strcpy(t->record.lastMessage.text, "OPTIONS sip:bob@example.com SIP/2.0");
  t->record.lastMessage.length = 35;
  EXPECT_EQ(SIPPopTransaction(t), 1);
  EXPECT_EQ(t->timers[kSIPTimerE], nullptr);
  EXPECT_EQ(t->timers[kSIPTimerF], nullptr);
  EXPECT_NE(t->timers[kSIPTimerHold], nullptr);
  EXPECT_EQ(t->record.lastMessage.length, 0u);
  // Not pushed: retransmission and time-out timers are refused.
  EXPECT_EQ(SIPTransactionCreateTimer(kSIPTimerF, 1000, SIPTransactionTimeoutTimer, 0, t), nullptr);
}

TEST(SipTransactionList, APoppedTransactionReleasesItsConnectionSocket) {
  const long before = SIPLiveSocketCount();
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  SIPPushTransaction(t, 14, SIPTransactionHolder(), SIPTransactionHolder());
  t->record.messageMode = kSIPModeRequest;
  t->connectionSocket = SIPNewSocket(INVALID_SOCKET);
  EXPECT_EQ(SIPLiveSocketCount(), before + 1);
  // A record made from it answers on the same connection.
  SIPTransactionHolder made = SIPCreateTransaction(t);
  EXPECT_EQ(made.IsSet() ? made->connectionSocket.Get() : nullptr, t->connectionSocket.Get());
  made = SIPTransactionHolder();
  EXPECT_EQ(SIPPopTransaction(t), 1);
  EXPECT_FALSE(t->connectionSocket.IsSet());
  EXPECT_EQ(SIPLiveSocketCount(), before);
}

TEST(SipTransactionList, ReceivedMessagesFindThePushedTransactionOrThemselves) {
  SIPTransactionHolder server = InviteServer();
  SIPTransactionHolder retransmission = Parsed(kInvite);
  EXPECT_EQ(SIPFindMatchingTransaction(false, true, retransmission).Get(), server.Get());
  SIPTransactionHolder cancel = Parsed(kCancel);
  EXPECT_EQ(SIPFindMatchingTransaction(false, true, cancel).Get(), server.Get());
  EXPECT_EQ(SIPFindMatchingTransaction(false, false, cancel).Get(), cancel.Get());
  // Without a companion a transaction is never matched.
  server->companion.Release();
  EXPECT_EQ(SIPFindMatchingTransaction(false, true, retransmission).Get(), retransmission.Get());
  // Destroyed: out of the list, no longer live, destroyed once.
  SIPDestroyTransaction(server);
  EXPECT_FALSE(SIPIsTransactionPushed(server));
  EXPECT_FALSE(SIPTransactionHolderIsValid(server));
  EXPECT_EQ(SIPDestroyTransaction(server), 1);
}

TEST(SipTransactionList, ABasedTransactionHasItsOwnCallIdAndBranchAndIsNotPushed) {
  SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
  SIPTransactionHolder first = SIPCreateBasedTransaction(account, SIPTransactionHolder(), SIPTransactionHolder());
  SIPTransactionHolder second = SIPCreateBasedTransaction(account, first, SIPTransactionHolder());
  ASSERT_TRUE(SIPTransactionHolderIsValid(first));
  EXPECT_EQ(first->based.Get(), account.Get());
  EXPECT_EQ(strlen(first->record.msg.callId), 36u);
  EXPECT_STRNE(first->record.msg.callId, second->record.msg.callId);
  EXPECT_EQ(strncmp(first->record.msg.via[0].branch, "z9hG4bK", 7), 0);
  EXPECT_STRNE(first->record.msg.via[0].branch, second->record.msg.via[0].branch);
  EXPECT_EQ(second->related.Get(), first.Get());
  EXPECT_FALSE(SIPIsTransactionPushed(first));
  EXPECT_FALSE(SIPCreateBasedTransaction(SIPTransactionHolder(), first, first).IsSet());
}

}  // namespace
