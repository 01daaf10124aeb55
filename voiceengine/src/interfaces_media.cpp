// VoEExternalMedia, VoEVolumeControl, VoEHardware, VoEAudioProcessing and
// VoERTP_RTCP over the engine and its channels.
#include <cstring>

#include "engine.h"
#include "voiceengine/errors.h"

namespace voe {

int ExternalMediaImpl::RegisterExternalMediaProcessing(int channel, webrtc::ProcessingTypes type,
                                                       webrtc::VoEMediaProcess& processObject) {
  switch (type) {
    case webrtc::kPlaybackPerChannel:
    case webrtc::kRecordingPerChannel: {
      std::shared_ptr<Channel> ch = e_->Find(channel);
      if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
      return e_->Result(ch->RegisterProcess(type, &processObject));
    }
    case webrtc::kPlaybackAllChannelsMixed:
    case webrtc::kRecordingAllChannelsMixed:
      return e_->Result(e_->SetMixedProcess(type, &processObject));
  }
  return e_->Result(VE_INVALID_ARGUMENT);
}

int ExternalMediaImpl::DeRegisterExternalMediaProcessing(int channel, webrtc::ProcessingTypes type) {
  switch (type) {
    case webrtc::kPlaybackPerChannel:
    case webrtc::kRecordingPerChannel: {
      std::shared_ptr<Channel> ch = e_->Find(channel);
      if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
      return e_->Result(ch->DeregisterProcess(type));
    }
    case webrtc::kPlaybackAllChannelsMixed:
    case webrtc::kRecordingAllChannelsMixed:
      return e_->Result(e_->SetMixedProcess(type, nullptr));
  }
  return e_->Result(VE_INVALID_ARGUMENT);
}

int VolumeControlImpl::SetSpeakerVolume(unsigned int volume) {
  if (volume > 255) return e_->Result(VE_INVALID_ARGUMENT);
  e_->speakerVolume = volume;
  return 0;
}

int VolumeControlImpl::GetSpeakerVolume(unsigned int& volume) {
  volume = e_->speakerVolume;
  return 0;
}

int VolumeControlImpl::SetMicVolume(unsigned int volume) {
  if (volume > 255) return e_->Result(VE_INVALID_ARGUMENT);
  e_->micVolume = volume;
  return 0;
}

int VolumeControlImpl::GetMicVolume(unsigned int& volume) {
  volume = e_->micVolume;
  return 0;
}

int VolumeControlImpl::SetInputMute(int channel, bool enable) {
  if (channel == -1) {
    e_->inputMute = enable;
    return 0;
  }
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  return e_->Result(ch->SetInputMute(enable));
}

int VolumeControlImpl::GetInputMute(int channel, bool& enabled) {
  if (channel == -1) {
    enabled = e_->inputMute;
    return 0;
  }
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  enabled = ch->inputMute();
  return 0;
}

int VolumeControlImpl::SetSystemInputMute(bool enable) {
  e_->inputMute = enable;
  return 0;
}

int VolumeControlImpl::GetSystemInputMute(bool& enabled) {
  enabled = e_->inputMute;
  return 0;
}

int VolumeControlImpl::SetSystemOutputMute(bool enable) {
  e_->outputMute = enable;
  return 0;
}

int VolumeControlImpl::GetSystemOutputMute(bool& enabled) {
  enabled = e_->outputMute;
  return 0;
}

int VolumeControlImpl::GetSpeechInputLevel(unsigned int& level) {
  level = e_->inputLevel.level();
  return 0;
}

int VolumeControlImpl::GetSpeechInputLevelFullRange(unsigned int& level) {
  level = e_->inputLevel.fullRange();
  return 0;
}

int VolumeControlImpl::GetSpeechOutputLevel(int channel, unsigned int& level) {
  if (channel == -1) {
    level = e_->outputLevel.level();
    return 0;
  }
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  unsigned full = 0;
  ch->OutputLevels(&level, &full);
  return 0;
}

int VolumeControlImpl::GetSpeechOutputLevelFullRange(int channel, unsigned int& level) {
  if (channel == -1) {
    level = e_->outputLevel.fullRange();
    return 0;
  }
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  unsigned scaled = 0;
  ch->OutputLevels(&scaled, &level);
  return 0;
}

int VolumeControlImpl::SetChannelOutputVolumeScaling(int channel, float scaling) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  return e_->Result(ch->SetOutputScaling(scaling));
}

int VolumeControlImpl::GetChannelOutputVolumeScaling(int channel, float& scaling) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  scaling = ch->outputScaling();
  return 0;
}

int HardwareImpl::GetNumOfRecordingDevices(int& devices) {
  devices = e_->DeviceCount(true);
  return 0;
}

int HardwareImpl::GetNumOfPlayoutDevices(int& devices) {
  devices = e_->DeviceCount(false);
  return 0;
}

int HardwareImpl::GetRecordingDeviceName(int index, char strNameUTF8[128], char strGuidUTF8[128]) {
  return e_->Result(e_->DeviceName(true, index, strNameUTF8, strGuidUTF8));
}

int HardwareImpl::GetPlayoutDeviceName(int index, char strNameUTF8[128], char strGuidUTF8[128]) {
  return e_->Result(e_->DeviceName(false, index, strNameUTF8, strGuidUTF8));
}

int HardwareImpl::SetRecordingDevice(int index, webrtc::StereoChannel recordingChannel) {
  return e_->Result(e_->SetRecordingDevice(index, recordingChannel));
}

int HardwareImpl::SetPlayoutDevice(int index) { return e_->Result(e_->SetPlayoutDevice(index)); }

int HardwareImpl::SetAudioDeviceLayer(webrtc::AudioLayers audioLayer) { return e_->Result(e_->SetLayer(audioLayer)); }

int HardwareImpl::GetAudioDeviceLayer(webrtc::AudioLayers& audioLayer) {
  audioLayer = e_->layer();
  return 0;
}

int AudioProcessingImpl::SetNsStatus(bool enable, webrtc::NsModes mode) {
  if (mode < webrtc::kNsUnchanged || mode > webrtc::kNsVeryHighSuppression) return e_->Result(VE_INVALID_ARGUMENT);
  {
    Locked locked(e_->apmLock);
    e_->nsEnabled = enable;
    if (mode != webrtc::kNsUnchanged) e_->nsMode = mode == webrtc::kNsDefault ? webrtc::kNsModerateSuppression : mode;
  }
  e_->ApplyProcessing();
  return 0;
}

int AudioProcessingImpl::GetNsStatus(bool& enabled, webrtc::NsModes& mode) {
  Locked locked(e_->apmLock);
  enabled = e_->nsEnabled;
  mode = e_->nsMode;
  return 0;
}

int AudioProcessingImpl::SetAgcStatus(bool enable, webrtc::AgcModes mode) {
  if (mode < webrtc::kAgcUnchanged || mode > webrtc::kAgcFixedDigital) return e_->Result(VE_INVALID_ARGUMENT);
  {
    Locked locked(e_->apmLock);
    e_->agcEnabled = enable;
    if (mode != webrtc::kAgcUnchanged) e_->agcMode = mode == webrtc::kAgcDefault ? webrtc::kAgcAdaptiveAnalog : mode;
  }
  e_->ApplyProcessing();
  return 0;
}

int AudioProcessingImpl::GetAgcStatus(bool& enabled, webrtc::AgcModes& mode) {
  Locked locked(e_->apmLock);
  enabled = e_->agcEnabled;
  mode = e_->agcMode;
  return 0;
}

int AudioProcessingImpl::SetEcStatus(bool enable, webrtc::EcModes mode) {
  if (mode < webrtc::kEcUnchanged || mode > webrtc::kEcAecm) return e_->Result(VE_INVALID_ARGUMENT);
  {
    Locked locked(e_->apmLock);
    e_->ecEnabled = enable;
    if (mode != webrtc::kEcUnchanged) e_->ecMode = mode == webrtc::kEcDefault ? webrtc::kEcAec : mode;
  }
  e_->ApplyProcessing();
  return 0;
}

int AudioProcessingImpl::GetEcStatus(bool& enabled, webrtc::EcModes& mode) {
  Locked locked(e_->apmLock);
  enabled = e_->ecEnabled;
  mode = e_->ecMode;
  return 0;
}

int RtpRtcpImpl::GetLocalSSRC(int channel, unsigned int& ssrc) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  ssrc = ch->localSsrc();
  return 0;
}

int RtpRtcpImpl::GetRemoteSSRC(int channel, unsigned int& ssrc) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  return e_->Result(ch->GetRemoteSsrc(ssrc));
}

int RtpRtcpImpl::GetRTCPStatistics(int channel, webrtc::CallStatistics& stats) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  ch->GetStatistics(stats);
  return 0;
}

}  // namespace voe
