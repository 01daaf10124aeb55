// A channel's sending side: capture blocks to packets, telephone events and
// in-band tones, and the RTCP reports.
#include <cstdio>
#include <cstring>

#include "audio_device.h"
#include "block_helpers.h"
#include "channel.h"
#include "engine.h"
#include "voiceengine/errors.h"

namespace voe {

void Channel::Captured(const int16_t* block) {
  Locked locked(lock_);
  if (!sending_ || !encoder_) return;
  const int rate = ProcessingRate(sendCodec_.plfreq);
  const size_t samples = static_cast<size_t>(rate / 100);
  int16_t work[320];
  ConvertBlock(captureResampler_, kDeviceRate, rate, block, kDeviceBlock, work, samples);
  if (recordProcess_) {
    recordProcess_->Process(id_, webrtc::kRecordingPerChannel, work, static_cast<int>(samples), rate, false);
  }
  if (inputMute_) std::memset(work, 0, sizeof work);

  // Queued events start when the one before has ended.
  if (!eventActive_ && !inbandTone_.active() && eventCount_) {
    currentEvent_ = events_[0];
    std::memmove(events_, events_ + 1, static_cast<size_t>(--eventCount_) * sizeof events_[0]);
    if (currentEvent_.outOfBand) {
      eventActive_ = true;
      eventElapsed_ = 0;
      endRepeats_ = 0;
    } else {
      inbandTone_.Start(currentEvent_.event, rate, currentEvent_.attenuationDb,
                        static_cast<uint32_t>(currentEvent_.lengthMs) * static_cast<uint32_t>(rate) / 1000);
    }
  }
  if (inbandTone_.active()) inbandTone_.Add(work, samples);

  const int encoderRate = encoder_->rate();
  const size_t encoderSamples = static_cast<size_t>(encoderRate / 100);
  if (frameFill_ + encoderSamples > sizeof frame_ / sizeof frame_[0]) frameFill_ = 0;
  ConvertBlock(encoderResampler_, rate, encoderRate, work, samples, frame_ + frameFill_, encoderSamples);
  frameFill_ += encoderSamples;
  if (frameFill_ >= encoder_->frameSamples()) {
    SendFrame();
    frameFill_ = 0;
  }
  MaybeSendRtcp(NowMs());
}

void Channel::SendFrame() {
  const uint32_t step = static_cast<uint32_t>(sendCodec_.pacsize);
  const bool held = holdEnabled_ && holdMode_ != webrtc::kHoldPlayOnly;
  if (held) {
    // Nothing goes out, but the clock runs on.
    timestamp_ += step;
    return;
  }
  if (eventActive_ && SendEventPacket()) {
    timestamp_ += step;
    return;
  }
  uint8_t payload[1500];
  const int length = encoder_->Encode(frame_, payload, sizeof payload);
  if (length > 0) {
    SendPacket(static_cast<uint8_t>(sendCodec_.pltype), firstPacket_, timestamp_, payload,
               static_cast<size_t>(length));
    firstPacket_ = false;
  }
  timestamp_ += step;
}

bool Channel::SendEventPacket() {
  // RFC 4733: every packet of an event carries its start time and the time
  // since; the end is sent three times. Durations count the 8 kHz event clock.
  const uint32_t step = static_cast<uint32_t>(sendCodec_.pacsize) * 8000u / static_cast<uint32_t>(sendCodec_.plfreq);
  const uint32_t length = static_cast<uint32_t>(currentEvent_.lengthMs) * 8;
  const bool first = eventElapsed_ == 0 && endRepeats_ == 0;
  if (first) eventTimestamp_ = timestamp_;
  if (endRepeats_ == 0) eventElapsed_ += step;
  TelephoneEvent event;
  event.event = static_cast<uint8_t>(currentEvent_.event);
  event.volume = static_cast<uint8_t>(currentEvent_.attenuationDb > 63 ? 63 : currentEvent_.attenuationDb);
  event.end = eventElapsed_ >= length;
  event.duration = static_cast<uint16_t>(eventElapsed_ > 0xFFFF ? 0xFFFF : eventElapsed_);
  uint8_t payload[4];
  WriteTelephoneEvent(event, payload);
  SendPacket(static_cast<uint8_t>(sendEventType_), first, eventTimestamp_, payload, sizeof payload);
  if (event.end && ++endRepeats_ >= 3) {
    eventActive_ = false;
    firstPacket_ = true;  // the audio after an event starts a talkspurt
  }
  return true;
}

void Channel::SendPacket(uint8_t payloadType, bool marker, uint32_t timestamp, const uint8_t* payload,
                         size_t size) {
  uint8_t packet[1500 + 12];
  if (size > 1500) return;
  WriteRtpHeader(packet, sizeof packet, payloadType, marker, sequence_++, timestamp, ssrc_);
  std::memcpy(packet + 12, payload, size);
  if (rtp_.SendTo(packet, size + 12, rtpTo_)) {
    ++packetsSent_;
    bytesSent_ += static_cast<uint32_t>(size);
    lastSendTimestamp_ = timestamp;
  }
}

int Channel::SendTelephoneEvent(int event, bool outOfBand, int lengthMs, int attenuationDb) {
  if (event < 0 || event > 15) return VE_DTMF_OUTOF_RANGE;
  if (lengthMs < 100 || lengthMs > 60000 || attenuationDb < 0 || attenuationDb > 36) return VE_INVALID_ARGUMENT;
  Locked locked(lock_);
  if (!sending_) return VE_NOT_SENDING;
  if (eventCount_ >= kMaxQueuedEvents) return VE_SEND_DTMF_FAILED;
  events_[eventCount_++] = QueuedEvent{event, lengthMs, attenuationDb, outOfBand};
  return 0;
}

void Channel::MaybeSendRtcp(uint32_t nowMs) {
  if (!destinationSet_ || !rtcp_.open() || !nextRtcpMs_ || static_cast<int32_t>(nowMs - nextRtcpMs_) < 0) return;
  // Reports every 5 s on average, spread over 2.5 to 7.5 s (RFC 3550 6.2).
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  nextRtcpMs_ = nowMs + 2500 + static_cast<uint32_t>(counter.QuadPart % 5000);
  SendRtcp(nowMs, false);
}

void Channel::SendRtcpBye() {
  // Only a source that sent something has anyone to say goodbye to.
  if (!destinationSet_ || !rtcp_.open() || !packetsSent_) return;
  SendRtcp(NowMs(), true);
}

void Channel::SendRtcp(uint32_t nowMs, bool bye) {
  RtcpSenderInfo sender;
  const bool isSender = sending_ && packetsSent_ > 0;
  if (isSender) {
    NtpNow(&sender.ntpSeconds, &sender.ntpFraction);
    sender.rtpTimestamp = timestamp_;
    sender.packetCount = packetsSent_;
    sender.octetCount = bytesSent_;
  }
  RtcpReportBlock block;
  const bool haveBlock = receiving_ && stats_.started() && haveRemoteSsrc_;
  if (haveBlock) {
    block.ssrc = remoteSsrc_;
    block.fractionLost = lastFractionLost_ = stats_.TakeFractionLost();
    block.cumulativeLost = stats_.cumulativeLost();
    block.extendedMax = stats_.extendedMax();
    block.jitter = stats_.jitter();
    if (lastSrArrivalMs_) {
      block.lastSr = lastSrMiddle_;
      block.delaySinceLastSr = static_cast<uint32_t>((static_cast<uint64_t>(nowMs - lastSrArrivalMs_) << 16) / 1000);
    }
  }
  // A compound packet starts with a report, an empty one if need be.
  if (!isSender && !haveBlock && !bye) return;
  char cname[32];
  snprintf(cname, sizeof cname, "voe-%08x", ssrc_);
  uint8_t packet[256];
  size_t length = WriteRtcpReport(packet, sizeof packet, ssrc_, isSender ? &sender : nullptr,
                                  haveBlock ? &block : nullptr, cname);
  if (length && bye) {
    const size_t byeLength = WriteRtcpBye(packet + length, sizeof packet - length, ssrc_);
    length = byeLength ? length + byeLength : 0;
  }
  if (length) rtcp_.SendTo(packet, length, rtcpTo_);
}

}  // namespace voe
