// The engine's codec database and its encoders and decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "voiceengine/types.h"

namespace voe {

enum class CodecKind { kPcmu, kPcma, kG729, kOpus, kTelephoneEvent };

// Entries of the database, in GetCodec order.
int CodecCount();
const webrtc::CodecInst& CodecAt(int index);
CodecKind CodecKindAt(int index);

// The database entry a caller's record names (name ignoring case, clock
// rate); -1 when none.
int FindCodec(const webrtc::CodecInst& codec);
// 0, or the engine error that refuses this record as a send codec.
int CheckSendCodec(const webrtc::CodecInst& codec);

// The rate of a channel's 10-ms blocks for a codec clock rate: the codec's,
// at most 32 kHz (the engine's processing works up to there).
int ProcessingRate(int clockRate);

class Encoder {
 public:
  virtual ~Encoder() {}
  // The rate of the audio it takes, and samples per packet at that rate.
  virtual int rate() const = 0;
  virtual size_t frameSamples() const = 0;
  // Encodes one packet's audio; the payload length, or -1.
  virtual int Encode(const int16_t* pcm, uint8_t* out, size_t capacity) = 0;
};

class Decoder {
 public:
  virtual ~Decoder() {}
  virtual int rate() const = 0;
  // The samples decoded (at rate()), or -1 for a payload it cannot decode.
  virtual int Decode(const uint8_t* payload, size_t size, int16_t* out, size_t capacity) = 0;
  // Stands in for count lost samples.
  virtual void Conceal(int16_t* out, size_t count) = 0;
};

// Makes the coder of a database kind; null with *error set when it cannot
// (the engine error number).
std::unique_ptr<Encoder> CreateEncoder(CodecKind kind, const webrtc::CodecInst& codec, int* error);
std::unique_ptr<Decoder> CreateDecoder(CodecKind kind, const webrtc::CodecInst& codec, int* error);

// The coders of each family (codec_factory.cpp chooses among them).
std::unique_ptr<Encoder> CreateG711Encoder(bool alaw, size_t frameSamples);
std::unique_ptr<Decoder> CreateG711Decoder(bool alaw);
// Channels 2: a stereo stream.
std::unique_ptr<Encoder> CreateOpusEncoder(size_t frameSamples, int bitrate, int channels, int* error);
std::unique_ptr<Decoder> CreateOpusDecoder(int* error);
std::unique_ptr<Encoder> CreateG729Encoder(size_t frameSamples, int* error);
std::unique_ptr<Decoder> CreateG729Decoder(int* error);

}  // namespace voe
