// The wave devices: listed with their names, selected by index, and real:
// what one engine plays on a sink, another records from its monitor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "signal_analysis.h"
#include "udp_peer.h"
#include "voice_call.h"

namespace {

using voicetest::TestEngine;

// The index of the device whose name contains `part`; -1 when none.
int DeviceIndex(TestEngine& e, bool recording, const char* part) {
  int count = 0;
  recording ? e.hardware->GetNumOfRecordingDevices(count) : e.hardware->GetNumOfPlayoutDevices(count);
  for (int i = 0; i < count; ++i) {
    char name[128], guid[128];
    const int r = recording ? e.hardware->GetRecordingDeviceName(i, name, guid)
                            : e.hardware->GetPlayoutDeviceName(i, name, guid);
    if (r == 0 && std::strstr(name, part)) return i;
  }
  return -1;
}

TEST(Devices, TheSoundServersSinksAndMonitorsAreListedByName) {
  TestEngine e;
  int playout = 0, recording = 0;
  ASSERT_EQ(0, e.hardware->GetNumOfPlayoutDevices(playout));
  ASSERT_EQ(0, e.hardware->GetNumOfRecordingDevices(recording));
  EXPECT_GE(playout, 2);
  EXPECT_GE(recording, 2);
  EXPECT_GE(DeviceIndex(e, false, "nullB"), 0);
  EXPECT_GE(DeviceIndex(e, true, "nullB"), 0);
  char name[128], guid[128];
  EXPECT_EQ(0, e.hardware->GetPlayoutDeviceName(-1, name, guid));  // the default
  EXPECT_NE('\0', name[0]);
  EXPECT_EQ(-1, e.hardware->GetPlayoutDeviceName(playout, name, guid));
  EXPECT_EQ(VE_INVALID_ARGUMENT, e.base->LastError());
}

// Records the mixed capture of an engine.
struct Capture : webrtc::VoEMediaProcess {
  void Process(int, webrtc::ProcessingTypes, int16_t audio[], int length, int, bool) override {
    std::lock_guard<std::mutex> guard(lock);
    heard.insert(heard.end(), audio, audio + length);
  }
  std::vector<int16_t> Heard() {
    std::lock_guard<std::mutex> guard(lock);
    return heard;
  }
  std::mutex lock;
  std::vector<int16_t> heard;
};

TEST(Devices, WhatOneEnginePlaysOnASinkAnotherRecordsFromItsMonitor) {
  TestEngine sender, player, listener;
  const int sink = DeviceIndex(player, false, "nullB");
  const int monitor = DeviceIndex(listener, true, "nullB");
  ASSERT_GE(sink, 0);
  ASSERT_GE(monitor, 0);
  ASSERT_EQ(0, player.hardware->SetPlayoutDevice(sink));
  ASSERT_EQ(0, listener.hardware->SetRecordingDevice(monitor));

  // The player receives a 1 kHz tone in a call and plays it out.
  const webrtc::CodecInst pcmu = voicetest::FindCodec(sender, "PCMU");
  voicetest::CallLeg from(sender, 20500, 20510, pcmu, voicetest::Tone(1000, 12000));
  voicetest::CallLeg to(player, 20510, 20500, pcmu, voicetest::Tone(0, 0));
  ASSERT_TRUE(from.Start() && to.Start());

  // The listener captures (a channel must send for the capture to run).
  voicetest::UdpPeer sinkhole(20530);
  Capture capture;
  ASSERT_EQ(0, listener.media->RegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed, capture));
  const int ch = listener.base->CreateChannel();
  ASSERT_EQ(0, listener.base->SetSendDestination(ch, 20530, "127.0.0.1"));
  ASSERT_EQ(0, listener.base->StartSend(ch));

  const auto loud = [&] {
    const std::vector<int16_t> x = capture.Heard();
    return x.size() > 16000 && voicetest::Rms(x.data() + x.size() - 4000, 4000) > 2000;
  };
  ASSERT_TRUE(voicetest::WaitFor(loud, 15000));
  Sleep(1200);  // a whole second of the tone after its onset
  // The last second in tenths: mostly the tone (a device underrun of a
  // loaded machine may break a few).
  const std::vector<int16_t> x = capture.Heard();
  ASSERT_GT(x.size(), 16000u);
  int clean = 0;
  for (size_t w = 0; w < 10; ++w) {
    const int16_t* tenth = x.data() + x.size() - (10 - w) * 1600;
    if (voicetest::EnergyShareAt(tenth, 1600, 1000, 16000) > 0.9 && voicetest::Rms(tenth, 1600) > 5000) ++clean;
  }
  EXPECT_GE(clean, 7);
  std::printf("[ figures  ] captured from the monitor: rms %.0f, the tone clean in %d of 10 tenths\n",
              voicetest::Rms(x.data() + x.size() - 16000, 16000), clean);
  listener.base->StopSend(ch);
  listener.media->DeRegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed);
}

}  // namespace
