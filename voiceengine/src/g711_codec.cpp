// G.711 coders, with the engine's own concealment of lost packets.
#include "codecs.h"
#include "concealment.h"
#include "g711.h"

namespace voe {
namespace {

class G711Encoder : public Encoder {
 public:
  G711Encoder(bool alaw, size_t frame) : alaw_(alaw), frame_(frame) {}
  int rate() const override { return 8000; }
  size_t frameSamples() const override { return frame_; }
  int Encode(const int16_t* pcm, uint8_t* out, size_t capacity) override {
    if (capacity < frame_) return -1;
    if (alaw_) {
      EncodeAlaw(pcm, frame_, out);
    } else {
      EncodeUlaw(pcm, frame_, out);
    }
    return static_cast<int>(frame_);
  }

 private:
  bool alaw_;
  size_t frame_;
};

class G711Decoder : public Decoder {
 public:
  explicit G711Decoder(bool alaw) : alaw_(alaw) { concealer_.Reset(8000); }
  int rate() const override { return 8000; }
  int Decode(const uint8_t* payload, size_t size, int16_t* out, size_t capacity) override {
    if (size > capacity) return -1;
    if (alaw_) {
      DecodeAlaw(payload, size, out);
    } else {
      DecodeUlaw(payload, size, out);
    }
    concealer_.Good(out, size);
    return static_cast<int>(size);
  }
  void Conceal(int16_t* out, size_t count) override { concealer_.Conceal(out, count); }

 private:
  bool alaw_;
  Concealer concealer_;
};

}  // namespace

std::unique_ptr<Encoder> CreateG711Encoder(bool alaw, size_t frameSamples) {
  return std::unique_ptr<Encoder>(new G711Encoder(alaw, frameSamples));
}
std::unique_ptr<Decoder> CreateG711Decoder(bool alaw) {
  return std::unique_ptr<Decoder>(new G711Decoder(alaw));
}

}  // namespace voe
