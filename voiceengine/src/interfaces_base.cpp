// VoEBase, VoECodec and VoEDtmf over the engine and its channels.
#include <cstdio>
#include <cstring>

#include "engine.h"
#include "voiceengine/errors.h"

namespace voe {

// Runs a call on a channel: -1 with VE_CHANNEL_NOT_VALID when there is none,
// else the call's result through the engine's error.
#define ON_CHANNEL(id, call)                                   \
  do {                                                         \
    std::shared_ptr<Channel> ch = e_->Find(id);                \
    if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);          \
    return e_->Result(ch->call);                               \
  } while (0)

int BaseImpl::Init(webrtc::AudioDeviceModule* external_adm) {
  if (external_adm) return e_->Result(VE_FUNC_NOT_SUPPORTED);
  return e_->Init();
}

int BaseImpl::Terminate() { return e_->Terminate(); }
int BaseImpl::MaxNumOfChannels() { return Engine::kMaxChannels; }
int BaseImpl::CreateChannel() { return e_->CreateChannel(); }
int BaseImpl::DeleteChannel(int channel) { return e_->DeleteChannel(channel); }

int BaseImpl::SetLocalReceiver(int channel, int port, int RTCPport, const char ipAddr[64],
                               const char multiCastAddr[64]) {
  if (multiCastAddr && *multiCastAddr) return e_->Result(VE_FUNC_NOT_SUPPORTED);
  ON_CHANNEL(channel, SetLocalReceiver(port, RTCPport, ipAddr));
}

int BaseImpl::GetLocalReceiver(int channel, int& port, int& RTCPport, char ipAddr[64]) {
  ON_CHANNEL(channel, GetLocalReceiver(port, RTCPport, ipAddr));
}

int BaseImpl::SetSendDestination(int channel, int port, const char ipAddr[64], int sourcePort, int RTCPport) {
  ON_CHANNEL(channel, SetSendDestination(port, ipAddr, sourcePort, RTCPport));
}

int BaseImpl::GetSendDestination(int channel, int& port, char ipAddr[64], int& sourcePort, int& RTCPport) {
  ON_CHANNEL(channel, GetSendDestination(port, ipAddr, sourcePort, RTCPport));
}

int BaseImpl::StartReceive(int channel) { ON_CHANNEL(channel, StartReceive()); }
int BaseImpl::StopReceive(int channel) { ON_CHANNEL(channel, StopReceive()); }
int BaseImpl::StartPlayout(int channel) { ON_CHANNEL(channel, StartPlayout()); }
int BaseImpl::StopPlayout(int channel) { ON_CHANNEL(channel, StopPlayout()); }
int BaseImpl::StartSend(int channel) { ON_CHANNEL(channel, StartSend()); }
int BaseImpl::StopSend(int channel) { ON_CHANNEL(channel, StopSend()); }

int BaseImpl::GetVersion(char version[1024]) {
  if (!version) return e_->Result(VE_INVALID_ARGUMENT);
  snprintf(version, 1024, "VoiceEngine 1.0 (waveIn/waveOut, G.711, Opus, telephone-event, speexdsp processing)");
  return 0;
}

int BaseImpl::LastError() { return e_->lastError(); }

int BaseImpl::SetOnHoldStatus(int channel, bool enable, webrtc::OnHoldModes mode) {
  ON_CHANNEL(channel, SetOnHold(enable, mode));
}

int BaseImpl::GetOnHoldStatus(int channel, bool& enabled, webrtc::OnHoldModes& mode) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  ch->GetOnHold(enabled, mode);
  return 0;
}

int BaseImpl::SetNetEQPlayoutMode(int channel, webrtc::NetEqModes mode) { ON_CHANNEL(channel, SetNetEqMode(mode)); }

int BaseImpl::GetNetEQPlayoutMode(int channel, webrtc::NetEqModes& mode) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  mode = ch->netEqMode();
  return 0;
}

int BaseImpl::SetNetEQBGNMode(int channel, webrtc::NetEqBgnModes mode) { ON_CHANNEL(channel, SetBgnMode(mode)); }

int BaseImpl::GetNetEQBGNMode(int channel, webrtc::NetEqBgnModes& mode) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  mode = ch->bgnMode();
  return 0;
}

int CodecImpl::NumOfCodecs() { return CodecCount(); }

int CodecImpl::GetCodec(int index, webrtc::CodecInst& codec) {
  if (index < 0 || index >= CodecCount()) return e_->Result(VE_INVALID_LISTNR);
  codec = CodecAt(index);
  return 0;
}

int CodecImpl::SetSendCodec(int channel, const webrtc::CodecInst& codec) { ON_CHANNEL(channel, SetSendCodec(codec)); }
int CodecImpl::GetSendCodec(int channel, webrtc::CodecInst& codec) { ON_CHANNEL(channel, GetSendCodec(codec)); }
int CodecImpl::GetRecCodec(int channel, webrtc::CodecInst& codec) { ON_CHANNEL(channel, GetRecCodec(codec)); }
int CodecImpl::SetRecPayloadType(int channel, const webrtc::CodecInst& codec) {
  ON_CHANNEL(channel, SetRecPayloadType(codec));
}
int CodecImpl::GetRecPayloadType(int channel, webrtc::CodecInst& codec) {
  ON_CHANNEL(channel, GetRecPayloadType(codec));
}

int DtmfImpl::SendTelephoneEvent(int channel, int eventCode, bool outOfBand, int lengthMs, int attenuationDb) {
  ON_CHANNEL(channel, SendTelephoneEvent(eventCode, outOfBand, lengthMs, attenuationDb));
}

int DtmfImpl::SetSendTelephoneEventPayloadType(int channel, unsigned char type) {
  ON_CHANNEL(channel, SetSendTelephoneEventPayloadType(type));
}

int DtmfImpl::GetSendTelephoneEventPayloadType(int channel, unsigned char& type) {
  ON_CHANNEL(channel, GetSendTelephoneEventPayloadType(type));
}

int DtmfImpl::SetDtmfPlayoutStatus(int channel, bool enable) { ON_CHANNEL(channel, SetDtmfPlayout(enable)); }

int DtmfImpl::GetDtmfPlayoutStatus(int channel, bool& enabled) {
  std::shared_ptr<Channel> ch = e_->Find(channel);
  if (!ch) return e_->Result(VE_CHANNEL_NOT_VALID);
  enabled = ch->dtmfPlayout();
  return 0;
}

}  // namespace voe
