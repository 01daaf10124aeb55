#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>
#include <new>

#include "audio_device.h"
#include "device_helpers.h"
#include "sample_format.h"

// Driver messages for a device's endpoint identifier (mmddk.h).
#ifndef DRV_QUERYFUNCTIONINSTANCEID
#define DRV_QUERYFUNCTIONINSTANCEID (DRV_RESERVED + 17)
#define DRV_QUERYFUNCTIONINSTANCEIDSIZE (DRV_RESERVED + 18)
#endif

namespace voe {
namespace {

class WaveAudioDevice : public AudioDevice {
 public:
  explicit WaveAudioDevice(AudioSink* sink) : sink_(sink) {}
  ~WaveAudioDevice() override;
  WaveAudioDevice(const WaveAudioDevice&) = delete;
  WaveAudioDevice& operator=(const WaveAudioDevice&) = delete;

  bool StartCapture(int device, webrtc::StereoChannel pick) override;
  void StopCapture() override;
  bool capturing() const override { return captureThread_ != nullptr; }
  bool StartPlayout(int device) override;
  void StopPlayout() override;
  bool playing() const override { return playoutThread_ != nullptr; }

  int CaptureDeviceCount() override { return static_cast<int>(waveInGetNumDevs()); }
  int PlayoutDeviceCount() override { return static_cast<int>(waveOutGetNumDevs()); }
  bool CaptureDeviceName(int device, char name[128], char guid[128]) override;
  bool PlayoutDeviceName(int device, char name[128], char guid[128]) override;

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
  int captureChannels_ = 1;
  webrtc::StereoChannel pick_ = webrtc::kStereoBoth;
  WAVEHDR captureHeaders_[kCaptureBuffers] = {};
  WAVEHDR playoutHeaders_[kPlayoutBuffers] = {};
  int16_t captureData_[kCaptureBuffers][2 * kDeviceBlock] = {};
  int16_t playoutData_[kPlayoutBuffers][kDeviceBlock] = {};
};

WAVEFORMATEX DeviceFormat(int channels) {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = kDeviceRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(2 * channels);
  format.nAvgBytesPerSec = kDeviceRate * 2 * channels;
  return format;
}

UINT DeviceId(int device) { return device < 0 ? WAVE_MAPPER : static_cast<UINT>(device); }

// The endpoint identifier the driver reports for a device, when it has one.
template <typename Handle>
void EndpointId(UINT device, MMRESULT(WINAPI* message)(Handle, UINT, DWORD_PTR, DWORD_PTR), char out[128]) {
  out[0] = 0;
  ULONG size = 0;
  if (message(reinterpret_cast<Handle>(static_cast<UINT_PTR>(device)), DRV_QUERYFUNCTIONINSTANCEIDSIZE,
              reinterpret_cast<DWORD_PTR>(&size), 0) != MMSYSERR_NOERROR || !size || size > 4096) {
    return;
  }
  wchar_t id[2050] = {};
  if (message(reinterpret_cast<Handle>(static_cast<UINT_PTR>(device)), DRV_QUERYFUNCTIONINSTANCEID,
              reinterpret_cast<DWORD_PTR>(id), size) == MMSYSERR_NOERROR) {
    ToUtf8(id, out);
  }
}

WaveAudioDevice::~WaveAudioDevice() {
  StopCapture();
  StopPlayout();
}

bool WaveAudioDevice::StartCapture(int device, webrtc::StereoChannel pick) {
  if (captureThread_) return true;
  captureEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!captureEvent_) return false;
  // Stereo where the device has it, so that one channel can be chosen; a
  // mono device is taken as it is.
  pick_ = pick;
  bool opened = false;
  for (int channels = 2; channels >= 1 && !opened; --channels) {
    const WAVEFORMATEX format = DeviceFormat(channels);
    captureChannels_ = channels;
    opened = waveInOpen(&waveIn_, DeviceId(device), &format, reinterpret_cast<DWORD_PTR>(captureEvent_), 0,
                        CALLBACK_EVENT) == MMSYSERR_NOERROR;
  }
  if (!opened) {
    waveIn_ = nullptr;
    CloseHandle(captureEvent_);
    captureEvent_ = nullptr;
    return false;
  }
  for (int i = 0; i < kCaptureBuffers; ++i) {
    WAVEHDR& header = captureHeaders_[i];
    header = WAVEHDR();
    header.lpData = reinterpret_cast<LPSTR>(captureData_[i]);
    header.dwBufferLength = static_cast<DWORD>(kDeviceBlock * 2 * captureChannels_);
    waveInPrepareHeader(waveIn_, &header, sizeof header);
    waveInAddBuffer(waveIn_, &header, sizeof header);
  }
  stopCapture_ = false;
  if (waveInStart(waveIn_) != MMSYSERR_NOERROR || !(captureThread_ = StartDeviceThread(CaptureMain, this))) {
    StopCapture();
    return false;
  }
  return true;
}

void WaveAudioDevice::StopCapture() {
  stopCapture_ = true;
  if (captureThread_) {
    SetEvent(captureEvent_);
    WaitForSingleObject(captureThread_, INFINITE);
    CloseHandle(captureThread_);
    captureThread_ = nullptr;
  }
  if (waveIn_) {
    waveInReset(waveIn_);
    for (WAVEHDR& header : captureHeaders_) waveInUnprepareHeader(waveIn_, &header, sizeof header);
    waveInClose(waveIn_);
    waveIn_ = nullptr;
  }
  if (captureEvent_) CloseHandle(captureEvent_);
  captureEvent_ = nullptr;
}

bool WaveAudioDevice::StartPlayout(int device) {
  if (playoutThread_) return true;
  const WAVEFORMATEX format = DeviceFormat(1);
  playoutEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!playoutEvent_) return false;
  if (waveOutOpen(&waveOut_, DeviceId(device), &format, reinterpret_cast<DWORD_PTR>(playoutEvent_), 0,
                  CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    waveOut_ = nullptr;
    CloseHandle(playoutEvent_);
    playoutEvent_ = nullptr;
    return false;
  }
  for (int i = 0; i < kPlayoutBuffers; ++i) {
    WAVEHDR& header = playoutHeaders_[i];
    header = WAVEHDR();
    header.lpData = reinterpret_cast<LPSTR>(playoutData_[i]);
    header.dwBufferLength = sizeof playoutData_[i];
    waveOutPrepareHeader(waveOut_, &header, sizeof header);
    header.dwFlags |= WHDR_DONE;  // free to fill
  }
  stopPlayout_ = false;
  if (!(playoutThread_ = StartDeviceThread(PlayoutMain, this))) {
    StopPlayout();
    return false;
  }
  return true;
}

void WaveAudioDevice::StopPlayout() {
  stopPlayout_ = true;
  if (playoutThread_) {
    SetEvent(playoutEvent_);
    WaitForSingleObject(playoutThread_, INFINITE);
    CloseHandle(playoutThread_);
    playoutThread_ = nullptr;
  }
  if (waveOut_) {
    waveOutReset(waveOut_);
    for (WAVEHDR& header : playoutHeaders_) waveOutUnprepareHeader(waveOut_, &header, sizeof header);
    waveOutClose(waveOut_);
    waveOut_ = nullptr;
  }
  if (playoutEvent_) CloseHandle(playoutEvent_);
  playoutEvent_ = nullptr;
}

DWORD WINAPI WaveAudioDevice::CaptureMain(void* self) {
  static_cast<WaveAudioDevice*>(self)->CaptureLoop();
  return 0;
}

DWORD WINAPI WaveAudioDevice::PlayoutMain(void* self) {
  static_cast<WaveAudioDevice*>(self)->PlayoutLoop();
  return 0;
}

void WaveAudioDevice::CaptureLoop() {
  int next = 0;
  while (!stopCapture_) {
    WaitForSingleObject(captureEvent_, 100);
    // Buffers complete in the order they were added.
    while (!stopCapture_ && (captureHeaders_[next].dwFlags & WHDR_DONE)) {
      WAVEHDR& header = captureHeaders_[next];
      if (header.dwBytesRecorded == header.dwBufferLength) {
        int16_t block[kDeviceBlock];
        FramesToMono(captureData_[next], kDeviceBlock, FrameFormat{SampleKind::kInt16, captureChannels_}, pick_, block);
        sink_->OnCaptured(block, kDeviceBlock);
      }
      header.dwFlags &= ~WHDR_DONE;
      header.dwBytesRecorded = 0;
      waveInAddBuffer(waveIn_, &header, sizeof header);
      next = (next + 1) % kCaptureBuffers;
    }
  }
}

void WaveAudioDevice::PlayoutLoop() {
  int next = 0;
  while (!stopPlayout_) {
    while (!stopPlayout_ && (playoutHeaders_[next].dwFlags & WHDR_DONE)) {
      WAVEHDR& header = playoutHeaders_[next];
      sink_->OnPlayout(playoutData_[next], kDeviceBlock);
      header.dwFlags &= ~WHDR_DONE;
      waveOutWrite(waveOut_, &header, sizeof header);
      next = (next + 1) % kPlayoutBuffers;
    }
    WaitForSingleObject(playoutEvent_, 100);
  }
}

bool WaveAudioDevice::CaptureDeviceName(int device, char name[128], char guid[128]) {
  WAVEINCAPSW caps = {};
  name[0] = guid[0] = 0;
  if (waveInGetDevCapsW(DeviceId(device), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  ToUtf8(caps.szPname, name);
  if (device >= 0) EndpointId<HWAVEIN>(static_cast<UINT>(device), waveInMessage, guid);
  return true;
}

bool WaveAudioDevice::PlayoutDeviceName(int device, char name[128], char guid[128]) {
  WAVEOUTCAPSW caps = {};
  name[0] = guid[0] = 0;
  if (waveOutGetDevCapsW(DeviceId(device), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  ToUtf8(caps.szPname, name);
  if (device >= 0) EndpointId<HWAVEOUT>(static_cast<UINT>(device), waveOutMessage, guid);
  return true;
}

}  // namespace

std::unique_ptr<AudioDevice> MakeWaveAudioDevice(AudioSink* sink) {
  return std::unique_ptr<AudioDevice>(new (std::nothrow) WaveAudioDevice(sink));
}

}  // namespace voe
