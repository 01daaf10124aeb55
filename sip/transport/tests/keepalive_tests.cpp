// Keep-alive of a registration: re-REGISTER before the granted expiry, NAT
// keep-alive bytes on the account's connection to its server (none with
// NATKeepAlive 0), and on a stream the server's CR LF answer noted.
#include <gtest/gtest.h>

#include <string>

#include "sip/agent_services.h"
#include "sip/keepalive.h"
#include "sip/keepalive_timing.h"
#include "sip_socket_support.h"

namespace {

volatile LONG g_registers = 0;

struct RegisterCounter {
  RegisterCounter() {
    g_registers = 0;
    SIPAgentServices services = {};
    services.sendRegister = [](const SIPTransactionHolder&, int refresh) {
      if (refresh == 1) InterlockedIncrement(&g_registers);
      return true;
    };
    SIPInstallAgentServices(&services);
  }
  ~RegisterCounter() { SIPInstallAgentServices(nullptr); }
};

// A UDP registration whose own socket (port 16531) is its connection to
// the server, a peer of the test on 16530.
struct UdpRegistration {
  SIPTransactionHolder root = SIPLoopbackAccount(kSIPTransportUDP, 16530);
  SIPSocketHolder socket = SIPCreateSocket(root);
  UdpRegistration() {
    if (socket.IsSet() && SIPBindSocketToAddrAny(socket->socket, 16531))
      SIPListenerAcceptConnections(SIPLoopback(), 16530, root, socket);
  }
  ~UdpRegistration() { SIPCloseRootRelatedConnections(root); }
};

TEST(SipKeepAlive, DatagramKeepAlivesFollowNATKeepAliveAndZeroSendsNone) {
  SIPSocketRuntime runtime;
  RegisterCounter counter;
  SIPTestPeer server(SOCK_DGRAM);
  ASSERT_TRUE(server.Bind(16530));
  UdpRegistration registration;
  struct Case {
    const char* name;
    int32_t natKeepAlive;
    uint32_t elapsed;
    int sent;
  } cases[] = {
      {"30 s setting before 30 s", 30, 29000, 0},
      {"30 s setting after 30 s", 30, 30001, 2},
      {"0 sends nothing even after an hour", 0, 3600000, 0},
  };
  for (const Case& c : cases) {
    registration.root->record.account.natKeepAlive = c.natKeepAlive;
    SIPKeepAliveState state = {1000, 1000};
    EXPECT_EQ(SIPKeepAlivePass(registration.root, &state, 1000 + c.elapsed), c.sent) << c.name;
    if (c.sent) {
      EXPECT_EQ(server.Receive(), "\r\n") << c.name;
    }
  }
  EXPECT_EQ(g_registers, 0);
}

TEST(SipKeepAlive, ReRegistrationComesBeforeTheGrantedExpiry) {
  SIPSocketRuntime runtime;
  RegisterCounter counter;
  UdpRegistration registration;
  registration.root->record.connection.grantedExpiry = 15;
  SIPKeepAliveState state = {0, 0};
  SIPKeepAlivePass(registration.root, &state, 13000);
  EXPECT_EQ(g_registers, 0);
  SIPKeepAlivePass(registration.root, &state, 14500);
  EXPECT_EQ(g_registers, 1);
  SIPKeepAlivePass(registration.root, &state, 15000);  // the next one counts from now
  EXPECT_EQ(g_registers, 1);
  registration.root->record.connection.grantedExpiry = 0;
  SIPKeepAlivePass(registration.root, &state, 0x7FFFFFFF);
  EXPECT_EQ(g_registers, 1);
}

TEST(SipKeepAlive, AStreamKeepAliveIsAnsweredAndTheThreadEndsWithItsRegistration) {
  SIPSocketRuntime runtime;
  RegisterCounter counter;
  SIPTestPeer listener(SOCK_STREAM);
  ASSERT_TRUE(listener.Bind(16532));
  ASSERT_EQ(listen(listener.socket, 1), 0);
  SIPTransactionHolder root = SIPLoopbackAccount(kSIPTransportTCP, 16532);
  root->record.account.natKeepAlive = 1;
  SIPSocketHolder socket = SIPCreateSocket(root);
  ASSERT_TRUE(socket.IsSet());
  sockaddr_in to = SIPTestPeer::Address(16532);
  ASSERT_EQ(connect(socket->socket, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  ASSERT_EQ(SIPListenerListenMessages(SIPLoopback(), 16532, root, socket, kSIPSocketEvents), 1);
  SOCKET server = accept(listener.socket, nullptr, nullptr);
  ASSERT_NE(server, INVALID_SOCKET);
  DWORD timeout = 4000;
  setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

  SIPCapturedLog log;
  ASSERT_TRUE(SIPStartKeepAlive(root));
  char ping[8] = {};
  EXPECT_EQ(recv(server, ping, 4, MSG_WAITALL), 4);
  EXPECT_EQ(std::string(ping), "\r\n\r\n");
  ASSERT_EQ(send(server, "\r\n", 2, 0), 2);
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return log.Count("Received PONG") == 1; }, 3000));
  EXPECT_FALSE(SIPKeepAliveAnswerMissing(static_cast<uint32_t>(socket->lastKeepAliveTick),
                                         static_cast<uint32_t>(socket->lastReceiveTick)));
  root->record.endReason = kSIPEndFinalized;
  EXPECT_TRUE(SIPTimerRuntime::PumpUntil([&] { return root->record.connection.keepAliveThread == 0; }, 3000));
  EXPECT_EQ(log.Count("[LEAVE]"), 1u);
  closesocket(server);
  SIPCloseRootRelatedConnections(root);
}

}  // namespace
