// The engine object behind every interface: its references, last error,
// channels, audio devices, capture processing and playout mix.
#pragma once

#include <atomic>
#include <cstdarg>
#include <memory>

#include "audio_device.h"
#include "audio_processing_module.h"
#include "channel.h"
#include "interfaces.h"
#include "levels.h"
#include "locks.h"

namespace voe {

// Writes a trace line when the process-wide filter lets its level through.
void Trace(webrtc::TraceLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

class Engine : public webrtc::VoiceEngine, public AudioSink {
 public:
  static constexpr int kMaxChannels = 32;

  Engine();
  ~Engine() override;

  static Engine* From(webrtc::VoiceEngine* engine) { return static_cast<Engine*>(engine); }

  // References: the creator's and one per interface reference.
  void AddRef() { ++references_; }
  // Frees the engine when the last reference goes; the references left.
  int DropRef();
  bool creatorReleased() const { return creatorReleased_; }
  void ReleaseCreator() { creatorReleased_ = true; }

  // Records an error number (when not 0) and answers -1; 0 answers 0.
  int Result(int error);
  int lastError() const { return lastError_; }

  // Channels.
  int Init();
  int Terminate();
  int CreateChannel();
  int DeleteChannel(int id);
  std::shared_ptr<Channel> Find(int id);

  // Audio devices, shared by the channels.
  int AcquireCapture();
  void ReleaseCapture();
  int AcquirePlayout();
  void ReleasePlayout();
  int SetRecordingDevice(int index, webrtc::StereoChannel pick);
  int SetPlayoutDevice(int index);
  // The audio layer is chosen before Init; indexes are the layer's own.
  int SetLayer(webrtc::AudioLayers layer);
  webrtc::AudioLayers layer() const { return layer_; }
  int DeviceCount(bool recording);
  // VE_INVALID_ARGUMENT or VE_CANNOT_RETRIEVE_DEVICE_NAME; 0 when named.
  int DeviceName(bool recording, int index, char name[128], char guid[128]);

  // Capture and playout settings.
  std::atomic<unsigned> speakerVolume{255}, micVolume{255};
  std::atomic<bool> inputMute{false}, outputMute{false};
  LevelMeter inputLevel, outputLevel;
  int SetMixedProcess(webrtc::ProcessingTypes type, webrtc::VoEMediaProcess* process);

  // Audio processing settings (applied on the capture thread's next block).
  Lock apmLock;
  bool nsEnabled = false, agcEnabled = false, ecEnabled = false;
  webrtc::NsModes nsMode = webrtc::kNsModerateSuppression;
  webrtc::AgcModes agcMode = webrtc::kAgcAdaptiveAnalog;
  webrtc::EcModes ecMode = webrtc::kEcAec;
  void ApplyProcessing();

  // AudioSink: the device threads.
  void OnCaptured(int16_t* block, size_t samples) override;
  void OnPlayout(int16_t* block, size_t samples) override;

  BaseImpl base;
  CodecImpl codec;
  DtmfImpl dtmf;
  ExternalMediaImpl externalMedia;
  VolumeControlImpl volumeControl;
  HardwareImpl hardware;
  AudioProcessingImpl audioProcessing;
  RtpRtcpImpl rtpRtcp;
  EncryptionImpl encryption;
  VideoSyncImpl videoSync;
  NetworkImpl network;
  FileImpl file;

 private:
  int Snapshot(std::shared_ptr<Channel>* out);

  std::atomic<int> references_{1};
  bool creatorReleased_ = false;
  std::atomic<int> lastError_{0};
  bool winsock_ = false;

  Lock tableLock_;
  bool initialized_ = false;
  std::shared_ptr<Channel> channels_[kMaxChannels];

  Lock deviceLock_;
  std::unique_ptr<AudioDevice> device_;
  int captureUsers_ = 0, playoutUsers_ = 0;
  int recordingDevice_ = -1, playoutDevice_ = -1;
  webrtc::StereoChannel recordingPick_ = webrtc::kStereoBoth;
  webrtc::AudioLayers layer_ = webrtc::kAudioWindowsWave;

  Lock captureLock_, playoutLock_;
  webrtc::VoEMediaProcess* mixedRecord_ = nullptr;
  webrtc::VoEMediaProcess* mixedPlayback_ = nullptr;
  std::unique_ptr<AudioProcessingModule> apm_;
};

}  // namespace voe
