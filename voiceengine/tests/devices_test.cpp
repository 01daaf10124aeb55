// The audio devices of both layers (wave, Core Audio): listed with their
// names, selected by the layer's own index, and real: what one engine plays
// on a sink, another records from its monitor, with the stereo channel the
// recording device was selected with.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "signal_analysis.h"
#include "udp_peer.h"
#include "voice_call.h"

namespace {

using voicetest::TestEngine;

// The index of the device whose name contains `part`; -1 when none.
int DeviceIndex(TestEngine& e, bool recording, const char* part, std::string* id = nullptr) {
  int count = 0;
  recording ? e.hardware->GetNumOfRecordingDevices(count) : e.hardware->GetNumOfPlayoutDevices(count);
  for (int i = 0; i < count; ++i) {
    char name[128], guid[128];
    const int r = recording ? e.hardware->GetRecordingDeviceName(i, name, guid)
                            : e.hardware->GetPlayoutDeviceName(i, name, guid);
    if (r == 0 && std::strstr(name, part)) {
      if (id) *id = guid;
      return i;
    }
  }
  return -1;
}

struct Layer {
  const char* name;
  webrtc::AudioLayers layer;
};

const Layer kLayers[] = {
    {"Wave", webrtc::kAudioWindowsWave},
    {"CoreAudio", webrtc::kAudioWindowsCore},
};

class Devices : public testing::TestWithParam<Layer> {};

TEST_P(Devices, TheSoundServersSinksAndMonitorsAreListedByName) {
  TestEngine e(GetParam().layer);
  ASSERT_EQ(0, e.layerResult);
  ASSERT_EQ(0, e.initResult);
  webrtc::AudioLayers layer = webrtc::kAudioPlatformDefault;
  ASSERT_EQ(0, e.hardware->GetAudioDeviceLayer(layer));
  EXPECT_EQ(GetParam().layer, layer);
  int playout = 0, recording = 0;
  ASSERT_EQ(0, e.hardware->GetNumOfPlayoutDevices(playout));
  ASSERT_EQ(0, e.hardware->GetNumOfRecordingDevices(recording));
  EXPECT_GE(playout, 2);
  EXPECT_GE(recording, 2);
  std::string sinkId, monitorId;
  EXPECT_GE(DeviceIndex(e, false, "nullB", &sinkId), 0);
  EXPECT_GE(DeviceIndex(e, true, "nullB", &monitorId), 0);
  EXPECT_FALSE(sinkId.empty());
  EXPECT_NE(sinkId, monitorId);
  char name[128], guid[128];
  EXPECT_EQ(0, e.hardware->GetPlayoutDeviceName(-1, name, guid));  // the default
  EXPECT_NE('\0', name[0]);
  EXPECT_EQ(-1, e.hardware->GetPlayoutDeviceName(playout, name, guid));
  EXPECT_EQ(VE_INVALID_ARGUMENT, e.base->LastError());
  EXPECT_EQ(-1, e.hardware->SetRecordingDevice(recording));
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

// An engine that captures from a device (a channel must send for the
// capture to run; its packets go to a port nobody reads).
struct Listener {
  Listener(webrtc::AudioLayers layer, int sinkPort) : engine(layer) {
    if (engine.initResult != 0) return;
    channel = engine.base->CreateChannel();
    engine.base->SetSendDestination(channel, sinkPort, "127.0.0.1");
  }
  bool Start(int device, webrtc::StereoChannel pick) {
    return engine.hardware->SetRecordingDevice(device, pick) == 0 &&
           engine.media->RegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed, capture) == 0 &&
           engine.base->StartSend(channel) == 0;
  }
  ~Listener() {
    engine.base->StopSend(channel);
    engine.media->DeRegisterExternalMediaProcessing(-1, webrtc::kRecordingAllChannelsMixed);
  }
  // True once `least` samples are captured and the last quarter second is loud.
  bool Loud(size_t least = 16000) {
    const std::vector<int16_t> x = capture.Heard();
    return x.size() > least && voicetest::Rms(x.data() + x.size() - 4000, 4000) > 2000;
  }
  TestEngine engine;
  Capture capture;
  int channel = -1;
};

// A route from one engine's playout on a sink to another's recording of the
// sink's monitor, each on a layer of its own.
struct Route {
  const char* name;
  webrtc::AudioLayers playerLayer, listenerLayer;
  const char* sink;
  int port;  // first of the loopback ports its call uses
};

// Both routes run at once, each layer playing into the other's recording.
TEST(DeviceRoutes, WhatOneEnginePlaysOnASinkAnotherRecordsFromItsMonitor) {
  const Route routes[] = {
      {"wave playout to Core Audio recording", webrtc::kAudioWindowsWave, webrtc::kAudioWindowsCore, "nullB", 20500},
      {"Core Audio playout to wave recording", webrtc::kAudioWindowsCore, webrtc::kAudioWindowsWave, "nullA", 20540},
  };
  struct Running {
    std::unique_ptr<TestEngine> sender, player;
    std::unique_ptr<voicetest::UdpPeer> sinkhole;
    std::unique_ptr<Listener> listener;
    std::unique_ptr<voicetest::CallLeg> from, to;
  } running[2];
  for (int i = 0; i < 2; ++i) {
    const Route& route = routes[i];
    SCOPED_TRACE(route.name);
    Running& r = running[i];
    r.sender.reset(new TestEngine());
    r.player.reset(new TestEngine(route.playerLayer));
    ASSERT_EQ(0, r.player->initResult);
    const int sink = DeviceIndex(*r.player, false, route.sink);
    ASSERT_GE(sink, 0);
    ASSERT_EQ(0, r.player->hardware->SetPlayoutDevice(sink));
    r.sinkhole.reset(new voicetest::UdpPeer(route.port + 30));
    r.listener.reset(new Listener(route.listenerLayer, route.port + 30));
    const int monitor = DeviceIndex(r.listener->engine, true, route.sink);
    ASSERT_GE(monitor, 0);
    // The player receives a 1 kHz tone in a call and plays it out.
    const webrtc::CodecInst pcmu = voicetest::FindCodec(*r.sender, "PCMU");
    r.from.reset(new voicetest::CallLeg(*r.sender, route.port, route.port + 10, pcmu, voicetest::Tone(1000, 12000)));
    r.to.reset(new voicetest::CallLeg(*r.player, route.port + 10, route.port, pcmu, voicetest::Tone(0, 0)));
    ASSERT_TRUE(r.from->Start() && r.to->Start());
    ASSERT_TRUE(r.listener->Start(monitor, webrtc::kStereoBoth));
  }
  for (Running& r : running) ASSERT_TRUE(voicetest::WaitFor([&] { return r.listener->Loud(); }, 15000));
  // From the onset on, each route's capture is judged in tenths of a second
  // as it grows, until each has ten tenths of a clean tone (bounded). Two
  // device paths run at once here, and on a loaded machine their underruns
  // break some tenths; a route that does not carry the tone breaks all.
  struct Tally {
    size_t next = 0;
    int clean = 0, judged = 0;
  } tally[2];
  for (int i = 0; i < 2; ++i) tally[i].next = running[i].listener->capture.Heard().size();
  auto judge = [&] {
    bool enough = true;
    for (int i = 0; i < 2; ++i) {
      const std::vector<int16_t> x = running[i].listener->capture.Heard();
      for (; tally[i].next + 1600 <= x.size(); tally[i].next += 1600, ++tally[i].judged) {
        const int16_t* tenth = x.data() + tally[i].next;
        if (voicetest::EnergyShareAt(tenth, 1600, 1000, 16000) > 0.9 && voicetest::Rms(tenth, 1600) > 5000)
          ++tally[i].clean;
      }
      enough = enough && tally[i].clean >= 10;
    }
    return enough;
  };
  voicetest::WaitFor(judge, 20000);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(routes[i].name);
    EXPECT_GE(tally[i].clean, 10);
    std::printf("[ figures  ] %s: the tone clean in %d of %d tenths judged\n", routes[i].name, tally[i].clean,
                tally[i].judged);
  }
}

// Plays a stereo signal on a sink through waveOut, looped until stopped:
// 1 kHz on the left, 600 Hz on the right.
class StereoSource {
 public:
  bool Start(int waveOutDevice) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 16000;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 64000;
    if (waveOutOpen(&out_, static_cast<UINT>(waveOutDevice), &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
      out_ = nullptr;
      return false;
    }
    for (size_t i = 0; i < kFrames; ++i) {
      samples_[2 * i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 1000 * i / 16000.0));
      samples_[2 * i + 1] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 600 * i / 16000.0));
    }
    header_.lpData = reinterpret_cast<LPSTR>(samples_.get());
    header_.dwBufferLength = static_cast<DWORD>(kFrames * 4);
    header_.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header_.dwLoops = 1000;
    return waveOutPrepareHeader(out_, &header_, sizeof header_) == MMSYSERR_NOERROR &&
           waveOutWrite(out_, &header_, sizeof header_) == MMSYSERR_NOERROR;
  }
  ~StereoSource() {
    if (!out_) return;
    waveOutReset(out_);
    waveOutUnprepareHeader(out_, &header_, sizeof header_);
    waveOutClose(out_);
  }

 private:
  static constexpr size_t kFrames = 16000;  // one second, a whole number of both periods
  HWAVEOUT out_ = nullptr;
  WAVEHDR header_ = {};
  std::unique_ptr<int16_t[]> samples_{new int16_t[2 * kFrames]};
};

INSTANTIATE_TEST_SUITE_P(Layers, Devices, testing::ValuesIn(kLayers),
                         [](const testing::TestParamInfo<Layer>& info) { return std::string(info.param.name); });

// Every layer and choice at once, all recording the same monitor.
TEST(StereoRecording, ARecordingDeviceGivesTheStereoChannelItWasSelectedWith) {
  TestEngine waveNames;
  const int waveSink = DeviceIndex(waveNames, false, "nullA");
  ASSERT_GE(waveSink, 0);
  StereoSource source;
  ASSERT_TRUE(source.Start(waveSink));

  struct Pick {
    const char* name;
    webrtc::AudioLayers layer;
    webrtc::StereoChannel channel;
    double share1000, share600;  // least energy share at each frequency
  };
  const Pick picks[] = {
      {"wave, left", webrtc::kAudioWindowsWave, webrtc::kStereoLeft, 0.9, 0.0},
      {"wave, right", webrtc::kAudioWindowsWave, webrtc::kStereoRight, 0.0, 0.9},
      {"wave, both", webrtc::kAudioWindowsWave, webrtc::kStereoBoth, 0.4, 0.4},
      {"Core Audio, left", webrtc::kAudioWindowsCore, webrtc::kStereoLeft, 0.9, 0.0},
      {"Core Audio, right", webrtc::kAudioWindowsCore, webrtc::kStereoRight, 0.0, 0.9},
      {"Core Audio, both", webrtc::kAudioWindowsCore, webrtc::kStereoBoth, 0.4, 0.4},
  };
  constexpr int kPicks = sizeof picks / sizeof picks[0];
  voicetest::UdpPeer sinkhole(20590);
  std::unique_ptr<Listener> listeners[kPicks];
  for (int i = 0; i < kPicks; ++i) {
    listeners[i].reset(new Listener(picks[i].layer, 20590));
    const int monitor = DeviceIndex(listeners[i]->engine, true, "nullA");
    ASSERT_GE(monitor, 0);
    ASSERT_TRUE(listeners[i]->Start(monitor, picks[i].channel)) << picks[i].name;
  }
  for (auto& l : listeners) ASSERT_TRUE(voicetest::WaitFor([&] { return l->Loud(8000); }, 15000));
  Sleep(300);
  for (int i = 0; i < kPicks; ++i) {
    SCOPED_TRACE(picks[i].name);
    const std::vector<int16_t> x = listeners[i]->capture.Heard();
    // The best of the last five tenths (a loaded machine may break one).
    double best1000 = 0, best600 = 0, bestSum = 0;
    for (size_t w = 1; w <= 5; ++w) {
      const int16_t* tenth = x.data() + x.size() - w * 1600;
      const double s1000 = voicetest::EnergyShareAt(tenth, 1600, 1000, 16000);
      const double s600 = voicetest::EnergyShareAt(tenth, 1600, 600, 16000);
      if (s1000 + s600 > bestSum) {
        bestSum = s1000 + s600;
        best1000 = s1000;
        best600 = s600;
      }
    }
    EXPECT_GT(bestSum, 0.9);
    EXPECT_GE(best1000, picks[i].share1000);
    EXPECT_GE(best600, picks[i].share600);
    if (picks[i].channel != webrtc::kStereoBoth) {
      EXPECT_LT(picks[i].channel == webrtc::kStereoLeft ? best600 : best1000, 0.05);
    }
    std::printf("[ figures  ] %s channel: energy share 1 kHz %.2f, 600 Hz %.2f\n", picks[i].name, best1000, best600);
  }
}

// The Core Audio layer's indexes are positions in the enumeration of active
// endpoints: the endpoint that a wave device names as its own has that
// device's name.
TEST(CoreAudioIndexes, EachWaveDeviceFindsItsEndpointByIdentifier) {
  TestEngine wave(webrtc::kAudioWindowsWave), core(webrtc::kAudioWindowsCore);
  ASSERT_EQ(0, core.initResult);
  for (bool recording : {false, true}) {
    for (const char* sink : {"nullA", "nullB"}) {
      SCOPED_TRACE(std::string(sink) + (recording ? " monitor" : " sink"));
      std::string waveId, coreId;
      ASSERT_GE(DeviceIndex(wave, recording, sink, &waveId), 0);
      const int endpoint = DeviceIndex(core, recording, sink, &coreId);
      ASSERT_GE(endpoint, 0);
      EXPECT_EQ(0, _stricmp(waveId.c_str(), coreId.c_str())) << waveId << " / " << coreId;
    }
  }
}

}  // namespace
