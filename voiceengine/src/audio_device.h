// Capture and playout through waveIn and waveOut: 10-ms mono blocks at the
// device rate, each direction on a thread of its own.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

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
  explicit AudioDevice(AudioSink* sink) : sink_(sink) {}
  ~AudioDevice();
  AudioDevice(const AudioDevice&) = delete;
  AudioDevice& operator=(const AudioDevice&) = delete;

  // Device index -1 is the system's default device. False when the device
  // cannot be opened.
  bool StartCapture(int device);
  void StopCapture();
  bool capturing() const { return captureThread_ != nullptr; }
  bool StartPlayout(int device);
  void StopPlayout();
  bool playing() const { return playoutThread_ != nullptr; }

  static int CaptureDeviceCount();
  static int PlayoutDeviceCount();
  // UTF-8 name and endpoint identifier (empty when the driver has none).
  static bool CaptureDeviceName(int device, char name[128], char guid[128]);
  static bool PlayoutDeviceName(int device, char name[128], char guid[128]);

 private:
  static constexpr int kCaptureBuffers = 10;
  static constexpr int kPlayoutBuffers = 6;  // 60 ms queued
  static DWORD WINAPI CaptureMain(void* self);
  static DWORD WINAPI PlayoutMain(void* self);
  void CaptureLoop();
  void PlayoutLoop();

  AudioSink* sink_;
  HWAVEIN waveIn_ = nullptr;
  HWAVEOUT waveOut_ = nullptr;
  HANDLE captureEvent_ = nullptr, playoutEvent_ = nullptr;
  HANDLE captureThread_ = nullptr, playoutThread_ = nullptr;
  std::atomic<bool> stopCapture_{false}, stopPlayout_{false};
  WAVEHDR captureHeaders_[kCaptureBuffers] = {};
  WAVEHDR playoutHeaders_[kPlayoutBuffers] = {};
  int16_t captureData_[kCaptureBuffers][kDeviceBlock] = {};
  int16_t playoutData_[kPlayoutBuffers][kDeviceBlock] = {};
};

}  // namespace voe
