// Final error responses from real peers (sipp servers of
// tests/peers/sipp_failures.sh): a 486 to an INVITE is acknowledged and
// reaches the page as the error and then the call's end event, once; a 481
// to a BYE ends the call it was to end.
#include <gtest/gtest.h>

#include <string>

#include "event_page.h"
#include "log_capture.h"
#include "sip/agent/final_errors.h"
#include "sip/agent_services.h"
#include "sip/builder.h"
#include "sip/send.h"
#include "sip/transaction_states.h"
#include "sip/uri.h"
#include "sip_socket_support.h"

namespace {

using sipagent_test::EventPage;

constexpr int kBusyPeer = 16750;     // answers INVITE 486, awaits the ACK
constexpr int kNoDialogPeer = 16751;  // answers BYE 481
constexpr int kContactPort = 16756;

struct FailuresFromPeers : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(runtime.Started());
    ASSERT_TRUE(page.Ready());
    SIPInstallAgentServices(nullptr);
    SIPInstallFinalErrorHandling();
    SIPSetConnectionOwnerLookup(SIPFindConnectionOwnerByUser);
  }
  void TearDown() override {
    SIPSetConnectionOwnerLookup(nullptr);
    SIPInstallAgentServices(nullptr);
  }
  SIPTransactionHolder Account(int port) {
    SIPTransactionHolder root = SIPLoopbackAccount(kSIPTransportUDP, port);
    root->record.account.outboundMode = 2;  // every request to the server
    root->record.account.contactPort = kContactPort;
    root->record.connection.listening = 1;
    SIPSetAccountContainer(root, SIPAccountContainerHolderCopy(page.Root()));
    return root;
  }
  // A client transaction of the account, its request built and sent.
  static SIPTransactionHolder Send(const SIPTransactionHolder& root, const SIPTransactionHolder& related,
                                   const char* method, int32_t kind, int32_t userHandled) {
    SIPTransactionHolder t = SIPCreateBasedTransaction(root, related, SIPTransactionHolder());
    SIPPushTransaction(t, kind, related, SIPTransactionHolder());
    t->record.userHandled = userHandled;
    SIPParseNameAddrText(&t->record.msg.to.uri, "<sip:bob@127.0.0.1>");
    t->record.msg.cseq = 1;
    EXPECT_EQ(SIPPrepareRequestBuffer(&t->record, method, nullptr, nullptr, 0), kSIPBuilt) << method;
    EXPECT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1) << method;
    EXPECT_NE(SendSIPMessage(t, 0, nullptr), 0) << method;
    return t;
  }
  logtest::CapturedGlobalLog log;
  SIPSocketRuntime runtime;
  EventPage page;
};

TEST_F(FailuresFromPeers, ABusyAnswerToAnInviteIsAcknowledgedReportedAndEndsTheCallOnce) {
  SIPTransactionHolder root = Account(kBusyPeer);
  SIPTransactionHolder invite = Send(root, SIPTransactionHolder(), "INVITE", 4, 1);
  std::string events;
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return !(events += page.Take()).empty(); }, 5000));
  // Repeats of the 486 (if the ACK were lost) would show here.
  SIPTimerRuntime::PumpUntil([] { return false; }, 700);
  std::string later = page.Take();
  EXPECT_EQ(events + later, "ZEQOnSIPError 0 486 | ZEQOnSIPInviteRefused 2");
  EXPECT_EQ(invite->record.errorCode, 486);
  // One ACK went out (the peer, once acknowledged, repeats nothing).
  std::string sent = log.Contents();
  size_t acks = 0;
  for (size_t at = sent.find("ACK sip:"); at != std::string::npos; at = sent.find("ACK sip:", at + 1)) ++acks;
  EXPECT_EQ(acks, 1u);
  SIPDestroyTransaction(invite);
  SIPCloseRootRelatedConnections(root);
}

TEST_F(FailuresFromPeers, ABYEAnsweredWithoutADialogStillEndsItsCall) {
  SIPTransactionHolder root = Account(kNoDialogPeer);
  SIPTransactionHolder call = SIPCreateBasedTransaction(root, SIPTransactionHolder(), SIPTransactionHolder());
  call->record.kind = 4;
  call->record.userHandled = 1;
  SIPTransactionHolder bye = Send(root, call, "BYE", 8, 0);
  std::string events;
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return !(events += page.Take()).empty(); }, 5000));
  SIPTimerRuntime::PumpUntil([] { return false; }, 300);
  EXPECT_EQ(events + page.Take(), "ZEQOnSIPInviteFinalized 2");
  EXPECT_EQ(bye->record.errorCode, 481);
  EXPECT_FALSE(SIPTransactionHolderIsValid(bye));  // not held by script: ended with its error
  SIPDestroyTransaction(call);
  SIPCloseRootRelatedConnections(root);
}

}  // namespace
