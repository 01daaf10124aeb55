#include "audio_device.h"

#include <cstring>

// Driver messages for a device's endpoint identifier (mmddk.h).
#ifndef DRV_QUERYFUNCTIONINSTANCEID
#define DRV_QUERYFUNCTIONINSTANCEID (DRV_RESERVED + 17)
#define DRV_QUERYFUNCTIONINSTANCEIDSIZE (DRV_RESERVED + 18)
#endif

namespace voe {
namespace {

WAVEFORMATEX DeviceFormat() {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kDeviceRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kDeviceRate * 2;
  return format;
}

UINT DeviceId(int device) { return device < 0 ? WAVE_MAPPER : static_cast<UINT>(device); }

void ToUtf8(const wchar_t* text, char out[128]) {
  if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 128, nullptr, nullptr)) out[0] = 0;
  out[127] = 0;
}

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

HANDLE StartThread(LPTHREAD_START_ROUTINE main, void* self) {
  HANDLE thread = CreateThread(nullptr, 0, main, self, 0, nullptr);
  if (thread) SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
  return thread;
}

}  // namespace

AudioDevice::~AudioDevice() {
  StopCapture();
  StopPlayout();
}

bool AudioDevice::StartCapture(int device) {
  if (captureThread_) return true;
  const WAVEFORMATEX format = DeviceFormat();
  captureEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!captureEvent_) return false;
  if (waveInOpen(&waveIn_, DeviceId(device), &format, reinterpret_cast<DWORD_PTR>(captureEvent_), 0,
                 CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    waveIn_ = nullptr;
    CloseHandle(captureEvent_);
    captureEvent_ = nullptr;
    return false;
  }
  for (int i = 0; i < kCaptureBuffers; ++i) {
    WAVEHDR& header = captureHeaders_[i];
    header = WAVEHDR();
    header.lpData = reinterpret_cast<LPSTR>(captureData_[i]);
    header.dwBufferLength = sizeof captureData_[i];
    waveInPrepareHeader(waveIn_, &header, sizeof header);
    waveInAddBuffer(waveIn_, &header, sizeof header);
  }
  stopCapture_ = false;
  if (waveInStart(waveIn_) != MMSYSERR_NOERROR || !(captureThread_ = StartThread(CaptureMain, this))) {
    StopCapture();
    return false;
  }
  return true;
}

void AudioDevice::StopCapture() {
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

bool AudioDevice::StartPlayout(int device) {
  if (playoutThread_) return true;
  const WAVEFORMATEX format = DeviceFormat();
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
  if (!(playoutThread_ = StartThread(PlayoutMain, this))) {
    StopPlayout();
    return false;
  }
  return true;
}

void AudioDevice::StopPlayout() {
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

DWORD WINAPI AudioDevice::CaptureMain(void* self) {
  static_cast<AudioDevice*>(self)->CaptureLoop();
  return 0;
}

DWORD WINAPI AudioDevice::PlayoutMain(void* self) {
  static_cast<AudioDevice*>(self)->PlayoutLoop();
  return 0;
}

void AudioDevice::CaptureLoop() {
  int next = 0;
  while (!stopCapture_) {
    WaitForSingleObject(captureEvent_, 100);
    // Buffers complete in the order they were added.
    while (!stopCapture_ && (captureHeaders_[next].dwFlags & WHDR_DONE)) {
      WAVEHDR& header = captureHeaders_[next];
      if (header.dwBytesRecorded == sizeof captureData_[next]) {
        sink_->OnCaptured(captureData_[next], kDeviceBlock);
      }
      header.dwFlags &= ~WHDR_DONE;
      header.dwBytesRecorded = 0;
      waveInAddBuffer(waveIn_, &header, sizeof header);
      next = (next + 1) % kCaptureBuffers;
    }
  }
}

void AudioDevice::PlayoutLoop() {
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

int AudioDevice::CaptureDeviceCount() { return static_cast<int>(waveInGetNumDevs()); }
int AudioDevice::PlayoutDeviceCount() { return static_cast<int>(waveOutGetNumDevs()); }

bool AudioDevice::CaptureDeviceName(int device, char name[128], char guid[128]) {
  WAVEINCAPSW caps = {};
  name[0] = guid[0] = 0;
  if (waveInGetDevCapsW(DeviceId(device), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  ToUtf8(caps.szPname, name);
  if (device >= 0) EndpointId<HWAVEIN>(static_cast<UINT>(device), waveInMessage, guid);
  return true;
}

bool AudioDevice::PlayoutDeviceName(int device, char name[128], char guid[128]) {
  WAVEOUTCAPSW caps = {};
  name[0] = guid[0] = 0;
  if (waveOutGetDevCapsW(DeviceId(device), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  ToUtf8(caps.szPname, name);
  if (device >= 0) EndpointId<HWAVEOUT>(static_cast<UINT>(device), waveOutMessage, guid);
  return true;
}

}  // namespace voe
