// The dispatch of received messages: requests reach the user agent or are
// answered by the stack, responses reach their client transaction and the
// handler of their method and status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sip/agent_services.h"
#include "sip/dispatch.h"
#include "sip/dispatch_rules.h"
#include "sip/parser.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip_runtime_support.h"

namespace {

// What the user agent and the sender were asked, in order, as short texts.
using sipagent::Calls;
SIPTransactionHolder& Root() {
  static SIPTransactionHolder root;
  return root;
}
bool g_challengeAnswered = true;

using sipagent::Text;

// The account alice@example.com, registered at 192.0.2.10 and listening on
// 10.0.0.5; every received message belongs to it; the user agent and the
// sender record what they are asked.
class SipDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    Calls().clear();
    g_challengeAnswered = true;
    Root() = SIPTransactionCreate(SIPTransactionHolder());
    SIPRecord* root = &Root()->record;
    snprintf(root->account.user, sizeof root->account.user, "alice");
    snprintf(root->account.domain, sizeof root->account.domain, "example.com");
    snprintf(root->msg.from.uri.user, sizeof root->msg.from.uri.user, "alice");
    snprintf(root->msg.from.uri.host, sizeof root->msg.from.uri.host, "example.com");
    snprintf(root->connection.serverAddressText, sizeof root->connection.serverAddressText, "192.0.2.10");
    snprintf(root->connection.listenerAddressText, sizeof root->connection.listenerAddressText, "10.0.0.5");
    root->connection.transport = kSIPTransportUDP;
    SIPSetConnectionOwnerLookup([](const char*) { return Root(); });
    SIPAgentServices services = {};
    services.invokeTransactionError = [](const SIPTransactionHolder&, int code, int) {
      Calls().push_back(Text("error %d", code));
    };
    services.invokeDestroyTransactionEvent = [](const SIPTransactionHolder&, uint32_t flags) {
      Calls().push_back(Text("end event %X", static_cast<int>(flags)));
    };
    services.processRequest = [](int method, const SIPTransactionHolder&, const char* body) {
      Calls().push_back(std::string("request ") + SIPMethodName(method) + (body ? std::string(" body ") + body : ""));
    };
    services.processResponse = [](int handler, const SIPTransactionHolder&, const SIPTransactionHolder&, int status) {
      Calls().push_back(Text("response handler %d status %d", handler, status));
    };
    services.answerChallenge = [](const SIPTransactionHolder&, const SIPTransactionHolder&, int status) {
      Calls().push_back(Text("challenge %d", status));
      return g_challengeAnswered;
    };
    services.followRedirect = [](const SIPTransactionHolder&, const SIPTransactionHolder&, int status,
                                 const char* target) {
      Calls().push_back(Text("redirect %d to ", status) + target);
    };
    SIPInstallAgentServices(&services);
    SIPSetDispatchSender([](const SIPTransactionHolder& record, uint32_t) {
      const SIPCountedText& prepared = record->record.prepared;
      std::string text(prepared.text ? prepared.text : "", prepared.length);
      Calls().push_back("sent " + text.substr(0, text.find("\r\n")));
      return 1;
    });
  }
  void TearDown() override {
    SIPSetDispatchSender(nullptr);
    SIPInstallAgentServices(nullptr);
    SIPSetConnectionOwnerLookup(nullptr);
    Root() = SIPTransactionHolder();
  }

  // Splits a whole message at its empty line and dispatches it.
  int Receive(const std::string& message, const char* source = "198.51.100.1", int port = 5060) {
    size_t end = message.find("\r\n\r\n");
    std::string header = message.substr(0, end + 2);
    std::string body = message.substr(end + 4);
    return SIPListenerProcessMessage(header.c_str(), body.c_str(), source, port, Root());
  }

  SIPTimerRuntime runtime_;
};

std::string Request(const char* method, const char* uri, const char* extra = "", const char* body = "") {
  return std::string(method) + " " + uri +
         " SIP/2.0\r\nVia: SIP/2.0/UDP 198.51.100.1:5060;branch=z9hG4bK-r1\r\n"
         "From: <sip:bob@example.org>;tag=f1\r\nTo: <" + uri + ">\r\nCall-ID: in-1\r\nCSeq: 1 " + method + "\r\n" +
         extra + "Content-Length: " + std::to_string(strlen(body)) + "\r\n\r\n" + body;
}

TEST_F(SipDispatch, RequestsForTheAccountReachTheUserAgentOrAreAnsweredByTheStack) {
  struct Case {
    const char* name;
    std::string message;
    const char* source;
    std::vector<std::string> calls;
  } cases[] = {
      {"an OPTIONS for the account", Request("OPTIONS", "sip:alice@example.com"), "198.51.100.1",
       {"request OPTIONS"}},
      {"an INVITE to the listener address", Request("INVITE", "sip:alice@10.0.0.5:5060"), "198.51.100.1",
       {"request INVITE"}},
      {"a NOTIFY with its body", Request("NOTIFY", "sip:alice@example.com", "Event: x\r\n", "state"),
       "198.51.100.1", {"request NOTIFY body state"}},
      {"a MESSAGE is not allowed", Request("MESSAGE", "sip:alice@example.com"), "198.51.100.1",
       {"sent SIP/2.0 405 Method Not Allowed"}},
      {"an INFO is not allowed", Request("INFO", "sip:alice@example.com"), "198.51.100.1",
       {"sent SIP/2.0 405 Method Not Allowed"}},
      {"an INVITE for another user is refused", Request("INVITE", "sip:carol@example.com"), "198.51.100.1",
       {"sent SIP/2.0 404 Not Found"}},
      {"an ACK for another user is dropped unanswered", Request("ACK", "sip:carol@example.com"), "198.51.100.1",
       {}},
      {"a request of another SIP version is answered 505",
       [] {
         std::string m = Request("OPTIONS", "sip:alice@example.com");
         return m.replace(m.find("SIP/2.0"), 7, "SIP/1.0");
       }(),
       "198.51.100.1", {"sent SIP/2.0 505 Version Not Supported"}},
      {"anything from the account's server", Request("OPTIONS", "sip:carol@elsewhere.example"), "192.0.2.10",
       {"request OPTIONS"}},
  };
  for (const Case& c : cases) {
    Calls().clear();
    EXPECT_EQ(Receive(c.message, c.source), 1) << c.name;
    EXPECT_EQ(Calls(), c.calls) << c.name;
  }
}

TEST_F(SipDispatch, TextThatDoesNotParseIsLoggedAndDropped) {
  SIPCapturedLog log;
  EXPECT_EQ(Receive("HELLO there\r\nFrom: x\r\n\r\n"), 1);
  EXPECT_EQ(Receive("INVITE sip:alice@example.com SIP/2.0\r\nCall-ID: no-via\r\n\r\n"), 1);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(log.Count("Error Parsing ZEQSIP Message"), 2u);
}

TEST_F(SipDispatch, WithLossSimulationTheFirstAndThirdMessagesOfACallAreDropped) {
  Root()->record.account.testOptions = 0x2;
  std::string results;
  for (int i = 0; i < 5; ++i) results += std::to_string(Receive(Request("OPTIONS", "sip:alice@example.com")));
  EXPECT_EQ(results, "01011");
  EXPECT_EQ(Calls().size(), 3u);
}

// A pushed client transaction of the kind whose request (branch
// z9hG4bK-c1, CSeq 7) went out; the state it waits in.
SIPTransactionHolder Client(int32_t kind, int32_t state, int32_t authAttempts = 0) {
  SIPTransactionHolder t = SIPTransactionCreate(Root());
  SIPPushTransaction(t, kind, SIPTransactionHolder(), SIPTransactionHolder());
  const char* method = SIPKindMethodText(kind);
  std::string sent = std::string(method) + " sip:bob@example.org SIP/2.0\r\n"
                     "Via: SIP/2.0/UDP 10.0.0.5:5060;branch=z9hG4bK-c1\r\nFrom: <sip:alice@example.com>;tag=a1\r\n"
                     "To: <sip:bob@example.org>\r\nCall-ID: out-1\r\nCSeq: 7 " + method + "\r\nContent-Length: 0\r\n\r\n";
  SIPTransactionHolder companion = SIPTransactionCreate(SIPTransactionHolder());
  EXPECT_EQ(SIPParseMessage(&companion->record, sent.data(), sent.size(), nullptr, 0), kSIPParsed);
  companion->record.messageMode = kSIPModeRequest;
  t->companion = companion;
  EXPECT_EQ(SIPSetTransactionState(t, state), 1);
  t->record.authAttempts = authAttempts;
  return t;
}

std::string Response(int status, const char* method, const char* extra = "") {
  return "SIP/2.0 " + std::to_string(status) + " Whatever\r\nVia: SIP/2.0/UDP 10.0.0.5:5060;branch=z9hG4bK-c1\r\n"
         "From: <sip:alice@example.com>;tag=a1\r\nTo: <sip:bob@example.org>;tag=b1\r\nCall-ID: out-1\r\n"
         "CSeq: 7 " + method + "\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

TEST_F(SipDispatch, ResponsesReachTheirClientTransactionAndItsHandler) {
  const int kInviteClient = 4, kRegisterClient = 2, kCancelClient = 6, kOptionsClient = 14;
  auto handler = [](SIPResponseHandler h, int status) {
    return Text("response handler %d status %d", static_cast<int>(h), status);
  };
  struct Case {
    const char* name;
    int32_t kind, state, authAttempts;
    std::string response;
    std::vector<std::string> calls;
    int32_t stateAfter;
  } cases[] = {
      {"a 100 to an OPTIONS only proceeds", kOptionsClient, kSIPStateTrying, 0, Response(100, "OPTIONS"), {},
       kSIPStateProceeding},
      {"a 181 to an INVITE reaches the agent as 183", kInviteClient, kSIPStateCalling, 0, Response(181, "INVITE"),
       {handler(SIPResponseHandler::kInvite1xx, 183)}, kSIPStateProceeding},
      {"a 200 to an OPTIONS", kOptionsClient, kSIPStateTrying, 0, Response(200, "OPTIONS"),
       {handler(SIPResponseHandler::kOptions200, 200)}, kSIPStateTrying},
      {"a 200 to a CANCEL completes it", kCancelClient, kSIPStateTrying, 0, Response(200, "CANCEL"), {},
       kSIPStateCompleted},
      {"a 503 to a REGISTER is a final error", kRegisterClient, kSIPStateTrying, 0, Response(503, "REGISTER"),
       {handler(SIPResponseHandler::kFinalError, 503)}, kSIPStateTrying},
      {"a first 401 is answered with credentials", kRegisterClient, kSIPStateTrying, 0,
       Response(401, "REGISTER", "WWW-Authenticate: Digest realm=\"r\", nonce=\"n1\"\r\n"), {"challenge 401"},
       kSIPStateTrying},
      {"a second 401 that is not stale ends as a final error", kRegisterClient, kSIPStateTrying, 1,
       Response(401, "REGISTER", "WWW-Authenticate: Digest realm=\"r\", nonce=\"n2\"\r\n"),
       {handler(SIPResponseHandler::kFinalError, 401)}, kSIPStateTrying},
      {"a second 407 that is stale is answered", kInviteClient, kSIPStateCalling, 1,
       Response(407, "INVITE", "Proxy-Authenticate: Digest realm=\"r\", nonce=\"n3\", stale=TRUE\r\n"),
       {"challenge 407"}, kSIPStateCalling},
      {"a 302 completes the INVITE, is followed and ends it", kInviteClient, kSIPStateCalling, 0,
       Response(302, "INVITE", "Contact: <sip:bob@192.0.2.9:5080>\r\n"),
       {"redirect 302 to sip:bob@192.0.2.9:5080", "end event 200"}, kSIPStateCompleted},
  };
  for (const Case& c : cases) {
    Calls().clear();
    SIPTransactionHolder t = Client(c.kind, c.state, c.authAttempts);
    EXPECT_EQ(Receive(c.response, "192.0.2.10"), 1) << c.name;
    EXPECT_EQ(Calls(), c.calls) << c.name;
    EXPECT_EQ(SIPGetTransactionState(t), c.stateAfter) << c.name;
    SIPDestroyTransaction(t);
  }
}

TEST_F(SipDispatch, AChallengeWhoseAnswerCannotBeSentEndsAsAFinalError) {
  g_challengeAnswered = false;
  SIPTransactionHolder t = Client(2, kSIPStateTrying);
  Receive(Response(401, "REGISTER", "WWW-Authenticate: Digest realm=\"r\", nonce=\"n1\"\r\n"), "192.0.2.10");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"challenge 401", Text("response handler %d status %d",
                                                                     static_cast<int>(SIPResponseHandler::kFinalError),
                                                                     401)}));
  SIPDestroyTransaction(t);
}

TEST_F(SipDispatch, AResponseWithoutItsTransactionIsLoggedAndDropped) {
  SIPCapturedLog log;
  EXPECT_EQ(Receive(Response(200, "OPTIONS"), "192.0.2.10"), 1);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(log.Count("[200] - Transaction doesn't exist..."), 1u);
}

}  // namespace
