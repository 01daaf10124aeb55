// Capture and playout through an audio layer of the platform: 10-ms mono
// blocks at the engine's device rate, each direction on a thread of its own.
// The wave layer (waveIn/waveOut) and the Core Audio layer (MMDevice
// endpoints with IAudioClient) serve the same interface; device indexes are
// the layer's own (wave device numbers, or positions in the enumeration of
// active endpoints), -1 the system's default device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "voiceengine/types.h"

namespace voe {

constexpr int kDeviceRate = 16000;
constexpr size_t kDeviceBlock = kDeviceRate / 100;

class AudioSink {
 public:
  virtual void OnCaptured(int16_t* block, size_t samples) = 0;
  virtual void OnPlayout(int16_t* block, size_t samples) = 0;
 protected:
  virtual ~AudioSink() {}
};

class AudioDevice {
 public:
  virtual ~AudioDevice() {}

  // False when the device cannot be opened. A stereo capture device gives
  // its left, its right or the mean of both channels, as `pick` says.
  virtual bool StartCapture(int device, webrtc::StereoChannel pick) = 0;
  virtual void StopCapture() = 0;
  virtual bool capturing() const = 0;
  virtual bool StartPlayout(int device) = 0;
  virtual void StopPlayout() = 0;
  virtual bool playing() const = 0;

  virtual int CaptureDeviceCount() = 0;
  virtual int PlayoutDeviceCount() = 0;
  // UTF-8 name and endpoint identifier (empty when the layer has none).
  virtual bool CaptureDeviceName(int device, char name[128], char guid[128]) = 0;
  virtual bool PlayoutDeviceName(int device, char name[128], char guid[128]) = 0;
};

// Null when out of memory.
std::unique_ptr<AudioDevice> MakeWaveAudioDevice(AudioSink* sink);
std::unique_ptr<AudioDevice> MakeCoreAudioDevice(AudioSink* sink);

}  // namespace voe
