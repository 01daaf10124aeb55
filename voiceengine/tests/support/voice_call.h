// Test support for calls between engines: an engine with all its
// interfaces, processors that inject and record 10-ms blocks, and a call
// leg set up on loopback ports.
#pragma once

#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "voiceengine/voiceengine.h"

namespace voicetest {

// An engine and every interface, released again at the end; on the given
// audio layer, chosen before Init, when it is not the default.
struct TestEngine {
  explicit TestEngine(webrtc::AudioLayers layer = webrtc::kAudioPlatformDefault) {
    engine = webrtc::VoiceEngine::Create();
    base = webrtc::VoEBase::GetInterface(engine);
    codec = webrtc::VoECodec::GetInterface(engine);
    dtmf = webrtc::VoEDtmf::GetInterface(engine);
    media = webrtc::VoEExternalMedia::GetInterface(engine);
    volume = webrtc::VoEVolumeControl::GetInterface(engine);
    hardware = webrtc::VoEHardware::GetInterface(engine);
    processing = webrtc::VoEAudioProcessing::GetInterface(engine);
    rtp = webrtc::VoERTP_RTCP::GetInterface(engine);
    layerResult = layer == webrtc::kAudioPlatformDefault ? 0 : hardware->SetAudioDeviceLayer(layer);
    initResult = base ? base->Init() : -1;
  }
  ~TestEngine() {
    if (base) base->Terminate();
    for (auto release : {Release(base), Release(codec), Release(dtmf), Release(media), Release(volume),
                         Release(hardware), Release(processing), Release(rtp)}) {
      release();
    }
    webrtc::VoiceEngine::Delete(engine);
  }
  template <typename T>
  static std::function<void()> Release(T* i) {
    return [i] { if (i) i->Release(); };
  }
  TestEngine(const TestEngine&) = delete;
  TestEngine& operator=(const TestEngine&) = delete;

  webrtc::VoiceEngine* engine = nullptr;
  webrtc::VoEBase* base = nullptr;
  webrtc::VoECodec* codec = nullptr;
  webrtc::VoEDtmf* dtmf = nullptr;
  webrtc::VoEExternalMedia* media = nullptr;
  webrtc::VoEVolumeControl* volume = nullptr;
  webrtc::VoEHardware* hardware = nullptr;
  webrtc::VoEAudioProcessing* processing = nullptr;
  webrtc::VoERTP_RTCP* rtp = nullptr;
  int layerResult = -1;
  int initResult = -1;
};

// The codec record of the database entry with this name.
inline webrtc::CodecInst FindCodec(TestEngine& e, const char* name) {
  webrtc::CodecInst codec = {};
  for (int i = 0; i < e.codec->NumOfCodecs(); ++i) {
    e.codec->GetCodec(i, codec);
    if (_stricmp(codec.plname, name) == 0) return codec;
  }
  codec.pltype = -1;
  return codec;
}

// Replaces each block of the sending side with a signal, and keeps what it
// sent (at the block rate) and how it was called.
class Injector : public webrtc::VoEMediaProcess {
 public:
  // The signal at the rate of the blocks: sample i of it.
  using Signal = std::function<int16_t(size_t index, int rate)>;
  explicit Injector(Signal signal) : signal_(std::move(signal)) {}
  void Process(int, webrtc::ProcessingTypes, int16_t audio[], int length, int rate, bool) override {
    std::lock_guard<std::mutex> guard(lock_);
    for (int i = 0; i < length; ++i) {
      audio[i] = signal_(sent_.size(), rate);
      sent_.push_back(audio[i]);
    }
    rate_ = rate;
    ++calls_;
  }
  std::vector<int16_t> sent() {
    std::lock_guard<std::mutex> guard(lock_);
    return sent_;
  }
  int rate() const { return rate_; }
  int calls() const { return calls_; }

 private:
  Signal signal_;
  std::mutex lock_;
  std::vector<int16_t> sent_;
  std::atomic<int> rate_{0}, calls_{0};
};

// Keeps every block it sees, with the rate and length of each call.
class Recorder : public webrtc::VoEMediaProcess {
 public:
  void Process(int channel, webrtc::ProcessingTypes type, int16_t audio[], int length, int rate, bool) override {
    std::lock_guard<std::mutex> guard(lock_);
    heard_.insert(heard_.end(), audio, audio + length);
    rate_ = rate;
    lengths_.push_back(length);
    channel_ = channel;
    type_ = type;
    if (!first_) first_ = GetTickCount();
    ++calls_;
  }
  std::vector<int16_t> heard() {
    std::lock_guard<std::mutex> guard(lock_);
    return heard_;
  }
  std::vector<int> lengths() {
    std::lock_guard<std::mutex> guard(lock_);
    return lengths_;
  }
  int rate() const { return rate_; }
  int calls() const { return calls_; }
  int channel() const { return channel_; }
  webrtc::ProcessingTypes type() const { return type_; }
  // Samples heard whose 10-ms block was louder than `level` (rms).
  size_t LoudSamples(double level) {
    std::lock_guard<std::mutex> guard(lock_);
    size_t loud = 0;
    const size_t block = rate_ ? static_cast<size_t>(rate_ / 100) : 80;
    for (size_t at = 0; at + block <= heard_.size(); at += block) {
      double sum = 0;
      for (size_t i = 0; i < block; ++i) sum += static_cast<double>(heard_[at + i]) * heard_[at + i];
      if (std::sqrt(sum / block) > level) loud += block;
    }
    return loud;
  }

 private:
  std::mutex lock_;
  std::vector<int16_t> heard_;
  std::vector<int> lengths_;
  std::atomic<int> rate_{0}, calls_{0}, channel_{-2};
  std::atomic<webrtc::ProcessingTypes> type_{webrtc::kPlaybackPerChannel};
  DWORD first_ = 0;
};

// Waits (polling every 20 ms) until done() or the time is up.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20)) {
    if (done()) return true;
  }
  return done();
}

// A sine of this frequency and amplitude.
inline Injector::Signal Tone(double frequency, double amplitude) {
  return [frequency, amplitude](size_t i, int rate) {
    return static_cast<int16_t>(amplitude * std::sin(2 * M_PI * frequency * static_cast<double>(i) / rate + 0.3));
  };
}

// One leg of a loopback call: a channel receiving on localPort and sending
// to remotePort of 127.0.0.1, with an injector and a recorder.
struct CallLeg {
  CallLeg(TestEngine& e, int localPort, int remotePort, const webrtc::CodecInst& codec, Injector::Signal signal)
      : engine(e), injector(std::move(signal)) {
    channel = e.base->CreateChannel();
    if (channel < 0) return;
    ok = e.base->SetLocalReceiver(channel, localPort) == 0 &&
         e.base->SetSendDestination(channel, remotePort, "127.0.0.1") == 0 &&
         e.codec->SetSendCodec(channel, codec) == 0 && e.codec->SetRecPayloadType(channel, codec) == 0 &&
         e.media->RegisterExternalMediaProcessing(channel, webrtc::kRecordingPerChannel, injector) == 0 &&
         e.media->RegisterExternalMediaProcessing(channel, webrtc::kPlaybackPerChannel, recorder) == 0;
  }
  bool Start() {
    return ok && engine.base->StartReceive(channel) == 0 && engine.base->StartPlayout(channel) == 0 &&
           engine.base->StartSend(channel) == 0;
  }
  ~CallLeg() {
    if (channel < 0) return;
    engine.base->StopSend(channel);
    engine.base->StopPlayout(channel);
    engine.base->StopReceive(channel);
    engine.media->DeRegisterExternalMediaProcessing(channel, webrtc::kRecordingPerChannel);
    engine.media->DeRegisterExternalMediaProcessing(channel, webrtc::kPlaybackPerChannel);
    engine.base->DeleteChannel(channel);
  }
  CallLeg(const CallLeg&) = delete;
  CallLeg& operator=(const CallLeg&) = delete;

  TestEngine& engine;
  Injector injector;
  Recorder recorder;
  int channel = -1;
  bool ok = false;
};

}  // namespace voicetest
