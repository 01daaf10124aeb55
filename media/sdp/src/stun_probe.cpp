// The NAT-type test's rounds, answers and verdict.
#include "media/stun_probe.h"

#include <cstring>

namespace {

constexpr uint16_t kBindingResponse = 0x0101;
constexpr uint8_t kTestNumbers[kSTUNProbeTests] = {kSTUNTest1, kSTUNTest2, kSTUNTest3, kSTUNTest10, kSTUNTest11};
enum { kSlot1, kSlot2, kSlot3, kSlot10, kSlot11 };

int SlotOf(uint8_t testNumber) {
  for (int i = 0; i < kSTUNProbeTests; ++i)
    if (kTestNumbers[i] == testNumber) return i;
  return -1;
}

// Where the answer of a test must come from and on which socket it must
// arrive. The server answers a change of address from its other address on
// the same port, a change of port from the same address on its other port.
bool ExpectedSender(const STUNNatProbe* p, int slot, int socketIndex, uint32_t from, uint16_t port) {
  switch (slot) {
    case kSlot1: return socketIndex == 0 && from == p->serverAddress && port == p->serverPort;
    case kSlot10: return socketIndex == 0 && p->changedAddress && from == p->changedAddress && port == p->serverPort;
    case kSlot11: return socketIndex == 0 && p->mappedAddress && from == p->mappedAddress && port == p->mappedPort;
    case kSlot2:
      if (socketIndex != 1 || port != p->serverPort || from == p->serverAddress) return false;
      return !p->changedAddress || from == p->changedAddress;
    case kSlot3:
      if (socketIndex != 1 || from != p->serverAddress || port == p->serverPort) return false;
      return !p->changedPort || port == p->changedPort;
  }
  return false;
}

void AddSend(const STUNNatProbe* p, int slot, int socketIndex, uint32_t address, uint16_t port, bool changeIP,
             bool changePort, STUNProbeSend* out) {
  STUNMessage request;
  const uint32_t none[4] = {0, 0, 0, 0};
  STUNBuildBindingRequest(&request, nullptr, changePort, changeIP, 0, none);
  memcpy(request.transactionId, p->ids[slot], 16);
  out->socketIndex = socketIndex;
  out->address = address;
  out->port = port;
  out->testNumber = kTestNumbers[slot];
  out->length = STUNEncodeMessage(&request, out->bytes, sizeof out->bytes, nullptr);
}

}  // namespace

void STUNProbeInit(STUNNatProbe* p, uint32_t serverAddress, uint16_t serverPort, uint16_t sourcePort,
                   const uint32_t random[kSTUNProbeTests][4]) {
  memset(p, 0, sizeof *p);
  p->serverAddress = serverAddress;
  p->serverPort = serverPort;
  p->sourcePort = sourcePort;
  p->sameMapping = true;
  for (int i = 0; i < kSTUNProbeTests; ++i) {
    for (int w = 0; w < 4; ++w)
      for (int b = 0; b < 4; ++b) p->ids[i][4 * w + b] = static_cast<uint8_t>(random[i][w] >> (8 * b));
    p->ids[i][0] = kTestNumbers[i];
  }
}

int STUNProbeWaitMs(const STUNNatProbe* p) {
  if (p->rounds >= kSTUNProbeRounds) return -1;
  return p->rounds == 0 ? 0 : kSTUNProbeRoundMs;
}

bool STUNProbeTakeDatagram(STUNNatProbe* p, int socketIndex, const uint8_t* data, size_t size, uint32_t fromAddress,
                           uint16_t fromPort) {
  STUNMessage m;
  if (!STUNParseMessage(data, size, &m)) return false;
  const int slot = SlotOf(m.transactionId[0]);
  if (slot < 0 || memcmp(m.transactionId, p->ids[slot], 16) != 0) return false;
  if (!ExpectedSender(p, slot, socketIndex, fromAddress, fromPort)) return false;
  // The hairpin test's datagram is our own request come back; the others
  // must be the server's binding responses, and the mapping tests must name
  // the mapping.
  if (slot != kSlot11 && m.type != kBindingResponse) return false;
  if ((slot == kSlot1 || slot == kSlot10) && !m.mappedAddress.present) return false;
  switch (slot) {
    case kSlot1:
      if (p->answered[kSlot1]) break;
      p->mappedAddress = m.mappedAddress.address;
      p->mappedPort = m.mappedAddress.port;
      p->portPreserved = m.mappedAddress.port == p->sourcePort;
      if (m.changedAddress.present) {
        p->changedAddress = m.changedAddress.address;
        p->changedPort = m.changedAddress.port;
      }
      p->rounds = 0;
      break;
    case kSlot10:
      if (p->answered[kSlot10]) break;
      p->sameMapping = m.mappedAddress.address == p->mappedAddress && m.mappedAddress.port == p->mappedPort;
      break;
    case kSlot11: p->hairpin = true; break;
    default: break;
  }
  p->answered[slot] = true;
  return true;
}

int STUNProbeTimeout(STUNNatProbe* p, STUNProbeSend out[kSTUNProbeTests]) {
  ++p->rounds;
  int n = 0;
  if (!p->answered[kSlot1]) AddSend(p, kSlot1, 0, p->serverAddress, p->serverPort, false, false, &out[n++]);
  if (p->answered[kSlot1] && !p->answered[kSlot10] && p->changedAddress && p->serverPort)
    AddSend(p, kSlot10, 0, p->changedAddress, p->serverPort, false, false, &out[n++]);
  if (!p->answered[kSlot2]) AddSend(p, kSlot2, 1, p->serverAddress, p->serverPort, true, false, &out[n++]);
  if (!p->answered[kSlot3]) AddSend(p, kSlot3, 1, p->serverAddress, p->serverPort, false, true, &out[n++]);
  if (p->answered[kSlot1] && !p->answered[kSlot11] && p->mappedAddress && p->mappedPort)
    AddSend(p, kSlot11, 0, p->mappedAddress, p->mappedPort, false, false, &out[n++]);
  return n;
}

int STUNProbeClassify(const STUNNatProbe* p, bool behindNat) {
  if (!p->answered[kSlot1]) return kSTUNCodeBlocked;
  if (!behindNat) return p->answered[kSlot2] ? kSTUNCodeOpen : kSTUNCodeSymmetricFirewall;
  if (p->answered[kSlot2]) return kSTUNCodeFullCone;
  if (p->sameMapping) return p->answered[kSlot3] ? kSTUNCodeRestricted : kSTUNCodePortRestricted;
  return kSTUNCodeSymmetric;
}

uint32_t STUNNatTypeFromCode(int code, bool portPreserved, bool hairpin) {
  uint32_t type;
  switch (code) {
    case kSTUNCodeOpen: type = kNATTypeOpen; break;
    case kSTUNCodeBlocked: type = kNATTypeBlocked; break;
    case kSTUNCodeFullCone: type = kNATTypeFullCone; break;
    case kSTUNCodeRestricted: type = kNATTypeRestricted; break;
    case kSTUNCodePortRestricted: type = kNATTypePortRestricted; break;
    case kSTUNCodeSymmetric: type = kNATTypeSymmetric; break;
    default: return kNATTypeUnclassified;
  }
  if (portPreserved) type |= kNATFlagPortPreserved;
  if (hairpin) type |= kNATFlagHairpin;
  return type;
}
