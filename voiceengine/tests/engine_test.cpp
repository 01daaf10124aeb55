// The engine object and its interfaces: references, error numbers, the
// codec database, local ports and the trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "voice_call.h"
#include "voiceengine/voiceengine.h"

namespace {

using voicetest::TestEngine;

TEST(EngineReferences, EachInterfaceCountsItsOwnAndTheEngineLivesUntilTheLast) {
  webrtc::VoiceEngine* engine = webrtc::VoiceEngine::Create();
  ASSERT_NE(nullptr, engine);
  webrtc::VoEBase* base = webrtc::VoEBase::GetInterface(engine);
  webrtc::VoEBase* again = webrtc::VoEBase::GetInterface(engine);
  webrtc::VoECodec* codec = webrtc::VoECodec::GetInterface(engine);
  ASSERT_EQ(base, again);
  EXPECT_EQ(1, again->Release());
  EXPECT_EQ(0, codec->Release());
  EXPECT_EQ(-1, codec->Release());  // one release too many
  EXPECT_EQ(VE_INTERFACE_NOT_FOUND, base->LastError());
  // With the base interface still held, Delete cannot free the engine; the
  // interface stays usable until its release.
  webrtc::VoiceEngine* alias = engine;
  EXPECT_FALSE(webrtc::VoiceEngine::Delete(alias));
  EXPECT_EQ(nullptr, alias);
  EXPECT_EQ(0, base->Init());
  EXPECT_EQ(0, base->CreateChannel());
  EXPECT_EQ(0, base->Release());

  webrtc::VoiceEngine* plain = webrtc::VoiceEngine::Create();
  EXPECT_TRUE(webrtc::VoiceEngine::Delete(plain));
  EXPECT_FALSE(webrtc::VoiceEngine::Delete(plain));  // NULL now
  EXPECT_EQ(nullptr, webrtc::VoEBase::GetInterface(nullptr));
}

TEST(EngineReferences, EveryInterfaceTheSystemTakesIsServed) {
  webrtc::VoiceEngine* engine = webrtc::VoiceEngine::Create();
  std::vector<std::function<int()>> releases;
  auto take = [&](auto* i) {
    ASSERT_NE(nullptr, i);
    releases.push_back([i] { return i->Release(); });
  };
  take(webrtc::VoEBase::GetInterface(engine));
  take(webrtc::VoECodec::GetInterface(engine));
  take(webrtc::VoEDtmf::GetInterface(engine));
  take(webrtc::VoEExternalMedia::GetInterface(engine));
  take(webrtc::VoEVolumeControl::GetInterface(engine));
  take(webrtc::VoEEncryption::GetInterface(engine));
  take(webrtc::VoEHardware::GetInterface(engine));
  take(webrtc::VoEVideoSync::GetInterface(engine));
  take(webrtc::VoENetwork::GetInterface(engine));
  take(webrtc::VoEFile::GetInterface(engine));
  take(webrtc::VoEAudioProcessing::GetInterface(engine));
  take(webrtc::VoERTP_RTCP::GetInterface(engine));
  for (auto& release : releases) EXPECT_EQ(0, release());
  EXPECT_TRUE(webrtc::VoiceEngine::Delete(engine));
}

struct Refusal {
  const char* name;
  std::function<int(TestEngine&, int channel)> call;
  int error;
};

class EngineRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(EngineRefuses, WithMinusOneAndItsErrorNumber) {
  TestEngine e;
  ASSERT_EQ(0, e.initResult);
  const int channel = e.base->CreateChannel();
  ASSERT_EQ(0, channel);
  EXPECT_EQ(-1, GetParam().call(e, channel));
  EXPECT_EQ(GetParam().error, e.base->LastError());
}

webrtc::CodecInst With(TestEngine& e, const char* name, void (*change)(webrtc::CodecInst&)) {
  webrtc::CodecInst c = voicetest::FindCodec(e, name);
  change(c);
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineRefuses,
    ::testing::Values(
        Refusal{"UnknownChannel", [](TestEngine& e, int) { return e.base->StartSend(7); }, VE_CHANNEL_NOT_VALID},
        Refusal{"NegativeChannel", [](TestEngine& e, int) { return e.base->DeleteChannel(-1); },
                VE_CHANNEL_NOT_VALID},
        Refusal{"UnknownCodecName",
                [](TestEngine& e, int ch) {
                  return e.codec->SetSendCodec(ch, With(e, "PCMU", [](webrtc::CodecInst& c) { strcpy(c.plname, "XYZ"); }));
                },
                VE_INVALID_PLNAME},
        Refusal{"WrongClockRate",
                [](TestEngine& e, int ch) {
                  return e.codec->SetSendCodec(ch, With(e, "PCMU", [](webrtc::CodecInst& c) { c.plfreq = 16000; }));
                },
                VE_INVALID_PLFREQ},
        Refusal{"PacketNotWholeFrames",
                [](TestEngine& e, int ch) {
                  return e.codec->SetSendCodec(ch, With(e, "PCMA", [](webrtc::CodecInst& c) { c.pacsize = 100; }));
                },
                VE_INVALID_PACSIZE},
        Refusal{"PayloadTypeAbove127",
                [](TestEngine& e, int ch) {
                  return e.codec->SetSendCodec(ch, With(e, "opus", [](webrtc::CodecInst& c) { c.pltype = 128; }));
                },
                VE_INVALID_PLTYPE},
        Refusal{"TelephoneEventAsSendCodec",
                [](TestEngine& e, int ch) {
                  return e.codec->SetSendCodec(ch, With(e, "telephone-event", [](webrtc::CodecInst&) {}));
                },
                VE_INVALID_ARGUMENT},
#ifndef ZEQ_VOICE_G729
        Refusal{"G729WithoutItsCoderToSend",
                [](TestEngine& e, int ch) { return e.codec->SetSendCodec(ch, With(e, "G729", [](webrtc::CodecInst&) {})); },
                VE_CANNOT_SET_SEND_CODEC},
        Refusal{"G729WithoutItsCoderToReceive",
                [](TestEngine& e, int ch) {
                  return e.codec->SetRecPayloadType(ch, With(e, "G729", [](webrtc::CodecInst&) {}));
                },
                VE_CODEC_ERROR},
#endif
        Refusal{"SendWithoutDestination", [](TestEngine& e, int ch) { return e.base->StartSend(ch); },
                VE_DESTINATION_NOT_INITED},
        Refusal{"ReceiveWithoutLocalPort", [](TestEngine& e, int ch) { return e.base->StartReceive(ch); },
                VE_SOCKETS_NOT_INITED},
        Refusal{"DestinationNotAnAddress",
                [](TestEngine& e, int ch) { return e.base->SetSendDestination(ch, 20100, "127.0.0.300"); },
                VE_INVALID_IP_ADDRESS},
        Refusal{"DestinationPortZero", [](TestEngine& e, int ch) { return e.base->SetSendDestination(ch, 0, "127.0.0.1"); },
                VE_INVALID_PORT_NMBR},
        Refusal{"PortTakenByAnotherChannel",
                [](TestEngine& e, int ch) {
                  const int other = e.base->CreateChannel();
                  if (e.base->SetLocalReceiver(other, 20100) != 0) return 0;
                  return e.base->SetLocalReceiver(ch, 20100);
                },
                VE_SOCKET_ERROR},
        Refusal{"EventOutOfRange", [](TestEngine& e, int ch) { return e.dtmf->SendTelephoneEvent(ch, 16); },
                VE_DTMF_OUTOF_RANGE},
        Refusal{"EventWhileNotSending", [](TestEngine& e, int ch) { return e.dtmf->SendTelephoneEvent(ch, 1); },
                VE_NOT_SENDING},
        Refusal{"EventTypeBelowDynamicRange",
                [](TestEngine& e, int ch) { return e.dtmf->SetSendTelephoneEventPayloadType(ch, 95); },
                VE_INVALID_PLTYPE},
        Refusal{"SecondProcessorOnAChannel",
                [](TestEngine& e, int ch) {
                  static voicetest::Recorder first, second;
                  e.media->RegisterExternalMediaProcessing(ch, webrtc::kPlaybackPerChannel, first);
                  return e.media->RegisterExternalMediaProcessing(ch, webrtc::kPlaybackPerChannel, second);
                },
                VE_INVALID_OPERATION},
        Refusal{"DeregisteringNothing",
                [](TestEngine& e, int) { return e.media->DeRegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed); },
                VE_INVALID_OPERATION},
        Refusal{"GainAboveTen", [](TestEngine& e, int ch) { return e.volume->SetChannelOutputVolumeScaling(ch, 10.5f); },
                VE_INVALID_ARGUMENT},
        Refusal{"VolumeAbove255", [](TestEngine& e, int) { return e.volume->SetSpeakerVolume(256); },
                VE_INVALID_ARGUMENT},
        Refusal{"LayerAfterInit", [](TestEngine& e, int) { return e.hardware->SetAudioDeviceLayer(webrtc::kAudioWindowsCore); },
                VE_ALREADY_INITED},
        Refusal{"LayerOfAnotherSystem", [](TestEngine& e, int) { return e.hardware->SetAudioDeviceLayer(webrtc::kAudioLinuxPulse); },
                VE_FUNC_NOT_SUPPORTED},
        Refusal{"RecordingChannelThatIsNotThere",
                [](TestEngine& e, int) { return e.hardware->SetRecordingDevice(-1, static_cast<webrtc::StereoChannel>(3)); },
                VE_INVALID_ARGUMENT},
        Refusal{"RecordingDeviceThatIsNotThere", [](TestEngine& e, int) { return e.hardware->SetRecordingDevice(999); },
                VE_INVALID_ARGUMENT},
        Refusal{"CodecIndexPastTheDatabase",
                [](TestEngine& e, int) {
                  webrtc::CodecInst c;
                  return e.codec->GetCodec(e.codec->NumOfCodecs(), c);
                },
                VE_INVALID_LISTNR},
        Refusal{"RemoteSsrcBeforeAnyPacket",
                [](TestEngine& e, int ch) {
                  unsigned ssrc = 0;
                  return e.rtp->GetRemoteSSRC(ch, ssrc);
                },
                VE_INVALID_OPERATION}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST(EngineChannels, NeedInitAndAreNumberedFromZero) {
  webrtc::VoiceEngine* engine = webrtc::VoiceEngine::Create();
  webrtc::VoEBase* base = webrtc::VoEBase::GetInterface(engine);
  EXPECT_EQ(-1, base->CreateChannel());
  EXPECT_EQ(VE_NOT_INITED, base->LastError());
  EXPECT_EQ(-1, base->Init(reinterpret_cast<webrtc::AudioDeviceModule*>(base)));  // only its own devices
  EXPECT_EQ(VE_FUNC_NOT_SUPPORTED, base->LastError());
  EXPECT_EQ(0, base->Init());
  EXPECT_EQ(0, base->CreateChannel());
  EXPECT_EQ(1, base->CreateChannel());
  EXPECT_EQ(0, base->DeleteChannel(0));
  EXPECT_EQ(0, base->CreateChannel());  // the lowest free id again
  EXPECT_EQ(0, base->Terminate());
  EXPECT_EQ(-1, base->DeleteChannel(1));  // Terminate deleted it
  base->Release();
  webrtc::VoiceEngine::Delete(engine);
}

TEST(EngineChannels, LocalReceiverBindsRtpAndTheRtcpPortAboveIt) {
  TestEngine e;
  const int ch = e.base->CreateChannel();
  int port = 0, rtcp = 0;
  char address[64] = "x";
  ASSERT_EQ(0, e.base->SetLocalReceiver(ch, 20120));
  ASSERT_EQ(0, e.base->GetLocalReceiver(ch, port, rtcp, address));
  EXPECT_EQ(20120, port);
  EXPECT_EQ(20121, rtcp);
  EXPECT_STREQ("", address);
  // Moving to another port frees the first one.
  ASSERT_EQ(0, e.base->SetLocalReceiver(ch, 20122, 20125, "127.0.0.1"));
  ASSERT_EQ(0, e.base->GetLocalReceiver(ch, port, rtcp, address));
  EXPECT_EQ(20125, rtcp);
  EXPECT_STREQ("127.0.0.1", address);
  const int other = e.base->CreateChannel();
  EXPECT_EQ(0, e.base->SetLocalReceiver(other, 20120));
  int sendPort = 0, sourcePort = 0, rtcpPort = 0;
  ASSERT_EQ(0, e.base->SetSendDestination(ch, 20130, "127.0.0.1"));
  ASSERT_EQ(0, e.base->GetSendDestination(ch, sendPort, address, sourcePort, rtcpPort));
  EXPECT_EQ(20130, sendPort);
  EXPECT_EQ(20131, rtcpPort);
  EXPECT_EQ(20122, sourcePort);  // sent from the receiving socket
  EXPECT_STREQ("127.0.0.1", address);
}

TEST(EngineCodecs, TheDatabaseListsTheCodecsTheSdpNegotiates) {
  TestEngine e;
  std::vector<std::string> listed;
  for (int i = 0; i < e.codec->NumOfCodecs(); ++i) {
    webrtc::CodecInst c;
    ASSERT_EQ(0, e.codec->GetCodec(i, c));
    listed.push_back(std::string(c.plname) + "/" + std::to_string(c.plfreq) + "/" + std::to_string(c.channels) +
                     " " + std::to_string(c.pltype));
  }
  EXPECT_EQ((std::vector<std::string>{"PCMU/8000/1 0", "PCMA/8000/1 8", "G729/8000/1 18", "opus/48000/2 120",
                                      "telephone-event/8000/1 106"}),
            listed);
  const int ch = e.base->CreateChannel();
  webrtc::CodecInst opus = voicetest::FindCodec(e, "OPUS");
  opus.pltype = 111;
  ASSERT_EQ(0, e.codec->SetRecPayloadType(ch, opus));
  webrtc::CodecInst asked = voicetest::FindCodec(e, "opus");
  ASSERT_EQ(0, e.codec->GetRecPayloadType(ch, asked));
  EXPECT_EQ(111, asked.pltype);
  ASSERT_EQ(0, e.codec->SetSendCodec(ch, opus));
  webrtc::CodecInst sending;
  ASSERT_EQ(0, e.codec->GetSendCodec(ch, sending));
  EXPECT_EQ(111, sending.pltype);
}

struct Lines : webrtc::TraceCallback {
  void Print(webrtc::TraceLevel level, const char* message, int length) override {
    texts.push_back(std::to_string(level) + " " + std::string(message, static_cast<size_t>(length)));
  }
  std::vector<std::string> texts;
};

TEST(EngineTrace, LinesReachTheCallbackOnlyThroughTheFilter) {
  Lines lines;
  webrtc::VoiceEngine::SetTraceCallback(&lines);
  webrtc::VoiceEngine::SetTraceFilter(0);
  {
    TestEngine e;
    e.base->CreateChannel();
  }
  EXPECT_TRUE(lines.texts.empty());
  webrtc::VoiceEngine::SetTraceFilter(webrtc::kTraceStateInfo | webrtc::kTraceError);
  {
    TestEngine e;
    e.base->CreateChannel();
  }
  webrtc::VoiceEngine::SetTraceFilter(0);
  webrtc::VoiceEngine::SetTraceCallback(nullptr);
  bool created = false;
  for (const std::string& t : lines.texts) created = created || t == "1 CreateChannel: channel 0";
  EXPECT_TRUE(created);
}

TEST(EngineSettings, ProcessingAndVolumeSettingsReadBack) {
  TestEngine e;
  bool on = false;
  webrtc::NsModes ns;
  webrtc::EcModes ec;
  webrtc::AgcModes agc;
  ASSERT_EQ(0, e.processing->SetNsStatus(true, webrtc::kNsModerateSuppression));
  ASSERT_EQ(0, e.processing->SetEcStatus(true, webrtc::kEcAec));
  ASSERT_EQ(0, e.processing->SetAgcStatus(false, webrtc::kAgcAdaptiveAnalog));
  e.processing->GetNsStatus(on, ns);
  EXPECT_TRUE(on);
  EXPECT_EQ(webrtc::kNsModerateSuppression, ns);
  e.processing->GetEcStatus(on, ec);
  EXPECT_TRUE(on);
  EXPECT_EQ(webrtc::kEcAec, ec);
  e.processing->GetAgcStatus(on, agc);
  EXPECT_FALSE(on);
  EXPECT_EQ(webrtc::kAgcAdaptiveAnalog, agc);
  unsigned volume = 0;
  ASSERT_EQ(0, e.volume->SetSpeakerVolume(128));
  e.volume->GetSpeakerVolume(volume);
  EXPECT_EQ(128u, volume);
  ASSERT_EQ(0, e.volume->SetMicVolume(200));
  e.volume->GetMicVolume(volume);
  EXPECT_EQ(200u, volume);
  webrtc::AudioLayers layer;
  ASSERT_EQ(0, e.hardware->GetAudioDeviceLayer(layer));
  EXPECT_EQ(webrtc::kAudioWindowsWave, layer);
}

}  // namespace
