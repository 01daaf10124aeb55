// The engine's implementations of its sub-interfaces. Each keeps its own
// reference count and works on the engine that owns it.
#pragma once

#include <atomic>

#include "voiceengine/voiceengine.h"

namespace voe {

class Engine;

// What every interface shares: its engine and its references.
struct InterfaceRefs {
  explicit InterfaceRefs(Engine* engine) : engine(engine) {}
  Engine* engine;
  std::atomic<int> count{0};
  int Release();
};

#define VOE_INTERFACE_COMMON(Name)                          \
 public:                                                    \
  explicit Name(Engine* engine) : refs(engine), e_(engine) {} \
  int Release() override { return refs.Release(); }         \
  InterfaceRefs refs;                                       \
                                                            \
 private:                                                   \
  Engine* e_;                                               \
                                                            \
 public:

class BaseImpl : public webrtc::VoEBase {
  VOE_INTERFACE_COMMON(BaseImpl)
  int Init(webrtc::AudioDeviceModule* external_adm) override;
  int Terminate() override;
  int MaxNumOfChannels() override;
  int CreateChannel() override;
  int DeleteChannel(int channel) override;
  int SetLocalReceiver(int channel, int port, int RTCPport, const char ipAddr[64],
                       const char multiCastAddr[64]) override;
  int GetLocalReceiver(int channel, int& port, int& RTCPport, char ipAddr[64]) override;
  int SetSendDestination(int channel, int port, const char ipAddr[64], int sourcePort, int RTCPport) override;
  int GetSendDestination(int channel, int& port, char ipAddr[64], int& sourcePort, int& RTCPport) override;
  int StartReceive(int channel) override;
  int StopReceive(int channel) override;
  int StartPlayout(int channel) override;
  int StopPlayout(int channel) override;
  int StartSend(int channel) override;
  int StopSend(int channel) override;
  int GetVersion(char version[1024]) override;
  int LastError() override;
  int SetOnHoldStatus(int channel, bool enable, webrtc::OnHoldModes mode) override;
  int GetOnHoldStatus(int channel, bool& enabled, webrtc::OnHoldModes& mode) override;
  int SetNetEQPlayoutMode(int channel, webrtc::NetEqModes mode) override;
  int GetNetEQPlayoutMode(int channel, webrtc::NetEqModes& mode) override;
  int SetNetEQBGNMode(int channel, webrtc::NetEqBgnModes mode) override;
  int GetNetEQBGNMode(int channel, webrtc::NetEqBgnModes& mode) override;
};

class CodecImpl : public webrtc::VoECodec {
  VOE_INTERFACE_COMMON(CodecImpl)
  int NumOfCodecs() override;
  int GetCodec(int index, webrtc::CodecInst& codec) override;
  int SetSendCodec(int channel, const webrtc::CodecInst& codec) override;
  int GetSendCodec(int channel, webrtc::CodecInst& codec) override;
  int GetRecCodec(int channel, webrtc::CodecInst& codec) override;
  int SetRecPayloadType(int channel, const webrtc::CodecInst& codec) override;
  int GetRecPayloadType(int channel, webrtc::CodecInst& codec) override;
};

class DtmfImpl : public webrtc::VoEDtmf {
  VOE_INTERFACE_COMMON(DtmfImpl)
  int SendTelephoneEvent(int channel, int eventCode, bool outOfBand, int lengthMs, int attenuationDb) override;
  int SetSendTelephoneEventPayloadType(int channel, unsigned char type) override;
  int GetSendTelephoneEventPayloadType(int channel, unsigned char& type) override;
  int SetDtmfPlayoutStatus(int channel, bool enable) override;
  int GetDtmfPlayoutStatus(int channel, bool& enabled) override;
};

class ExternalMediaImpl : public webrtc::VoEExternalMedia {
  VOE_INTERFACE_COMMON(ExternalMediaImpl)
  int RegisterExternalMediaProcessing(int channel, webrtc::ProcessingTypes type,
                                      webrtc::VoEMediaProcess& processObject) override;
  int DeRegisterExternalMediaProcessing(int channel, webrtc::ProcessingTypes type) override;
};

class VolumeControlImpl : public webrtc::VoEVolumeControl {
  VOE_INTERFACE_COMMON(VolumeControlImpl)
  int SetSpeakerVolume(unsigned int volume) override;
  int GetSpeakerVolume(unsigned int& volume) override;
  int SetMicVolume(unsigned int volume) override;
  int GetMicVolume(unsigned int& volume) override;
  int SetInputMute(int channel, bool enable) override;
  int GetInputMute(int channel, bool& enabled) override;
  int SetSystemInputMute(bool enable) override;
  int GetSystemInputMute(bool& enabled) override;
  int SetSystemOutputMute(bool enable) override;
  int GetSystemOutputMute(bool& enabled) override;
  int GetSpeechInputLevel(unsigned int& level) override;
  int GetSpeechOutputLevel(int channel, unsigned int& level) override;
  int GetSpeechInputLevelFullRange(unsigned int& level) override;
  int GetSpeechOutputLevelFullRange(int channel, unsigned int& level) override;
  int SetChannelOutputVolumeScaling(int channel, float scaling) override;
  int GetChannelOutputVolumeScaling(int channel, float& scaling) override;
};

class HardwareImpl : public webrtc::VoEHardware {
  VOE_INTERFACE_COMMON(HardwareImpl)
  int GetNumOfRecordingDevices(int& devices) override;
  int GetNumOfPlayoutDevices(int& devices) override;
  int GetRecordingDeviceName(int index, char strNameUTF8[128], char strGuidUTF8[128]) override;
  int GetPlayoutDeviceName(int index, char strNameUTF8[128], char strGuidUTF8[128]) override;
  int SetRecordingDevice(int index, webrtc::StereoChannel recordingChannel) override;
  int SetPlayoutDevice(int index) override;
  int SetAudioDeviceLayer(webrtc::AudioLayers audioLayer) override;
  int GetAudioDeviceLayer(webrtc::AudioLayers& audioLayer) override;
};

class AudioProcessingImpl : public webrtc::VoEAudioProcessing {
  VOE_INTERFACE_COMMON(AudioProcessingImpl)
  int SetNsStatus(bool enable, webrtc::NsModes mode) override;
  int GetNsStatus(bool& enabled, webrtc::NsModes& mode) override;
  int SetAgcStatus(bool enable, webrtc::AgcModes mode) override;
  int GetAgcStatus(bool& enabled, webrtc::AgcModes& mode) override;
  int SetEcStatus(bool enable, webrtc::EcModes mode) override;
  int GetEcStatus(bool& enabled, webrtc::EcModes& mode) override;
};

class RtpRtcpImpl : public webrtc::VoERTP_RTCP {
  VOE_INTERFACE_COMMON(RtpRtcpImpl)
  int GetLocalSSRC(int channel, unsigned int& ssrc) override;
  int GetRemoteSSRC(int channel, unsigned int& ssrc) override;
  int GetRTCPStatistics(int channel, webrtc::CallStatistics& stats) override;
};

class EncryptionImpl : public webrtc::VoEEncryption {
  VOE_INTERFACE_COMMON(EncryptionImpl)
};
class VideoSyncImpl : public webrtc::VoEVideoSync {
  VOE_INTERFACE_COMMON(VideoSyncImpl)
};
class NetworkImpl : public webrtc::VoENetwork {
  VOE_INTERFACE_COMMON(NetworkImpl)
};
class FileImpl : public webrtc::VoEFile {
  VOE_INTERFACE_COMMON(FileImpl)
};

#undef VOE_INTERFACE_COMMON

}  // namespace voe
