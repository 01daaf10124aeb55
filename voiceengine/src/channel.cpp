// A channel's configuration: sockets, starting and stopping, codecs, DTMF
// settings, processors, hold and gain.
#include <cstdio>
#include <cstring>

#include "audio_device.h"
#include "channel.h"
#include "engine.h"
#include "voiceengine/errors.h"

namespace voe {
namespace {

uint32_t RandomWord() {
  // Seeded per channel from the clock and the address of a local.
  static std::atomic<uint32_t> mix{0x9E3779B9u};
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint32_t x = static_cast<uint32_t>(counter.QuadPart) ^ mix.fetch_add(0x6D2B79F5u) ^
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&counter));
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

void AddressText(const sockaddr_in& address, char out[64]) {
  const uint32_t a = ntohl(address.sin_addr.s_addr);
  snprintf(out, 64, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
}

}  // namespace

Channel::Channel(Engine* engine, int id) : engine_(engine), id_(id) {
  ssrc_ = RandomWord();
  sequence_ = static_cast<uint16_t>(RandomWord());
  timestamp_ = RandomWord();
  // PCMU until the caller chooses.
  sendIndex_ = 0;
  sendCodec_ = CodecAt(0);
  // Every codec the engine can decode is received under its default type.
  int slot = 0;
  for (ReceiveCodec& codec : receiveCodecs_) codec.pltype = -1;
  for (int i = 0; i < CodecCount() && slot < kMaxReceiveCodecs; ++i) {
    int error = 0;
    if (CodecKindAt(i) == CodecKind::kTelephoneEvent) {
      receiveEventTypes_[0] = CodecAt(i).pltype;
      continue;
    }
    if (!CreateDecoder(CodecKindAt(i), CodecAt(i), &error)) continue;
    receiveCodecs_[slot++] = ReceiveCodec{CodecAt(i).pltype, i, CodecAt(i)};
  }
  receiveEventTypes_[1] = sendEventType_;
  jitter_.Reset(8000);
}

Channel::~Channel() { Shutdown(); }

void Channel::Shutdown() {
  StopSend();
  StopPlayout();
  StopReceive();
  Locked locked(lock_);
  rtp_.Close();
  rtcp_.Close();
  localSet_ = false;
  recordProcess_ = playbackProcess_ = nullptr;
}

int Channel::SetLocalReceiver(int port, int rtcpPort, const char* address) {
  if (port < 0 || port > 65535 || rtcpPort < -1 || rtcpPort > 65535) return VE_INVALID_PORT_NMBR;
  in_addr local = {};
  local.s_addr = htonl(INADDR_ANY);
  if (address && *address && !ParseIpv4(address, &local)) return VE_INVALID_IP_ADDRESS;
  Locked locked(lock_);
  if (receiving_) return VE_ALREADY_LISTENING;
  if (sending_) return VE_SENDING;
  rtp_.Close();
  rtcp_.Close();
  localSet_ = false;
  if (!rtp_.Bind(local, port)) {
    Trace(webrtc::kTraceError, "SetLocalReceiver: channel %d cannot bind RTP port %d", id_, port);
    return VE_SOCKET_ERROR;
  }
  const int rtcpWanted = rtcpPort == webrtc::kVoEDefault ? (port ? rtp_.localPort() + 1 : 0) : rtcpPort;
  if (rtcpWanted > 65535 || !rtcp_.Bind(local, rtcpWanted)) {
    rtp_.Close();
    Trace(webrtc::kTraceError, "SetLocalReceiver: channel %d cannot bind RTCP port %d", id_, rtcpWanted);
    return VE_SOCKET_ERROR;
  }
  localSet_ = true;
  snprintf(localAddress_, sizeof localAddress_, "%s", address && *address ? address : "");
  return 0;
}

int Channel::GetLocalReceiver(int& port, int& rtcpPort, char address[64]) {
  Locked locked(lock_);
  if (!localSet_) return VE_SOCKETS_NOT_INITED;
  port = rtp_.localPort();
  rtcpPort = rtcp_.localPort();
  if (address) snprintf(address, 64, "%s", localAddress_);
  return 0;
}

int Channel::SetSendDestination(int port, const char* address, int sourcePort, int rtcpPort) {
  if (port < 1 || port > 65535 || rtcpPort < -1 || rtcpPort > 65535 || sourcePort < -1 || sourcePort > 65535) {
    return VE_INVALID_PORT_NMBR;
  }
  in_addr remote = {};
  if (!ParseIpv4(address, &remote)) return VE_INVALID_IP_ADDRESS;
  Locked locked(lock_);
  rtpTo_ = sockaddr_in();
  rtpTo_.sin_family = AF_INET;
  rtpTo_.sin_addr = remote;
  rtpTo_.sin_port = htons(static_cast<u_short>(port));
  rtcpTo_ = rtpTo_;
  const int rtcp = rtcpPort == webrtc::kVoEDefault ? port + 1 : rtcpPort;
  rtcpTo_.sin_port = htons(static_cast<u_short>(rtcp > 65535 ? port : rtcp));
  sourcePort_ = sourcePort;
  destinationSet_ = true;
  return 0;
}

int Channel::GetSendDestination(int& port, char address[64], int& sourcePort, int& rtcpPort) {
  Locked locked(lock_);
  if (!destinationSet_) return VE_DESTINATION_NOT_INITED;
  port = ntohs(rtpTo_.sin_port);
  rtcpPort = ntohs(rtcpTo_.sin_port);
  sourcePort = rtp_.open() ? rtp_.localPort() : sourcePort_;
  if (address) AddressText(rtpTo_, address);
  return 0;
}

int Channel::EnsureSendSockets() {
  // Without a local receiver the channel sends from sockets of its own.
  if (rtp_.open()) return 0;
  in_addr any = {};
  any.s_addr = htonl(INADDR_ANY);
  if (!rtp_.Bind(any, sourcePort_ > 0 ? sourcePort_ : 0)) return VE_SOCKET_ERROR;
  if (!rtcp_.Bind(any, 0)) {
    rtp_.Close();
    return VE_SOCKET_ERROR;
  }
  return 0;
}

int Channel::StartReceive() {
  {
    Locked locked(lock_);
    if (receiving_) return 0;
    if (!localSet_) return VE_SOCKETS_NOT_INITED;
    // What waited in the sockets before belongs to no session.
    uint8_t scratch[2048];
    sockaddr_in from;
    for (int i = 0; i < 1000 && rtp_.Receive(scratch, sizeof scratch, &from) != 0; ++i) {
    }
    jitter_.Reset(currentReceive_ >= 0 ? receiveCodecs_[currentReceive_].codec.plfreq : 8000);
    stats_.Reset();
    haveRemoteSsrc_ = false;
    decodedFill_ = 0;
    stopReceive_ = false;
    receiving_ = true;
    nextRtcpMs_ = NowMs() + 500 + RandomWord() % 1000;
  }
  HANDLE thread = CreateThread(nullptr, 0, ReceiveMain, this, 0, nullptr);
  Locked locked(lock_);
  if (!thread) {
    receiving_ = false;
    return VE_SOCKET_ERROR;
  }
  receiveThread_ = thread;
  return 0;
}

int Channel::StopReceive() {
  HANDLE thread = nullptr;
  {
    Locked locked(lock_);
    if (!receiving_) return 0;
    receiving_ = false;
    stopReceive_ = true;
    thread = receiveThread_;
    const JitterBuffer::Counters& c = jitter_.counters();
    Trace(webrtc::kTraceStateInfo,
          "channel %d stops receiving: %u packets, %u played, %u concealed, %u late, %u duplicate, %u discarded, "
          "%u restarts, %u underruns, target %u ms",
          id_, packetsReceived_, c.played, c.concealed, c.late, c.duplicates, c.discarded, c.restarts, c.underruns,
          currentReceive_ >= 0 ? jitter_.TargetUnits() * 1000 / receiveCodecs_[currentReceive_].codec.plfreq : 0);
    receiveThread_ = nullptr;
  }
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  return 0;
}

int Channel::StartSend() {
  {
    Locked locked(lock_);
    if (sending_) return 0;
    if (!destinationSet_) return VE_DESTINATION_NOT_INITED;
    if (!encoder_) {
      int error = 0;
      encoder_ = CreateEncoder(CodecKindAt(sendIndex_), sendCodec_, &error);
      if (!encoder_) return error ? error : VE_CODEC_ERROR;
    }
    const int error = EnsureSendSockets();
    if (error) return error;
  }
  const int error = engine_->AcquireCapture();
  if (error) return error;
  Locked locked(lock_);
  frameFill_ = 0;
  firstPacket_ = true;
  sending_ = true;
  if (!nextRtcpMs_) nextRtcpMs_ = NowMs() + 500 + RandomWord() % 1000;
  return 0;
}

int Channel::StopSend() {
  {
    Locked locked(lock_);
    if (!sending_) return 0;
    // The peer learns that this source has left (RFC 3550 6.3.7).
    SendRtcpBye();
    sending_ = false;
    eventActive_ = false;
    eventCount_ = 0;
    inbandTone_.Stop();
  }
  engine_->ReleaseCapture();
  return 0;
}

int Channel::StartPlayout() {
  {
    Locked locked(lock_);
    if (playing_) return 0;
  }
  const int error = engine_->AcquirePlayout();
  if (error) return error;
  Locked locked(lock_);
  playing_ = true;
  return 0;
}

int Channel::StopPlayout() {
  {
    Locked locked(lock_);
    if (!playing_) return 0;
    playing_ = false;
  }
  engine_->ReleasePlayout();
  return 0;
}

int Channel::SetSendCodec(const webrtc::CodecInst& codec) {
  const int check = CheckSendCodec(codec);
  if (check) return check;
  const int index = FindCodec(codec);
  int error = 0;
  std::unique_ptr<Encoder> encoder = CreateEncoder(CodecKindAt(index), codec, &error);
  if (!encoder) {
    Trace(webrtc::kTraceError, "SetSendCodec: channel %d cannot send %s", id_, codec.plname);
    return error ? error : VE_CANNOT_SET_SEND_CODEC;
  }
  Locked locked(lock_);
  sendCodec_ = codec;
  sendIndex_ = index;
  encoder_ = std::move(encoder);
  frameFill_ = 0;
  return 0;
}

int Channel::GetSendCodec(webrtc::CodecInst& codec) {
  Locked locked(lock_);
  codec = sendCodec_;
  return 0;
}

int Channel::GetRecCodec(webrtc::CodecInst& codec) {
  Locked locked(lock_);
  if (currentReceive_ < 0) return VE_CANNOT_GET_REC_CODEC;
  codec = receiveCodecs_[currentReceive_].codec;
  return 0;
}

int Channel::FindReceiveCodec(int pltype) const {
  for (int i = 0; i < kMaxReceiveCodecs; ++i) {
    if (receiveCodecs_[i].pltype >= 0 && receiveCodecs_[i].pltype == pltype) return i;
  }
  return -1;
}

int Channel::SetRecPayloadType(const webrtc::CodecInst& codec) {
  const int index = FindCodec(codec);
  if (index < 0) return VE_INVALID_PLNAME;
  if (codec.pltype < -1 || codec.pltype > 127) return VE_INVALID_PLTYPE;
  const CodecKind kind = CodecKindAt(index);
  Locked locked(lock_);
  if (receiving_) return VE_ALREADY_LISTENING;
  if (kind == CodecKind::kTelephoneEvent) {
    receiveEventTypes_[0] = codec.pltype;
    return 0;
  }
  if (codec.pltype >= 0) {
    int error = 0;
    if (!CreateDecoder(kind, codec, &error)) return error ? error : VE_CODEC_ERROR;
  }
  // One payload type per codec, one codec per payload type.
  for (int i = 0; i < kMaxReceiveCodecs; ++i) {
    ReceiveCodec& entry = receiveCodecs_[i];
    if (entry.pltype < 0) continue;
    if (entry.index == index || (codec.pltype >= 0 && entry.pltype == codec.pltype)) {
      entry.pltype = -1;
      if (currentReceive_ == i) {
        currentReceive_ = -1;
        decoder_.reset();
      }
    }
  }
  if (codec.pltype < 0) return 0;
  for (ReceiveCodec& entry : receiveCodecs_) {
    if (entry.pltype < 0) {
      entry = ReceiveCodec{codec.pltype, index, codec};
      return 0;
    }
  }
  return VE_SET_PLTYPE_FAILED;
}

int Channel::GetRecPayloadType(webrtc::CodecInst& codec) {
  const int index = FindCodec(codec);
  if (index < 0) return VE_INVALID_PLNAME;
  Locked locked(lock_);
  if (CodecKindAt(index) == CodecKind::kTelephoneEvent) {
    codec.pltype = receiveEventTypes_[0];
    return 0;
  }
  for (const ReceiveCodec& entry : receiveCodecs_) {
    if (entry.pltype >= 0 && entry.index == index) {
      codec.pltype = entry.pltype;
      return 0;
    }
  }
  codec.pltype = -1;
  return 0;
}

int Channel::SetSendTelephoneEventPayloadType(int type) {
  if (type < 96 || type > 127) return VE_INVALID_PLTYPE;
  Locked locked(lock_);
  sendEventType_ = type;
  // The negotiated type serves both directions.
  receiveEventTypes_[1] = type;
  return 0;
}

int Channel::GetSendTelephoneEventPayloadType(unsigned char& type) {
  Locked locked(lock_);
  type = static_cast<unsigned char>(sendEventType_);
  return 0;
}

int Channel::SetDtmfPlayout(bool enable) {
  Locked locked(lock_);
  dtmfPlayout_ = enable;
  if (!enable) receivedTone_.Stop();
  return 0;
}

bool Channel::dtmfPlayout() {
  Locked locked(lock_);
  return dtmfPlayout_;
}

int Channel::RegisterProcess(webrtc::ProcessingTypes type, webrtc::VoEMediaProcess* process) {
  // The processor runs under the channel's lock: once this returns, a
  // deregistered processor is never called again.
  Locked locked(lock_);
  webrtc::VoEMediaProcess*& slot = type == webrtc::kRecordingPerChannel ? recordProcess_ : playbackProcess_;
  if (slot) return VE_INVALID_OPERATION;
  slot = process;
  return 0;
}

int Channel::DeregisterProcess(webrtc::ProcessingTypes type) {
  Locked locked(lock_);
  webrtc::VoEMediaProcess*& slot = type == webrtc::kRecordingPerChannel ? recordProcess_ : playbackProcess_;
  if (!slot) return VE_INVALID_OPERATION;
  slot = nullptr;
  return 0;
}

int Channel::SetInputMute(bool mute) {
  Locked locked(lock_);
  inputMute_ = mute;
  return 0;
}

bool Channel::inputMute() {
  Locked locked(lock_);
  return inputMute_;
}

int Channel::SetOutputScaling(float scaling) {
  if (!(scaling >= 0.0f && scaling <= 10.0f)) return VE_INVALID_ARGUMENT;
  Locked locked(lock_);
  outputScaling_ = scaling;
  return 0;
}

float Channel::outputScaling() {
  Locked locked(lock_);
  return outputScaling_;
}

void Channel::OutputLevels(unsigned* level, unsigned* fullRange) {
  Locked locked(lock_);
  *level = outputLevel_.level();
  *fullRange = outputLevel_.fullRange();
}

int Channel::SetOnHold(bool enable, webrtc::OnHoldModes mode) {
  if (mode < webrtc::kHoldSendAndPlay || mode > webrtc::kHoldPlayOnly) return VE_INVALID_ARGUMENT;
  Locked locked(lock_);
  holdEnabled_ = enable;
  holdMode_ = mode;
  return 0;
}

void Channel::GetOnHold(bool& enabled, webrtc::OnHoldModes& mode) {
  Locked locked(lock_);
  enabled = holdEnabled_;
  mode = holdMode_;
}

int Channel::SetNetEqMode(webrtc::NetEqModes mode) {
  if (mode < webrtc::kNetEqDefault || mode > webrtc::kNetEqFax) return VE_INVALID_ARGUMENT;
  Locked locked(lock_);
  netEqMode_ = mode;
  return 0;
}

webrtc::NetEqModes Channel::netEqMode() {
  Locked locked(lock_);
  return netEqMode_;
}

int Channel::SetBgnMode(webrtc::NetEqBgnModes mode) {
  if (mode < webrtc::kBgnOn || mode > webrtc::kBgnOff) return VE_INVALID_ARGUMENT;
  Locked locked(lock_);
  bgnMode_ = mode;
  return 0;
}

webrtc::NetEqBgnModes Channel::bgnMode() {
  Locked locked(lock_);
  return bgnMode_;
}

int Channel::GetRemoteSsrc(unsigned& ssrc) {
  Locked locked(lock_);
  if (!haveRemoteSsrc_) return VE_INVALID_OPERATION;
  ssrc = remoteSsrc_;
  return 0;
}

void Channel::GetStatistics(webrtc::CallStatistics& stats) {
  Locked locked(lock_);
  stats = webrtc::CallStatistics();
  stats.cumulativeLost = static_cast<unsigned>(stats_.cumulativeLost() > 0 ? stats_.cumulativeLost() : 0);
  stats.extendedMax = stats_.extendedMax();
  stats.jitterSamples = stats_.jitter();
  stats.rttMs = rttMs_;
  stats.bytesSent = static_cast<int>(bytesSent_);
  stats.packetsSent = static_cast<int>(packetsSent_);
  stats.bytesReceived = static_cast<int>(bytesReceived_);
  stats.packetsReceived = static_cast<int>(packetsReceived_);
  stats.fractionLost = lastFractionLost_;
}

}  // namespace voe
