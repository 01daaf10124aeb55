// Reading RTP and RTCP: well-formed packets give their fields, malformed
// ones are refused before anything past their end is read.
#include <gtest/gtest.h>

#include <cstring>

#include <vector>

#include "rtp_packet.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Packet(uint8_t first, size_t extra) {
  Bytes p = {first, 0x80 | 96, 0x12, 0x34, 0, 0, 0x01, 0x00, 0xDE, 0xAD, 0xBE, 0xEF};
  p.resize(12 + extra, 0xAA);
  return p;
}

TEST(RtpReader, AFixedHeaderGivesItsFieldsAndPayload) {
  const Bytes p = Packet(0x80, 160);
  voe::RtpHeader h;
  ASSERT_TRUE(voe::ReadRtp(p.data(), p.size(), &h));
  EXPECT_EQ(96, h.payloadType);
  EXPECT_TRUE(h.marker);
  EXPECT_EQ(0x1234, h.sequence);
  EXPECT_EQ(256u, h.timestamp);
  EXPECT_EQ(0xDEADBEEFu, h.ssrc);
  EXPECT_EQ(12u, h.headerLength);
  EXPECT_EQ(160u, h.payloadLength);
}

TEST(RtpReader, CsrcsExtensionAndPaddingAreSkipped) {
  // Two CSRCs, an extension of one word, 3 bytes of padding.
  Bytes p = Packet(0x80 | 0x20 | 0x10 | 2, 8 + 4 + 4 + 10 + 3);
  p[12 + 8 + 2] = 0;
  p[12 + 8 + 3] = 1;
  p.back() = 3;
  voe::RtpHeader h;
  ASSERT_TRUE(voe::ReadRtp(p.data(), p.size(), &h));
  EXPECT_EQ(12u + 8 + 8, h.headerLength);
  EXPECT_EQ(10u, h.payloadLength);
}

struct Malformed {
  const char* name;
  Bytes packet;
};

class RtpReaderRefuses : public ::testing::TestWithParam<Malformed> {};

TEST_P(RtpReaderRefuses, TheMalformedPacket) {
  voe::RtpHeader h;
  const Bytes& p = GetParam().packet;
  EXPECT_FALSE(voe::ReadRtp(p.data(), p.size(), &h));
}

Bytes WithPadding(uint8_t count, size_t payload) {
  Bytes p = Packet(0x80 | 0x20, payload);
  p.back() = count;
  return p;
}

Bytes WithExtensionWords(uint8_t words) {
  Bytes p = Packet(0x80 | 0x10, 4 + 4);
  p[15] = words;
  return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtpReaderRefuses,
    ::testing::Values(Malformed{"Short", Bytes(11, 0x80)}, Malformed{"Version1", Packet(0x40, 10)},
                      Malformed{"CsrcsPastTheEnd", Packet(0x80 | 15, 20)},
                      Malformed{"ExtensionPastTheEnd", WithExtensionWords(3)},
                      Malformed{"ExtensionHeaderCut", Packet(0x80 | 0x10, 2)},
                      Malformed{"ZeroPadding", WithPadding(0, 10)},
                      Malformed{"PaddingLongerThanPayload", WithPadding(12, 10)}),
    [](const ::testing::TestParamInfo<Malformed>& info) { return std::string(info.param.name); });

TEST(RtcpReport, ASenderReportWithABlockReadsBackAsWritten) {
  voe::RtcpSenderInfo sender;
  sender.ntpSeconds = 3900000000u;
  sender.ntpFraction = 0x80000000u;
  sender.rtpTimestamp = 12345;
  sender.packetCount = 50;
  sender.octetCount = 8000;
  voe::RtcpReportBlock block;
  block.ssrc = 0x11223344;
  block.fractionLost = 25;
  block.cumulativeLost = -3;  // duplicates make it negative
  block.extendedMax = 0x10005;
  block.jitter = 42;
  block.lastSr = 0xABCD1234;
  block.delaySinceLastSr = 65536;
  uint8_t out[256];
  const size_t length = voe::WriteRtcpReport(out, sizeof out, 0x55667788, &sender, &block, "voe-test");
  ASSERT_GT(length, 0u);
  EXPECT_EQ(0u, length % 4);
  voe::RtcpInfo info;
  ASSERT_TRUE(voe::ReadRtcp(out, length, &info));
  EXPECT_EQ(0x55667788u, info.senderSsrc);
  ASSERT_TRUE(info.hasSenderInfo);
  EXPECT_EQ(12345u, info.senderInfo.rtpTimestamp);
  EXPECT_EQ(8000u, info.senderInfo.octetCount);
  ASSERT_EQ(1, info.blockCount);
  EXPECT_EQ(0x11223344u, info.blocks[0].ssrc);
  EXPECT_EQ(25, info.blocks[0].fractionLost);
  EXPECT_EQ(-3, info.blocks[0].cumulativeLost);
  EXPECT_EQ(0x10005u, info.blocks[0].extendedMax);
  EXPECT_EQ(0xABCD1234u, info.blocks[0].lastSr);
}

TEST(RtcpReport, CompoundsThatLieAboutTheirLengthsAreRefused) {
  uint8_t out[256];
  const size_t length = voe::WriteRtcpReport(out, sizeof out, 1, nullptr, nullptr, "x");
  voe::RtcpInfo info;
  ASSERT_TRUE(voe::ReadRtcp(out, length, &info));
  EXPECT_FALSE(info.hasSenderInfo);
  EXPECT_FALSE(voe::ReadRtcp(out, length - 1, &info));  // the SDES part runs past the end
  out[3] = 40;                                           // the report claims 41 words
  EXPECT_FALSE(voe::ReadRtcp(out, length, &info));
  out[3] = 1;
  out[1] = 202;  // a compound must begin with a report
  EXPECT_FALSE(voe::ReadRtcp(out, length, &info));
  uint8_t rr[8] = {0x81, 201, 0, 1, 0, 0, 0, 1};  // one block announced, none there
  EXPECT_FALSE(voe::ReadRtcp(rr, sizeof rr, &info));
}

TEST(RtcpBye, TheSourcesThatLeftAreReadAndABYEThatLiesAboutThemIsRefused) {
  uint8_t out[256];
  size_t length = voe::WriteRtcpReport(out, sizeof out, 0x11223344, nullptr, nullptr, "x");
  const size_t byeLength = voe::WriteRtcpBye(out + length, sizeof out - length, 0x11223344);
  ASSERT_EQ(8u, byeLength);
  EXPECT_EQ(0, voe::WriteRtcpBye(out, 7, 1));  // no room
  length += byeLength;
  // The wire form, byte by byte: V=2 with one source, type 203, one word.
  const uint8_t wire[8] = {0x81, 203, 0, 1, 0x11, 0x22, 0x33, 0x44};
  EXPECT_EQ(0, std::memcmp(out + length - 8, wire, 8));
  voe::RtcpInfo info;
  ASSERT_TRUE(voe::ReadRtcp(out, length, &info));
  EXPECT_TRUE(info.bye);
  ASSERT_EQ(1, info.byeCount);
  EXPECT_EQ(0x11223344u, info.byeSsrcs[0]);
  out[length - 8] = 0x82;  // two sources announced in a one-word part
  EXPECT_FALSE(voe::ReadRtcp(out, length, &info));
}

TEST(ReceiveStatistics, LossWrapAndJitterAreCountedAsTheRfcSays) {
  voe::ReceiveStatistics stats;
  // 65530..65535 then 0..9 with 3 and 5 missing; arrivals 160 units apart
  // except one 80 units late.
  uint32_t arrival = 0;
  uint16_t seq = 65530;
  for (int i = 0; i < 16; ++i, ++seq) {
    arrival += 160;
    if (seq == 3 || seq == 5) continue;
    stats.OnPacket(seq, static_cast<uint32_t>(i) * 160, arrival + (seq == 7 ? 80 : 0));
  }
  EXPECT_EQ(0x10000u + 9, stats.extendedMax());
  EXPECT_EQ(2, stats.cumulativeLost());
  EXPECT_EQ(2 * 256 / 16, stats.TakeFractionLost());
  EXPECT_EQ(0, stats.TakeFractionLost());  // a new interval without packets
  EXPECT_GT(stats.jitter(), 0u);
  EXPECT_LT(stats.jitter(), 80u);
}

}  // namespace
