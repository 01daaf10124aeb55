#include "rtp_packet.h"

#include <cstring>

namespace voe {
namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Get32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

constexpr uint8_t kSenderReport = 200;
constexpr uint8_t kReceiverReport = 201;
constexpr uint8_t kSourceDescription = 202;
constexpr uint8_t kBye = 203;

void ReadBlock(const uint8_t* p, RtcpReportBlock* block) {
  block->ssrc = Get32(p);
  block->fractionLost = p[4];
  int32_t lost = static_cast<int32_t>((p[5] << 16) | (p[6] << 8) | p[7]);
  if (lost & 0x800000) lost -= 0x1000000;
  block->cumulativeLost = lost;
  block->extendedMax = Get32(p + 8);
  block->jitter = Get32(p + 12);
  block->lastSr = Get32(p + 16);
  block->delaySinceLastSr = Get32(p + 20);
}

}  // namespace

bool ReadRtp(const uint8_t* data, size_t size, RtpHeader* header) {
  if (!data || size < 12 || (data[0] >> 6) != 2) return false;
  const bool padding = (data[0] & 0x20) != 0;
  const bool extension = (data[0] & 0x10) != 0;
  const size_t csrcs = data[0] & 0x0F;
  size_t length = 12 + 4 * csrcs;
  if (length > size) return false;
  if (extension) {
    if (length + 4 > size) return false;
    const size_t words = Get16(data + length + 2);
    length += 4 + 4 * words;
    if (length > size) return false;
  }
  size_t pad = 0;
  if (padding) {
    pad = data[size - 1];
    if (pad == 0 || pad > size - length) return false;
  }
  header->payloadType = data[1] & 0x7F;
  header->marker = (data[1] & 0x80) != 0;
  header->sequence = Get16(data + 2);
  header->timestamp = Get32(data + 4);
  header->ssrc = Get32(data + 8);
  header->headerLength = length;
  header->payloadLength = size - length - pad;
  return true;
}

size_t WriteRtpHeader(uint8_t* out, size_t capacity, uint8_t payloadType, bool marker,
                      uint16_t sequence, uint32_t timestamp, uint32_t ssrc) {
  if (capacity < 12) return 0;
  out[0] = 0x80;
  out[1] = static_cast<uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F));
  Put16(out + 2, sequence);
  Put32(out + 4, timestamp);
  Put32(out + 8, ssrc);
  return 12;
}

bool ReadRtcp(const uint8_t* data, size_t size, RtcpInfo* info) {
  if (!data || size < 8) return false;
  *info = RtcpInfo();
  size_t offset = 0;
  bool first = true;
  while (offset < size) {
    if (size - offset < 4) return false;
    const uint8_t* part = data + offset;
    if ((part[0] >> 6) != 2) return false;
    const size_t length = 4 * (static_cast<size_t>(Get16(part + 2)) + 1);
    if (length > size - offset) return false;
    const uint8_t type = part[1];
    const int count = part[0] & 0x1F;
    if (first && type != kSenderReport && type != kReceiverReport) return false;
    first = false;
    if (type == kSenderReport || type == kReceiverReport) {
      const size_t fixed = type == kSenderReport ? 28 : 8;
      if (length < fixed + 24 * static_cast<size_t>(count)) return false;
      info->senderSsrc = Get32(part + 4);
      if (type == kSenderReport) {
        info->hasSenderInfo = true;
        info->senderInfo.ntpSeconds = Get32(part + 8);
        info->senderInfo.ntpFraction = Get32(part + 12);
        info->senderInfo.rtpTimestamp = Get32(part + 16);
        info->senderInfo.packetCount = Get32(part + 20);
        info->senderInfo.octetCount = Get32(part + 24);
      }
      for (int i = 0; i < count && info->blockCount < 31; ++i) {
        ReadBlock(part + fixed + 24 * i, &info->blocks[info->blockCount++]);
      }
    } else if (type == kBye) {
      if (length < 4 + 4 * static_cast<size_t>(count)) return false;
      info->bye = true;
      for (int i = 0; i < count && info->byeCount < 31; ++i) info->byeSsrcs[info->byeCount++] = Get32(part + 4 + 4 * i);
    }
    offset += length;
  }
  return true;
}

size_t WriteRtcpBye(uint8_t* out, size_t capacity, uint32_t ssrc) {
  if (capacity < 8) return 0;
  out[0] = 0x81;
  out[1] = kBye;
  Put16(out + 2, 1);
  Put32(out + 4, ssrc);
  return 8;
}

size_t WriteRtcpReport(uint8_t* out, size_t capacity, uint32_t ssrc, const RtcpSenderInfo* sender,
                       const RtcpReportBlock* block, const char* cname) {
  const size_t cnameLength = cname ? std::strlen(cname) : 0;
  if (cnameLength > 255) return 0;
  const size_t reportLength = 8 + (sender ? 20 : 0) + (block ? 24 : 0);
  // SDES: header, SSRC, CNAME item, end item, padded to 32 bits.
  const size_t sdesLength = (8 + 2 + cnameLength + 1 + 3) & ~static_cast<size_t>(3);
  if (capacity < reportLength + sdesLength) return 0;
  std::memset(out, 0, reportLength + sdesLength);
  out[0] = static_cast<uint8_t>(0x80 | (block ? 1 : 0));
  out[1] = sender ? kSenderReport : kReceiverReport;
  Put16(out + 2, static_cast<uint16_t>(reportLength / 4 - 1));
  Put32(out + 4, ssrc);
  size_t at = 8;
  if (sender) {
    Put32(out + at, sender->ntpSeconds);
    Put32(out + at + 4, sender->ntpFraction);
    Put32(out + at + 8, sender->rtpTimestamp);
    Put32(out + at + 12, sender->packetCount);
    Put32(out + at + 16, sender->octetCount);
    at += 20;
  }
  if (block) {
    Put32(out + at, block->ssrc);
    out[at + 4] = block->fractionLost;
    int32_t lost = block->cumulativeLost;
    if (lost > 0x7FFFFF) lost = 0x7FFFFF;
    if (lost < -0x800000) lost = -0x800000;
    const uint32_t lost24 = static_cast<uint32_t>(lost) & 0xFFFFFF;
    out[at + 5] = static_cast<uint8_t>(lost24 >> 16);
    out[at + 6] = static_cast<uint8_t>(lost24 >> 8);
    out[at + 7] = static_cast<uint8_t>(lost24);
    Put32(out + at + 8, block->extendedMax);
    Put32(out + at + 12, block->jitter);
    Put32(out + at + 16, block->lastSr);
    Put32(out + at + 20, block->delaySinceLastSr);
    at += 24;
  }
  uint8_t* sdes = out + at;
  sdes[0] = 0x81;
  sdes[1] = kSourceDescription;
  Put16(sdes + 2, static_cast<uint16_t>(sdesLength / 4 - 1));
  Put32(sdes + 4, ssrc);
  sdes[8] = 1;  // CNAME
  sdes[9] = static_cast<uint8_t>(cnameLength);
  if (cnameLength) std::memcpy(sdes + 10, cname, cnameLength);
  return reportLength + sdesLength;
}

void ReceiveStatistics::Reset() { *this = ReceiveStatistics(); }

void ReceiveStatistics::OnPacket(uint16_t sequence, uint32_t timestamp, uint32_t arrivalClock) {
  const int64_t transit = static_cast<int64_t>(arrivalClock) - static_cast<int64_t>(timestamp);
  if (!started_) {
    started_ = true;
    baseSeq_ = sequence;
    maxSeq_ = sequence;
    cycles_ = 0;
    received_ = 1;
    lastTransit_ = transit;
    return;
  }
  const uint16_t delta = static_cast<uint16_t>(sequence - maxSeq_);
  if (delta < 0x8000) {
    if (sequence < maxSeq_) cycles_ += 0x10000;  // wrapped forward
    maxSeq_ = sequence;
  }
  ++received_;
  int64_t d = static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(transit - lastTransit_)));
  lastTransit_ = transit;
  if (d < 0) d = -d;
  // J += (|D| - J) / 16, kept scaled by 16.
  jitter_ += static_cast<uint32_t>(d) - ((jitter_ + 8) >> 4);
}

int32_t ReceiveStatistics::cumulativeLost() const {
  if (!started_) return 0;
  const int64_t expected = static_cast<int64_t>(extendedMax()) - baseSeq_ + 1;
  return static_cast<int32_t>(expected - received_);
}

uint8_t ReceiveStatistics::TakeFractionLost() {
  if (!started_) return 0;
  const uint32_t expected = extendedMax() - baseSeq_ + 1;
  const uint32_t expectedInterval = expected - expectedPrior_;
  const uint32_t receivedInterval = received_ - receivedPrior_;
  expectedPrior_ = expected;
  receivedPrior_ = received_;
  if (expectedInterval == 0 || receivedInterval >= expectedInterval) return 0;
  return static_cast<uint8_t>(((expectedInterval - receivedInterval) << 8) / expectedInterval);
}

}  // namespace voe
