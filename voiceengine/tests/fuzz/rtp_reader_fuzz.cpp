// libFuzzer harness: the RTP and RTCP readers on arbitrary datagrams, and
// what they report stays within the datagram.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "rtp_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  voe::RtpHeader header;
  if (voe::ReadRtp(data, size, &header)) {
    if (header.headerLength + header.payloadLength > size || header.headerLength < 12) std::abort();
  }
  voe::RtcpInfo info;
  if (voe::ReadRtcp(data, size, &info)) {
    if (info.blockCount < 0 || info.blockCount > 31) std::abort();
  }
  return 0;
}
