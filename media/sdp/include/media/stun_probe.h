// The classic NAT-type test as a state machine without sockets: the caller
// waits as told, hands every datagram that arrives to the probe, and sends
// what the probe asks for on each time-out. The probe keeps the whole
// transaction id and the expected source of each test, so an answer counts
// only when all sixteen bytes and the sender match (a datagram from anyone
// else, or one that does not parse, is dropped).
#pragma once
#include <cstddef>
#include <cstdint>

#include "media/stun.h"

// Test numbers, written into byte 0 of the transaction id.
constexpr uint8_t kSTUNTest1 = 1;    // plain request to the server
constexpr uint8_t kSTUNTest2 = 2;    // change IP
constexpr uint8_t kSTUNTest3 = 3;    // change port
constexpr uint8_t kSTUNTest10 = 10;  // test 1 towards the server's other address
constexpr uint8_t kSTUNTest11 = 11;  // to our own mapped address (hairpin)
constexpr int kSTUNProbeTests = 5;
constexpr int kSTUNProbeRounds = 7;
constexpr int kSTUNProbeRoundMs = 150;

// Classification codes of a finished probe.
constexpr int kSTUNCodeFailed = 1;          // sockets could not be opened
constexpr int kSTUNCodeOpen = 2;
constexpr int kSTUNCodeBlocked = 3;
constexpr int kSTUNCodeFullCone = 8;
constexpr int kSTUNCodeRestricted = 9;
constexpr int kSTUNCodePortRestricted = 10;
constexpr int kSTUNCodeSymmetric = 11;
constexpr int kSTUNCodeSymmetricFirewall = 13;

// NATType words of an account.
constexpr uint32_t kNATTypeUnclassified = 1;
constexpr uint32_t kNATTypeOpen = 0x200;
constexpr uint32_t kNATTypeFullCone = 0x400;
constexpr uint32_t kNATTypeRestricted = 0x800;
constexpr uint32_t kNATTypePortRestricted = 0x1000;
constexpr uint32_t kNATTypeSymmetric = 0x2000;
constexpr uint32_t kNATTypeBlocked = 0x4000;
constexpr uint32_t kNATFlagPortPreserved = 0x40000000;
constexpr uint32_t kNATFlagHairpin = 0x80000000;

struct STUNProbeSend {
  int socketIndex;   // 0: the source port, 1: the source port + 1
  uint32_t address;  // host order
  uint16_t port;
  uint8_t testNumber;
  size_t length;
  uint8_t bytes[28];
};

struct STUNNatProbe {
  uint32_t serverAddress;  // host order
  uint16_t serverPort;
  uint16_t sourcePort;
  uint8_t ids[kSTUNProbeTests][16];  // one id per test, kept for its retransmissions
  bool answered[kSTUNProbeTests];
  uint32_t mappedAddress;
  uint16_t mappedPort;
  bool portPreserved;
  bool hairpin;
  uint32_t changedAddress;  // from test 1's CHANGED-ADDRESS
  uint16_t changedPort;
  bool sameMapping;
  int rounds;
};

// random: four words of each test's transaction id, in the order 1, 2, 3,
// 10, 11.
void STUNProbeInit(STUNNatProbe* probe, uint32_t serverAddress, uint16_t serverPort, uint16_t sourcePort,
                   const uint32_t random[kSTUNProbeTests][4]);
// Milliseconds to wait for answers before the next time-out; -1 when the
// probe is over.
int STUNProbeWaitMs(const STUNNatProbe* probe);
// One datagram received on socketIndex from address:port (host order).
// True when it was taken as the answer of one of the tests.
bool STUNProbeTakeDatagram(STUNNatProbe* probe, int socketIndex, const uint8_t* data, size_t size,
                           uint32_t fromAddress, uint16_t fromPort);
// A wait ran out: the round counter rises and out receives the requests to
// send now (at most kSTUNProbeTests); their count.
int STUNProbeTimeout(STUNNatProbe* probe, STUNProbeSend out[kSTUNProbeTests]);
// The classification once the rounds are over; behindNat: the mapped
// address is not one of this machine's.
int STUNProbeClassify(const STUNNatProbe* probe, bool behindNat);
// The account's NATType word for a classification code and the two flags.
uint32_t STUNNatTypeFromCode(int code, bool portPreserved, bool hairpin);
