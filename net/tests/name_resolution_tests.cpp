#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "log_capture.h"
#include "net/ipv4_text.h"
#include "net/name_resolution.h"
#include "socket_pair.h"

namespace {

const uint32_t kLoopback = 0x0100007F;
const uint32_t kOther = 0x0200007F;  // 127.0.0.2
constexpr int kDnsPort = 16053;      // dnsmasq of tests/peers/zone.conf

// Look-ups asked of the test zone's server for the life of the object.
class TestZone {
 public:
  TestZone() {
    nettest::StartWinsock();
    ClearNameCache();
    SetDnsServer(kLoopback, kDnsPort);
  }
  ~TestZone() {
    SetDnsServer(0, 0);
    ClearNameCache();
  }
};

struct PortCase {
  const char* name;
  const char* host;
  int portIn;
  int portOut;
};

const PortCase kPortCases[] = {
    {"NoPortInTheTextAndZeroGives5060", "127.0.0.1", 0, 5060},
    {"NoPortInTheTextKeepsTheDefault", "127.0.0.1", 25, 25},
    {"APortInTheTextWins", "127.0.0.1:5080", 25, 5080},
    {"BlanksAroundHostAndPort", "  127.0.0.1 : 5081 ", 0, 5081},
    {"APortThatIsNoNumberGives5060", "127.0.0.1:sip", 25, 5060},
    {"APortOutOfRangeGives5060", "127.0.0.1:70000", 0, 5060},
};

class HostPort : public testing::TestWithParam<PortCase> {};

TEST_P(HostPort, IsTakenFromTheTextOrTheDefault) {
  nettest::StartWinsock();
  int port = GetParam().portIn;
  EXPECT_EQ(kLoopback, GetHostIP(GetParam().host, false, &port));
  EXPECT_EQ(GetParam().portOut, port);
}

INSTANTIATE_TEST_SUITE_P(Texts, HostPort, testing::ValuesIn(kPortCases),
                         [](const testing::TestParamInfo<PortCase>& info) { return std::string(info.param.name); });

TEST(HostAddress, TheUnspecifiedAddressIsRefusedAsInvalid) {
  nettest::StartWinsock();
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(INADDR_NONE, GetHostIP(" 0.0.0.0 ", true, nullptr));
  EXPECT_NE(std::string::npos, log.Contents().find("GetHostIP: [INVALID] \"0.0.0.0\""));
  EXPECT_FALSE(FindCachedName("0.0.0.0", nullptr, nullptr));
}

TEST(HostAddress, EmptyAndOverlongHostsFailWithoutOverrun) {
  nettest::StartWinsock();
  EXPECT_EQ(INADDR_NONE, GetHostIP("", false, nullptr));
  EXPECT_EQ(INADDR_NONE, GetHostIP(" :5060", false, nullptr));
  const std::string huge(5000, 'a');
  EXPECT_EQ(INADDR_NONE, GetHostIP(huge.c_str(), false, nullptr));
}

TEST(HostAddress, ThisComputersNameResolvesWithoutAHost) {
  nettest::StartWinsock();
  int port = 0;
  EXPECT_NE(INADDR_NONE, GetHostIP(nullptr, false, &port));
  EXPECT_EQ(5060, port);
}

TEST(NameCache, KeepsANameUnderTheHostAloneAndAsksOnceUntilEmptied) {
  TestZone zone;
  int port = 0;
  EXPECT_EQ(kOther, GetHostIP("other.zeq.test:5080", true, &port));
  EXPECT_EQ(5080, port);
  uint32_t cached = 0;
  DWORD firstTick = 0;
  ASSERT_TRUE(FindCachedName("OTHER.zeq.test", &cached, &firstTick));
  EXPECT_EQ(kOther, cached);
  EXPECT_FALSE(FindCachedName("other.zeq.test:5080", nullptr, nullptr));

  // The second look-up is answered from the cache: with the server gone it
  // still gives the address, and the entry keeps its first tick.
  Sleep(20);
  SetDnsServer(kLoopback, 1);  // nothing answers there
  EXPECT_EQ(kOther, GetHostIP(" other.zeq.test ", true, nullptr));
  DWORD tick = 0;
  ASSERT_TRUE(FindCachedName("other.zeq.test", nullptr, &tick));
  EXPECT_EQ(firstTick, tick);

  // Emptied (the local address changed), the name is asked again.
  ClearNameCache();
  SetDnsServer(kLoopback, kDnsPort);
  EXPECT_EQ(kOther, GetHostIP("other.zeq.test", true, nullptr));
  ASSERT_TRUE(FindCachedName("other.zeq.test", nullptr, &tick));
}

TEST(NameCache, AnUnresolvedNameIsNotKept) {
  TestZone zone;
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(INADDR_NONE, GetHostIP("gone.zeq.test", true, nullptr));
  EXPECT_FALSE(FindCachedName("gone.zeq.test", nullptr, nullptr));
  EXPECT_NE(std::string::npos, log.Contents().find("GetHostIP: [ERROR] \"gone.zeq.test\""));
}

TEST(DnsServiceRecords, AreAnsweredByTheTestZonesServer) {
  TestZone zone;
  ASSERT_TRUE(IsDnsQueryAvailable());
  std::vector<net::DnsSrvRecord> records;
  ASSERT_EQ(0, QueryDnsSrv("_sip._udp.srv.zeq.test", &records));
  ASSERT_EQ(3u, records.size());
  std::sort(records.begin(), records.end(),
            [](const net::DnsSrvRecord& a, const net::DnsSrvRecord& b) { return a.port < b.port; });
  EXPECT_EQ("sip-a.zeq.test", records[0].target);
  EXPECT_EQ(10, records[0].priority);
  EXPECT_EQ(40, records[0].weight);
  EXPECT_EQ(16071, records[0].port);
  EXPECT_EQ("sip-b.zeq.test", records[1].target);
  EXPECT_EQ(60, records[1].weight);
  EXPECT_EQ("sip-c.zeq.test", records[2].target);
  EXPECT_EQ(5, records[2].priority);
}

TEST(DnsServiceRecords, AnUnknownNameAndASilentServerAreFailures) {
  TestZone zone;
  std::vector<net::DnsSrvRecord> records;
  EXPECT_EQ(net::kDnsStatusNameError, QueryDnsSrv("_sip._udp.nothere.zeq.test", &records));
  EXPECT_TRUE(records.empty());
  SetDnsServer(kLoopback, 1);
  const DWORD start = GetTickCount();
  EXPECT_NE(0, QueryDnsSrv("_sip._udp.srv.zeq.test", &records));
  EXPECT_LT(GetTickCount() - start, 10000u);  // bounded, not a speed goal
  EXPECT_TRUE(records.empty());
}

}  // namespace

namespace {

TEST(IcmpEcho, TheLoopbackAddressAnswersAndABadHandleDoesNot) {
  nettest::StartWinsock();
  HMODULE icmp = LoadLibraryA("ICMP.DLL");
  ASSERT_NE(nullptr, icmp);
  auto create = reinterpret_cast<HANDLE(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(icmp, "IcmpCreateFile")));
  auto close = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(reinterpret_cast<void*>(GetProcAddress(icmp, "IcmpCloseHandle")));
  HANDLE handle = create();
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  EXPECT_GE(PingHost(handle, "127.0.0.1", 1000, nullptr), 0);
  EXPECT_GE(PingHost(handle, "127.0.0.1", 1000, "a payload of its own"), 0);
  close(handle);
  EXPECT_EQ(-1, PingHost(INVALID_HANDLE_VALUE, "127.0.0.1", 1000, nullptr));
  EXPECT_EQ(1, PingHostWithRetries("127.0.0.1", nullptr));
}

}  // namespace
