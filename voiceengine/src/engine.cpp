#include "engine.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "voiceengine/errors.h"

namespace voe {
namespace {

struct TraceState {
  TraceState() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::atomic<unsigned> filter{0};
  webrtc::TraceCallback* callback = nullptr;
};

TraceState& Tracing() {
  static TraceState state;
  return state;
}

}  // namespace

uint32_t NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint32_t>(now.QuadPart * 1000 / frequency.QuadPart);
}

void Trace(webrtc::TraceLevel level, const char* format, ...) {
  TraceState& state = Tracing();
  if (!(state.filter & static_cast<unsigned>(level))) return;
  char line[512];
  va_list args;
  va_start(args, format);
  int length = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return;
  if (length >= static_cast<int>(sizeof line)) length = sizeof line - 1;
  EnterCriticalSection(&state.lock);
  if (state.callback) state.callback->Print(level, line, length);
  LeaveCriticalSection(&state.lock);
}

int InterfaceRefs::Release() {
  int left = --count;
  if (left < 0) {
    ++count;
    engine->Result(VE_INTERFACE_NOT_FOUND);
    Trace(webrtc::kTraceError, "Release: interface released more often than it was taken");
    return -1;
  }
  engine->DropRef();
  return left;
}

Engine::Engine()
    : base(this), codec(this), dtmf(this), externalMedia(this), volumeControl(this), hardware(this),
      audioProcessing(this), rtpRtcp(this), encryption(this), videoSync(this), network(this), file(this),
      device_(MakeWaveAudioDevice(this)) {
  WSADATA data;
  winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Engine::~Engine() {
  Terminate();
  if (winsock_) WSACleanup();
}

int Engine::DropRef() {
  const int left = --references_;
  if (left == 0) delete this;
  return left;
}

int Engine::Result(int error) {
  if (!error) return 0;
  lastError_ = error;
  return -1;
}

int Engine::Init() {
  Locked locked(tableLock_);
  if (initialized_) return 0;
  if (!winsock_) return Result(VE_SOCKETS_NOT_INITED);
  if (!device_) return Result(VE_NO_MEMORY);
  try {
    apm_.reset(new AudioProcessingModule(kDeviceRate));
  } catch (const std::bad_alloc&) {
    return Result(VE_NO_MEMORY);
  }
  if (!apm_->valid()) {
    apm_.reset();
    return Result(VE_APM_ERROR);
  }
  ApplyProcessing();
  initialized_ = true;
  Trace(webrtc::kTraceStateInfo, "Init: %s layer, %d playout and %d recording devices",
        layer_ == webrtc::kAudioWindowsCore ? "Core Audio" : "wave", device_->PlayoutDeviceCount(),
        device_->CaptureDeviceCount());
  return 0;
}

int Engine::Terminate() {
  for (int id = 0; id < kMaxChannels; ++id) {
    if (Find(id)) DeleteChannel(id);
  }
  {
    Locked locked(deviceLock_);
    if (device_) {
      device_->StopCapture();
      device_->StopPlayout();
    }
    captureUsers_ = playoutUsers_ = 0;
  }
  Locked locked(tableLock_);
  if (initialized_) Trace(webrtc::kTraceStateInfo, "Terminate");
  initialized_ = false;
  return 0;
}

int Engine::CreateChannel() {
  Locked locked(tableLock_);
  if (!initialized_) return Result(VE_NOT_INITED);
  for (int id = 0; id < kMaxChannels; ++id) {
    if (channels_[id]) continue;
    try {
      channels_[id] = std::make_shared<Channel>(this, id);
    } catch (const std::bad_alloc&) {
      return Result(VE_NO_MEMORY);
    }
    Trace(webrtc::kTraceStateInfo, "CreateChannel: channel %d", id);
    return id;
  }
  return Result(VE_MAX_ACTIVE_CHANNELS_REACHED);
}

int Engine::DeleteChannel(int id) {
  std::shared_ptr<Channel> channel = Find(id);
  if (!channel) return Result(VE_CHANNEL_NOT_VALID);
  channel->Shutdown();
  Locked locked(tableLock_);
  channels_[id].reset();
  Trace(webrtc::kTraceStateInfo, "DeleteChannel: channel %d", id);
  return 0;
}

std::shared_ptr<Channel> Engine::Find(int id) {
  if (id < 0 || id >= kMaxChannels) return nullptr;
  Locked locked(tableLock_);
  return channels_[id];
}

int Engine::Snapshot(std::shared_ptr<Channel>* out) {
  Locked locked(tableLock_);
  int count = 0;
  for (auto& channel : channels_) {
    if (channel) out[count++] = channel;
  }
  return count;
}

int Engine::AcquireCapture() {
  Locked locked(deviceLock_);
  if (!captureUsers_ && !device_->StartCapture(recordingDevice_, recordingPick_)) {
    Trace(webrtc::kTraceError, "StartSend: the recording device %d cannot be opened", recordingDevice_);
    return VE_SOUNDCARD_ERROR;
  }
  ++captureUsers_;
  return 0;
}

void Engine::ReleaseCapture() {
  Locked locked(deviceLock_);
  if (captureUsers_ > 0 && --captureUsers_ == 0) device_->StopCapture();
}

int Engine::AcquirePlayout() {
  Locked locked(deviceLock_);
  if (!playoutUsers_ && !device_->StartPlayout(playoutDevice_)) {
    Trace(webrtc::kTraceError, "StartPlayout: the playout device %d cannot be opened", playoutDevice_);
    return VE_SOUNDCARD_ERROR;
  }
  ++playoutUsers_;
  return 0;
}

void Engine::ReleasePlayout() {
  Locked locked(deviceLock_);
  if (playoutUsers_ > 0 && --playoutUsers_ == 0) device_->StopPlayout();
}

int Engine::SetRecordingDevice(int index, webrtc::StereoChannel pick) {
  if (pick < webrtc::kStereoLeft || pick > webrtc::kStereoBoth) return VE_INVALID_ARGUMENT;
  if (index < -1 || index >= DeviceCount(true)) return VE_INVALID_ARGUMENT;
  Locked locked(deviceLock_);
  recordingDevice_ = index;
  recordingPick_ = pick;
  if (device_->capturing()) {
    device_->StopCapture();
    if (!device_->StartCapture(recordingDevice_, recordingPick_)) return VE_SOUNDCARD_ERROR;
  }
  return 0;
}

int Engine::SetPlayoutDevice(int index) {
  if (index < -1 || index >= DeviceCount(false)) return VE_INVALID_ARGUMENT;
  Locked locked(deviceLock_);
  playoutDevice_ = index;
  if (device_->playing()) {
    device_->StopPlayout();
    if (!device_->StartPlayout(playoutDevice_)) return VE_SOUNDCARD_ERROR;
  }
  return 0;
}

int Engine::SetLayer(webrtc::AudioLayers layer) {
  if (layer != webrtc::kAudioPlatformDefault && layer != webrtc::kAudioWindowsWave &&
      layer != webrtc::kAudioWindowsCore) {
    return VE_FUNC_NOT_SUPPORTED;
  }
  Locked locked(tableLock_);
  if (initialized_) return VE_ALREADY_INITED;
  // The default is the wave layer, which every Windows system has.
  const webrtc::AudioLayers chosen = layer == webrtc::kAudioWindowsCore ? layer : webrtc::kAudioWindowsWave;
  if (chosen == layer_ && device_) return 0;
  Locked devices(deviceLock_);
  std::unique_ptr<AudioDevice> device =
      chosen == webrtc::kAudioWindowsCore ? MakeCoreAudioDevice(this) : MakeWaveAudioDevice(this);
  if (!device) return VE_NO_MEMORY;
  device_ = std::move(device);
  layer_ = chosen;
  // Indexes of one layer name other devices in another.
  recordingDevice_ = playoutDevice_ = -1;
  return 0;
}

int Engine::DeviceCount(bool recording) {
  if (!device_) return 0;
  return recording ? device_->CaptureDeviceCount() : device_->PlayoutDeviceCount();
}

int Engine::DeviceName(bool recording, int index, char name[128], char guid[128]) {
  if (!name || index < -1 || index >= DeviceCount(recording)) return VE_INVALID_ARGUMENT;
  char id[128];
  const bool named = recording ? device_->CaptureDeviceName(index, name, id) : device_->PlayoutDeviceName(index, name, id);
  if (!named) return VE_CANNOT_RETRIEVE_DEVICE_NAME;
  if (guid) std::memcpy(guid, id, sizeof id);
  return 0;
}

int Engine::SetMixedProcess(webrtc::ProcessingTypes type, webrtc::VoEMediaProcess* process) {
  // Taking the direction's lock waits for a block in progress: after a
  // deregistration the processor is never called again.
  Lock& lock = type == webrtc::kRecordingAllChannelsMixed ? captureLock_ : playoutLock_;
  webrtc::VoEMediaProcess*& slot =
      type == webrtc::kRecordingAllChannelsMixed ? mixedRecord_ : mixedPlayback_;
  Locked locked(lock);
  if (process && slot) return VE_INVALID_OPERATION;
  if (!process && !slot) return VE_INVALID_OPERATION;
  slot = process;
  return 0;
}

void Engine::ApplyProcessing() {
  Locked locked(apmLock);
  if (!apm_) return;
  apm_->SetNoiseSuppression(nsEnabled, nsMode);
  apm_->SetGainControl(agcEnabled, agcMode);
  apm_->SetEchoControl(ecEnabled, ecMode);
}

void Engine::OnCaptured(int16_t* block, size_t samples) {
  Locked locked(captureLock_);
  const unsigned volume = micVolume;
  if (volume < 255) {
    for (size_t i = 0; i < samples; ++i) block[i] = static_cast<int16_t>(block[i] * static_cast<int>(volume) / 255);
  }
  {
    Locked apm(apmLock);
    if (apm_) apm_->Captured(block);
  }
  if (inputMute) std::memset(block, 0, samples * sizeof(int16_t));
  if (mixedRecord_) {
    mixedRecord_->Process(-1, webrtc::kRecordingAllChannelsMixed, block, static_cast<int>(samples), kDeviceRate,
                          false);
  }
  inputLevel.Block(block, samples);
  std::shared_ptr<Channel> channels[kMaxChannels];
  const int count = Snapshot(channels);
  for (int i = 0; i < count; ++i) channels[i]->Captured(block);
}

void Engine::OnPlayout(int16_t* block, size_t samples) {
  Locked locked(playoutLock_);
  int32_t mix[kDeviceBlock] = {};
  std::shared_ptr<Channel> channels[kMaxChannels];
  const int count = Snapshot(channels);
  for (int i = 0; i < count; ++i) channels[i]->Playout(mix);
  const int volume = static_cast<int>(speakerVolume.load());
  for (size_t i = 0; i < samples; ++i) {
    int32_t v = mix[i];
    v = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
    block[i] = static_cast<int16_t>(v);
  }
  if (mixedPlayback_) {
    mixedPlayback_->Process(-1, webrtc::kPlaybackAllChannelsMixed, block, static_cast<int>(samples), kDeviceRate,
                            false);
  }
  outputLevel.Block(block, samples);
  {
    // The echo canceller hears what goes to the speaker before its volume.
    Locked apm(apmLock);
    if (apm_) apm_->Played(block);
  }
  if (outputMute) {
    std::memset(block, 0, samples * sizeof(int16_t));
  } else if (volume < 255) {
    for (size_t i = 0; i < samples; ++i) block[i] = static_cast<int16_t>(block[i] * volume / 255);
  }
}

}  // namespace voe

namespace webrtc {

VoiceEngine* VoiceEngine::Create() {
  try {
    return new voe::Engine();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool VoiceEngine::Delete(VoiceEngine*& voiceEngine) {
  if (!voiceEngine) return false;
  voe::Engine* engine = voe::Engine::From(voiceEngine);
  voiceEngine = nullptr;
  if (engine->creatorReleased()) return false;
  engine->ReleaseCreator();
  const int left = engine->DropRef();
  if (left > 0) {
    voe::Trace(kTraceWarning, "VoiceEngine::Delete: %d interface references remain; the engine lives until their release",
               left);
    return false;
  }
  return true;
}

int VoiceEngine::SetTraceFilter(const unsigned int filter) {
  voe::Tracing().filter = filter;
  return 0;
}

int VoiceEngine::SetTraceCallback(TraceCallback* callback) {
  voe::TraceState& state = voe::Tracing();
  EnterCriticalSection(&state.lock);
  state.callback = callback;
  LeaveCriticalSection(&state.lock);
  return 0;
}

namespace {

template <typename Impl>
Impl* Take(VoiceEngine* voiceEngine, Impl voe::Engine::*member) {
  if (!voiceEngine) return nullptr;
  voe::Engine* engine = voe::Engine::From(voiceEngine);
  Impl& impl = engine->*member;
  ++impl.refs.count;
  engine->AddRef();
  return &impl;
}

}  // namespace

VoEBase* VoEBase::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::base); }
VoECodec* VoECodec::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::codec); }
VoEDtmf* VoEDtmf::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::dtmf); }
VoEExternalMedia* VoEExternalMedia::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::externalMedia); }
VoEVolumeControl* VoEVolumeControl::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::volumeControl); }
VoEHardware* VoEHardware::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::hardware); }
VoEAudioProcessing* VoEAudioProcessing::GetInterface(VoiceEngine* e) {
  return Take(e, &voe::Engine::audioProcessing);
}
VoERTP_RTCP* VoERTP_RTCP::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::rtpRtcp); }
VoEEncryption* VoEEncryption::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::encryption); }
VoEVideoSync* VoEVideoSync::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::videoSync); }
VoENetwork* VoENetwork::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::network); }
VoEFile* VoEFile::GetInterface(VoiceEngine* e) { return Take(e, &voe::Engine::file); }

}  // namespace webrtc
