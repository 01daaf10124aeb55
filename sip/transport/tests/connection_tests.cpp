// SIP sockets on loopback: the connection list of listeners and accepted
// connections, their look-ups and closing, and receiving on them without
// ever blocking: streams framed from their segments, datagrams whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sip/agent_services.h"
#include "sip/connections.h"
#include "sip/receive.h"
#include "sip_socket_support.h"

namespace {

std::vector<std::string>& Requests() {
  static std::vector<std::string> requests;
  return requests;
}

// Received requests reach this user agent, which notes their Call-IDs.
struct RecordingAgent {
  RecordingAgent() {
    Requests().clear();
    SIPAgentServices services = {};
    services.processRequest = [](int, const SIPTransactionHolder& request, const char*) {
      Requests().push_back(request->record.msg.callId);
    };
    SIPInstallAgentServices(&services);
    SIPSetConnectionOwnerLookup(SIPFindConnectionOwnerByUser);
  }
  ~RecordingAgent() {
    SIPSetConnectionOwnerLookup(nullptr);
    SIPInstallAgentServices(nullptr);
  }
};

std::string Options(const char* callId, const char* transport = "TCP") {
  return std::string("OPTIONS sip:alice@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/") + transport +
         " 127.0.0.1:16599;branch=z9hG4bK-" + callId + "\r\nFrom: <sip:bob@127.0.0.1>;tag=b1\r\n"
         "To: <sip:alice@127.0.0.1>\r\nCall-ID: " + callId + "\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
}

int LocalPort(SOCKET s) {
  sockaddr_in a = {};
  int length = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

// A root record listening on the port with the transport.
struct Listener {
  SIPTransactionHolder root;
  SIPSocketHolder socket;
  Listener(int32_t transport, int port) {
    root = SIPLoopbackAccount(transport, 16598);
    socket = SIPCreateSocket(root);
    if (socket.IsSet() && SIPBindSocketToAddrAny(socket->socket, port))
      SIPListenerAcceptConnections(SIPLoopback(), 16598, root, socket);
  }
  ~Listener() { SIPCloseRootRelatedConnections(root); }
};

template <typename Done>
bool Pump(Done done) {
  return SIPTimerRuntime::PumpUntil(done, 3000);
}

TEST(SipConnections, ATcpListenerOwnsItsAcceptedConnectionsAndClosesThemWithItsRecord) {
  SIPSocketRuntime runtime;
  ASSERT_TRUE(runtime.Started());
  size_t before = SIPConnectionCount();
  Listener listener(kSIPTransportTCP, 16510);
  ASSERT_EQ(SIPConnectionCount(), before + 1);
  SIPTestPeer a(SOCK_STREAM), b(SOCK_STREAM);
  ASSERT_TRUE(a.Connect(16510));
  ASSERT_TRUE(b.Connect(16510));
  ASSERT_TRUE(Pump([&] { return SIPConnectionCount() == before + 3; }));

  EXPECT_EQ(SIPGetConnectionSocket(listener.root, true).Get(), listener.socket.Get());
  // The listener's own entry names the server but is never reused for sending.
  EXPECT_FALSE(SIPFindConnectionSocket(listener.root, SIPLoopback(), 16598).IsSet());
  SIPSocketHolder toA = SIPFindConnectionSocket(listener.root, SIPLoopback(), LocalPort(a.socket));
  ASSERT_TRUE(toA.IsSet());
  EXPECT_NE(toA.Get(), listener.socket.Get());
  // Another account's record finds nothing on the same connection.
  SIPTransactionHolder bob = SIPLoopbackAccount(kSIPTransportTCP, 16598);
  snprintf(bob->record.msg.from.uri.user, sizeof bob->record.msg.from.uri.user, "bob");
  EXPECT_FALSE(SIPFindConnectionSocket(bob, SIPLoopback(), LocalPort(a.socket)).IsSet());
  // The owner of the account's messages is the listener's record.
  EXPECT_EQ(SIPFindConnectionOwnerByUser("ALICE@127.0.0.1").Get(), listener.root.Get());
  EXPECT_FALSE(SIPFindConnectionOwnerByUser("carol@127.0.0.1").IsSet());

  SIPCapturedLog log;
  EXPECT_EQ(SIPCloseRootRelatedConnections(listener.root), 1);
  EXPECT_EQ(SIPConnectionCount(), before);
  EXPECT_EQ(log.Count("SIPCloseRootRelatedConnections: [CLOSE]"), 3u);
  EXPECT_TRUE(a.ClosedByPeer());
  EXPECT_TRUE(b.ClosedByPeer());
}

TEST(SipConnections, AUdpRecordHasNoListeningSocket) {
  SIPSocketRuntime runtime;
  Listener listener(kSIPTransportUDP, 16511);
  EXPECT_FALSE(SIPGetConnectionSocket(listener.root, true).IsSet());
  EXPECT_EQ(SIPGetConnectionSocket(listener.root, false).Get(), listener.socket.Get());
  // For UDP the listener's own socket is the connection to the server.
  EXPECT_EQ(SIPFindConnectionSocket(listener.root, SIPLoopback(), 16598).Get(), listener.socket.Get());
}

TEST(SipConnections, AConnectionForARecordThatIsGoneIsClosedAtOnce) {
  SIPSocketRuntime runtime;
  size_t before = SIPConnectionCount();
  SOCKET listening;
  {
    Listener listener(kSIPTransportTCP, 16512);
    listening = listener.socket->socket;
    listener.root = SIPTransactionHolder();  // the record dies; its listener stays listed
  }
  // ~Listener closed nothing of a record that is gone: remove it by hand after the test.
  SIPTestPeer peer(SOCK_STREAM);
  ASSERT_TRUE(peer.Connect(16512));
  SIPTimerRuntime::PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(peer.ClosedByPeer());
  EXPECT_EQ(SIPConnectionCount(), before + 1);
  SIPCloseAllConnectionsRelated(listening);
  EXPECT_EQ(SIPConnectionCount(), before);
}

TEST(SipConnections, ASocketClosedExplicitlyIsNotClosedAgainByItsLastHolder) {
  SIPSocketRuntime runtime;
  SIPTransactionHolder root = SIPLoopbackAccount(kSIPTransportUDP, 16598);
  long live = SIPLiveSocketCount();
  SIPSocketHolder kept = SIPCreateSocket(root);
  ASSERT_TRUE(kept.IsSet());
  ASSERT_EQ(SIPListenerListenMessages(SIPLoopback(), 16598, root, kept, kSIPSocketEvents), 1);
  EXPECT_EQ(SIPCloseAllConnectionsRelated(kept->socket), 1);
  EXPECT_EQ(SIPCloseAllConnectionsRelated(kept->socket), 0);
  // The system may give the closed number to the next socket.
  SIPTestPeer fresh(SOCK_DGRAM);
  kept = SIPSocketHolder();
  EXPECT_EQ(SIPLiveSocketCount(), live);
  EXPECT_TRUE(fresh.Bind(16513)) << "the new socket was closed by the old record";
}

TEST(SipReceiving, AStreamPeersMessagesAreDispatchedWhateverItsSegments) {
  SIPSocketRuntime runtime;
  RecordingAgent agent;
  Listener listener(kSIPTransportTCP, 16514);
  SIPTestPeer peer(SOCK_STREAM);
  ASSERT_TRUE(peer.Connect(16514));
  // One message in three segments, the peer pausing between them.
  const std::string first = Options("three-segments");
  for (size_t at : {size_t{0}, size_t{30}, size_t{95}}) {
    size_t end = at == 0 ? 30 : at == 30 ? 95 : first.size();
    ASSERT_TRUE(peer.Send(first.substr(at, end - at)));
    SIPTimerRuntime::PumpUntil([] { return false; }, 150);
  }
  ASSERT_TRUE(Pump([] { return Requests().size() == 1; }));
  // Two messages in one segment, after a keep-alive of the peer's own.
  ASSERT_TRUE(peer.Send("\r\n\r\n" + Options("two-a") + Options("two-b")));
  ASSERT_TRUE(Pump([] { return Requests().size() == 3; }));
  EXPECT_EQ(Requests(), (std::vector<std::string>{"three-segments", "two-a", "two-b"}));
}

TEST(SipReceiving, AKeepAliveAnswerOnAStreamIsNotedAndGoesNoFurther) {
  SIPSocketRuntime runtime;
  RecordingAgent agent;
  Listener listener(kSIPTransportTCP, 16515);
  SIPTestPeer peer(SOCK_STREAM);
  ASSERT_TRUE(peer.Connect(16515));
  ASSERT_TRUE(Pump([&] { return SIPFindConnectionSocket(listener.root, SIPLoopback(), LocalPort(peer.socket)).IsSet(); }));
  SIPSocketHolder accepted = SIPFindConnectionSocket(listener.root, SIPLoopback(), LocalPort(peer.socket));
  SIPCapturedLog log;
  ASSERT_TRUE(peer.Send("\r\n"));
  ASSERT_TRUE(Pump([&] { return log.Count("Received PONG") == 1; }));
  EXPECT_NE(accepted->lastReceiveTick, 0);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(log.Count("SIPListenerProcessMessage"), 0u);
}

TEST(SipReceiving, AStreamThatCannotBeFramedIsClosed) {
  SIPSocketRuntime runtime;
  RecordingAgent agent;
  Listener listener(kSIPTransportTCP, 16516);
  SIPTestPeer peer(SOCK_STREAM);
  ASSERT_TRUE(peer.Connect(16516));
  ASSERT_TRUE(peer.Send("OPTIONS sip:alice@127.0.0.1 SIP/2.0\r\nContent-Length: 99999999\r\n\r\n"));
  EXPECT_TRUE(peer.ClosedByPeer());
  EXPECT_TRUE(Requests().empty());
}

TEST(SipReceiving, AnAcceptedConnectionThatStaysSilentIsClosedWhenIdle) {
  SIPSocketRuntime runtime;
  size_t before = SIPConnectionCount();
  Listener listener(kSIPTransportTCP, 16517);
  SIPTestPeer silent(SOCK_STREAM);
  ASSERT_TRUE(silent.Connect(16517));
  ASSERT_TRUE(Pump([&] { return SIPConnectionCount() == before + 2; }));
  EXPECT_EQ(SIPCloseIdleAcceptedConnections(GetTickCount(), kSIPAcceptedIdleMs), 0);
  EXPECT_EQ(SIPCloseIdleAcceptedConnections(GetTickCount() + kSIPAcceptedIdleMs + 1, kSIPAcceptedIdleMs), 1);
  EXPECT_TRUE(silent.ClosedByPeer());
  EXPECT_EQ(SIPConnectionCount(), before + 1);  // the listener stays
}

TEST(SipReceiving, DatagramsAreDispatchedWithoutLeadingLineEndsAndNonSIPTextIsDropped) {
  SIPSocketRuntime runtime;
  RecordingAgent agent;
  Listener listener(kSIPTransportUDP, 16518);
  SIPTestPeer peer(SOCK_DGRAM);
  SIPCapturedLog log;
  ASSERT_TRUE(peer.SendTo("\r\n" + Options("udp-1", "UDP"), 16518));
  ASSERT_TRUE(Pump([] { return Requests().size() == 1; }));
  ASSERT_TRUE(peer.SendTo("hello, this is no SIP", 16518));
  ASSERT_TRUE(Pump([&] { return log.Count("Receiving SIP:") == 1; }));
  ASSERT_TRUE(peer.SendTo(Options("udp-2", "UDP"), 16518));
  ASSERT_TRUE(Pump([] { return Requests().size() == 2; }));
  EXPECT_EQ(Requests(), (std::vector<std::string>{"udp-1", "udp-2"}));
}

TEST(SipReceiving, WithTestOptionsBitZeroDataStaysUnread) {
  SIPSocketRuntime runtime;
  RecordingAgent agent;
  Listener listener(kSIPTransportUDP, 16519);
  listener.root->record.account.testOptions = 0x1;
  SIPTestPeer peer(SOCK_DGRAM);
  ASSERT_TRUE(peer.SendTo(Options("unread", "UDP"), 16519));
  SIPTimerRuntime::PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(Requests().empty());
  u_long waiting = 0;
  ioctlsocket(listener.socket->socket, FIONREAD, &waiting);
  EXPECT_GT(waiting, 0u);
}

}  // namespace

namespace {

TEST(SipConnections, TheListenerLearnsItsAddressTowardsTheServerAndItsPort) {
  SIPSocketRuntime runtime;
  SIPTransactionHolder root = SIPLoopbackAccount(kSIPTransportUDP, 16598);
  SIPSocketHolder socket = SIPCreateSocket(root);
  ASSERT_TRUE(socket.IsSet());
  ASSERT_EQ(SIPBindSocketToAddrAny(socket->socket, 16520), 1);
  uint32_t address = 0;
  int port = 0;
  ASSERT_EQ(SIPGetListenetSocketLocalInfo(root, socket->socket, &address, &port), 1);
  EXPECT_EQ(address, SIPLoopback());
  EXPECT_EQ(port, 16520);
  SIPSetListenerAddress(root, address, port);
  EXPECT_STREQ(root->record.connection.listenerAddressText, "127.0.0.1");
  EXPECT_STREQ(root->record.account.contactAddress, "127.0.0.1");
  EXPECT_EQ(root->record.account.contactPort, 16520);
  // A socket that is no socket has no local port.
  EXPECT_EQ(SIPGetListenetSocketLocalInfo(root, INVALID_SOCKET, &address, &port), 0);
  EXPECT_EQ(address, INADDR_NONE);
}

TEST(SipConnections, AnAccountStartsOnceUntilItsKeyIsReleased) {
  SIPTransactionHolder first = SIPTransactionCreate(SIPTransactionHolder());
  SIPTransactionHolder second = SIPTransactionCreate(SIPTransactionHolder());
  EXPECT_TRUE(SIPListenerListClaim("alice@example.com", first));
  EXPECT_FALSE(SIPListenerListClaim("ALICE@example.com", second));
  EXPECT_TRUE(SIPListenerListClaim("bob@example.com", second));
  SIPListenerListRelease("alice@example.com");
  EXPECT_TRUE(SIPListenerListClaim("alice@example.com", second));
  SIPListenerListRelease("alice@example.com");
  SIPListenerListRelease("bob@example.com");
}

}  // namespace
