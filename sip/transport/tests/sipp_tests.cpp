// OPTIONS and REGISTER through the whole transport against sipp servers on
// loopback (started for the test program by tests/peers/sipp.sh): the
// request is built, sent over UDP or TCP, the answer received, framed,
// matched to its transaction and handed to the handler of its status; a
// server that never answers is retransmitted to until timer F.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/marshal_packet.h"
#include "net/name_resolution.h"
#include "sip/agent_services.h"
#include "sip/builder.h"
#include "sip/dispatch_rules.h"
#include "sip/send.h"
#include "sip/server_startup.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip/uri.h"
#include "sip_socket_support.h"

namespace {

using sipagent::Calls;

using sipagent::Text;

// A user agent that notes what the transport hands it.
struct NotingAgent {
  NotingAgent() {
    Calls().clear();
    SIPAgentServices services = {};
    services.invokeTransactionError = [](const SIPTransactionHolder&, int code, int) {
      Calls().push_back(Text("error %d", code));
    };
    services.processResponse = [](int handler, const SIPTransactionHolder&, const SIPTransactionHolder&, int status) {
      Calls().push_back(Text("handler %d status %d", handler, status));
    };
    services.followRedirect = [](const SIPTransactionHolder&, const SIPTransactionHolder&, int status,
                                 const char* target) { Calls().push_back(Text("redirect %d to ", status) + target); };
    SIPInstallAgentServices(&services);
    SIPSetConnectionOwnerLookup(SIPFindConnectionOwnerByUser);
  }
  ~NotingAgent() {
    SIPSetConnectionOwnerLookup(nullptr);
    SIPInstallAgentServices(nullptr);
  }
};

// A client transaction of the account, its request built and sent to the
// server.
SIPTransactionHolder SendRequest(const SIPTransactionHolder& root, const char* method, int32_t kind) {
  SIPTransactionHolder t = SIPCreateBasedTransaction(root, SIPTransactionHolder(), SIPTransactionHolder());
  SIPPushTransaction(t, kind, SIPTransactionHolder(), SIPTransactionHolder());
  SIPParseNameAddrText(&t->record.msg.to.uri, "<sip:bob@127.0.0.1>");
  t->record.msg.cseq = 1;
  EXPECT_EQ(SIPPrepareRequestBuffer(&t->record, method, nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(SIPSetTransactionState(t, kSIPStateTrying), 1);
  EXPECT_NE(SendSIPMessage(t, 0, nullptr), 0) << method;
  return t;
}

SIPTransactionHolder Account(int32_t transport, int port) {
  SIPTransactionHolder root = SIPLoopbackAccount(transport, port);
  root->record.account.outboundMode = 2;  // every request to the server
  root->record.account.registerTimeout = 2;
  root->record.account.contactPort = 16690;
  return root;
}

TEST(SipAgainstSipp, AnswersOfRealServersReachTheHandlerOfTheirStatus) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  NotingAgent agent;
  auto handler = [](SIPResponseHandler h, int status) {
    return Text("handler %d status %d", static_cast<int>(h), status);
  };
  struct Case {
    const char* name;
    int32_t transport;
    int port;
    const char* method;
    int32_t kind;
    std::vector<std::string> calls;
  } cases[] = {
      {"OPTIONS over UDP answered 200", kSIPTransportUDP, 16600, "OPTIONS", 14,
       {handler(SIPResponseHandler::kOptions200, 200)}},
      {"OPTIONS over TCP answered 200", kSIPTransportTCP, 16601, "OPTIONS", 14,
       {handler(SIPResponseHandler::kOptions200, 200)}},
      {"REGISTER over UDP answered 200", kSIPTransportUDP, 16600, "REGISTER", 2,
       {handler(SIPResponseHandler::kRegister200, 200)}},
      {"REGISTER over TCP answered 200", kSIPTransportTCP, 16601, "REGISTER", 2,
       {handler(SIPResponseHandler::kRegister200, 200)}},
      {"REGISTER answered 503", kSIPTransportUDP, 16602, "REGISTER", 2,
       {handler(SIPResponseHandler::kFinalError, 503)}},
      {"OPTIONS answered 302 is redirected", kSIPTransportUDP, 16603, "OPTIONS", 14,
       {"redirect 302 to sip:bob@127.0.0.1:16699"}},
  };
  for (const Case& c : cases) {
    Calls().clear();
    SIPTransactionHolder root = Account(c.transport, c.port);
    SIPTransactionHolder t = SendRequest(root, c.method, c.kind);
    EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return Calls().size() >= c.calls.size(); }, 5000)) << c.name;
    EXPECT_EQ(Calls(), c.calls) << c.name;
    SIPDestroyTransaction(t);
    SIPCloseRootRelatedConnections(root);
  }
}

struct StartedListenerCase {
  const char* name;
  int32_t transport;
  int listenerPort;
  // The port the peer's Via names: over UDP its own, over TCP one where
  // nothing listens (as a client that names its listening port), so only
  // the connection the request came on can carry the answer.
  int viaPort;
};

const StartedListenerCase kStartedListeners[] = {
    {"udp", kSIPTransportUDP, 16520, 16525},
    {"tcp", kSIPTransportTCP, 16521, 16526},
};

class SipStartedListener : public testing::TestWithParam<StartedListenerCase> {};

// The start-up thread with the connections layer's own steps and a user
// agent that only registers: its listener answers an OPTIONS.
TEST_P(SipStartedListener, AnswersAnOptionsOnTheConnectionItCameOn) {
  const StartedListenerCase& c = GetParam();
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  NotingAgent agent;
  SIPAgentServices services = SIPGetAgentServices();
  services.processRequest = [](int method, const SIPTransactionHolder& request, const char*) {
    Calls().push_back(std::string("request ") + SIPMethodName(method));
    if (SIPPrepareResponseBuffer(&request->record, 200, nullptr, nullptr, nullptr, 0) == kSIPBuilt)
      SendSIPMessage(request, 0, nullptr);
  };
  SIPInstallAgentServices(&services);
  ClearNameCache();
  SetDnsServer(SIPLoopback(), 16053);
  SIPStartupSteps steps = {};
  steps.sendRegister = [](const SIPTransactionHolder& record) {
    record->record.connection.listening = 1;
    SetEvent(reinterpret_cast<HANDLE>(record->record.connection.waitEvent));
    return true;
  };
  SIPInstallStartupSteps(&steps);
  SIPCapturedLog log;
  SIPTransactionHolder root = SIPLoopbackAccount(c.transport, 16531);
  root->record.account.proxyLocalPort = c.listenerPort;
  root->record.account.proxyRemotePort = 16531;
  EXPECT_EQ(thSIPStartListener(ZEQNewMarshalPacket(root, true)), 0u);
  EXPECT_EQ(root->record.connection.listening, 1);
  EXPECT_EQ(root->record.connection.listenerPort, c.listenerPort);

  const bool stream = c.transport == kSIPTransportTCP;
  SIPTestPeer peer(stream ? SOCK_STREAM : SOCK_DGRAM);
  if (stream)
    ASSERT_TRUE(peer.Connect(c.listenerPort));
  else
    ASSERT_TRUE(peer.Bind(c.viaPort));
  const std::string options = Text("OPTIONS sip:alice@127.0.0.1:%d SIP/2.0\r\n", c.listenerPort) +
                              std::string("Via: SIP/2.0/") + (stream ? "TCP" : "UDP") +
                              Text(" 127.0.0.1:%d;branch=z9hG4bK-start-1\r\n", c.viaPort) +
                              "From: <sip:peer@127.0.0.1>;tag=p1\r\nTo: <sip:alice@127.0.0.1>\r\n"
                              "Call-ID: started-listener-1\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
  EXPECT_TRUE(stream ? peer.Send(options) : peer.SendTo(options, c.listenerPort));
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return log.Count(" - Response (") >= 1; }, 5000)) << log.Contents();
  const size_t connections = SIPConnectionCount();
  const std::string answer = peer.Receive();
  EXPECT_EQ(answer.substr(0, 14), "SIP/2.0 200 OK") << answer;
  EXPECT_EQ(Calls(), (std::vector<std::string>{"request OPTIONS"}));
  EXPECT_EQ(SIPConnectionCount(), connections) << "the answer opened a connection of its own";
  SIPCloseRootRelatedConnections(root);
  SIPListenerListRelease(SIPStartupAccountKey(root).c_str());
  SIPInstallStartupSteps(nullptr);
  SetDnsServer(0, 0);
  ClearNameCache();
}

INSTANTIATE_TEST_SUITE_P(Transports, SipStartedListener, testing::ValuesIn(kStartedListeners),
                         [](const testing::TestParamInfo<StartedListenerCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(SipConnecting, AStreamServerThatNeverAnswersTheConnectFailsTheSendWithoutWaitingForTheSystem) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  NotingAgent agent;
  SIPCapturedLog log;
  // A listener whose accept queue is full drops further connection
  // attempts unanswered, as an unreachable server does.
  SIPTestPeer server(SOCK_STREAM);
  ASSERT_TRUE(server.Bind(16540));
  ASSERT_EQ(listen(server.socket, 1), 0);
  std::vector<std::unique_ptr<SIPTestPeer>> fillers;
  for (int i = 0; i < 4; ++i) {
    fillers.push_back(std::make_unique<SIPTestPeer>(SOCK_STREAM));
    u_long on = 1;
    ioctlsocket(fillers.back()->socket, FIONBIO, &on);
    fillers.back()->Connect(16540);
  }
  Sleep(200);
  SIPTransactionHolder root = Account(kSIPTransportTCP, 16540);
  SIPTransactionHolder t = SIPCreateBasedTransaction(root, SIPTransactionHolder(), SIPTransactionHolder());
  SIPPushTransaction(t, 14, SIPTransactionHolder(), SIPTransactionHolder());
  SIPParseNameAddrText(&t->record.msg.to.uri, "<sip:bob@127.0.0.1>");
  t->record.msg.cseq = 1;
  ASSERT_EQ(SIPPrepareRequestBuffer(&t->record, "OPTIONS", nullptr, nullptr, 0), kSIPBuilt);
  const DWORD start = GetTickCount();
  EXPECT_EQ(SendSIPMessage(t, 0, nullptr), 0);
  EXPECT_EQ(GetLastError(), 104u);
  const DWORD elapsed = GetTickCount() - start;
  // The system would keep trying for minutes; the bound is a few seconds
  // (this is a generous ceiling of the behaviour, not a speed goal).
  EXPECT_LT(elapsed, 30000u);
  EXPECT_EQ(log.Count("Error Connecting to Destination ZEQSIP"), 1u) << log.Contents();
  SIPDestroyTransaction(t);
  SIPCloseRootRelatedConnections(root);
}

TEST(SipAgainstSipp, AServerThatNeverAnswersIsRetransmittedToUntilTimerF) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  NotingAgent agent;
  SIPCapturedLog log;
  SIPTransactionHolder root = Account(kSIPTransportUDP, 16604);
  SIPTransactionHolder t = SendRequest(root, "REGISTER", 2);
  char sent[64];
  snprintf(sent, sizeof sent, "Sending SIP: %08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(t.Get())));
  // F of a REGISTER is the account's RegisterTimeout, 2 s: E resends at
  // 0.5 s and 1.5 s before it.
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([] { return !Calls().empty(); }, 6000));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"error 504"}));
  EXPECT_EQ(t->record.endReason & kSIPEndExpired, kSIPEndExpired);
  EXPECT_GE(log.Count(sent), 3u);
  SIPDestroyTransaction(t);
  SIPCloseRootRelatedConnections(root);
}

TEST(SipAgainstSipp, ALostAnswerIsRecoveredByTheRetransmission) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  NotingAgent agent;
  SIPCapturedLog log;
  // The account drops the first received message of every Call-ID: sipp's
  // first 200 is lost, the client retransmits after T1 and the second 200
  // (sipp answers the retransmission again) completes it.
  SIPTransactionHolder root = Account(kSIPTransportUDP, 16605);
  root->record.account.testOptions = 0x2;
  SIPTransactionHolder t = SendRequest(root, "OPTIONS", 14);
  char sent[64];
  snprintf(sent, sizeof sent, "Sending SIP: %08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(t.Get())));
  ASSERT_TRUE(SIPTimerRuntime::PumpUntil([] { return !Calls().empty(); }, 5000));
  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         Text("handler %d status %d", static_cast<int>(SIPResponseHandler::kOptions200), 200)}));
  EXPECT_EQ(log.Count(sent), 2u);
  SIPDestroyTransaction(t);
  SIPCloseRootRelatedConnections(root);
}

TEST(SipAgainstSipp, AnOptionsOfASippClientIsAnsweredFromTheAccountsOwnPort) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  NotingAgent agent;
  // The user agent's OPTIONS handler: 200 on the received request.
  SIPAgentServices services = SIPGetAgentServices();
  services.processRequest = [](int method, const SIPTransactionHolder& request, const char*) {
    Calls().push_back(std::string("request ") + SIPMethodName(method));
    if (SIPPrepareResponseBuffer(&request->record, 200, nullptr, nullptr, nullptr, 0) == kSIPBuilt)
      SendSIPMessage(request, 0, nullptr);
  };
  SIPInstallAgentServices(&services);
  SIPCapturedLog log;
  SIPTransactionHolder root = Account(kSIPTransportUDP, 16598);
  SIPSocketHolder listener = SIPCreateSocket(root);
  ASSERT_TRUE(listener.IsSet());
  ASSERT_EQ(SIPBindSocketToAddrAny(listener->socket, 16620), 1);
  SIPSetListenerAddress(root, SIPLoopback(), 16620);
  SIPListenerAcceptConnections(SIPLoopback(), 16598, root, listener);
  size_t connections = SIPConnectionCount();
  // sipp's client calls once a second: its OPTIONS is answered 200, which
  // it takes, and its INFO in the same call is answered 405.
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return log.Count("INFO sip:alice@127.0.0.1:16620") >= 1; }, 5000));
  SIPTimerRuntime::PumpUntil([] { return false; }, 200);
  EXPECT_FALSE(Calls().empty());
  EXPECT_EQ(Calls().front(), "request OPTIONS");
  std::string all = log.Contents();
  EXPECT_NE(all.find("SIP/2.0 405 Method Not Allowed"), std::string::npos);
  EXPECT_NE(all.find("Socket: " + std::to_string(static_cast<int>(listener->socket)) + " - Response"),
            std::string::npos);
  EXPECT_EQ(SIPConnectionCount(), connections) << "an answer opened a socket of its own";
  SIPCloseRootRelatedConnections(root);
}

}  // namespace
