// The NAT-type test over real sockets against the loopback STUN server
// (127.0.0.1 and 127.0.0.2, ports 16978 and 16979), and forged answers from
// a third port while it runs.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "media/stun_client.h"
#include "media/stun_probe.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kServerPort = 16978;
constexpr int kSilentPort = 16990;  // nothing listens there
constexpr int kForgerPort = 16960;

class StunClient : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
  }
  void TearDown() override { WSACleanup(); }
};

struct HostCase {
  const char* name;
  const char* text;
  bool parsed;
  int port;
};

class StunServerText : public StunClient, public testing::WithParamInterface<HostCase> {};

TEST_P(StunServerText, GivesTheServerPortOrFails) {
  int port = -7;
  uint32_t address = 0;
  EXPECT_EQ(GetParam().parsed, STUNParseHostName(GetParam().text, &port, &address));
  if (GetParam().parsed) {
    EXPECT_EQ(GetParam().port, port);
    EXPECT_EQ(kLoopback, address);
  } else {
    EXPECT_EQ(-7, port);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, StunServerText,
                         testing::Values(HostCase{"NoPort", "127.0.0.1", true, 3478},
                                         HostCase{"DefaultPortWritten", "127.0.0.1:3478", true, 3478},
                                         HostCase{"OwnPort", "127.0.0.1:16978", true, 16978},
                                         HostCase{"LowestPort", "127.0.0.1:1024", true, 1024},
                                         HostCase{"HighestPort", "127.0.0.1:65534", true, 65534},
                                         HostCase{"TrailingCharactersGiveTheDefault", "127.0.0.1:16978x", true, 3478},
                                         HostCase{"PortBelow1024", "127.0.0.1:80", false, 0},
                                         HostCase{"Port65535", "127.0.0.1:65535", false, 0},
                                         HostCase{"NoDigits", "127.0.0.1:", false, 0}),
                         [](const testing::TestParamInfo<HostCase>& info) { return std::string(info.param.name); });

TEST_F(StunClient, FindsLoopbackOpenWithThePortKeptAndAHairpin) {
  uint32_t mapped = 0;
  int mappedPort = 0;
  bool preserved = false, hairpin = false;
  EXPECT_EQ(kSTUNCodeOpen, STUNTestNAT(kLoopback, kServerPort, &mapped, &mappedPort, &preserved, &hairpin, 16950));
  EXPECT_EQ(kLoopback, mapped);
  EXPECT_EQ(16950, mappedPort);
  EXPECT_TRUE(preserved);
  EXPECT_TRUE(hairpin);
}

TEST_F(StunClient, DetectsTheAccountsNatTypeAndMappedAddressText) {
  char text[36] = "stale";
  EXPECT_EQ(0xC0000200u, STUNDetectNAT("127.0.0.1:16978", text, 16952));
  EXPECT_STREQ("127.0.0.1", text);
  // No server there: blocked, and no address for the c= line.
  EXPECT_EQ(static_cast<uint32_t>(kNATTypeBlocked), STUNDetectNAT("127.0.0.1:16990", text, 16952));
  EXPECT_STREQ("", text);
  // A text that names no server leaves the account to be tested again.
  EXPECT_EQ(0u, STUNDetectNAT("127.0.0.1:80", text, 16952));
}

TEST_F(StunClient, KeepsAnAccountsResultAndTestsNothingWithoutAServer) {
  SIPAccountSettings account = {};
  EXPECT_EQ(1, SIPGetSTUNInfo(&account));
  EXPECT_EQ(0, account.natType);
  snprintf(account.stunServer, sizeof account.stunServer, "127.0.0.1:80");
  EXPECT_EQ(1, SIPGetSTUNInfo(&account));
  EXPECT_EQ(0, account.natType);
  snprintf(account.stunServer, sizeof account.stunServer, "127.0.0.1:16978");
  account.natType = 0x400;
  snprintf(account.stunMappedAddress, sizeof account.stunMappedAddress, "198.51.100.9");
  EXPECT_EQ(1, SIPGetSTUNInfo(&account));
  EXPECT_EQ(0x400, account.natType);
  EXPECT_STREQ("198.51.100.9", account.stunMappedAddress);
}

// Sends answers of every test number, with a forged mapping, from a third
// port to both probe sockets until told to stop.
class Forger {
 public:
  explicit Forger(int probePort) : probePort_(probePort) {
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(kLoopback);
    local.sin_port = htons(kForgerPort);
    bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~Forger() {
    stop_ = true;
    if (thread_) {
      WaitForSingleObject(thread_, 5000);
      CloseHandle(thread_);
    }
    closesocket(socket_);
  }
  bool Ready() const { return bound_ && thread_; }
  int Sent() const { return sent_; }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Forger*>(self)->Loop();
    return 0;
  }
  void Loop() {
    const uint8_t tests[] = {1, 2, 3, 10, 11};
    for (int round = 0; !stop_ && round < 1000; ++round) {
      for (uint8_t test : tests) {
        STUNMessage m = {};
        m.type = 0x0101;
        for (int i = 0; i < 16; ++i) m.transactionId[i] = static_cast<uint8_t>(round * 31 + i);
        m.transactionId[0] = test;
        m.mappedAddress = {1, 1, 4444, 0xCB007107};
        m.changedAddress = {1, 1, 4445, 0xCB007108};
        uint8_t out[64];
        const size_t n = STUNEncodeMessage(&m, out, sizeof out, nullptr);
        for (int offset = 0; offset < 2; ++offset) {
          sockaddr_in to = {};
          to.sin_family = AF_INET;
          to.sin_addr.s_addr = htonl(kLoopback);
          to.sin_port = htons(static_cast<u_short>(probePort_ + offset));
          if (sendto(socket_, reinterpret_cast<const char*>(out), static_cast<int>(n), 0,
                     reinterpret_cast<sockaddr*>(&to), sizeof to) > 0)
            ++sent_;
        }
      }
      Sleep(5);
    }
  }
  int probePort_;
  SOCKET socket_;
  bool bound_ = false;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
};

struct ProbeRun {
  uint32_t serverPort;
  int probePort;
  int code = -1;
  uint32_t mapped = 0;
  int mappedPort = 0;
  bool preserved = false, hairpin = false;
};

DWORD WINAPI RunProbe(void* p) {
  ProbeRun* r = static_cast<ProbeRun*>(p);
  r->code = STUNTestNAT(kLoopback, static_cast<int>(r->serverPort), &r->mapped, &r->mappedPort, &r->preserved,
                        &r->hairpin, r->probePort);
  return 0;
}

// Runs the test on a thread of its own while the forger floods its ports;
// false when it did not end in time.
bool ProbeWhileForged(ProbeRun* run, int* forgedSent) {
  Forger forger(run->probePort);
  EXPECT_TRUE(forger.Ready());
  HANDLE thread = CreateThread(nullptr, 0, RunProbe, run, 0, nullptr);
  const bool ended = WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0;
  if (ended) CloseHandle(thread);
  *forgedSent = forger.Sent();
  return ended;
}

TEST_F(StunClient, IgnoresForgedAnswersFromAThirdPortWithoutAServer) {
  ProbeRun run{kSilentPort, 16954};
  int sent = 0;
  ASSERT_TRUE(ProbeWhileForged(&run, &sent)) << "a flood of forged answers held the test";
  EXPECT_GT(sent, 0);
  EXPECT_EQ(kSTUNCodeBlocked, run.code);
  EXPECT_EQ(0u, run.mapped);
  EXPECT_FALSE(run.hairpin);
}

TEST_F(StunClient, KeepsTheServersMappingWhileForgedAnswersArrive) {
  ProbeRun run{kServerPort, 16956};
  int sent = 0;
  ASSERT_TRUE(ProbeWhileForged(&run, &sent));
  EXPECT_GT(sent, 0);
  EXPECT_EQ(kSTUNCodeOpen, run.code);
  EXPECT_EQ(kLoopback, run.mapped);
  EXPECT_EQ(16956, run.mappedPort);
}

}  // namespace
