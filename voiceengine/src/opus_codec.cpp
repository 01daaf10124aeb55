// Opus coders through libopus at 48 kHz; lost packets are concealed by Opus
// itself. A stereo send codec sends both channels (the engine's mono capture
// in each); the decoder gives any stream, mono or stereo, as mono.
#include <opus.h>

#include <new>
#include <vector>

#include "codecs.h"
#include "voiceengine/errors.h"

namespace voe {
namespace {

class OpusCoderEncoder : public Encoder {
 public:
  OpusCoderEncoder(OpusEncoder* state, size_t frame, int channels)
      : state_(state), frame_(frame), stereo_(channels == 2 ? 2 * frame : 0) {}
  ~OpusCoderEncoder() override { opus_encoder_destroy(state_); }
  int rate() const override { return 48000; }
  size_t frameSamples() const override { return frame_; }
  int Encode(const int16_t* pcm, uint8_t* out, size_t capacity) override {
    if (!stereo_.empty()) {
      for (size_t i = 0; i < frame_; ++i) stereo_[2 * i] = stereo_[2 * i + 1] = pcm[i];
      pcm = stereo_.data();
    }
    const int length = opus_encode(state_, pcm, static_cast<int>(frame_), out,
                                   static_cast<opus_int32>(capacity > 1500 ? 1500 : capacity));
    return length > 0 ? length : -1;
  }

 private:
  OpusEncoder* state_;
  size_t frame_;
  std::vector<int16_t> stereo_;  // interleaved frame of a stereo encoder
};

class OpusCoderDecoder : public Decoder {
 public:
  explicit OpusCoderDecoder(OpusDecoder* state) : state_(state) {}
  ~OpusCoderDecoder() override { opus_decoder_destroy(state_); }
  int rate() const override { return 48000; }
  int Decode(const uint8_t* payload, size_t size, int16_t* out, size_t capacity) override {
    const int samples = opus_decode(state_, payload, static_cast<opus_int32>(size), out,
                                    static_cast<int>(capacity), 0);
    return samples > 0 ? samples : -1;
  }
  void Conceal(int16_t* out, size_t count) override {
    // Opus conceals in steps of 2.5 ms; the rest of an odd count is silence.
    size_t done = 0;
    while (count - done >= 120) {
      size_t step = (count - done) / 120 * 120;
      if (step > 5760) step = 5760;
      const int made = opus_decode(state_, nullptr, 0, out + done, static_cast<int>(step), 0);
      if (made <= 0) break;
      done += static_cast<size_t>(made);
    }
    for (; done < count; ++done) out[done] = 0;
  }

 private:
  OpusDecoder* state_;
};

}  // namespace

std::unique_ptr<Encoder> CreateOpusEncoder(size_t frameSamples, int bitrate, int channels, int* error) {
  int status = OPUS_OK;
  channels = channels == 2 ? 2 : 1;
  OpusEncoder* state = opus_encoder_create(48000, channels, OPUS_APPLICATION_VOIP, &status);
  if (!state || status != OPUS_OK) {
    *error = VE_CODEC_ERROR;
    return nullptr;
  }
  if (bitrate < 6000 || bitrate > 510000) bitrate = 32000;
  opus_encoder_ctl(state, OPUS_SET_BITRATE(bitrate));
  opus_encoder_ctl(state, OPUS_SET_INBAND_FEC(1));
  opus_encoder_ctl(state, OPUS_SET_PACKET_LOSS_PERC(5));
  try {
    return std::unique_ptr<Encoder>(new OpusCoderEncoder(state, frameSamples, channels));
  } catch (const std::bad_alloc&) {
    opus_encoder_destroy(state);
    *error = VE_NO_MEMORY;
    return nullptr;
  }
}

std::unique_ptr<Decoder> CreateOpusDecoder(int* error) {
  int status = OPUS_OK;
  OpusDecoder* state = opus_decoder_create(48000, 1, &status);
  if (!state || status != OPUS_OK) {
    *error = VE_CODEC_ERROR;
    return nullptr;
  }
  return std::unique_ptr<Decoder>(new OpusCoderDecoder(state));
}

}  // namespace voe
