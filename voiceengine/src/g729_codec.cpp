// G.729 Annex A coders over the system's own codec (the g729 library): 10-byte
// frames of 80 samples, several to a packet. Built when that library is part
// of the tree; lost packets are concealed by the engine's own concealment.
#include <g729/g729.h>

#include "codecs.h"
#include "concealment.h"
#include "voiceengine/errors.h"

namespace voe {
namespace {

class G729CoderEncoder : public Encoder {
 public:
  G729CoderEncoder(G729Instance* state, size_t frame) : state_(state), frame_(frame) {}
  ~G729CoderEncoder() override { G729Free(state_); }
  int rate() const override { return 8000; }
  size_t frameSamples() const override { return frame_; }
  int Encode(const int16_t* pcm, uint8_t* out, size_t capacity) override {
    if (capacity < frame_ / 8) return -1;
    const int bytes = G729Encode(state_, pcm, static_cast<int16_t>(frame_), out);
    return bytes > 0 ? bytes : -1;
  }

 private:
  G729Instance* state_;
  size_t frame_;
};

class G729CoderDecoder : public Decoder {
 public:
  explicit G729CoderDecoder(G729Instance* state) : state_(state) { concealer_.Reset(8000); }
  ~G729CoderDecoder() override { G729Free(state_); }
  int rate() const override { return 8000; }
  int Decode(const uint8_t* payload, size_t size, int16_t* out, size_t capacity) override {
    if (size > 0x7FFF) return -1;
    const int samples = G729Decode(state_, payload, static_cast<int16_t>(size), out,
                                   static_cast<int32_t>(capacity), nullptr);
    if (samples <= 0) return -1;
    concealer_.Good(out, static_cast<size_t>(samples));
    return samples;
  }
  void Conceal(int16_t* out, size_t count) override { concealer_.Conceal(out, count); }

 private:
  G729Instance* state_;
  Concealer concealer_;
};

}  // namespace

std::unique_ptr<Encoder> CreateG729Encoder(size_t frameSamples, int* error) {
  G729Instance* state = nullptr;
  if (G729EncoderCreate(&state) != 0 || G729EncoderInit(state, 0) != 0) {
    if (state) G729Free(state);
    *error = VE_CODEC_ERROR;
    return nullptr;
  }
  return std::unique_ptr<Encoder>(new G729CoderEncoder(state, frameSamples));
}

std::unique_ptr<Decoder> CreateG729Decoder(int* error) {
  G729Instance* state = nullptr;
  if (G729DecoderCreate(&state) != 0 || G729DecoderInit(state) != 0) {
    if (state) G729Free(state);
    *error = VE_CODEC_ERROR;
    return nullptr;
  }
  return std::unique_ptr<Decoder>(new G729CoderDecoder(state));
}

}  // namespace voe
