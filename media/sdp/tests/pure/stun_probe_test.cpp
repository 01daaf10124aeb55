// The NAT-type test's rounds against scripted servers and NATs, and the
// answers it must not believe.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/stun.h"
#include "media/stun_probe.h"

namespace {

constexpr uint32_t kServer = 0xC6336401;  // 198.51.100.1
constexpr uint32_t kOther = 0xC6336402;   // the server's other address
constexpr uint16_t kPort = 3478, kOtherPort = 3479;
constexpr uint16_t kSource = 20000;
constexpr uint32_t kLocal = 0x0A000002;   // this machine
constexpr uint32_t kPublic = 0xCB007107;  // a NAT's outside address

const uint32_t kRandom[kSTUNProbeTests][4] = {{0x01020304, 5, 6, 7}, {0x11121314, 8, 9, 10},
                                              {0x21222324, 11, 12, 13}, {0x31323334, 14, 15, 16},
                                              {0x41424344, 17, 18, 19}};

// What lies between the probe and a classic server.
struct Network {
  uint32_t mappedAddress;
  uint16_t mappedPort;       // seen by the server for socket 0
  uint16_t otherMappedPort;  // seen at the server's other address
  bool answers;              // the server is reachable at all
  bool letsChangedIPIn;      // an answer from the other address gets in
  bool letsChangedPortIn;    // an answer from the other port gets in
  bool hairpin;              // a datagram to the own mapping comes back
};

struct Datagram {
  int socketIndex;
  std::vector<uint8_t> bytes;
  uint32_t from;
  uint16_t fromPort;
};

std::vector<uint8_t> Response(const uint8_t id[16], uint32_t mapped, uint16_t mappedPort, uint32_t source,
                              uint16_t sourcePort, bool withMapped = true) {
  STUNMessage m = {};
  m.type = 0x0101;
  memcpy(m.transactionId, id, 16);
  m.mappedAddress = {withMapped ? 1 : 0, 1, mappedPort, mapped};
  m.sourceAddress = {1, 1, sourcePort, source};
  m.changedAddress = {1, 1, kOtherPort, kOther};
  uint8_t out[kSTUNMaxMessage];
  const size_t n = STUNEncodeMessage(&m, out, sizeof out, nullptr);
  return std::vector<uint8_t>(out, out + n);
}

// The server's and the NAT's answer to one request, if any gets back.
bool Answer(const Network& net, const STUNProbeSend& send, Datagram* answer) {
  STUNMessage request;
  if (!STUNParseMessage(send.bytes, send.length, &request)) return false;
  if (send.socketIndex == 0 && send.address == net.mappedAddress && send.port == net.mappedPort) {
    if (!net.hairpin) return false;
    *answer = {0, std::vector<uint8_t>(send.bytes, send.bytes + send.length), net.mappedAddress, net.mappedPort};
    return true;
  }
  if (!net.answers) return false;
  const bool toOther = send.address == kOther;
  const bool changeIP = request.changeRequest & kSTUNChangeIP;
  const bool changePort = request.changeRequest & kSTUNChangePort;
  if ((changeIP && !net.letsChangedIPIn) || (!changeIP && changePort && !net.letsChangedPortIn)) return false;
  const uint32_t from = (toOther != changeIP) ? kOther : kServer;
  const uint16_t fromPort = changePort ? kOtherPort : kPort;
  uint16_t seenPort = toOther ? net.otherMappedPort : net.mappedPort;
  if (send.socketIndex == 1) seenPort = static_cast<uint16_t>(seenPort + 1);
  *answer = {send.socketIndex, Response(request.transactionId, net.mappedAddress, seenPort, from, fromPort), from,
             fromPort};
  return true;
}

struct Outcome {
  uint32_t natType;
  int timeouts;
  uint32_t mappedAddress;
};

Outcome RunProbe(const Network& net) {
  STUNNatProbe probe;
  STUNProbeInit(&probe, kServer, kPort, kSource, kRandom);
  std::vector<Datagram> inFlight;
  int timeouts = 0;
  for (int guard = 0; guard < 100 && STUNProbeWaitMs(&probe) >= 0; ++guard) {
    if (!inFlight.empty()) {
      for (const Datagram& d : inFlight)
        STUNProbeTakeDatagram(&probe, d.socketIndex, d.bytes.data(), d.bytes.size(), d.from, d.fromPort);
      inFlight.clear();
      continue;
    }
    STUNProbeSend sends[kSTUNProbeTests];
    const int n = STUNProbeTimeout(&probe, sends);
    ++timeouts;
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(28u, sends[i].length);
      Datagram d;
      if (Answer(net, sends[i], &d)) inFlight.push_back(d);
    }
  }
  const int code = STUNProbeClassify(&probe, probe.mappedAddress != kLocal);
  return {STUNNatTypeFromCode(code, probe.portPreserved, probe.hairpin), timeouts, probe.mappedAddress};
}

struct NatCase {
  const char* name;
  Network net;
  uint32_t natType;
};

class StunNatTest : public testing::TestWithParam<NatCase> {};

TEST_P(StunNatTest, ClassifiesTheNetwork) {
  const Outcome o = RunProbe(GetParam().net);
  EXPECT_EQ(GetParam().natType, o.natType) << std::hex << o.natType;
}

INSTANTIATE_TEST_SUITE_P(
    Networks, StunNatTest,
    testing::Values(
        NatCase{"OpenWithHairpin", {kLocal, kSource, kSource, true, true, true, true}, 0xC0000200},
        NatCase{"OpenKeepsThePort", {kLocal, kSource, kSource, true, true, true, false}, 0x40000200},
        NatCase{"FullCone", {kPublic, 40000, 40000, true, true, true, false}, 0x400},
        NatCase{"RestrictedConeKeepingThePort", {kPublic, kSource, kSource, true, false, true, false}, 0x40000800},
        NatCase{"PortRestrictedCone", {kPublic, 40000, 40000, true, false, false, true}, 0x80001000},
        NatCase{"Symmetric", {kPublic, 40000, 40002, true, false, false, false}, 0x2000},
        NatCase{"SymmetricFirewallIsUnclassified", {kLocal, kSource, kSource, true, false, true, false}, 1}),
    [](const testing::TestParamInfo<NatCase>& info) { return std::string(info.param.name); });

TEST(StunNatTest, IsBlockedAfterSevenTimeoutsWithoutAnyAnswer) {
  const Outcome o = RunProbe({kPublic, 40000, 40000, false, false, false, false});
  EXPECT_EQ(kNATTypeBlocked, o.natType);
  EXPECT_EQ(kSTUNProbeRounds, o.timeouts);
  EXPECT_EQ(0u, o.mappedAddress);
}

TEST(StunNatTest, AsksEachTestFromItsSocketAndKeepsItsTransactionIdForRetransmissions) {
  STUNNatProbe probe;
  STUNProbeInit(&probe, kServer, kPort, kSource, kRandom);
  EXPECT_EQ(0, STUNProbeWaitMs(&probe));
  STUNProbeSend first[kSTUNProbeTests], again[kSTUNProbeTests];
  ASSERT_EQ(3, STUNProbeTimeout(&probe, first));
  EXPECT_EQ(kSTUNProbeRoundMs, STUNProbeWaitMs(&probe));
  ASSERT_EQ(3, STUNProbeTimeout(&probe, again));
  const struct {
    uint8_t test;
    int socketIndex;
    uint32_t flags;
  } expected[] = {{1, 0, 0}, {2, 1, kSTUNChangeIP}, {3, 1, kSTUNChangePort}};
  for (int i = 0; i < 3; ++i) {
    STUNMessage m;
    ASSERT_TRUE(STUNParseMessage(first[i].bytes, first[i].length, &m));
    EXPECT_EQ(expected[i].test, m.transactionId[0]);
    EXPECT_EQ(expected[i].socketIndex, first[i].socketIndex);
    EXPECT_EQ(expected[i].flags, m.changeRequest);
    EXPECT_EQ(kServer, first[i].address);
    EXPECT_EQ(0, memcmp(first[i].bytes, again[i].bytes, 28));
  }
}

// A datagram that must not count as the answer to test 1.
struct ForgeryCase {
  const char* name;
  int socketIndex;
  uint32_t from;
  uint16_t fromPort;
  int idByteChanged;  // -1: the right id
  uint16_t type;
  bool withMapped;
  bool unparseable;
};

class StunForgedAnswer : public testing::TestWithParam<ForgeryCase> {};

TEST_P(StunForgedAnswer, IsIgnoredAndTheRealAnswerStillCounts) {
  const ForgeryCase& c = GetParam();
  STUNNatProbe probe;
  STUNProbeInit(&probe, kServer, kPort, kSource, kRandom);
  STUNProbeSend sends[kSTUNProbeTests];
  STUNProbeTimeout(&probe, sends);
  STUNMessage request;
  ASSERT_TRUE(STUNParseMessage(sends[0].bytes, sends[0].length, &request));

  uint8_t id[16];
  memcpy(id, request.transactionId, 16);
  if (c.idByteChanged >= 0) id[c.idByteChanged] ^= 0x5A;
  std::vector<uint8_t> forged = Response(id, 0x01010101, 4444, c.from, c.fromPort, c.withMapped);
  forged[0] = static_cast<uint8_t>(c.type >> 8);
  forged[1] = static_cast<uint8_t>(c.type);
  if (c.unparseable) {
    const uint8_t unknown[] = {0x00, 0x30, 0x00, 0x00};
    forged.insert(forged.end(), unknown, unknown + 4);
    forged[3] = static_cast<uint8_t>(forged.size() - 20);
  }
  EXPECT_FALSE(STUNProbeTakeDatagram(&probe, c.socketIndex, forged.data(), forged.size(), c.from, c.fromPort));
  EXPECT_FALSE(probe.answered[0]);
  EXPECT_EQ(0u, probe.mappedAddress);

  const std::vector<uint8_t> real = Response(request.transactionId, kPublic, 40000, kServer, kPort);
  EXPECT_TRUE(STUNProbeTakeDatagram(&probe, 0, real.data(), real.size(), kServer, kPort));
  EXPECT_EQ(kPublic, probe.mappedAddress);
  EXPECT_EQ(40000, probe.mappedPort);
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, StunForgedAnswer,
    testing::Values(ForgeryCase{"FromAThirdPort", 0, kServer, 16960, -1, 0x0101, true, false},
                    ForgeryCase{"FromAnotherHost", 0, 0x0A0A0A0A, kPort, -1, 0x0101, true, false},
                    ForgeryCase{"WithTheTestNumberButAnotherId", 0, kServer, kPort, 9, 0x0101, true, false},
                    ForgeryCase{"WithTheLastIdByteChanged", 0, kServer, kPort, 15, 0x0101, true, false},
                    ForgeryCase{"OnTheOtherSocket", 1, kServer, kPort, -1, 0x0101, true, false},
                    ForgeryCase{"ThatFailsToParse", 0, kServer, kPort, -1, 0x0101, true, true},
                    ForgeryCase{"ARequestInsteadOfAResponse", 0, kServer, kPort, -1, 0x0001, true, false},
                    ForgeryCase{"AnErrorResponse", 0, kServer, kPort, -1, 0x0111, true, false},
                    ForgeryCase{"WithoutMappedAddress", 0, kServer, kPort, -1, 0x0101, false, false}),
    [](const testing::TestParamInfo<ForgeryCase>& info) { return std::string(info.param.name); });

TEST(StunNatTest, MapsEveryClassificationToItsWord) {
  const struct {
    int code;
    uint32_t word;
  } cases[] = {{kSTUNCodeOpen, 0x200},          {kSTUNCodeBlocked, 0x4000},   {kSTUNCodeFullCone, 0x400},
               {kSTUNCodeRestricted, 0x800},    {kSTUNCodePortRestricted, 0x1000}, {kSTUNCodeSymmetric, 0x2000},
               {kSTUNCodeFailed, 1},            {kSTUNCodeSymmetricFirewall, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.word, STUNNatTypeFromCode(c.code, false, false)) << c.code;
    // The flags go with a classified word only.
    EXPECT_EQ(c.word == 1 ? 1u : c.word | 0xC0000000u, STUNNatTypeFromCode(c.code, true, true)) << c.code;
  }
}

}  // namespace
