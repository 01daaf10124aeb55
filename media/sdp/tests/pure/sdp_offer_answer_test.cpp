// The offers and answers this side writes, the codec chosen from the peer's
// SDP, DTMF negotiation and session changes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/sdp.h"
#include "media_test_data.h"

namespace {

const webrtc::CodecInst kPCMU = TestCodec(0, "PCMU", 8000, 160, 1, 64000);
const webrtc::CodecInst kPCMA = TestCodec(8, "PCMA", 8000, 160, 1, 64000);
const webrtc::CodecInst kG729 = TestCodec(18, "G729", 8000, 160, 1, 8000);
const webrtc::CodecInst kILBC = TestCodec(102, "iLBC", 8000, 240, 1, 13300);
const webrtc::CodecInst kOpus = TestCodec(120, "opus", 48000, 960, 1, 32000);
const webrtc::CodecInst kEvent = TestCodec(106, "telephone-event", 8000, 160, 1, 0);
// The engine's database as SetCodecs searches it.
const std::vector<webrtc::CodecInst> kDatabase = {kPCMU, kPCMA, kG729, kILBC, kOpus, kEvent};

std::unique_ptr<SDPCallMedia> Call(const std::vector<const char*>& specs) {
  auto call = std::make_unique<SDPCallMedia>();
  call->sessionId = 0x80000001u;
  call->sessionVersion = 2;
  snprintf(call->userAgent, sizeof call->userAgent, "Softphone 1.0");
  snprintf(call->localMediaIP, sizeof call->localMediaIP, "192.168.1.20");
  snprintf(call->connectionIP, sizeof call->connectionIP, "203.0.113.5");
  call->rtpPort = 16900;
  call->accountDTMFPayload = 101;
  call->accountDTMFType = 0;
  for (const char* spec : specs)
    EXPECT_TRUE(SDPAddCodecFromSpec(&call->codecs, spec, kDatabase.data(), static_cast<int>(kDatabase.size()))) << spec;
  return call;
}

std::string Offer(SDPCallMedia* call) {
  char out[kSDPTextSize];
  EXPECT_EQ(1, SIPPrepareSDPOffer(out, sizeof out, call));
  return out;
}

std::string Answer(SDPCallMedia* call) {
  char out[kSDPTextSize];
  if (!SIPPrepareSDPAnswer(out, sizeof out, call)) return "(none)";
  return out;
}

// The text after the session part's t= line.
std::string MediaPart(const std::string& text) {
  const size_t at = text.find("t=0 0\r\n");
  return at == std::string::npos ? text : text.substr(at + 7);
}

void ReceiveOffer(SDPCallMedia* call, const std::string& text) { ASSERT_EQ(1, SIPParseSDP(&call->offerSDP, text.c_str())); }

TEST(SdpOffer, WritesTheSessionPartWithAnUnsignedOriginAndTheConnectionAddress) {
  auto call = Call({"PCMU,0,8000"});
  snprintf(call->userAgent, sizeof call->userAgent, "Soft\tphone 1.0");
  const std::string offer = Offer(call.get());
  EXPECT_EQ(0u, offer.find("v=0\r\no=- 2147483649 2 IN IP4 192.168.1.20\r\ns=Softphone 1.0\r\n"
                           "c=IN IP4 203.0.113.5\r\nt=0 0\r\nm=audio 16900 RTP/AVP 0\r\n"))
      << offer;
  EXPECT_EQ(std::string::npos, offer.find('\t'));
}

struct OfferCase {
  const char* name;
  std::vector<const char*> specs;
  int32_t localHold;
  const char* media;
};

class SdpOfferMediaPart : public testing::TestWithParam<OfferCase> {};

TEST_P(SdpOfferMediaPart, ListsTheCodecsInListOrderWithTheirParameters) {
  auto call = Call(GetParam().specs);
  call->localHold = GetParam().localHold;
  const std::string offer = Offer(call.get());
  EXPECT_EQ(GetParam().media, MediaPart(offer));
  // What was offered is kept as the call's offer.
  EXPECT_EQ(offer, call->offerSDP.text);
  EXPECT_EQ(16900, call->offerSDP.port);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, SdpOfferMediaPart,
    testing::Values(
        OfferCase{"EmptyList", {}, 0, "m=audio 16900 RTP/AVP\r\na=silenceSupp:off - - - -\r\na=sendrecv\r\n"},
        OfferCase{"G711AndEvents",
                  {"PCMU,0,8000", "PCMA,8,8000", "telephone-event,96,8000"},
                  0,
                  "m=audio 16900 RTP/AVP 0 8 101\r\na=rtpmap:0 PCMU/8000/1\r\na=rtpmap:8 PCMA/8000/1\r\n"
                  "a=rtpmap:101 telephone-event/8000/1\r\na=fmtp:101 0-16\r\na=silenceSupp:off - - - -\r\n"
                  "a=sendrecv\r\n"},
        OfferCase{"ILBCTwentyMillisecondsAtNinetySeven",
                  {"PCMU,0,8000", " iLBC\t,97,8000", "telephone-event,101,8000"},
                  0,
                  "m=audio 16900 RTP/AVP 0 97 101\r\na=rtpmap:0 PCMU/8000/1\r\na=rtpmap:97 iLBC/8000/1\r\n"
                  "a=fmtp:97 mode=20\r\na=rtpmap:101 telephone-event/8000/1\r\na=fmtp:101 0-16\r\n"
                  "a=silenceSupp:off - - - -\r\na=sendrecv\r\n"},
        OfferCase{"OpusAlwaysTwoChannelsAndG729",
                  {"opus,111,48000", "G729,18,8000"},
                  0,
                  "m=audio 16900 RTP/AVP 111 18\r\na=rtpmap:111 opus/48000/2\r\n"
                  "a=fmtp:111 useinbandfec=1; maxptime=40\r\na=rtpmap:18 G729/8000/1\r\n"
                  "a=silenceSupp:off - - - -\r\na=sendrecv\r\n"},
        OfferCase{"OnHold", {"PCMA,8,8000"}, 1,
                  "m=audio 16900 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000/1\r\na=silenceSupp:off - - - -\r\na=sendonly\r\n"}),
    [](const testing::TestParamInfo<OfferCase>& info) { return std::string(info.param.name); });

TEST(SdpWriter, RefusesATextThatDoesNotFitTheBufferAndLeavesItTerminated) {
  auto call = Call({"PCMU,0,8000", "PCMA,8,8000", "opus,111,48000", "telephone-event,101,8000"});
  char full[kSDPTextSize];
  ASSERT_EQ(1, SIPPrepareSDPOffer(full, sizeof full, call.get()));
  const size_t length = strlen(full);
  std::vector<char> exact(length + 1 + 8, '#');
  EXPECT_EQ(1, SIPPrepareSDPOffer(exact.data(), length + 1, call.get()));
  EXPECT_STREQ(full, exact.data());
  for (size_t size : {length, length / 2, static_cast<size_t>(3)}) {
    std::vector<char> small(size + 8, '#');
    EXPECT_EQ(0, SIPPrepareSDPOffer(small.data(), size, call.get())) << size;
    EXPECT_EQ('\0', small[0]);
    for (size_t i = size; i < small.size(); ++i) ASSERT_EQ('#', small[i]) << "written past the buffer at " << i;
  }
  call->callCodec = kOpus;
  call->callCodecSet = 1;
  char tiny[40];
  EXPECT_EQ(0, SIPPrepareSDPAnswer(tiny, sizeof tiny, call.get()));
  EXPECT_EQ(0, SIPPrepareCurrentCodecSDP(tiny, sizeof tiny, 1, 0, 0, call.get()));
}

struct ChoiceCase {
  const char* name;
  std::vector<const char*> specs;
  const char* offer;  // media part after "m=audio 5000 RTP/AVP"
  int forced;
  int chosen;  // -1: none
  const char* chosenName;
};

class SdpCodecChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(SdpCodecChoice, FollowsThePeersOrderOfPreference) {
  const ChoiceCase& c = GetParam();
  auto call = Call(c.specs);
  call->callCodec = kG729;  // an earlier choice, kept when nothing fits
  ReceiveOffer(call.get(), std::string("v=0\r\nc=IN IP4 192.0.2.1\r\nm=audio 5000 RTP/AVP") + c.offer);
  const int result = SIPSelectCodecFromSDP(&call->offerSDP, c.forced, 0, call.get());
  EXPECT_EQ(c.chosen >= 0 ? 1 : 0, result);
  if (c.chosen >= 0) {
    EXPECT_EQ(c.chosen, call->callCodec.pltype);
    EXPECT_STREQ(c.chosenName, call->callCodec.plname);
    EXPECT_EQ(1, call->callCodecSet);
  } else {
    EXPECT_STREQ("G729", call->callCodec.plname);
    EXPECT_EQ(0, call->callCodecSet);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Offers, SdpCodecChoice,
    testing::Values(
        ChoiceCase{"RemoteOrderWins", {"PCMU,0,8000", "PCMA,8,8000"}, " 8 0 101\r\n", -1, 8, "PCMA"},
        ChoiceCase{"StaticTypesMatchByNumber", {"G729,18,8000"}, " 3 18\r\n", -1, 18, "G729"},
        ChoiceCase{"DynamicTypesMatchByRtpmapName",
                   {"PCMU,0,8000", "opus,120,48000"},
                   " 111 0\r\na=rtpmap:111 OPUS/48000/2\r\n",
                   -1,
                   111,
                   "opus"},
        ChoiceCase{"DynamicTypeWithoutRtpmapMatchesNothing", {"opus,111,48000"}, " 111 112\r\n", -1, -1, ""},
        // "a=rtpmap:1" must not be read from the line of payload type 101.
        ChoiceCase{"RtpmapNumberIsMatchedWhole",
                   {"iLBC,98,8000"},
                   " 110\r\na=rtpmap:1100 iLBC/8000\r\na=rtpmap:110 speex/8000\r\n",
                   -1,
                   -1,
                   ""},
        ChoiceCase{"NoCommonCodec", {"PCMU,0,8000"}, " 8 9\r\n", -1, -1, ""},
        ChoiceCase{"ForcedPayloadType", {"PCMU,0,8000", "PCMA,8,8000"}, " 0 8\r\n", 8, 8, "PCMA"},
        ChoiceCase{"TokensThatAreNoNumbersAreSkipped", {"PCMA,8,8000"}, " x 99999 8\r\n", -1, 8, "PCMA"}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(SdpCodecChoice, TakesThePeersOpusNumberIntoTheListAndTheAnswer) {
  auto call = Call({"opus,120,48000", "telephone-event,101,8000"});
  ReceiveOffer(call.get(), "v=0\r\nc=IN IP4 192.0.2.1\r\nm=audio 5000 RTP/AVP 111\r\na=rtpmap:111 opus/48000/2\r\n");
  ASSERT_EQ(1, SIPSelectCodecFromSDP(&call->offerSDP, -1, 0, call.get()));
  EXPECT_EQ(111, call->codecs.entries[0].pltype);
  const std::string answer = Answer(call.get());
  EXPECT_EQ("m=audio 16900 RTP/AVP 111 101\r\na=rtpmap:111 opus/48000/2\r\n"
            "a=fmtp:111 useinbandfec=1; maxptime=40\r\na=rtpmap:101 telephone-event/8000\r\n"
            "a=fmtp:101 0-16\r\na=silenceSupp:off - - - -\r\na=sendrecv\r\n",
            MediaPart(answer));
  EXPECT_EQ(answer, call->answerSDP.text);
}

TEST(SdpCodecChoice, SetsTheG729PacketSizeFromThePeersPacketTime) {
  auto call = Call({"G729,18,8000"});
  ReceiveOffer(call.get(), ReadMediaTestFile("sdp/opus-g729-offer.sdp"));
  ASSERT_EQ(1, SIPSelectCodecFromSDP(&call->offerSDP, -1, 0, call.get()));
  EXPECT_EQ(240, call->callCodec.pacsize);
  EXPECT_EQ(240, call->codecs.entries[0].pacsize);
}

TEST(SdpCodecChoice, AcceptsAnEmptySdpOnlyWhenAsked) {
  auto call = Call({"PCMU,0,8000"});
  EXPECT_EQ(1, SIPSelectCodecFromSDP(&call->offerSDP, -1, 1, call.get()));
  EXPECT_EQ(0, SIPSelectCodecFromSDP(&call->offerSDP, -1, 0, call.get()));
  EXPECT_EQ(0, call->callCodecSet);
}

TEST(SdpAnswer, IsRefusedWithALogLineWhileTheCallHasNoCodec) {
  static std::vector<std::string> lines;
  lines.clear();
  auto call = Call({"PCMU,0,8000"});
  call->log = [](const char* line) { lines.push_back(line); };
  char out[kSDPTextSize] = "stale";
  EXPECT_EQ(0, SIPPrepareSDPAnswer(out, sizeof out, call.get()));
  EXPECT_STREQ("", out);
  EXPECT_EQ(std::vector<std::string>{"SIPPrepareSDPAnswer - No Codec Defined."}, lines);
}

struct HoldCase {
  const char* name;
  int mode;
  int32_t localHold;
  int32_t remoteHold;
  const char* line;
};

class SdpDirectionLine : public testing::TestWithParam<HoldCase> {};

TEST_P(SdpDirectionLine, FollowsTheHoldFlags) {
  const HoldCase& c = GetParam();
  char line[32];
  ASSERT_EQ(1, SIPSDPDirectionLine(line, sizeof line, c.localHold, c.remoteHold, c.mode));
  EXPECT_EQ(std::string(c.line) + "\r\n", line);
  auto call = Call({"PCMU,0,8000", "telephone-event,101,8000"});
  call->callCodec = kPCMU;
  char out[kSDPTextSize];
  ASSERT_EQ(1, SIPPrepareCurrentCodecSDP(out, sizeof out, c.mode, c.localHold, c.remoteHold, call.get()));
  EXPECT_EQ(std::string("m=audio 16900 RTP/AVP 0 101\r\na=rtpmap:0 PCMU/8000/1\r\n"
                        "a=rtpmap:101 telephone-event/8000/1\r\na=fmtp:101 0-16\r\na=silenceSupp:off - - - -\r\n") +
                c.line + "\r\n",
            MediaPart(out));
  EXPECT_STREQ("", call->answerSDP.text);  // the current-codec text is no answer
}

INSTANTIATE_TEST_SUITE_P(Flags, SdpDirectionLine,
                         testing::Values(HoldCase{"AnswerNeither", 0, 0, 0, "a=sendrecv"},
                                         HoldCase{"AnswerLocal", 0, 1, 0, "a=sendonly"},
                                         HoldCase{"AnswerRemote", 0, 0, 1, "a=recvonly"},
                                         HoldCase{"AnswerBoth", 0, 1, 1, "a=inactive"},
                                         HoldCase{"HoldRequestLocal", 1, 1, 1, "a=sendonly"},
                                         HoldCase{"HoldRequestRemoteOnly", 1, 0, 1, "a=sendrecv"}),
                         [](const testing::TestParamInfo<HoldCase>& info) { return std::string(info.param.name); });

TEST(SdpAnswer, ToAPeerOnHoldIsReceiveOnly) {
  auto call = Call({"PCMU,0,8000", "iLBC,97,8000"});
  ReceiveOffer(call.get(), ReadMediaTestFile("sdp/hold-offer-sendonly.sdp"));
  ASSERT_EQ(kSDPSendOnly, call->offerSDP.direction);
  ASSERT_EQ(1, SIPSelectCodecFromSDP(&call->offerSDP, -1, 0, call.get()));
  call->remoteHold = 1;
  char out[kSDPTextSize];
  ASSERT_EQ(1, SIPPrepareSDP(out, sizeof out, 0, call.get()));
  EXPECT_EQ("m=audio 16900 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000/1\r\na=silenceSupp:off - - - -\r\na=recvonly\r\n",
            MediaPart(out));
  EXPECT_EQ(kSDPRecvOnly, call->answerSDP.direction);
}

// The offer/answer examples of RFC 4317 with this side as the answerer.
struct ExampleCase {
  const char* name;
  const char* offerFile;
  std::vector<const char*> specs;
  const char* media;
};

class SdpOfferAnswerExamples : public testing::TestWithParam<ExampleCase> {};

TEST_P(SdpOfferAnswerExamples, AnswerTheFirstAudioStream) {
  auto call = Call(GetParam().specs);
  ReceiveOffer(call.get(), ReadMediaTestFile(std::string("sdp/") + GetParam().offerFile));
  ASSERT_EQ(1, SIPSelectCodecFromSDP(&call->offerSDP, -1, 1, call.get()));
  char out[kSDPTextSize];
  ASSERT_EQ(1, SIPPrepareSDP(out, sizeof out, 0, call.get()));
  EXPECT_EQ(GetParam().media, MediaPart(out));
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4317, SdpOfferAnswerExamples,
    testing::Values(
        ExampleCase{"AudioAndVideoWithPcmuOnly", "rfc4317-2.1-offer.sdp", {"PCMU,0,8000"},
                    "m=audio 16900 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000/1\r\na=silenceSupp:off - - - -\r\na=sendrecv\r\n"},
        ExampleCase{"AudioAndVideoWithG711", "rfc4317-2.1-offer.sdp", {"PCMA,8,8000", "PCMU,0,8000"},
                    "m=audio 16900 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000/1\r\na=silenceSupp:off - - - -\r\na=sendrecv\r\n"},
        ExampleCase{"TwoAudioStreamsAnswerTheFirst", "rfc4317-2.4-offer.sdp", {"iLBC,97,8000"},
                    "m=audio 16900 RTP/AVP 97\r\na=rtpmap:97 iLBC/8000/1\r\na=fmtp:97 mode=20\r\n"
                    "a=silenceSupp:off - - - -\r\na=sendrecv\r\n"}),
    [](const testing::TestParamInfo<ExampleCase>& info) { return std::string(info.param.name); });

TEST(SdpOfferAnswerExamples, TheOffererReadsTheAnswersCodecAndAddress) {
  auto call = Call({"PCMU,0,8000", "PCMA,8,8000", "iLBC,97,8000"});
  Offer(call.get());
  ASSERT_EQ(1, SIPParseSDP(&call->answerSDP, ReadMediaTestFile("sdp/rfc4317-2.2-answer.sdp").c_str()));
  ASSERT_EQ(1, SIPSelectCodecFromSDP(&call->answerSDP, -1, 0, call.get()));
  EXPECT_STREQ("PCMU", call->callCodec.plname);
  EXPECT_STREQ("host.biloxi.example.com", call->answerSDP.address);
  EXPECT_EQ(49172, call->answerSDP.port);
}

struct DtmfCase {
  const char* name;
  int32_t accountType;
  const char* sdp;
  int32_t type;
  int32_t payload;
};

class SdpDtmf : public testing::TestWithParam<DtmfCase> {};

TEST_P(SdpDtmf, FollowsTheTelephoneEventsOfTheSdp) {
  auto call = Call({"PCMU,0,8000", "telephone-event,101,8000"});
  call->accountDTMFType = GetParam().accountType;
  ReceiveOffer(call.get(), GetParam().sdp);
  EXPECT_EQ(1, SIPNegotiateDTMF(&call->offerSDP, call.get()));
  EXPECT_EQ(GetParam().type, call->callDTMFType);
  EXPECT_EQ(GetParam().payload, call->callDTMFPayload);
  EXPECT_EQ(GetParam().payload, call->codecs.entries[1].pltype);
}

INSTANTIATE_TEST_SUITE_P(
    Sdps, SdpDtmf,
    testing::Values(
        DtmfCase{"NoEventsIsInBand", 0, "v=0\r\nm=audio 1 RTP/AVP 0\r\n", 1, 101},
        DtmfCase{"EventsAtNinetySix", 0, "v=0\r\nm=audio 1 RTP/AVP 0 96\r\na=rtpmap:96 telephone-event/8000\r\n", 2, 96},
        DtmfCase{"UpperCaseLineIsRead", 0, "v=0\r\nm=audio 1 RTP/AVP 0 98\r\nA=RTPMAP:98 telephone-event/8000\r\n", 2,
                 98},
        DtmfCase{"AccountTypeKept", 3, "v=0\r\nm=audio 1 RTP/AVP 0 96\r\na=rtpmap:96 telephone-event/8000\r\n", 3, 96},
        DtmfCase{"PayloadOutOfRangeIgnored", 0,
                 "v=0\r\nm=audio 1 RTP/AVP 0\r\na=rtpmap:4000 telephone-event/8000\r\n", 2, 101}),
    [](const testing::TestParamInfo<DtmfCase>& info) { return std::string(info.param.name); });

struct ChangeCase {
  const char* name;
  const char* proposedAddress;
  int proposedPort;
  int changed;
  const char* logLine;
};

class SdpSessionChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(SdpSessionChange, ComparesAddressAndPortWithTheRunningSession) {
  static std::vector<std::string> lines;
  lines.clear();
  auto call = Call({"PCMU,0,8000"});
  call->log = [](const char* line) { lines.push_back(line); };
  ASSERT_EQ(1, SIPParseSDP(&call->activeSDP, "v=0\r\nc=IN IP4 host.example\r\nm=audio 5000 RTP/AVP 0\r\n"));
  const std::string proposed = std::string("v=0\r\nc=IN IP4 ") + GetParam().proposedAddress + "\r\nm=audio " +
                               std::to_string(GetParam().proposedPort) + " RTP/AVP 0\r\n";
  ASSERT_EQ(1, SIPParseSDP(&call->answerSDP, proposed.c_str()));
  EXPECT_EQ(GetParam().changed, SIPSessionHasChanged(1, call.get()));
  EXPECT_EQ(0, SIPSessionHasChanged(3, call.get()));
  std::vector<std::string> expected;
  if (*GetParam().logLine) expected.push_back(GetParam().logLine);
  EXPECT_EQ(expected, lines);
}

INSTANTIATE_TEST_SUITE_P(
    Proposals, SdpSessionChange,
    testing::Values(ChangeCase{"Same", "HOST.example", 5000, 0, ""},
                    ChangeCase{"HoldAddressIsNoChange", "0.0.0.0", 6000, 0, ""},
                    ChangeCase{"OtherAddress", "192.0.2.8", 5000, 1,
                               "SIPSessionHasChanged: <c.Address> = Current: \"host.example\", Proposed: \"192.0.2.8\""},
                    ChangeCase{"OtherPort", "host.example", 5002, 1,
                               "SIPSessionHasChanged: <m.nPort> = Current: 5000, Proposed: 5002"}),
    [](const testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

struct SpecCase {
  const char* name;
  const char* spec;
  bool added;
  int pltype;
  int pacsize;
  int rate;
};

class SdpCodecSpec : public testing::TestWithParam<SpecCase> {};

TEST_P(SdpCodecSpec, AddsTheEnginesEntryAsTheSystemOffersIt) {
  auto call = Call({});
  EXPECT_EQ(GetParam().added,
            SDPAddCodecFromSpec(&call->codecs, GetParam().spec, kDatabase.data(), static_cast<int>(kDatabase.size())));
  ASSERT_EQ(GetParam().added ? 1 : 0, call->codecs.count);
  if (!GetParam().added) return;
  EXPECT_EQ(GetParam().pltype, call->codecs.entries[0].pltype);
  EXPECT_EQ(GetParam().pacsize, call->codecs.entries[0].pacsize);
  EXPECT_EQ(GetParam().rate, call->codecs.entries[0].rate);
}

INSTANTIATE_TEST_SUITE_P(
    Specs, SdpCodecSpec,
    testing::Values(SpecCase{"ILBCAtNinetySevenTwentyMilliseconds", "iLBC,97,8000", true, 97, 160, 15200},
                    SpecCase{"ILBCElsewhereThirtyMilliseconds", "ilbc,98,8000", true, 98, 240, 13300},
                    SpecCase{"TelephoneEventAlwaysAtOneHundredOne", "telephone-event,96,8000", true, 101, 160, 0},
                    SpecCase{"PayloadTypeKeptWithoutOne", "PCMA,,8000", true, 8, 160, 64000},
                    SpecCase{"ClockRateMustMatch", "opus,111,8000", false, 0, 0, 0},
                    SpecCase{"WithoutClockRateNothing", "PCMU", false, 0, 0, 0},
                    SpecCase{"UnknownName", "speex,97,8000", false, 0, 0, 0},
                    SpecCase{"NameTooLong", "0123456789012345678901234567890123456789,0,8000", false, 0, 0, 0}),
    [](const testing::TestParamInfo<SpecCase>& info) { return std::string(info.param.name); });

TEST(SdpCodecList, RefusesEntriesPastItsCapacityAndEmptiesWhenCleared) {
  auto call = Call({});
  for (int i = 0; i < kSDPMaxCodecs; ++i)
    ASSERT_TRUE(SDPAddCodecFromSpec(&call->codecs, "PCMU,0,8000", kDatabase.data(), static_cast<int>(kDatabase.size())));
  EXPECT_FALSE(SDPAddCodecFromSpec(&call->codecs, "PCMA,8,8000", kDatabase.data(), static_cast<int>(kDatabase.size())));
  EXPECT_EQ(kSDPMaxCodecs, call->codecs.count);
  // A full list still offers within the callers' buffer.
  char out[kSDPTextSize];
  EXPECT_EQ(1, SIPPrepareSDPOffer(out, sizeof out, call.get()));
  SDPClearCodecs(&call->codecs);
  EXPECT_EQ(0, call->codecs.count);
}

TEST(SdpConnectionAddress, IsTheMappedAddressOnlyOnceTheTestGaveOne) {
  EXPECT_STREQ("10.0.0.2", SDPConnectionAddress(0, "", "10.0.0.2"));
  EXPECT_STREQ("10.0.0.2", SDPConnectionAddress(0x4000, "", "10.0.0.2"));
  EXPECT_STREQ("10.0.0.2", SDPConnectionAddress(0, "198.51.100.1", "10.0.0.2"));
  EXPECT_STREQ("198.51.100.1", SDPConnectionAddress(0x400, "198.51.100.1", "10.0.0.2"));
}

}  // namespace
