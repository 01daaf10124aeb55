// The Core Audio layer: endpoints of the MMDevice enumeration, streamed in
// shared mode through IAudioClient with IAudioCaptureClient and
// IAudioRenderClient. The endpoint's mix format (any rate, any channel
// count, integer or float samples) is converted to and from the engine's
// 10-ms mono blocks here.
#include <windows.h>
#include <initguid.h>
#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <atomic>
#include <new>
#include <vector>

#include "audio_device.h"
#include "device_helpers.h"
#include "engine.h"
#include "sample_format.h"
#include "voiceengine/resampler.h"

namespace voe {
namespace {

// The shared-mode buffer asked for, and what the playout keeps queued in it.
constexpr REFERENCE_TIME kBufferDuration = 100 * 10000;  // 100 ms in 100-ns units
constexpr int kPlayoutQueueMs = 40;
// How long a stream's thread may take to open its endpoint.
constexpr DWORD kOpenTimeoutMs = 5000;

template <typename T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// COM for the calling thread: a thread that has its own apartment keeps it.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

// The active endpoints of one direction, in the order of the enumeration.
class Endpoints {
 public:
  explicit Endpoints(EDataFlow flow) : flow_(flow) {
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator_)))) {
      enumerator_ = nullptr;
      return;
    }
    if (FAILED(enumerator_->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection_))) collection_ = nullptr;
  }
  ~Endpoints() {
    Release(collection_);
    Release(enumerator_);
  }
  Endpoints(const Endpoints&) = delete;
  Endpoints& operator=(const Endpoints&) = delete;

  int Count() const {
    UINT count = 0;
    if (!collection_ || FAILED(collection_->GetCount(&count))) return 0;
    return static_cast<int>(count);
  }

  // A new reference to the endpoint at `index` (-1: the default one), or null.
  IMMDevice* Open(int index) const {
    IMMDevice* device = nullptr;
    if (index < 0) {
      if (!enumerator_ || FAILED(enumerator_->GetDefaultAudioEndpoint(flow_, eConsole, &device))) return nullptr;
    } else if (!collection_ || FAILED(collection_->Item(static_cast<UINT>(index), &device))) {
      return nullptr;
    }
    return device;
  }

 private:
  EDataFlow flow_;
  IMMDeviceEnumerator* enumerator_ = nullptr;
  IMMDeviceCollection* collection_ = nullptr;
};

bool EndpointName(EDataFlow flow, int index, char name[128], char guid[128]) {
  name[0] = guid[0] = 0;
  ComScope com;
  Endpoints endpoints(flow);
  if (index >= endpoints.Count()) return false;
  IMMDevice* device = endpoints.Open(index);
  if (!device) return false;
  wchar_t* id = nullptr;
  if (SUCCEEDED(device->GetId(&id)) && id) {
    ToUtf8(id, guid);
    CoTaskMemFree(id);
  }
  IPropertyStore* store = nullptr;
  bool named = false;
  if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store))) {
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR && value.pwszVal) {
      ToUtf8(value.pwszVal, name);
      named = true;
    }
    PropVariantClear(&value);
    store->Release();
  }
  device->Release();
  return named;
}

// The sample layout of a mix format; false for one the engine cannot convert.
bool ReadFormat(const WAVEFORMATEX& format, FrameFormat& out) {
  WORD tag = format.wFormatTag;
  if (tag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
    tag = static_cast<WORD>(reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat.Data1);
  }
  if (format.nChannels < 1 || format.nSamplesPerSec < 8000 || format.nSamplesPerSec > 192000) return false;
  out.channels = format.nChannels;
  if (tag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32) {
    out.kind = SampleKind::kFloat32;
  } else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16) {
    out.kind = SampleKind::kInt16;
  } else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 32) {
    out.kind = SampleKind::kInt32;
  } else {
    return false;
  }
  return format.nBlockAlign == out.bytesPerFrame();
}

class CoreAudioDevice;

// One direction's stream: its thread opens the endpoint, runs it and closes
// it again, so that every COM object lives on the thread that made it.
struct Stream {
  CoreAudioDevice* owner = nullptr;
  bool capture = false;
  int device = -1;
  webrtc::StereoChannel pick = webrtc::kStereoBoth;
  HANDLE thread = nullptr;
  HANDLE opened = nullptr;  // set when the endpoint runs or failed to
  std::atomic<bool> stop{false};
  bool running = false;
};

class CoreAudioDevice : public AudioDevice {
 public:
  explicit CoreAudioDevice(AudioSink* sink) : sink_(sink) {
    capture_.owner = playout_.owner = this;
    capture_.capture = true;
  }
  ~CoreAudioDevice() override {
    StopCapture();
    StopPlayout();
  }
  CoreAudioDevice(const CoreAudioDevice&) = delete;
  CoreAudioDevice& operator=(const CoreAudioDevice&) = delete;

  bool StartCapture(int device, webrtc::StereoChannel pick) override {
    capture_.pick = pick;
    return Start(capture_, device);
  }
  void StopCapture() override { Stop(capture_); }
  bool capturing() const override { return capture_.thread != nullptr; }
  bool StartPlayout(int device) override { return Start(playout_, device); }
  void StopPlayout() override { Stop(playout_); }
  bool playing() const override { return playout_.thread != nullptr; }

  int CaptureDeviceCount() override { return Count(eCapture); }
  int PlayoutDeviceCount() override { return Count(eRender); }
  bool CaptureDeviceName(int device, char name[128], char guid[128]) override {
    return EndpointName(eCapture, device, name, guid);
  }
  bool PlayoutDeviceName(int device, char name[128], char guid[128]) override {
    return EndpointName(eRender, device, name, guid);
  }

 private:
  static int Count(EDataFlow flow) {
    ComScope com;
    return Endpoints(flow).Count();
  }

  bool Start(Stream& stream, int device) {
    if (stream.thread) return true;
    stream.device = device;
    stream.stop = false;
    stream.running = false;
    stream.opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stream.opened) return false;
    stream.thread = StartDeviceThread(StreamMain, &stream);
    if (stream.thread && WaitForSingleObject(stream.opened, kOpenTimeoutMs) == WAIT_OBJECT_0 && stream.running) {
      return true;
    }
    Trace(webrtc::kTraceError, "Core Audio: the %s endpoint %d cannot be opened", stream.capture ? "capture" : "render",
          device);
    Stop(stream);
    return false;
  }

  static void Stop(Stream& stream) {
    stream.stop = true;
    if (stream.thread) {
      WaitForSingleObject(stream.thread, INFINITE);
      CloseHandle(stream.thread);
      stream.thread = nullptr;
    }
    if (stream.opened) CloseHandle(stream.opened);
    stream.opened = nullptr;
    stream.running = false;
  }

  static DWORD WINAPI StreamMain(void* context) {
    Stream& stream = *static_cast<Stream*>(context);
    ComScope com;
    try {
      stream.owner->Run(stream);
    } catch (const std::bad_alloc&) {
      Trace(webrtc::kTraceError, "Core Audio: out of memory");
    }
    SetEvent(stream.opened);
    return 0;
  }

  // Opens the endpoint, reports it open and runs it until asked to stop.
  void Run(Stream& stream) {
    IMMDevice* device = Endpoints(stream.capture ? eCapture : eRender).Open(stream.device);
    IAudioClient* client = nullptr;
    WAVEFORMATEX* mix = nullptr;
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    FrameFormat format = {SampleKind::kInt16, 1};
    bool ready = device && wake &&
                 SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(&client))) &&
                 SUCCEEDED(client->GetMixFormat(&mix)) && ReadFormat(*mix, format) &&
                 SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                              kBufferDuration, 0, mix, nullptr)) &&
                 SUCCEEDED(client->SetEventHandle(wake));
    if (ready) {
      const int rate = static_cast<int>(mix->nSamplesPerSec);
      if (stream.capture) {
        RunCapture(stream, client, wake, format, rate);
      } else {
        RunPlayout(stream, client, wake, format, rate);
      }
    }
    CoTaskMemFree(mix);
    Release(client);
    Release(device);
    if (wake) CloseHandle(wake);
  }

  void RunCapture(Stream& stream, IAudioClient* client, HANDLE wake, FrameFormat format, int rate) {
    IAudioCaptureClient* capture = nullptr;
    webrtc::Resampler resampler;
    if (FAILED(client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture))) ||
        resampler.Reset(rate, kDeviceRate, webrtc::kResamplerSynchronous) != 0 || FAILED(client->Start())) {
      Release(capture);
      return;
    }
    // Packets are converted in pieces of at most 10 ms of the endpoint.
    const size_t piece = static_cast<size_t>(rate) / 100;
    std::vector<int16_t> mono(piece), converted(piece * kDeviceRate / static_cast<size_t>(rate) + 16);
    std::vector<int16_t> pending;
    pending.reserve(4 * kDeviceBlock);
    stream.running = true;
    SetEvent(stream.opened);
    while (!stream.stop) {
      WaitForSingleObject(wake, 20);
      UINT32 size = 0;
      while (!stream.stop && SUCCEEDED(capture->GetNextPacketSize(&size)) && size) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        if (FAILED(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
        for (UINT32 done = 0; done < frames;) {
          const size_t count = frames - done < piece ? frames - done : piece;
          if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
            std::fill(mono.begin(), mono.begin() + count, 0);
          } else {
            FramesToMono(data + done * format.bytesPerFrame(), count, format, stream.pick, mono.data());
          }
          size_t made = 0;
          if (resampler.Push(mono.data(), count, converted.data(), converted.size(), made) == 0) {
            pending.insert(pending.end(), converted.begin(), converted.begin() + made);
          }
          done += static_cast<UINT32>(count);
        }
        capture->ReleaseBuffer(frames);
        size_t used = 0;
        for (; pending.size() - used >= kDeviceBlock; used += kDeviceBlock) {
          sink_->OnCaptured(pending.data() + used, kDeviceBlock);
        }
        pending.erase(pending.begin(), pending.begin() + used);
      }
    }
    client->Stop();
    Release(capture);
  }

  void RunPlayout(Stream& stream, IAudioClient* client, HANDLE wake, FrameFormat format, int rate) {
    IAudioRenderClient* render = nullptr;
    webrtc::Resampler resampler;
    UINT32 bufferFrames = 0;
    if (FAILED(client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render))) ||
        FAILED(client->GetBufferSize(&bufferFrames)) ||
        resampler.Reset(kDeviceRate, rate, webrtc::kResamplerSynchronous) != 0) {
      Release(render);
      return;
    }
    UINT32 queued = static_cast<UINT32>(rate) * kPlayoutQueueMs / 1000;
    if (queued > bufferFrames) queued = bufferFrames;
    int16_t block[kDeviceBlock];
    std::vector<int16_t> converted(kDeviceBlock * static_cast<size_t>(rate) / kDeviceRate + 16);
    std::vector<int16_t> pending;
    pending.reserve(queued + converted.size());
    bool started = false;
    while (!stream.stop) {
      UINT32 padding = 0;
      if (FAILED(client->GetCurrentPadding(&padding))) break;
      const UINT32 want = padding < queued ? queued - padding : 0;
      while (pending.size() < want) {
        sink_->OnPlayout(block, kDeviceBlock);
        size_t made = 0;
        if (resampler.Push(block, kDeviceBlock, converted.data(), converted.size(), made) != 0) break;
        pending.insert(pending.end(), converted.begin(), converted.begin() + made);
      }
      BYTE* data = nullptr;
      if (want && pending.size() >= want && SUCCEEDED(render->GetBuffer(want, &data))) {
        MonoToFrames(pending.data(), want, format, data);
        render->ReleaseBuffer(want, 0);
        pending.erase(pending.begin(), pending.begin() + want);
      }
      if (!started) {
        // The queue is filled before the endpoint starts to play it.
        if (FAILED(client->Start())) break;
        started = true;
        stream.running = true;
        SetEvent(stream.opened);
      }
      WaitForSingleObject(wake, 10);
    }
    if (started) client->Stop();
    Release(render);
  }

  AudioSink* sink_;
  Stream capture_, playout_;
};

}  // namespace

std::unique_ptr<AudioDevice> MakeCoreAudioDevice(AudioSink* sink) {
  return std::unique_ptr<AudioDevice>(new (std::nothrow) CoreAudioDevice(sink));
}

}  // namespace voe
