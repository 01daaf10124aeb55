// Fuzzes the STUN parser, then the NAT test's answer matching with the same
// bytes from the server, and re-encodes what was read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "media/stun.h"
#include "media/stun_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy exactly as large as the datagram: a read past it is caught.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  if (size) memcpy(copy.get(), data, size);
  STUNMessage message;
  if (STUNParseMessage(copy.get(), size, &message)) {
    uint8_t out[kSTUNMaxMessage];
    STUNEncodeMessage(&message, out, sizeof out, "pw");
    uint8_t small[24];
    STUNEncodeMessage(&message, small, sizeof small, nullptr);
  }
  static const uint32_t random[kSTUNProbeTests][4] = {};
  STUNNatProbe probe;
  STUNProbeInit(&probe, 0x7F000001, 16978, 16950, random);
  STUNProbeSend sends[kSTUNProbeTests];
  STUNProbeTimeout(&probe, sends);
  for (int socketIndex = 0; socketIndex < 2; ++socketIndex)
    STUNProbeTakeDatagram(&probe, socketIndex, copy.get(), size, 0x7F000001, 16978);
  STUNProbeTimeout(&probe, sends);
  STUNProbeClassify(&probe, true);
  return 0;
}
