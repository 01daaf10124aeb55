// REGISTER against a kamailio registrar of the tests' own (started for the
// test program by tests/peers/kamailio.sh): the challenge is answered with
// the account's credentials once, a wrong password ends in one final error,
// and a server that challenges every answer again with stale=true and a
// new nonce is answered a bounded number of times, then ends in the final
// error instead of a loop.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sip/agent_services.h"
#include "sip/builder.h"
#include "sip/challenge_rules.h"
#include "sip/challenges.h"
#include "sip/dispatch_rules.h"
#include "sip/send.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip_socket_support.h"

namespace {

using sipagent::Calls;
using sipagent::Text;

constexpr int kRegistrarPort = 16880;
constexpr int kListenerPort = 16881;

// The user agent's challenge answers; responses and errors recorded.
struct ChallengedAgent {
  ChallengedAgent() {
    Calls().clear();
    SIPAgentServices services = {};
    services.invokeTransactionError = [](const SIPTransactionHolder&, int code, int) {
      Calls().push_back(Text("error %d", code));
    };
    services.processResponse = [](int handler, const SIPTransactionHolder&, const SIPTransactionHolder&,
                                  int status) { Calls().push_back(Text("handler %d status %d", handler, status)); };
    services.answerChallenge = SIPAnswerChallenge;
    SIPInstallAgentServices(&services);
    SIPSetConnectionOwnerLookup(SIPFindConnectionOwnerByUser);
  }
  ~ChallengedAgent() {
    SIPSetConnectionOwnerLookup(nullptr);
    SIPInstallAgentServices(nullptr);
  }
};

struct Case {
  const char* name;
  const char* user;
  const char* password;
  SIPResponseHandler handler;
  int status;
  int answers;  // challenges answered with credentials
};

TEST(SipAgentChallenges, ARegisterAnswersChallengesABoundedNumberOfTimes) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  ChallengedAgent agent;
  const Case cases[] = {
      {"right password: one answer, then registered", "alice", "secret", SIPResponseHandler::kRegister200, 200, 1},
      {"wrong password: one answer, then the final error", "alice", "wrong", SIPResponseHandler::kFinalError, 401,
       1},
      {"a server that keeps challenging stale: bounded, then the final error", "carol", "secret",
       SIPResponseHandler::kFinalError, 401, sipagent::kMaxChallengeAnswers},
  };
  for (const Case& c : cases) {
    Calls().clear();
    SIPTransactionHolder root = SIPLoopbackAccount(kSIPTransportUDP, kRegistrarPort);
    SIPRecord* a = &root->record;
    a->account.outboundMode = 2;
    a->account.registerExpiration = 60;
    snprintf(a->account.user, sizeof a->account.user, "%s", c.user);
    snprintf(a->msg.from.uri.user, sizeof a->msg.from.uri.user, "%s", c.user);
    snprintf(a->account.authenticationUser, sizeof a->account.authenticationUser, "%s", c.user);
    SIPAccountSetPassword(&a->account, c.password);
    SIPSocketHolder listener = SIPCreateSocket(root);
    ASSERT_TRUE(listener.IsSet()) << c.name;
    ASSERT_EQ(SIPBindSocketToAddrAny(listener->socket, kListenerPort), 1) << c.name;
    SIPSetListenerAddress(root, SIPLoopback(), kListenerPort);
    SIPListenerAcceptConnections(SIPLoopback(), kRegistrarPort, root, listener);
    SIPTransactionHolder t = SIPCreateBasedTransaction(root, SIPTransactionHolder(), SIPTransactionHolder());
    SIPPushTransaction(t, 2, SIPTransactionHolder(), SIPTransactionHolder());
    t->record.msg.cseq = 1;
    ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1) << c.name;
    ASSERT_EQ(SIPPrepareRequestBuffer(&t->record, "REGISTER", nullptr, nullptr, 0), kSIPBuilt) << c.name;
    ASSERT_NE(SendSIPMessage(t, 0, nullptr), 0) << c.name;
    EXPECT_TRUE(SIPTimerRuntime::PumpUntil([] { return !Calls().empty(); }, 10000)) << c.name;
    // Nothing more arrives once the attempt has ended.
    SIPTimerRuntime::PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Calls(), (std::vector<std::string>{Text("handler %d status %d", static_cast<int>(c.handler), c.status)}))
        << c.name;
    EXPECT_EQ(t->record.authAttempts, c.answers) << c.name;
    SIPForgetChallenges(t);
    SIPDestroyTransaction(t);
    SIPDestroyTransaction(root);
  }
}

}  // namespace
