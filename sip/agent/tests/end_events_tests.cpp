// Events that end transactions, as a page receives them: final error
// responses by method and by the script's answer, error reports, the end
// of a registration, the end event held back while a call's audio runs,
// and the failed transfer call's report to its referrer.
#include <gtest/gtest.h>

#include <string>

#include "event_page.h"
#include "log_capture.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "sip/agent/call_state.h"
#include "sip/agent/end_events.h"
#include "sip/agent/final_errors.h"
#include "sip/challenges.h"
#include "sip/dialogs.h"
#include "sip/dispatch_rules.h"
#include "sip/subscriptions.h"
#include "sip/transaction_states.h"

namespace {

using sipagent_test::EventPage;

struct EndEvents : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(runtime.Started());
    ASSERT_TRUE(page.Ready());
  }
  void TearDown() override {
    if (HasFailure()) printf("%s\n", log.Contents().substr(0, 6000).c_str());
  }
  logtest::CapturedGlobalLog log;
  SIPTimerRuntime runtime;
  EventPage page;
};

TEST_F(EndEvents, AFinalErrorIsReportedThenEndsItsTransactionUnlessScriptKeepsIt) {
  struct Case {
    const char* name;
    int32_t kind;
    const wchar_t* answer;
    int32_t stateBefore;
    const char* events;
    int result;
    uint32_t endReason;
    const char* later;  // what a later end of the transaction raises
  } cases[] = {
      {"an OPTIONS: the error, then its end event", 14, L"true", kSIPStateTrying,
       "ZEQOnSIPError 0 404 | ZEQOnSIPOptionsRefused 2", 1, kSIPEndDestroyed, ""},
      {"a SUBSCRIBE", 16, L"true", kSIPStateProceeding,
       "ZEQOnSIPError 0 404 | ZEQOnSIPSubscribeRefused 2", 1, kSIPEndDestroyed, ""},
      {"a REFER ends as a transfer", 18, L"true", kSIPStateTrying,
       "ZEQOnSIPError 0 404 | ZEQOnSIPTransferRefused 2", 1, kSIPEndDestroyed, ""},
      {"script that answers false keeps the transaction until it ends it", 14, L"false", kSIPStateTrying,
       "ZEQOnSIPError 0 404", 0, kSIPEndRefused, "ZEQOnSIPOptionsRefused 2"},
      {"a repeated final response raises nothing", 14, L"true", kSIPStateCompleted, "", 1, 0, ""},
  };
  for (const Case& c : cases) {
    page.Answer(c.answer);
    SIPTransactionHolder t = page.Transaction(c.kind);
    SIPPushTransaction(t, c.kind, SIPTransactionHolder(), SIPTransactionHolder());
    ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1) << c.name;
    if (c.stateBefore != kSIPStateTrying) {
      ASSERT_EQ(SIPSetTransactionState(t, c.stateBefore), 1) << c.name;
    }
    EXPECT_EQ(SIPProccessFinalErrorResponse(404, SIPTransactionHolder(), t), c.result) << c.name;
    EXPECT_EQ(page.Take(), c.events) << c.name;
    EXPECT_EQ(t->record.endReason, c.endReason) << c.name;
    // An end event is raised once at most.
    for (int round = 0; round < 2; ++round) {
      ZEQInvokeSIPDestroyTransactionEvent(t, nullptr, false, kZEQApcResultCoded);
      EXPECT_EQ(page.Take(), round == 0 ? c.later : "") << c.name << ", round " << round;
    }
    SIPDestroyTransaction(t);
  }
  page.Answer(L"true");
}

TEST_F(EndEvents, AnErrorOfATransactionScriptDoesNotHoldEndsItWithoutAnEvent) {
  SIPTransactionHolder t = page.Transaction(14);
  t->record.userHandled = 0;
  SIPPushTransaction(t, 14, SIPTransactionHolder(), SIPTransactionHolder());
  ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1);
  EXPECT_EQ(SIPInvokeTransactionError(t, 408, 0), static_cast<uint32_t>(ZEQACTION_CONTINUE));
  EXPECT_EQ(t->record.errorCode, 408);
  EXPECT_FALSE(SIPTransactionHolderIsValid(t));  // terminated and destroyed
  EXPECT_EQ(page.Take(), "");
}

TEST_F(EndEvents, AnErrorBeforeTheAccountListensWakesTheWaitingRegistration) {
  SIPConnectionSettings* connection = SIPGetRootConnection(&page.Root()->record);
  connection->listening = 0;
  HANDLE wait = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  connection->waitEvent = reinterpret_cast<uintptr_t>(wait);
  SIPTransactionHolder t = page.Transaction(2);
  page.Answer(L"false");
  // Not listening: the plain event is not delivered, the outcome is kept.
  EXPECT_EQ(SIPInvokeTransactionError(t, 503, 0), static_cast<uint32_t>(ZEQACTION_IGNORE));
  EXPECT_EQ(connection->resultCode, 503);
  EXPECT_EQ(WaitForSingleObject(wait, 0), WAIT_OBJECT_0);
  connection->listening = 1;
  EXPECT_EQ(SIPInvokeTransactionError(t, 486, 0), static_cast<uint32_t>(ZEQACTION_CANCEL));
  EXPECT_EQ(connection->resultCode, 503);
  EXPECT_EQ(page.Take(), "ZEQOnSIPError 0 486");
  connection->waitEvent = 0;
  CloseHandle(wait);
  page.Answer(L"true");
}

DWORD WINAPI WaitForRelease(void* event) {
  WaitForSingleObject(event, 10000);
  return 0;
}

TEST_F(EndEvents, AClosingRegistrationTellsWhatItHadReachedThenEndsOnce) {
  struct Case {
    const char* name;
    bool startupRunning;
    int32_t stateBits;
    int32_t resultCode;
    const char* events;
  } cases[] = {
      {"registered, the registrar had answered", false, 3, 0,
       "ZEQOnSIPUnRegister 1 | ZEQOnSIPRemoteDisconnect 0 | ZEQOnSIPRegisterRefused 2"},
      {"the registrar had answered, never registered", false, 1, 906,
       "ZEQOnSIPRemoteDisconnect 0 | ZEQOnSIPRegisterRefused 2"},
      {"still starting with a result", true, 3, 906, "ZEQOnSIPError 0 906 | ZEQOnSIPRegisterRefused 2"},
      {"still starting without a result", true, 0, 0, "ZEQOnSIPRegisterRefused 2"},
  };
  for (const Case& c : cases) {
    SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
    account->record.kind = 2;
    account->record.userHandled = 1;
    account->record.endReason = kSIPEndRefused;
    SIPSetAccountContainer(account, SIPAccountContainerHolderCopy(page.Root()));
    SIPConnectionSettings* connection = SIPGetRootConnection(&account->record);
    connection->listening = 0;  // the events are forced
    connection->stateBits = c.stateBits;
    connection->resultCode = c.resultCode;
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = c.startupRunning ? CreateThread(nullptr, 0, WaitForRelease, release, 0, nullptr) : nullptr;
    connection->startupThread = reinterpret_cast<uintptr_t>(thread);
    EXPECT_TRUE(SIPInvokeCloseEvents(account)) << c.name;
    EXPECT_EQ(page.Take(), c.events) << c.name;
    if (!c.startupRunning) {
      EXPECT_EQ(connection->stateBits, 0) << c.name;
    }
    SIPInvokeCloseEvents(account);  // a second close: only what is left, no second end event
    EXPECT_EQ(page.Take(), c.startupRunning && c.resultCode ? "ZEQOnSIPError 0 906" : "") << c.name;
    SetEvent(release);
    if (thread) {
      WaitForSingleObject(thread, 10000);
      CloseHandle(thread);
    }
    connection->startupThread = 0;
    CloseHandle(release);
    SIPDestroyTransaction(account);
  }
}

TEST_F(EndEvents, AnEndEventWaitsForARunningMediaSessionAndIsRaisedOnceAfterIt) {
  SIPTransactionHolder call = page.Transaction(4);
  call->record.endReason = kSIPEndFinalized;
  SIPSetRTPListenerState(call, 1, true);
  EXPECT_TRUE(IsSIPMediaStreaming(call));
  ZEQInvokeSIPDestroyTransactionEvent(call, nullptr, false, kZEQApcResultCoded);
  EXPECT_EQ(page.Take(), "");  // held back
  EXPECT_FALSE(IsSIPRTPListenerActive(call));  // the session was told to stop
  EXPECT_EQ(call->record.endReason, kSIPEndFinalized);
  // A later end replaces the held one.
  call->record.endReason = kSIPEndCancelled;
  ZEQInvokeSIPDestroyTransactionEvent(call, nullptr, false, kZEQApcResultCoded);
  int number = 0;
  EXPECT_EQ(SIPGetPendingEndEvent(call, &number), "ZEQOnSIPInviteCancelled");
  EXPECT_EQ(number, 2);
  // The session stops its audio, then raises what was held.
  SIPSetRTPListenerState(call, 0, false);
  EXPECT_EQ(SIPRaisePendingEndEvent(call), static_cast<uint32_t>(ZEQACTION_CONTINUE));
  EXPECT_EQ(page.Take(), "ZEQOnSIPInviteCancelled 2");
  EXPECT_EQ(SIPGetPendingEndEvent(call, nullptr), "");
  EXPECT_EQ(SIPRaisePendingEndEvent(call), static_cast<uint32_t>(ZEQACTION_IGNORE));
  ZEQInvokeSIPDestroyTransactionEvent(call, nullptr, false, kZEQApcResultCoded);
  EXPECT_EQ(page.Take(), "");
}

std::string& SentReport() {
  static std::string report;
  return report;
}

TEST_F(EndEvents, AFailedTransferCallEndsTheReferSubscriptionWithItsStatusLine) {
  SIPSetReferProgressSender([](const SIPTransactionHolder&, const SIPSubscriptionHolder& s, const char* type,
                               const char* body) {
    SentReport() = std::string(type) + " " + body + " state " + std::to_string(s->subscriptionState) + " " +
                   s->stateReason;
    return 1;
  });
  SIPTransactionHolder refer = page.Transaction(17);
  snprintf(refer->record.msg.callId, sizeof refer->record.msg.callId, "refer-call");
  SIPSubscriptionHolder subscription =
      SIPSubscriptionCreate("REFER", kSIPSubscriptionActive, "refer", "", 60, refer, SIPDialogHolder());
  ASSERT_TRUE(SIPSubscriptionListContains(subscription));
  SIPTransactionHolder invite = page.Transaction(4);
  invite->record.byTransfer = 1;
  SIPSetReferTransaction(invite, refer);
  SIPInvokeTransactionError(invite, 486, 0);
  EXPECT_EQ(SentReport(), "message/sipfrag SIP/2.0 486 Busy Here state 4 noresource");
  EXPECT_FALSE(SIPSubscriptionListContains(subscription));  // terminated: it left the list
  EXPECT_EQ(page.Take(), "ZEQOnSIPError 0 486");
  SIPSetReferProgressSender(nullptr);
  SIPSetReferTransaction(invite, SIPTransactionHolder());
  SIPDestroyTransaction(refer);
}

TEST_F(EndEvents, TheEndOfATransfersNotifyIsTheEndOfItsReferWithTheTransferredCall) {
  // A call this side made (Call-ID "T-Call", our tag "ours", theirs
  // "theirs") and a REFER sent in its dialog.
  auto tagged = [&](int32_t kind, const char* method, const char* from, const char* to) {
    SIPTransactionHolder t = page.Transaction(kind);
    SIPRecord* r = &t->record;
    snprintf(r->msg.method, sizeof r->msg.method, "%s", method);
    snprintf(r->msg.cseqMethod, sizeof r->msg.cseqMethod, "%s", method);
    snprintf(r->msg.callId, sizeof r->msg.callId, "T-Call");
    snprintf(r->msg.from.tag, sizeof r->msg.from.tag, "%s", from);
    snprintf(r->msg.to.tag, sizeof r->msg.to.tag, "%s", to);
    snprintf(r->msg.event.event, sizeof r->msg.event.event, "refer");
    return t;
  };
  SIPTransactionHolder call = tagged(4, "INVITE", "ours", "theirs");
  SIPDialogHolder dialog = SIPDialogCreate(call);
  ASSERT_TRUE(dialog.Get());
  SIPTransactionHolder refer = tagged(18, "REFER", "ours", "theirs");
  refer->record.endReason = kSIPEndRefused;
  SIPSubscriptionHolder subscription =
      SIPSubscriptionCreate("REFER", kSIPSubscriptionActive, "refer", "", -1, refer, dialog);
  // The referee's final NOTIFY comes in the same dialog, from the other side.
  SIPTransactionHolder notify = tagged(11, "NOTIFY", "theirs", "ours");
  notify->record.endReason = kSIPEndFinalized;
  ASSERT_EQ(SIPFindSubscription(notify).Get(), subscription.Get());
  ZEQInvokeSIPDestroyTransactionEvent(notify, nullptr, false, kZEQApcResultCoded);
  EXPECT_EQ(page.Take(), "ZEQOnSIPTransferRefused 2 object");
  EXPECT_EQ(refer->record.endReason, kSIPEndDestroyed);
  EXPECT_EQ(notify->record.endReason, kSIPEndFinalized);
  SIPSubscriptionListRemove(subscription);
  SIPReleaseTransactionDialogs(call);
}

TEST_F(EndEvents, AChallengeToARequestThatIsNeverSentAgainReachesScriptAsItsFailure) {
  SIPTransactionHolder options = page.Transaction(14);
  SIPPushTransaction(options, 14, SIPTransactionHolder(), SIPTransactionHolder());
  ASSERT_EQ(SIPSetTransactionState(options, kSIPStateTrying), 1);
  SIPTransactionHolder challenge = SIPTransactionCreate(SIPTransactionHolder());
  snprintf(challenge->record.msg.digest.realm, sizeof challenge->record.msg.digest.realm, "zeq.test");
  snprintf(challenge->record.msg.digest.nonce, sizeof challenge->record.msg.digest.nonce, "n1");
  // No credentials go out for an OPTIONS: the transaction layer then hands
  // the challenge over as a final error, which script must hear of.
  EXPECT_FALSE(SIPAnswerChallenge(options, challenge, 401));
  SIPProcessResponse(static_cast<int>(SIPResponseHandler::kFinalError), options, challenge, 401);
  EXPECT_EQ(page.Take(), "ZEQOnSIPError 0 401 | ZEQOnSIPOptionsRefused 2");
  SIPDestroyTransaction(options);
}

}  // namespace
