// REGISTER against kamailio as registrar with digest authentication
// (started for the test program by tests/peers/kamailio.sh, one user
// alice/secret): the 401 is answered with credentials once, and the 200
// grants the expiry; over UDP and TCP.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sip/agent_services.h"
#include "sip/builder.h"
#include "sip/dispatch_rules.h"
#include "sip/identifiers.h"
#include "sip/send.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip_socket_support.h"

namespace {

using sipagent::Calls;

using sipagent::Text;

bool BuildAndSend(const SIPTransactionHolder& t) {
  if (SIPPrepareRequestBuffer(&t->record, "REGISTER", nullptr, nullptr, 0) != kSIPBuilt) return false;
  return SendSIPMessage(t, 0, nullptr) != 0;
}

// The part of the user agent a registration needs: the challenge answered
// with the account's credentials on a new branch and CSeq, and the 200
// noted with the expiry it grants.
struct RegisteringAgent {
  RegisteringAgent() {
    Calls().clear();
    SIPAgentServices services = {};
    services.invokeTransactionError = [](const SIPTransactionHolder&, int code, int) {
      Calls().push_back(Text("error %d", code));
    };
    services.processResponse = [](int handler, const SIPTransactionHolder&, const SIPTransactionHolder& response,
                                  int status) {
      Calls().push_back(Text("handler %d status %d", handler, status) +
                        Text(" expires %d", response->record.msg.contact.expires));
    };
    services.answerChallenge = [](const SIPTransactionHolder& t, const SIPTransactionHolder&, int status) {
      Calls().push_back(Text("challenge %d", status));
      SIPDigestChallenge& d = t->record.msg.digest;
      snprintf(d.username, sizeof d.username, "alice");
      snprintf(d.password, sizeof d.password, "secret");
      snprintf(d.headerName, sizeof d.headerName, "%s", status == 407 ? "Proxy-Authorization" : "Authorization");
      t->record.authAttempts++;
      t->record.msg.cseq++;
      SIPGenerateBranch(&t->record);
      t->companion = SIPTransactionHolder();  // the request as sent now is matched
      return BuildAndSend(t);
    };
    SIPInstallAgentServices(&services);
    SIPSetConnectionOwnerLookup(SIPFindConnectionOwnerByUser);
  }
  ~RegisteringAgent() {
    SIPSetConnectionOwnerLookup(nullptr);
    SIPInstallAgentServices(nullptr);
  }
};

TEST(SipAgainstKamailio, ARegisterIsChallengedAnsweredWithCredentialsAndGrantedItsExpiry) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  RegisteringAgent agent;
  const std::string granted = Text("handler %d status %d", static_cast<int>(SIPResponseHandler::kRegister200), 200) +
                              " expires 60";
  for (int32_t transport : {kSIPTransportUDP, kSIPTransportTCP}) {
    const char* name = transport == kSIPTransportUDP ? "UDP" : "TCP";
    Calls().clear();
    SIPTransactionHolder root = SIPLoopbackAccount(transport, 16610);
    root->record.account.outboundMode = 2;
    root->record.account.registerExpiration = 60;
    snprintf(root->record.account.authenticationUser, sizeof root->record.account.authenticationUser, "alice");
    // The account's listener, as the start-up makes it: its address is the
    // Via and Contact of the REGISTER.
    int listenerPort = transport == kSIPTransportUDP ? 16691 : 16692;
    SIPSocketHolder listener = SIPCreateSocket(root);
    ASSERT_TRUE(listener.IsSet());
    ASSERT_EQ(SIPBindSocketToAddrAny(listener->socket, listenerPort), 1);
    SIPSetListenerAddress(root, SIPLoopback(), listenerPort);
    SIPListenerAcceptConnections(SIPLoopback(), 16610, root, listener);
    SIPTransactionHolder t = SIPCreateBasedTransaction(root, SIPTransactionHolder(), SIPTransactionHolder());
    SIPPushTransaction(t, 2, SIPTransactionHolder(), SIPTransactionHolder());
    t->record.msg.cseq = 1;
    ASSERT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1);
    ASSERT_TRUE(BuildAndSend(t)) << name;
    EXPECT_TRUE(SIPTimerRuntime::PumpUntil([] { return Calls().size() >= 2; }, 5000)) << name;
    EXPECT_EQ(Calls(), (std::vector<std::string>{"challenge 401", granted})) << name;
    SIPDestroyTransaction(t);
    SIPDestroyTransaction(root);
  }
}

}  // namespace
