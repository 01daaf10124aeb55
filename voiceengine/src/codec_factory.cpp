// Which coder serves each kind of the database. A codec the engine lists but
// cannot run is refused here with the engine's error, so the caller learns it
// when setting the codec, never during a call.
#include "codecs.h"
#include "voiceengine/errors.h"

namespace voe {

std::unique_ptr<Encoder> CreateEncoder(CodecKind kind, const webrtc::CodecInst& codec, int* error) {
  *error = 0;
  switch (kind) {
    case CodecKind::kPcmu:
    case CodecKind::kPcma:
      return CreateG711Encoder(kind == CodecKind::kPcma, static_cast<size_t>(codec.pacsize));
    case CodecKind::kOpus:
      return CreateOpusEncoder(static_cast<size_t>(codec.pacsize), codec.rate, codec.channels, error);
    case CodecKind::kG729:
#ifdef ZEQ_VOICE_G729
      return CreateG729Encoder(static_cast<size_t>(codec.pacsize), error);
#else
      // No G.729 coder is linked into this build.
      *error = VE_CANNOT_SET_SEND_CODEC;
      return nullptr;
#endif
    case CodecKind::kTelephoneEvent:
      break;
  }
  *error = VE_INVALID_ARGUMENT;
  return nullptr;
}

std::unique_ptr<Decoder> CreateDecoder(CodecKind kind, const webrtc::CodecInst&, int* error) {
  *error = 0;
  switch (kind) {
    case CodecKind::kPcmu:
    case CodecKind::kPcma:
      return CreateG711Decoder(kind == CodecKind::kPcma);
    case CodecKind::kOpus:
      return CreateOpusDecoder(error);
    case CodecKind::kG729:
#ifdef ZEQ_VOICE_G729
      return CreateG729Decoder(error);
#else
      // No G.729 coder is linked into this build.
      *error = VE_CODEC_ERROR;
      return nullptr;
#endif
    case CodecKind::kTelephoneEvent:
      break;
  }
  *error = VE_INVALID_ARGUMENT;
  return nullptr;
}

}  // namespace voe
