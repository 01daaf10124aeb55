// What a call between two engines carries besides its codec: concealment of
// lost and reordered packets, DTMF, the processors' blocks, RTCP reports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "rtp_packet.h"
#include "signal_analysis.h"
#include "udp_peer.h"
#include "voice_call.h"

namespace {

using voicetest::CallLeg;
using voicetest::TestEngine;

webrtc::CodecInst Pcmu(TestEngine& e) { return voicetest::FindCodec(e, "PCMU"); }

struct LossCase {
  const char* name;
  const char* codec;
  int basePort;
};

class CallNetwork : public ::testing::TestWithParam<LossCase> {};

TEST_P(CallNetwork, LossAndReorderingStayAudibleThroughConcealment) {
  const LossCase& c = GetParam();
  TestEngine a, b;
  const webrtc::CodecInst codec = voicetest::FindCodec(a, c.codec);
  const int rate = codec.plfreq > 32000 ? 32000 : codec.plfreq;
  // A sends to the relay, which drops one packet in 8 and swaps one pair in 5.
  voicetest::LossyRelay relay(c.basePort + 10, c.basePort + 20, 8, 5);
  CallLeg sender(a, c.basePort, c.basePort + 10, codec, voicetest::Tone(440, 10000));
  CallLeg receiver(b, c.basePort + 20, c.basePort, codec, voicetest::Tone(0, 0));
  ASSERT_TRUE(sender.Start() && receiver.Start());
  ASSERT_TRUE(voicetest::WaitFor([&] { return receiver.recorder.LoudSamples(2000) >= static_cast<size_t>(rate) * 3 / 2; },
                                 15000))
      << receiver.recorder.LoudSamples(2000);
  EXPECT_GT(relay.dropped(), 5);
  EXPECT_GT(relay.swapped(), 5);

  // The last second: the tone everywhere, no silent gaps where packets went.
  const std::vector<int16_t> heard = receiver.recorder.heard();
  const size_t block = static_cast<size_t>(rate / 100);
  std::vector<int16_t> tail(heard.end() - rate, heard.end());
  size_t quiet = 0;
  for (size_t at = 0; at < tail.size(); at += block) {
    if (voicetest::Rms(tail.data() + at, block) < 3500) ++quiet;
  }
  EXPECT_LE(quiet, 2u) << "10-ms blocks far below the tone's level";
  // The tone's share in 20-ms windows (50-Hz resolution: a concealed
  // stretch repeats a whole number of samples, a few hertz off 440).
  double share = 0;
  for (size_t at = 0; at + 2 * block <= tail.size(); at += 2 * block) {
    share += voicetest::EnergyShareAt(tail.data() + at, 2 * block, 440, rate) / 50;
  }
  EXPECT_GT(share, 0.8);
  webrtc::CallStatistics stats;
  ASSERT_EQ(0, b.rtp->GetRTCPStatistics(receiver.channel, stats));
  EXPECT_GT(stats.cumulativeLost, 5u);
  std::printf("[ figures  ] %s: dropped %d, swapped %d; %zu quiet blocks of 100; share at 440 Hz %.2f\n", c.name,
              relay.dropped(), relay.swapped(), quiet, share);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CallNetwork,
                         ::testing::Values(LossCase{"PCMU", "PCMU", 20220}, LossCase{"Opus", "opus", 20600}),
                         [](const ::testing::TestParamInfo<LossCase>& info) { return std::string(info.param.name); });

// Blocks of `rate/100` samples in which the two tones of a key carry most
// of the energy.
size_t KeyBlocks(const std::vector<int16_t>& x, int rate, int low, int high) {
  const size_t block = static_cast<size_t>(rate / 100);
  size_t count = 0;
  for (size_t at = 0; at + 2 * block <= x.size(); at += block) {
    if (voicetest::Rms(x.data() + at, 2 * block) < 500) continue;
    const double share = voicetest::EnergyShareAt(x.data() + at, 2 * block, low, rate) +
                         voicetest::EnergyShareAt(x.data() + at, 2 * block, high, rate);
    if (share > 0.8) ++count;
  }
  return count;
}

TEST(CallDtmf, TelephoneEventsAndInBandTonesArriveAsTheirKeys) {
  TestEngine a, b;
  CallLeg sender(a, 20250, 20260, Pcmu(a), voicetest::Tone(0, 0));
  CallLeg receiver(b, 20260, 20250, Pcmu(b), voicetest::Tone(0, 0));
  ASSERT_EQ(0, a.dtmf->SetSendTelephoneEventPayloadType(sender.channel, 101));
  ASSERT_EQ(0, b.dtmf->SetSendTelephoneEventPayloadType(receiver.channel, 101));
  ASSERT_EQ(0, b.dtmf->SetDtmfPlayoutStatus(receiver.channel, true));
  ASSERT_TRUE(sender.Start() && receiver.Start());
  ASSERT_TRUE(voicetest::WaitFor([&] { return sender.injector.calls() > 20 && receiver.recorder.calls() > 20; }, 15000));
  ASSERT_EQ(0, a.dtmf->SendTelephoneEvent(sender.channel, 1, true, 200, 10));    // '1' as packets
  ASSERT_EQ(0, a.dtmf->SendTelephoneEvent(sender.channel, 11, true, 200, 10));   // '#' as packets
  ASSERT_EQ(0, a.dtmf->SendTelephoneEvent(sender.channel, 5, false, 200, 10));   // '5' in the audio
  const auto heardAll = [&] {
    const std::vector<int16_t> x = receiver.recorder.heard();
    return KeyBlocks(x, 8000, 697, 1209) >= 12 && KeyBlocks(x, 8000, 941, 1477) >= 12 &&
           KeyBlocks(x, 8000, 770, 1336) >= 10;
  };
  EXPECT_TRUE(voicetest::WaitFor(heardAll, 8000));
  const std::vector<int16_t> x = receiver.recorder.heard();
  std::printf("[ figures  ] 10-ms blocks heard of '1': %zu, '#': %zu, '5': %zu, '9' (not sent): %zu\n",
              KeyBlocks(x, 8000, 697, 1209), KeyBlocks(x, 8000, 941, 1477), KeyBlocks(x, 8000, 770, 1336),
              KeyBlocks(x, 8000, 852, 1477));
  EXPECT_EQ(0u, KeyBlocks(x, 8000, 852, 1477));
}

TEST(CallDtmf, EventsAreNotPlayedWhenPlayoutOfThemIsOff) {
  TestEngine a, b;
  CallLeg sender(a, 20270, 20280, Pcmu(a), voicetest::Tone(0, 0));
  CallLeg receiver(b, 20280, 20270, Pcmu(b), voicetest::Tone(0, 0));
  ASSERT_EQ(0, b.dtmf->SetDtmfPlayoutStatus(receiver.channel, false));
  ASSERT_TRUE(sender.Start() && receiver.Start());
  ASSERT_TRUE(voicetest::WaitFor([&] { return sender.injector.calls() > 20 && receiver.recorder.calls() > 20; }, 15000));
  ASSERT_EQ(0, a.dtmf->SendTelephoneEvent(sender.channel, 1, true, 200, 10));
  // The packets go out under the default event type 106, which B receives.
  Sleep(800);
  EXPECT_EQ(0u, KeyBlocks(receiver.recorder.heard(), 8000, 697, 1209));
}

struct Counter : webrtc::VoEMediaProcess {
  void Process(int ch, webrtc::ProcessingTypes t, int16_t[], int length, int rate, bool stereo) override {
    if (!calls++) first = GetTickCount();
    last = GetTickCount();
    if (length != rate / 100 || stereo) ++odd;
    channel = ch;
    type = t;
    this->rate = rate;
  }
  std::atomic<int> calls{0}, odd{0}, channel{-2}, rate{0};
  std::atomic<webrtc::ProcessingTypes> type{webrtc::kPlaybackPerChannel};
  std::atomic<DWORD> first{0}, last{0};
};

TEST(CallProcessing, EachProcessorGetsOneTenMillisecondBlockAtItsRate) {
  TestEngine a, b;
  webrtc::CodecInst opus = voicetest::FindCodec(a, "opus");
  CallLeg legA(a, 20300, 20310, opus, voicetest::Tone(1000, 8000));
  CallLeg legB(b, 20310, 20300, opus, voicetest::Tone(500, 8000));
  Counter mixedRecording, mixedPlayback;
  ASSERT_EQ(0, a.media->RegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed, mixedRecording));
  ASSERT_EQ(0, a.media->RegisterExternalMediaProcessing(-1, webrtc::kPlaybackAllChannelsMixed, mixedPlayback));
  ASSERT_TRUE(legA.Start() && legB.Start());
  ASSERT_TRUE(voicetest::WaitFor([&] { return mixedRecording.calls > 150 && legA.recorder.calls() > 150; }, 15000));
  ASSERT_EQ(0, a.media->DeRegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed));
  ASSERT_EQ(0, a.media->DeRegisterExternalMediaProcessing(-1, webrtc::kPlaybackAllChannelsMixed));
  const int after = mixedRecording.calls;
  Sleep(100);
  EXPECT_EQ(after, mixedRecording.calls) << "called after its deregistration";

  EXPECT_EQ(0, mixedRecording.odd + mixedPlayback.odd);
  EXPECT_EQ(16000, mixedRecording.rate);
  EXPECT_EQ(-1, mixedRecording.channel);
  EXPECT_EQ(webrtc::kRecordingAllChannelsMixed, mixedRecording.type);
  EXPECT_EQ(16000, mixedPlayback.rate);
  EXPECT_EQ(webrtc::kPlaybackAllChannelsMixed, mixedPlayback.type);
  EXPECT_EQ(32000, legA.injector.rate());
  EXPECT_EQ(32000, legA.recorder.rate());
  EXPECT_EQ(legA.channel, legA.recorder.channel());
  for (int length : legA.recorder.lengths()) ASSERT_EQ(320, length);
  // One call per 10 ms of the device clock.
  const double perSecond = (mixedRecording.calls - 1) * 1000.0 / (mixedRecording.last - mixedRecording.first);
  EXPECT_NEAR(100.0, perSecond, 15.0);
  std::printf("[ figures  ] capture processing calls per second %.1f\n", perSecond);
}

TEST(CallRtcp, ReceiverReportsTellTheSenderWhatArrived) {
  TestEngine e;
  const int ch = e.base->CreateChannel();
  voicetest::UdpPeer rtp(20330), rtcp(20331);
  ASSERT_TRUE(rtp.bound() && rtcp.bound());
  ASSERT_EQ(0, e.base->SetLocalReceiver(ch, 20320));
  ASSERT_EQ(0, e.base->SetSendDestination(ch, 20330, "127.0.0.1"));
  ASSERT_EQ(0, e.base->StartReceive(ch));
  // Our sender report first, then 50 PCMU packets with 5 missing.
  voe::RtcpSenderInfo info;
  info.ntpSeconds = 3900000000u;
  info.ntpFraction = 0x12340000u;
  uint8_t packet[256];
  size_t length = voe::WriteRtcpReport(packet, sizeof packet, 0xCAFE0001u, &info, nullptr, "peer");
  rtcp.SendTo(packet, length, 20321);
  for (uint16_t seq = 1000; seq < 1050; ++seq) {
    if (seq % 10 == 3) continue;
    uint8_t rtpPacket[172] = {};
    voe::WriteRtpHeader(rtpPacket, sizeof rtpPacket, 0, false, seq, seq * 160u, 0xCAFE0001u);
    rtp.SendTo(rtpPacket, sizeof rtpPacket, 20320);
    Sleep(2);
  }
  voe::RtcpInfo report;
  bool got = false;
  for (DWORD start = GetTickCount(); !got && GetTickCount() - start < 5000;) {
    const std::vector<uint8_t> d = rtcp.Receive(200);
    got = !d.empty() && voe::ReadRtcp(d.data(), d.size(), &report) && report.blockCount == 1;
  }
  ASSERT_TRUE(got) << "no receiver report within 5 s";
  unsigned local = 0, remote = 0;
  e.rtp->GetLocalSSRC(ch, local);
  ASSERT_EQ(0, e.rtp->GetRemoteSSRC(ch, remote));
  EXPECT_EQ(0xCAFE0001u, remote);
  EXPECT_EQ(local, report.senderSsrc);
  EXPECT_FALSE(report.hasSenderInfo);  // it has sent nothing
  const voe::RtcpReportBlock& block = report.blocks[0];
  EXPECT_EQ(0xCAFE0001u, block.ssrc);
  EXPECT_EQ(1049u, block.extendedMax);
  EXPECT_EQ(5, block.cumulativeLost);
  EXPECT_EQ(5 * 256 / 50, block.fractionLost);
  EXPECT_EQ((3900000000u << 16) | 0x1234u, block.lastSr);
  EXPECT_GT(block.delaySinceLastSr, 0u);
  EXPECT_LT(block.delaySinceLastSr, 5u * 65536);
}

}  // namespace

namespace {

TEST(CallControls, MuteAndHoldSilenceTheDirectionTheyName) {
  TestEngine a, b;
  CallLeg legA(a, 20340, 20350, Pcmu(a), voicetest::Tone(1000, 10000));
  CallLeg legB(b, 20350, 20340, Pcmu(b), voicetest::Tone(0, 0));
  ASSERT_TRUE(legA.Start() && legB.Start());
  unsigned level = 0, full = 0;
  const auto outputLevel = [&] {
    b.volume->GetSpeechOutputLevel(legB.channel, level);
    b.volume->GetSpeechOutputLevelFullRange(legB.channel, full);
    return level;
  };
  ASSERT_TRUE(voicetest::WaitFor([&] { return outputLevel() >= 8; }, 15000)) << level;
  EXPECT_NEAR(10000, static_cast<double>(full), 1500);
  unsigned mixed = 0;
  EXPECT_TRUE(voicetest::WaitFor([&] { return b.volume->GetSpeechOutputLevel(-1, mixed) == 0 && mixed >= 8; }, 2000));

  // A's microphone muted for this channel: B hears silence.
  ASSERT_EQ(0, a.volume->SetInputMute(legA.channel, true));
  EXPECT_TRUE(voicetest::WaitFor([&] { return outputLevel() == 0; }, 3000)) << level;
  ASSERT_EQ(0, a.volume->SetInputMute(legA.channel, false));
  ASSERT_TRUE(voicetest::WaitFor([&] { return outputLevel() >= 8; }, 3000));

  // B holds its playout: the channel still decodes (its level), the mix is silent.
  ASSERT_EQ(0, b.base->SetOnHoldStatus(legB.channel, true, webrtc::kHoldPlayOnly));
  EXPECT_TRUE(voicetest::WaitFor([&] { return b.volume->GetSpeechOutputLevel(-1, mixed) == 0 && mixed == 0; }, 3000));
  EXPECT_GE(outputLevel(), 8u);
  ASSERT_EQ(0, b.base->SetOnHoldStatus(legB.channel, false));

  // A holds its sending: no more packets reach B.
  ASSERT_EQ(0, a.base->SetOnHoldStatus(legA.channel, true, webrtc::kHoldSendOnly));
  Sleep(200);
  webrtc::CallStatistics before, after;
  b.rtp->GetRTCPStatistics(legB.channel, before);
  Sleep(500);
  b.rtp->GetRTCPStatistics(legB.channel, after);
  EXPECT_EQ(before.packetsReceived, after.packetsReceived);
  bool held = false;
  webrtc::OnHoldModes mode;
  ASSERT_EQ(0, a.base->GetOnHoldStatus(legA.channel, held, mode));
  EXPECT_TRUE(held);
  EXPECT_EQ(webrtc::kHoldSendOnly, mode);
}

// The sources a compound RTCP packet says goodbye for, read byte by byte
// (independently of the engine's reader).
std::vector<uint32_t> ByeSources(const std::vector<uint8_t>& d) {
  std::vector<uint32_t> sources;
  for (size_t at = 0; at + 4 <= d.size();) {
    const size_t length = 4 * ((static_cast<size_t>(d[at + 2]) << 8 | d[at + 3]) + 1);
    if (at + length > d.size()) break;
    if (d[at + 1] == 203) {
      for (size_t i = 0; i < static_cast<size_t>(d[at] & 0x1F) && 8 + 4 * i <= length; ++i) {
        const uint8_t* s = d.data() + at + 4 + 4 * i;
        sources.push_back(static_cast<uint32_t>(s[0]) << 24 | s[1] << 16 | s[2] << 8 | s[3]);
      }
    }
    at += length;
  }
  return sources;
}

TEST(CallRtcp, AChannelThatStopsSendingSaysGoodbyeWithItsSenderReport) {
  TestEngine e;
  const int ch = e.base->CreateChannel();
  voicetest::UdpPeer rtp(20390), rtcp(20391);
  ASSERT_TRUE(rtp.bound() && rtcp.bound());
  ASSERT_EQ(0, e.base->SetLocalReceiver(ch, 20380));
  ASSERT_EQ(0, e.codec->SetSendCodec(ch, Pcmu(e)));
  ASSERT_EQ(0, e.base->SetSendDestination(ch, 20390, "127.0.0.1"));
  ASSERT_EQ(0, e.base->StartSend(ch));
  ASSERT_FALSE(rtp.Receive(3000).empty()) << "no RTP within 3 s";
  // Nothing said goodbye while it sends.
  for (std::vector<uint8_t> d = rtcp.Receive(0); !d.empty(); d = rtcp.Receive(0)) ASSERT_TRUE(ByeSources(d).empty());
  ASSERT_EQ(0, e.base->StopSend(ch));
  unsigned local = 0;
  e.rtp->GetLocalSSRC(ch, local);
  std::vector<uint8_t> bye;
  for (DWORD start = GetTickCount(); bye.empty() && GetTickCount() - start < 3000;) {
    const std::vector<uint8_t> d = rtcp.Receive(200);
    if (!d.empty() && !ByeSources(d).empty()) bye = d;
  }
  ASSERT_FALSE(bye.empty()) << "no BYE within 3 s of StopSend";
  EXPECT_EQ(std::vector<uint32_t>{local}, ByeSources(bye));
  EXPECT_EQ(200, bye[1]);  // the compound starts with the sender report
  ASSERT_EQ(0, e.base->StopSend(ch));  // stopping again says nothing more
  EXPECT_TRUE(rtcp.Receive(300).empty());
}

TEST(CallRtcp, ARemoteSourceThatSaysGoodbyeIsNoLongerTheCallsSource) {
  TestEngine e;
  const int ch = e.base->CreateChannel();
  voicetest::UdpPeer rtp(20410), rtcp(20411);
  ASSERT_EQ(0, e.base->SetLocalReceiver(ch, 20400));
  ASSERT_EQ(0, e.base->SetSendDestination(ch, 20410, "127.0.0.1"));
  ASSERT_EQ(0, e.base->StartReceive(ch));
  for (uint16_t seq = 1; seq <= 10; ++seq) {
    uint8_t rtpPacket[172] = {};
    voe::WriteRtpHeader(rtpPacket, sizeof rtpPacket, 0, false, seq, seq * 160u, 0xCAFE0002u);
    rtp.SendTo(rtpPacket, sizeof rtpPacket, 20400);
  }
  unsigned remote = 0;
  ASSERT_TRUE(voicetest::WaitFor([&] { return e.rtp->GetRemoteSSRC(ch, remote) == 0; }, 3000));
  EXPECT_EQ(0xCAFE0002u, remote);

  // A BYE for another source changes nothing; one for the call's source ends it.
  struct Goodbye {
    const char* name;
    uint32_t source;
    bool ends;
  };
  for (const Goodbye& g : {Goodbye{"another source", 0xBEEF0001u, false}, Goodbye{"the call's source", 0xCAFE0002u, true}}) {
    SCOPED_TRACE(g.name);
    uint8_t packet[256];
    size_t length = voe::WriteRtcpReport(packet, sizeof packet, g.source, nullptr, nullptr, "peer");
    length += voe::WriteRtcpBye(packet + length, sizeof packet - length, g.source);
    rtcp.SendTo(packet, length, 20401);
    const bool ended = voicetest::WaitFor([&] { return e.rtp->GetRemoteSSRC(ch, remote) != 0; }, 1000);
    EXPECT_EQ(g.ends, ended);
  }
  EXPECT_EQ(-1, e.rtp->GetRemoteSSRC(ch, remote));
  EXPECT_EQ(VE_INVALID_OPERATION, e.base->LastError());
  webrtc::CallStatistics stats;
  ASSERT_EQ(0, e.rtp->GetRTCPStatistics(ch, stats));
  EXPECT_EQ(-1, stats.rttMs);
  EXPECT_EQ(10, stats.packetsReceived);  // what arrived stays counted
}

}  // namespace
