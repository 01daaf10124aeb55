// Listener start-up: the server list from DNS SRV records of the test zone
// (dnsmasq on loopback, see net/tests/peers), and the try of each server in
// order until one takes the registration.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/marshal_packet.h"
#include "net/name_resolution.h"
#include "sip/server_startup.h"
#include "sip/transaction_list.h"
#include "sip_runtime_support.h"

namespace {

constexpr uint32_t kLoopback = 0x0100007F;
constexpr int kDnsPort = 16053;

class ServerStartup : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    ClearNameCache();
    SetDnsServer(kLoopback, kDnsPort);
    account_ = SIPTransactionCreate(SIPTransactionHolder());
    std::strcpy(account_->record.account.user, "alice");
    account_->record.account.proxyRemotePort = 16090;
    account_->record.account.registerTimeout = 2;
  }
  void TearDown() override {
    SIPInstallStartupSteps(nullptr);
    SetDnsServer(0, 0);
    ClearNameCache();
    if (account_->record.connection.waitEvent) CloseHandle(reinterpret_cast<HANDLE>(account_->record.connection.waitEvent));
    account_->record.connection.waitEvent = 0;
    WSACleanup();
  }
  void SetDomain(const char* domain, int32_t transport = kSIPTransportUDP) {
    std::strcpy(account_->record.account.domain, domain);
    account_->record.connection.transport = transport;
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> entries;
    for (int i = 0; i < 16 && account_->record.account.serverList[i][0]; ++i)
      entries.push_back(account_->record.account.serverList[i]);
    return entries;
  }
  DWORD RunStartup() {
    return thSIPStartListener(ZEQNewMarshalPacket(account_, true));
  }

  SIPTransactionHolder account_;
};

TEST_F(ServerStartup, TakesTheServiceRecordsInPriorityThenNameOrder) {
  SIPCapturedLog log;
  SetDomain("srv.zeq.test");
  EXPECT_EQ(0, SIPPrepareServersList(account_));
  EXPECT_EQ((std::vector<std::string>{"sip-c.zeq.test:16073", "sip-a.zeq.test:16071", "sip-b.zeq.test:16072"}),
            Entries());
  EXPECT_EQ(1u, log.Count("[DNS SRV] SIP: ")) << log.Contents();
  EXPECT_EQ(1u, log.Count(", Host: _sip._udp.srv.zeq.test"));
  EXPECT_EQ(1u, log.Count(", Host: 5:sip-c.zeq.test:16073"));
  EXPECT_STREQ("srv.zeq.test", account_->record.connection.serverHost);
}

TEST_F(ServerStartup, AsksForTheTcpRecordsOverTcpAndCutsThePortOfTheDomain) {
  SetDomain("srv.zeq.test:5070", kSIPTransportTCP);
  EXPECT_EQ(0, SIPPrepareServersList(account_));
  EXPECT_EQ((std::vector<std::string>{"sip-a.zeq.test:16074", "sip-b.zeq.test:16075"}), Entries());
}

struct PlainDomainCase {
  const char* name;
  const char* domain;
  int32_t outbound;
  int result;
  const char* logged;
};

const PlainDomainCase kPlainDomains[] = {
    {"ADomainWithoutRecordsIsTriedItself", "other.zeq.test", 0, 0, "Try DOMAIN URL \"other.zeq.test\""},
    {"AnOutboundProxyIsNamedSo", "other.zeq.test", 2, 0, "Try PROXY URL \"other.zeq.test\""},
    {"ADomainThatCannotBeResolvedIsRefused", "nothere.zeq.test", 0, 501, "executing DNSSRV \"_sip._udp.nothere"},
};

class ServerStartupPlainDomain : public ServerStartup, public testing::WithParamInterface<PlainDomainCase> {};

TEST_P(ServerStartupPlainDomain, IsTheListsOnlyEntry) {
  SIPCapturedLog log;
  const PlainDomainCase& c = GetParam();
  account_->record.account.outboundMode = c.outbound;
  if (c.outbound == 2) {
    std::strcpy(account_->record.account.proxyHost, c.domain);
    std::strcpy(account_->record.account.domain, "elsewhere.zeq.test");
  } else {
    std::strcpy(account_->record.account.domain, c.domain);
  }
  EXPECT_EQ(c.result, SIPPrepareServersList(account_));
  EXPECT_EQ((std::vector<std::string>{c.domain}), Entries());
  EXPECT_EQ(1u, log.Count(c.logged)) << log.Contents();
}

INSTANTIATE_TEST_SUITE_P(Domains, ServerStartupPlainDomain, testing::ValuesIn(kPlainDomains),
                         [](const testing::TestParamInfo<PlainDomainCase>& info) {
                           return std::string(info.param.name);
                         });

// A SIP server stand-in on loopback: answers every datagram it gets.
class AnsweringServer {
 public:
  explicit AnsweringServer(int port) {
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = kLoopback;
    at.sin_port = htons(static_cast<u_short>(port));
    bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0;
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~AnsweringServer() {
    closesocket(socket_);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
  }
  AnsweringServer(const AnsweringServer&) = delete;
  AnsweringServer& operator=(const AnsweringServer&) = delete;
  bool bound() const { return bound_; }
  LONG requests() const { return requests_; }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* server = static_cast<AnsweringServer*>(self);
    char buffer[2048];
    sockaddr_in from{};
    int length = sizeof(from);
    int got;
    while ((got = recvfrom(server->socket_, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &length)) >
           0) {
      InterlockedIncrement(&server->requests_);
      sendto(server->socket_, "SIP/2.0 200 OK\r\n\r\n", 18, 0, reinterpret_cast<sockaddr*>(&from), length);
      length = sizeof(from);
    }
    return 0;
  }
  SOCKET socket_;
  bool bound_ = false;
  volatile LONG requests_ = 0;
  HANDLE thread_ = nullptr;
};

// Steps of a user agent that registers by one datagram: the server that
// answers it within 300 ms takes the registration.
struct Tries {
  static Tries* current;
  std::vector<std::string> opened;  // "address:port" of each REGISTER sent
  int closeEvents = 0;
  int released = 0;
  bool keyTaken = false;
};
Tries* Tries::current = nullptr;

bool ClaimKey(const char* key, const SIPTransactionHolder&) {
  if (Tries::current->keyTaken) return false;
  Tries::current->keyTaken = std::strcmp(key, "alice@failover.zeq.test") == 0 ||
                             std::strcmp(key, "alice@unresolved.zeq.test") == 0 ||
                             std::strcmp(key, "alice@other.zeq.test") == 0;
  return Tries::current->keyTaken;
}
bool OpenListener(const SIPTransactionHolder& record, int32_t, uintptr_t* s) {
  SOCKET listener = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = kLoopback;
  int length = sizeof(at);
  if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0) return false;
  getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
  std::strcpy(record->record.connection.listenerAddressText, "127.0.0.1");
  record->record.connection.listenerPort = ntohs(at.sin_port);
  *s = listener;
  return true;
}
void StartListening(const SIPTransactionHolder&, uint32_t, int32_t, uintptr_t) {}
bool SendRegister(const SIPTransactionHolder& record) {
  SIPConnectionSettings& c = record->record.connection;
  Tries::current->opened.push_back(std::string(c.serverAddressText) + ":" + std::to_string(c.serverPort));
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = c.serverAddress;
  to.sin_port = htons(static_cast<u_short>(c.serverPort));
  sendto(s, "REGISTER", 8, 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait{0, 300000};
  char answer[64];
  if (select(0, &readable, nullptr, nullptr, &wait) == 1 && recv(s, answer, sizeof(answer), 0) > 0) c.listening = 1;
  closesocket(s);
  SetEvent(reinterpret_cast<HANDLE>(c.waitEvent));
  return true;
}
bool Probe(const SIPTransactionHolder&) { return true; }
void SignalToClose(const SIPTransactionHolder&) {}
void Release(const SIPTransactionHolder&, uintptr_t s) {
  closesocket(static_cast<SOCKET>(s));
  Tries::current->released++;
}
void CloseEvents(const SIPTransactionHolder&) { Tries::current->closeEvents++; }

const SIPStartupSteps kSteps = {ClaimKey,  nullptr,       OpenListener, StartListening, Probe,
                                SendRegister, SignalToClose, Release,      CloseEvents, nullptr};

class ServerFailover : public ServerStartup {
 protected:
  void SetUp() override {
    ServerStartup::SetUp();
    Tries::current = &tries_;
    SIPInstallStartupSteps(&kSteps);
  }
  Tries tries_;
};

TEST_F(ServerFailover, MovesToTheNextServerWhenTheFirstDoesNotAnswer) {
  SIPCapturedLog log;
  AnsweringServer second(16082);
  ASSERT_TRUE(second.bound());
  SetDomain("failover.zeq.test");
  EXPECT_EQ(0u, RunStartup());
  EXPECT_EQ((std::vector<std::string>{"127.0.0.1:16081", "127.0.0.1:16082"}), tries_.opened);
  EXPECT_EQ(1, account_->record.connection.listening);
  EXPECT_EQ(1, account_->record.account.serverIndex);
  EXPECT_EQ(0u, account_->record.endReason);
  EXPECT_EQ(0, tries_.closeEvents);
  EXPECT_EQ(1, tries_.released);  // the first try's listener only
  EXPECT_EQ(1u, log.Count("HOST: sip-b.zeq.test:16082 connected successfully...")) << log.Contents();
}

TEST_F(ServerFailover, AServerThatCannotBeResolvedIsPassedOverWithoutEndingTheRegistration) {
  SIPCapturedLog log;
  AnsweringServer second(16086);
  ASSERT_TRUE(second.bound());
  SetDomain("unresolved.zeq.test");
  EXPECT_EQ(0u, RunStartup());
  EXPECT_EQ((std::vector<std::string>{"127.0.0.1:16086"}), tries_.opened);
  EXPECT_EQ(1, account_->record.connection.listening);
  EXPECT_EQ(0u, account_->record.endReason);
  EXPECT_EQ(1u, log.Count("[FAILED TO RESOLVE URL] SIP: ")) << log.Contents();
  EXPECT_EQ(1u, log.Count("Label=\"Network Connection Failure\", Direction=\"OUT\""));
}

TEST_F(ServerFailover, WhenNoServerAnswersTheRegistrationIsRefusedOnce) {
  SIPCapturedLog log;
  SetDomain("failover.zeq.test");
  EXPECT_EQ(0u, RunStartup());
  EXPECT_EQ(2u, tries_.opened.size());
  EXPECT_EQ(0, account_->record.connection.listening);
  EXPECT_EQ(kSIPEndRefused, account_->record.endReason & kSIPEndRefused);
  EXPECT_EQ(906, account_->record.connection.resultCode);
  EXPECT_EQ(1, tries_.closeEvents);
  EXPECT_EQ(2, tries_.released);
  EXPECT_EQ(0u, log.Count("connected successfully"));
}

TEST_F(ServerFailover, ASecondStartOfTheSameAccountEndsWithAlreadyExists) {
  SIPCapturedLog log;
  SetDomain("failover.zeq.test");
  tries_.keyTaken = true;
  EXPECT_EQ(static_cast<DWORD>(kSIPStartupAlreadyStarted), RunStartup());
  EXPECT_TRUE(tries_.opened.empty());
  EXPECT_EQ(1u, log.Count("[[ALREADY EXISTS] SIP: ")) << log.Contents();
  EXPECT_EQ(1u, log.Count(", Key: alice@failover.zeq.test, Proxy: failover.zeq.test:"));
}

TEST_F(ServerFailover, AServerThatIsTheListenerItselfIsSkipped) {
  SIPCapturedLog log;
  // The domain itself on the listener's own port: every try talks to itself.
  SetDomain("other.zeq.test");
  struct Loop {
    static bool Open(const SIPTransactionHolder& record, int32_t, uintptr_t* s) {
      *s = 0;
      std::strcpy(record->record.connection.listenerAddressText, "127.0.0.2");
      record->record.connection.listenerPort = 16090;
      return true;
    }
    static void Release(const SIPTransactionHolder&, uintptr_t) { Tries::current->released++; }
  };
  SIPStartupSteps steps = kSteps;
  steps.openListener = Loop::Open;
  steps.releaseListener = Loop::Release;
  SIPInstallStartupSteps(&steps);
  EXPECT_EQ(0u, RunStartup());
  EXPECT_TRUE(tries_.opened.empty());
  EXPECT_EQ(1u, log.Count("[LISTENER LOOPBACK] SIP: ")) << log.Contents();
  EXPECT_EQ(1, tries_.released);
  EXPECT_EQ(906, account_->record.connection.resultCode);
}

TEST(ServerStartupDefaults, WithoutInstalledStepsNoAccountIsReportedConnected) {
  WSADATA data;
  ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
  SIPCapturedLog log;
  SIPInstallStartupSteps(nullptr);
  SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
  std::strcpy(account->record.account.domain, "127.0.0.1");
  EXPECT_EQ(static_cast<DWORD>(kSIPStartupNoDns), thSIPStartListener(ZEQNewMarshalPacket(account, true)));
  EXPECT_EQ(0, account->record.connection.listening);
  EXPECT_EQ(1u, log.Count("no user agent to register"));
  WSACleanup();
}

}  // namespace
