// What the received-message dispatch decides by itself: which requests are
// the account's, what a request's Via learns from its source, where
// responses go, and the lost-message simulation.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sip/dispatch_rules.h"
#include "sip/parser.h"
#include "sip_test_support.h"

namespace {

std::string Request(const char* method, const char* uri, const char* sentBy) {
  return std::string(method) + " " + uri + " SIP/2.0\r\nVia: SIP/2.0/UDP " + sentBy +
         ";branch=z9hG4bK-d1\r\nFrom: <sip:bob@example.org>;tag=f1\r\nTo: <" + uri +
         ">\r\nCall-ID: d1\r\nCSeq: 1 " + method + "\r\nContent-Length: 0\r\n\r\n";
}

void Parse(SIPRecord* record, const std::string& text) {
  ASSERT_EQ(SIPParseMessage(record, text.data(), text.size(), nullptr, 0), kSIPParsed) << text;
}

// An account alice@example.com registered at 192.0.2.10, listening on
// 10.0.0.5 with the contact 203.0.113.9 (what the server saw).
void SetAccount(SIPRecord* root) {
  SetTestAccount(root);
  snprintf(root->connection.serverAddressText, sizeof root->connection.serverAddressText, "192.0.2.10");
  snprintf(root->connection.listenerAddressText, sizeof root->connection.listenerAddressText, "10.0.0.5");
  snprintf(root->account.contactAddress, sizeof root->account.contactAddress, "203.0.113.9");
}

TEST(SipDispatchRules, OnlyRequestsForTheAccountOrFromItsServerAreTaken) {
  struct Case {
    const char* name;
    const char* uri;
    const char* source;
    bool taken;
  } cases[] = {
      {"the account's own URI", "sip:alice@example.com", "198.51.100.1", true},
      {"the domain in other case", "sip:alice@EXAMPLE.com", "198.51.100.1", true},
      {"the contact address (a dialog request)", "sip:alice@203.0.113.9:5060", "198.51.100.1", true},
      {"the listener address", "sip:alice@10.0.0.5:5060", "198.51.100.1", true},
      {"another user at the domain", "sip:mallory@example.com", "198.51.100.1", false},
      {"a user name in other case", "sip:Alice@example.com", "198.51.100.1", false},
      {"the user at another host", "sip:alice@attacker.example", "198.51.100.1", false},
      {"no user at the contact address", "sip:203.0.113.9", "198.51.100.1", false},
      {"anything from the registrar", "sip:whoever@elsewhere.example", "192.0.2.10", true},
  };
  for (const Case& c : cases) {
    TestRecord root, request;
    SetAccount(root.get());
    Parse(request.get(), Request("INVITE", c.uri, "198.51.100.1:5060"));
    EXPECT_EQ(SIPRequestIsForAccount(request.get(), root.get(), c.source), c.taken) << c.name;
  }
}

TEST(SipDispatchRules, ARequestsViaLearnsTheAddressItCameFrom) {
  struct Case {
    const char* name;
    const char* sentBy;
    const char* expectReceived;
    int expectRport;
  } cases[] = {
      {"another host gains received and rport", "10.0.0.5", "192.0.2.7", 6000},
      {"the same host gains only rport", "192.0.2.7:5070", "", 6000},
      {"a host in other case is the same", "HOST.example:5070", "", 6000},
      {"an rport value is kept", "10.0.0.5;rport=7000", "192.0.2.7", 7000},
  };
  for (const Case& c : cases) {
    TestRecord request;
    Parse(request.get(), Request("OPTIONS", "sip:alice@example.com", c.sentBy));
    const char* source = std::string(c.name).find("other case") != std::string::npos ? "host.EXAMPLE" : "192.0.2.7";
    SIPMarkViaSource(request.get(), source, 6000);
    EXPECT_STREQ(request->msg.via[0].received, c.expectReceived) << c.name;
    EXPECT_EQ(request->msg.via[0].rport, c.expectRport) << c.name;
  }
}

TEST(SipDispatchRules, ResponsesGoToTheHandlerOfTheirMethodAndStatus) {
  using H = SIPResponseHandler;
  struct Case {
    const char* name;
    int method, status;
    H handler;
  } cases[] = {
      {"100 to an OPTIONS only proceeds", kSIPMethodOptions, 100, H::kProceeding},
      {"180 to an INVITE reaches the agent", kSIPMethodInvite, 180, H::kInvite1xx},
      {"200 to a REGISTER", kSIPMethodRegister, 200, H::kRegister200},
      {"200 to an OPTIONS", kSIPMethodOptions, 200, H::kOptions200},
      {"200 to an INVITE", kSIPMethodInvite, 200, H::kInvite200},
      {"200 to a BYE", kSIPMethodBye, 200, H::kBye200},
      {"200 to a CANCEL completes it", kSIPMethodCancel, 200, H::kComplete},
      {"202 to a REFER", kSIPMethodRefer, 202, H::kRefer2xx},
      {"202 to a SUBSCRIBE", kSIPMethodSubscribe, 202, H::kSubscribe2xx},
      {"202 to a MESSAGE completes it", kSIPMethodMessage, 202, H::kComplete},
      {"204 to an OPTIONS is a final error", kSIPMethodOptions, 204, H::kFinalError},
      {"302 redirects", kSIPMethodInvite, 302, H::kRedirect},
      {"301 redirects", kSIPMethodInvite, 301, H::kRedirect},
      {"401 is a challenge", kSIPMethodRegister, 401, H::kChallenge},
      {"407 is a challenge", kSIPMethodInvite, 407, H::kChallenge},
      {"503 is a final error", kSIPMethodRegister, 503, H::kFinalError},
  };
  for (const Case& c : cases) EXPECT_EQ(SIPChooseResponseHandler(c.method, c.status), c.handler) << c.name;
  EXPECT_EQ(SIPInviteProvisionalStatus(181), 183);
  EXPECT_EQ(SIPInviteProvisionalStatus(182), 183);
  EXPECT_EQ(SIPInviteProvisionalStatus(180), 180);
  EXPECT_EQ(SIPInviteProvisionalStatus(100), 100);
  EXPECT_TRUE(SIPResponseSetsDialogTarget(kSIPMethodInvite, 200));
  EXPECT_FALSE(SIPResponseSetsDialogTarget(kSIPMethodBye, 200));
  EXPECT_FALSE(SIPResponseSetsDialogTarget(kSIPMethodInvite, 202));
}

TEST(SipDispatchRules, LostMessagesFollowTheirPatternPerCallId) {
  SIPLossSimulation loss;
  std::string a, b;
  for (int i = 0; i < 10; ++i) {
    a += loss.Drop("call-a") ? 'D' : 'K';
    if (i % 2 == 0) b += loss.Drop("call-b") ? 'D' : 'K';
  }
  EXPECT_EQ(a, "DKDKKDKDKK");
  EXPECT_EQ(b, "DKDKK");
}

}  // namespace
