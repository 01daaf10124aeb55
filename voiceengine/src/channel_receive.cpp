// A channel's receiving side: the receive thread, RTP into the jitter
// buffer, telephone events, RTCP reports, and the playout of 10-ms blocks.
#include <cstring>

#include "audio_device.h"
#include "block_helpers.h"
#include "channel.h"
#include "engine.h"
#include "voiceengine/errors.h"

namespace voe {

DWORD WINAPI Channel::ReceiveMain(void* self) {
  static_cast<Channel*>(self)->ReceiveLoop();
  return 0;
}

void Channel::ReceiveLoop() {
  uint8_t buffer[2048];
  while (!stopReceive_) {
    WaitReadable(rtp_, rtcp_, 20);
    for (int i = 0; i < 64 && !stopReceive_; ++i) {
      sockaddr_in from;
      const int got = rtp_.Receive(buffer, sizeof buffer, &from);
      if (got == 0 || got == -1) break;
      if (got > 0) OnRtp(buffer, static_cast<size_t>(got), from);
    }
    for (int i = 0; i < 16 && !stopReceive_; ++i) {
      sockaddr_in from;
      const int got = rtcp_.Receive(buffer, sizeof buffer, &from);
      if (got == 0 || got == -1) break;
      if (got > 0) OnRtcp(buffer, static_cast<size_t>(got));
    }
    Locked locked(lock_);
    MaybeSendRtcp(NowMs());
  }
}

void Channel::OnRtp(const uint8_t* data, size_t size, const sockaddr_in&) {
  RtpHeader header;
  if (!ReadRtp(data, size, &header)) return;
  const uint8_t* payload = data + header.headerLength;
  const uint32_t now = NowMs();
  Locked locked(lock_);
  if (!receiving_) return;
  if (header.payloadType == receiveEventTypes_[0] || header.payloadType == receiveEventTypes_[1]) {
    OnTelephoneEvent(header, payload, header.payloadLength);
    return;
  }
  const int entry = FindReceiveCodec(header.payloadType);
  if (entry < 0) return;
  const webrtc::CodecInst& codec = receiveCodecs_[entry].codec;
  if (entry != currentReceive_ || !decoder_) {
    int error = 0;
    std::unique_ptr<Decoder> decoder = CreateDecoder(CodecKindAt(receiveCodecs_[entry].index), codec, &error);
    if (!decoder) return;
    decoder_ = std::move(decoder);
    currentReceive_ = entry;
    jitter_.Reset(codec.plfreq);
    stats_.Reset();
    decodedFill_ = 0;
    everDecoded_ = false;
  }
  if (haveRemoteSsrc_ && header.ssrc != remoteSsrc_) {
    // Another source took over the call: start afresh with it.
    jitter_.Reset(codec.plfreq);
    stats_.Reset();
  }
  remoteSsrc_ = header.ssrc;
  haveRemoteSsrc_ = true;
  ++packetsReceived_;
  bytesReceived_ += static_cast<uint32_t>(header.payloadLength);
  const uint32_t arrivalClock = static_cast<uint32_t>(static_cast<uint64_t>(now) * codec.plfreq / 1000);
  stats_.OnPacket(header.sequence, header.timestamp, arrivalClock);
  jitter_.Insert(header.sequence, header.timestamp, payload, header.payloadLength, now);
}

void Channel::OnTelephoneEvent(const RtpHeader& header, const uint8_t* payload, size_t size) {
  TelephoneEvent event;
  if (!ReadTelephoneEvent(payload, size, &event)) return;
  const bool fresh = !haveReceivedEvent_ || header.timestamp != receivedEventTimestamp_;
  if (!fresh && receivedEventEnded_) return;  // the repeats of an end
  const int rate = PlayoutRate();
  // Played for the time the sender reports, and 40 ms beyond while it runs.
  const uint32_t length = static_cast<uint32_t>(event.duration) * static_cast<uint32_t>(rate) / 8000u +
                          (event.end ? 0u : static_cast<uint32_t>(rate) * 40u / 1000u);
  if (fresh) {
    haveReceivedEvent_ = true;
    receivedEventTimestamp_ = header.timestamp;
    receivedEventEnded_ = false;
    Trace(webrtc::kTraceStateInfo, "channel %d: telephone event %d received", id_, event.event);
    if (dtmfPlayout_) receivedTone_.Start(event.event, rate, event.volume > 36 ? 36 : event.volume, length);
  } else if (dtmfPlayout_) {
    receivedTone_.SetLength(length);
  }
  if (event.end) receivedEventEnded_ = true;
}

void Channel::OnRtcp(const uint8_t* data, size_t size) {
  RtcpInfo info;
  if (!ReadRtcp(data, size, &info)) return;
  const uint32_t now = NowMs();
  Locked locked(lock_);
  if (info.hasSenderInfo) {
    lastSrMiddle_ = (info.senderInfo.ntpSeconds << 16) | (info.senderInfo.ntpFraction >> 16);
    lastSrArrivalMs_ = now ? now : 1;
  }
  for (int i = 0; i < info.byeCount; ++i) {
    if (!haveRemoteSsrc_ || info.byeSsrcs[i] != remoteSsrc_) continue;
    // The source has left: nothing more is reported on it, and what its
    // reports told no longer holds. Its statistics stay readable.
    Trace(webrtc::kTraceStateInfo, "channel %d: RTCP BYE from SSRC %u", id_, info.byeSsrcs[i]);
    haveRemoteSsrc_ = false;
    haveRemoteBlock_ = false;
    lastSrArrivalMs_ = 0;
    rttMs_ = -1;
    return;
  }
  for (int i = 0; i < info.blockCount; ++i) {
    const RtcpReportBlock& block = info.blocks[i];
    if (block.ssrc != ssrc_) continue;
    remoteBlock_ = block;
    haveRemoteBlock_ = true;
    if (block.lastSr) {
      // Round trip: now - LSR - DLSR, in 1/65536 s.
      const uint32_t rtt = NtpMiddleNow() - block.lastSr - block.delaySinceLastSr;
      if (rtt < 0x80000000u) rttMs_ = static_cast<int>((static_cast<uint64_t>(rtt) * 1000) >> 16);
    }
  }
}

int Channel::PlayoutRate() const {
  // Before anything arrived, the rate of what the call sends (the SDP gave
  // both directions one codec).
  return ProcessingRate(currentReceive_ >= 0 ? receiveCodecs_[currentReceive_].codec.plfreq : sendCodec_.plfreq);
}

void Channel::DecodeInto(size_t needed) {
  const int decoderRate = decoder_->rate();
  const int clock = receiveCodecs_[currentReceive_].codec.plfreq;
  const size_t capacity = sizeof decoded_ / sizeof decoded_[0];
  while (decodedFill_ < needed) {
    const uint8_t* payload = nullptr;
    size_t size = 0;
    const JitterBuffer::Decision decision = jitter_.Next(&payload, &size);
    if (decision == JitterBuffer::kPlay) {
      int made = decoder_->Decode(payload, size, decoded_ + decodedFill_, capacity - decodedFill_);
      if (made < 0) {
        // An undecodable packet is a lost one.
        made = static_cast<int>(static_cast<uint64_t>(jitter_.LastFrameUnits()) * decoderRate / clock);
        if (static_cast<size_t>(made) > capacity - decodedFill_) made = static_cast<int>(capacity - decodedFill_);
        decoder_->Conceal(decoded_ + decodedFill_, static_cast<size_t>(made));
      }
      everDecoded_ = true;
      decodedFill_ += static_cast<size_t>(made);
      jitter_.Advance(static_cast<uint32_t>(static_cast<uint64_t>(made) * clock / decoderRate));
    } else if (decision == JitterBuffer::kConceal) {
      const uint32_t units = jitter_.LastFrameUnits();
      size_t count = static_cast<size_t>(static_cast<uint64_t>(units) * decoderRate / clock);
      if (count > capacity - decodedFill_) count = capacity - decodedFill_;
      if (netEqMode_ == webrtc::kNetEqFax) {
        std::memset(decoded_ + decodedFill_, 0, count * sizeof(int16_t));
      } else {
        decoder_->Conceal(decoded_ + decodedFill_, count);
      }
      decodedFill_ += count;
      jitter_.Advance(units);
    } else {
      // Nothing due: stand in for the missing time without moving on.
      const size_t count = needed - decodedFill_;
      if (everDecoded_ && netEqMode_ != webrtc::kNetEqFax) {
        decoder_->Conceal(decoded_ + decodedFill_, count);
      } else {
        std::memset(decoded_ + decodedFill_, 0, count * sizeof(int16_t));
      }
      decodedFill_ += count;
    }
  }
}

bool Channel::Playout(int32_t* mix) {
  Locked locked(lock_);
  if (!playing_) return false;
  const int rate = PlayoutRate();
  const size_t samples = static_cast<size_t>(rate / 100);
  int16_t work[320] = {};
  if (decoder_ && currentReceive_ >= 0) {
    const int decoderRate = decoder_->rate();
    const size_t needed = static_cast<size_t>(decoderRate / 100);
    DecodeInto(needed);
    ConvertBlock(decodeResampler_, decoderRate, rate, decoded_, needed, work, samples);
    decodedFill_ -= needed;
    std::memmove(decoded_, decoded_ + needed, decodedFill_ * sizeof(int16_t));
  }
  if (receivedTone_.active()) receivedTone_.Add(work, samples);
  if (playbackProcess_) {
    playbackProcess_->Process(id_, webrtc::kPlaybackPerChannel, work, static_cast<int>(samples), rate, false);
  }
  if (outputScaling_ != 1.0f) {
    for (size_t i = 0; i < samples; ++i) {
      const float v = work[i] * outputScaling_;
      work[i] = static_cast<int16_t>(v > 32767.0f ? 32767.0f : v < -32768.0f ? -32768.0f : v);
    }
  }
  outputLevel_.Block(work, samples);
  if (holdEnabled_ && holdMode_ != webrtc::kHoldSendOnly) return true;
  int16_t device[kDeviceBlock];
  ConvertBlock(playoutResampler_, rate, kDeviceRate, work, samples, device, kDeviceBlock);
  for (size_t i = 0; i < kDeviceBlock; ++i) mix[i] += device[i];
  return true;
}

}  // namespace voe
