// Reading and writing RTP and RTCP packets (RFC 3550). Pure: no platform
// calls, so that the native build fuzzes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voe {

struct RtpHeader {
  uint8_t payloadType = 0;
  bool marker = false;
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  size_t headerLength = 0;   // fixed header, CSRCs and extension
  size_t payloadLength = 0;  // without padding
};

// False for anything that is not a well-formed version-2 RTP packet: short,
// wrong version, CSRC list, extension or padding running past the end.
bool ReadRtp(const uint8_t* data, size_t size, RtpHeader* header);

// The 12-byte fixed header; returns 12, or 0 when it does not fit.
size_t WriteRtpHeader(uint8_t* out, size_t capacity, uint8_t payloadType, bool marker,
                      uint16_t sequence, uint32_t timestamp, uint32_t ssrc);

struct RtcpReportBlock {
  uint32_t ssrc = 0;            // the source this block reports on
  uint8_t fractionLost = 0;
  int32_t cumulativeLost = 0;   // 24-bit signed on the wire
  uint32_t extendedMax = 0;
  uint32_t jitter = 0;
  uint32_t lastSr = 0;          // middle 32 bits of the NTP time of the last SR
  uint32_t delaySinceLastSr = 0;  // 1/65536 s
};

struct RtcpSenderInfo {
  uint32_t ntpSeconds = 0;
  uint32_t ntpFraction = 0;
  uint32_t rtpTimestamp = 0;
  uint32_t packetCount = 0;
  uint32_t octetCount = 0;
};

// What one compound RTCP packet said.
struct RtcpInfo {
  uint32_t senderSsrc = 0;
  bool hasSenderInfo = false;
  RtcpSenderInfo senderInfo;
  int blockCount = 0;
  RtcpReportBlock blocks[31];
  bool bye = false;
  int byeCount = 0;            // the sources that left, as the BYE parts list them
  uint32_t byeSsrcs[31] = {};
};

// Walks a compound packet: every part must be version 2 and lie within the
// datagram, and the first must be a sender or receiver report. Parts other
// than SR, RR and BYE are skipped.
bool ReadRtcp(const uint8_t* data, size_t size, RtcpInfo* info);

// A sender report (with sender info) or a receiver report, with at most one
// report block, followed by an SDES part with the CNAME. Returns the length,
// or 0 when it does not fit.
size_t WriteRtcpReport(uint8_t* out, size_t capacity, uint32_t ssrc, const RtcpSenderInfo* sender,
                       const RtcpReportBlock* block, const char* cname);

// Appends a BYE part (RFC 3550 6.6) for one source to a compound packet
// written at out; returns its length (8), or 0 when it does not fit.
size_t WriteRtcpBye(uint8_t* out, size_t capacity, uint32_t ssrc);

// Counters of one received stream: sequence tracking with wrap (RFC 3550
// appendix A.1) and interarrival jitter (A.8).
class ReceiveStatistics {
 public:
  void Reset();
  // Arrival time in units of the stream's RTP clock.
  void OnPacket(uint16_t sequence, uint32_t timestamp, uint32_t arrivalClock);
  bool started() const { return started_; }
  uint32_t extendedMax() const { return cycles_ + maxSeq_; }
  uint32_t jitter() const { return jitter_ >> 4; }
  uint32_t received() const { return received_; }
  int32_t cumulativeLost() const;
  // The fraction lost since the last call, in 1/256 (and starts a new interval).
  uint8_t TakeFractionLost();

 private:
  bool started_ = false;
  uint16_t maxSeq_ = 0;
  uint32_t cycles_ = 0;
  uint32_t baseSeq_ = 0;
  uint32_t received_ = 0;
  uint32_t expectedPrior_ = 0;
  uint32_t receivedPrior_ = 0;
  int64_t lastTransit_ = 0;
  uint32_t jitter_ = 0;  // scaled by 16
};

}  // namespace voe
