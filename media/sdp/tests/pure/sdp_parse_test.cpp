// Reading SDP bodies into the session record.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "media/sdp.h"
#include "media_test_data.h"

namespace {

std::unique_ptr<SIPSessionDescription> Parsed(const std::string& text, int* result = nullptr) {
  auto sdp = std::make_unique<SIPSessionDescription>();
  *sdp = {};
  const int r = SIPParseSDP(sdp.get(), text.c_str());
  if (result) *result = r;
  return sdp;
}

struct ParseCase {
  const char* name;
  const char* file;
  const char* address;
  int port;
  const char* formats;
  int direction;
  int ptime;
  int maxptime;
  uint32_t sessionId;
  uint32_t sessionVersion;
};

class SdpReaderReadsTheFirstAudioSection : public testing::TestWithParam<ParseCase> {};

TEST_P(SdpReaderReadsTheFirstAudioSection, WithItsAddressPortFormatsAndAttributes) {
  const ParseCase& c = GetParam();
  const std::string text = ReadMediaTestFile(std::string("sdp/") + c.file);
  ASSERT_FALSE(text.empty()) << c.file;
  int result = 0;
  auto sdp = Parsed(text, &result);
  EXPECT_EQ(1, result);
  EXPECT_EQ(1, sdp->audio);
  EXPECT_STREQ("IN", sdp->nettype);
  EXPECT_STREQ("IP4", sdp->addrtype);
  EXPECT_STREQ(c.address, sdp->address);
  EXPECT_EQ(c.port, sdp->port);
  EXPECT_STREQ("RTP/AVP", sdp->proto);
  EXPECT_STREQ(c.formats, sdp->formats);
  EXPECT_EQ(c.direction, sdp->direction);
  EXPECT_EQ(c.ptime, sdp->ptime);
  EXPECT_EQ(c.maxptime, sdp->maxptime);
  EXPECT_EQ(c.sessionId, static_cast<uint32_t>(sdp->sessionId));
  EXPECT_EQ(c.sessionVersion, static_cast<uint32_t>(sdp->sessionVersion));
  EXPECT_EQ(text, sdp->text);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SdpReaderReadsTheFirstAudioSection,
    testing::Values(
        ParseCase{"AudioAndVideoOffer", "rfc4317-2.1-offer.sdp", "host.atlanta.example.com", 49170, "0 8 97", 0, -1, -1,
                  2890844526u, 2890844526u},
        ParseCase{"AudioAndVideoAnswer", "rfc4317-2.1-answer.sdp", "host.biloxi.example.com", 49174, "0", 0, -1, -1,
                  2808844564u, 2808844564u},
        ParseCase{"AnswerWithVideoRefused", "rfc4317-2.2-answer.sdp", "host.biloxi.example.com", 49172, "0 8", 0, -1, -1,
                  2808844564u, 2808844564u},
        ParseCase{"TwoAudioStreams", "rfc4317-2.4-offer.sdp", "host.atlanta.example.com", 49170, "0 97", 0, -1, -1,
                  2890844526u, 2890844526u},
        ParseCase{"HoldOffer", "hold-offer-sendonly.sdp", "host.atlanta.example.com", 49170, "0 97", 1, -1, -1,
                  2890844526u, 2890844527u},
        // The audio section's own c= line wins, without its TTL; the
        // session numbers are read modulo 2^32.
        ParseCase{"MediaConnectionAndPacketTimes", "opus-g729-offer.sdp", "198.51.100.7", 40000, "111 18 0 8 96", 0,
                  30, 60, 3724394400u, 3724394401u}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

struct DirectionCase {
  const char* name;
  const char* attributes;
  int direction;
};

class SdpDirection : public testing::TestWithParam<DirectionCase> {};

TEST_P(SdpDirection, ComesFromTheAudioSectionsAttributeLines) {
  const std::string text = std::string("v=0\r\nc=IN IP4 192.0.2.1\r\nm=audio 4000 RTP/AVP 0\r\n") +
                           GetParam().attributes + "m=video 5000 RTP/AVP 31\r\na=inactive\r\n";
  EXPECT_EQ(GetParam().direction, Parsed(text)->direction);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SdpDirection,
    testing::Values(DirectionCase{"NoneIsSendRecv", "a=rtpmap:0 PCMU/8000\r\n", 0},
                    DirectionCase{"SendOnly", "a=sendonly\r\n", 1}, DirectionCase{"RecvOnly", "a=recvonly\r\n", 2},
                    DirectionCase{"Inactive", "a=inactive\r\n", -1},
                    DirectionCase{"InactiveOverridesSendOnly", "a=inactive\r\na=sendonly\r\n", -1},
                    DirectionCase{"RecvOnlyOverridesSendOnly", "a=sendonly\r\na=recvonly\r\n", 2},
                    // A word inside another attribute is no direction.
                    DirectionCase{"WordInsideAnotherAttribute", "a=tool:sendonly-phone\r\n", 0},
                    DirectionCase{"LineEndsWithoutCarriageReturn", "a=recvonly\n", 2}),
    [](const testing::TestParamInfo<DirectionCase>& info) { return std::string(info.param.name); });

TEST(SdpReader, LeavesTheRecordUntouchedWithoutAnAudioSection) {
  auto sdp = Parsed("v=0\r\nc=IN IP4 192.0.2.1\r\nm=audio 4000 RTP/AVP 0\r\n");
  for (const char* text : {"v=0\r\nc=IN IP4 10.0.0.1\r\nm=video 5000 RTP/AVP 31\r\n", "m=audio 1 RTP/AVP 0\r\n"}) {
    EXPECT_EQ(0, SIPParseSDP(sdp.get(), text)) << text;
    EXPECT_STREQ("192.0.2.1", sdp->address);
    EXPECT_EQ(4000, sdp->port);
  }
  EXPECT_EQ(0, SIPParseSDP(sdp.get(), nullptr));
}

TEST(SdpReader, KeepsFieldsOfMissingLinesButResetsTheAttributes) {
  auto sdp = Parsed("v=0\r\no=- 7 9 IN IP4 a\r\nc=IN IP4 192.0.2.1\r\nm=audio 4000 RTP/AVP 0\r\na=ptime:20\r\na=sendonly\r\n");
  ASSERT_EQ(20, sdp->ptime);
  EXPECT_EQ(1, SIPParseSDP(sdp.get(), "v=0\nm=audio 6000 RTP/AVP 8\n"));
  EXPECT_STREQ("192.0.2.1", sdp->address);
  EXPECT_EQ(7, sdp->sessionId);
  EXPECT_EQ(6000, sdp->port);
  EXPECT_STREQ("8", sdp->formats);
  EXPECT_EQ(-1, sdp->ptime);
  EXPECT_EQ(0, sdp->direction);
}

TEST(SdpReader, CutsLongValuesToTheirFieldsAndAHugeTextToTheRecord) {
  std::string longAddress(500, 'h');
  std::string formats;
  for (int i = 0; i < 100; ++i) formats += " " + std::to_string(96 + i % 30);
  std::string text = "v=0\r\nc=IN IP4 " + longAddress + "\r\nm=audio 4000 RTP/AVP" + formats + "\r\n";
  text += std::string(10000, 'x');
  auto sdp = Parsed(text);
  EXPECT_EQ(sizeof sdp->address - 1, strlen(sdp->address));
  EXPECT_EQ(sizeof sdp->formats - 1, strlen(sdp->formats));
  EXPECT_EQ(sizeof sdp->text - 1, strlen(sdp->text));
  EXPECT_EQ(0, text.compare(0, sizeof sdp->text - 1, sdp->text));
}

TEST(SdpReader, ReadsKeysInAnyCaseWithBlanksBeforeTheEqualsSign) {
  auto sdp = Parsed("v=0\r\nO =- 12 34 IN IP4 x\r\nC\t=IN IP4 203.0.113.9/64/2\r\nm=audio 7000 RTP/AVP 0\r\n");
  EXPECT_EQ(12, sdp->sessionId);
  EXPECT_EQ(34, sdp->sessionVersion);
  EXPECT_STREQ("203.0.113.9", sdp->address);
}

}  // namespace
