// The codec frame layer (see frame_layer.h): argument checks, the handle
// header in front of the core state, and the frame types' byte counts.
#include "frame_layer.h"

#include <cstring>

#include "bitstream.h"
#include "decoder.h"
#include "encoder.h"

namespace g729 {
namespace {

const uint32_t kEncoderTag = 0xECD729;
const uint32_t kDecoderTag = 0xDEC729;
const int32_t kCodecTypeA = 1;

// The handle: header, then the core's guarded state.
struct Header {
  int32_t direction;
  int32_t bit_rate;
  int32_t vad;
  int32_t reserved;
};
struct EncoderHandle {
  Header header;
  int32_t size;
  uint32_t tag;
  int32_t codec_type;
  int32_t vad;
  EncoderState core;
};
struct DecoderHandle {
  Header header;
  int32_t size;
  uint32_t tag;
  int32_t codec_type;
  DecoderState core;
};
static_assert(sizeof(EncoderHandle) <= kEncoderBankSize, "encoder state exceeds its bank");
static_assert(sizeof(DecoderHandle) <= kDecoderBankSize, "decoder state exceeds its bank");

const int32_t kPcmType[3] = {8000, 16, 1};
const int32_t kRates[1] = {8000};

bool PcmTypeOk(int32_t rate, int32_t bits, int32_t channels) {
  return rate == 8000 && bits == 16 && channels == 1;
}

void EncoderCoreInit(EncoderHandle* h, int32_t vad, void* scratch) {
  h->size = (int32_t)sizeof(EncoderState);
  h->tag = kEncoderTag;
  h->codec_type = kCodecTypeA;
  h->vad = vad;
  ScratchInit(&h->core.scratch, scratch);
  EncoderInit(&h->core, vad != 0);
}

void DecoderCoreInit(DecoderHandle* h, void* scratch) {
  h->size = (int32_t)sizeof(DecoderState);
  h->tag = kDecoderTag;
  h->codec_type = kCodecTypeA;
  ScratchInit(&h->core.scratch, scratch);
  DecoderInit(&h->core);
}

// Encoder core entry: 0, -3 null input or output, -4 damaged state,
// -5 wrong tag.
int EncodeCore(EncoderHandle* h, const int16_t* pcm, uint8_t* out, int32_t* frame_type) {
  if (!pcm || !out) return -3;
  if (h->size <= 0 || !h->core.scratch.begin) return -4;
  if (h->tag != kEncoderTag) return -5;
  h->core.vad = h->vad != 0;  // control may have changed it between frames
  Word16 prm[kParameters];
  *frame_type = EncodeFrame(&h->core, pcm, prm);
  if (*frame_type == 3)
    PackFrame(prm, out);
  else if (*frame_type == 1)
    PackSilenceDescription(prm, out);
  return 0;
}

// Decoder core entry: speech frames, erasures, silence descriptions (type
// 1, and type 5 whose gain applies at once) and untransmitted frames (0).
int DecodeCore(DecoderHandle* h, const uint8_t* in, int32_t frame_type, int16_t* out) {
  if (!in || !out) return -3;
  if (h->size <= 0 || !h->core.scratch.begin) return -4;
  if (h->tag != kDecoderTag) return -5;
  switch (frame_type) {
    case -1:
      DecodeFrame(&h->core, nullptr, out);
      return 0;
    case 0:
      DecodeSilenceFrame(&h->core, nullptr, false, out);
      return 0;
    case 1:
    case 5: {
      Word16 sid[kSidParameters];
      UnpackSilenceDescription(in, sid);
      DecodeSilenceFrame(&h->core, sid, frame_type == 5, out);
      return 0;
    }
    case 3: {
      Word16 prm[kParameters];
      UnpackFrame(in, prm);
      DecodeFrame(&h->core, prm, out);
      return 0;
    }
    default:
      return -6;
  }
}

int InfoSize(int32_t* size) {
  if (!size) return -1;
  *size = (int32_t)sizeof(CodecInfo);
  return 0;
}

int Info(void* handle, CodecInfo* info) {
  if (!info) return -1;
  info->name = "G.729A";
  info->max_frame_bytes = 15;
  info->pcm_type_count = 1;
  info->pcm_types = kPcmType;
  info->rate_count = 1;
  info->rates = kRates;
  const Header* h = static_cast<const Header*>(handle);
  CodecOptions& o = info->options;
  o.direction = h ? h->direction : 1;
  o.law = 0;
  o.frame_size = 160;
  o.sample_rate = 8000;
  o.bits_per_sample = 16;
  o.channels = 1;
  o.mode_count = 6;
  o.modes.bit_rate = h ? h->bit_rate : 8000;
  o.modes.truncate = 0;
  o.modes.vad = h ? h->vad : 1;
  o.modes.high_pass = 0;
  o.modes.postfilter = 0;
  o.modes.output_mode = 0;
  return 0;
}

int BankCount(const CodecOptions* options, int32_t* count) {
  if (!options || !count) return -1;
  *count = 2;
  return 0;
}

int BankSizes(const CodecOptions* options, MemBank* banks) {
  if (!options || !banks) return -1;
  banks[0].memory = nullptr;
  banks[0].alignment = 32;
  banks[0].kind = 0;
  banks[0].space = 0;
  if (options->modes.bit_rate != 8000) return -4;
  if (options->direction == 0)
    banks[0].size = kEncoderBankSize;
  else if (options->direction == 1)
    banks[0].size = kDecoderBankSize;
  else
    return -6;
  banks[1].memory = nullptr;
  banks[1].size = kScratchBankSize;
  banks[1].alignment = 32;
  banks[1].kind = 1;
  banks[1].space = 0;
  return 0;
}

int Init(const CodecOptions* options, MemBank* banks, void** handle) {
  if (!options || !banks) return -1;
  if (!handle) return -7;
  if (!banks[0].memory) return -1;
  if (banks[0].size <= 0) return -8;
  if (!banks[1].memory) return -1;
  if (banks[1].size <= 0) return -8;
  if (options->modes.vad != 0 && options->modes.vad != 1) return -2;
  if (!PcmTypeOk(options->sample_rate, options->bits_per_sample, options->channels)) return -5;
  if (options->modes.bit_rate != 8000) return -4;
  const int32_t need = options->direction == 0 ? kEncoderBankSize : kDecoderBankSize;
  if (options->direction != 0 && options->direction != 1) return -6;
  if (banks[0].size < need || banks[1].size < kScratchBankSize) return -8;
  Header* h = static_cast<Header*>(banks[0].memory);
  h->direction = options->direction;
  h->bit_rate = options->modes.bit_rate;
  h->vad = options->modes.vad;
  h->reserved = 0;
  if (options->direction == 0)
    EncoderCoreInit(static_cast<EncoderHandle*>(banks[0].memory), h->vad, banks[1].memory);
  else
    DecoderCoreInit(static_cast<DecoderHandle*>(banks[0].memory), banks[1].memory);
  *handle = h;
  return 0;
}

int CheckModes(const ModeWords* modes, void* handle) {
  if (!modes) return -1;
  if (!handle) return -7;
  if (modes->vad != 0 && modes->vad != 1) return -2;
  if (modes->bit_rate != 8000) return -4;
  int32_t direction = static_cast<Header*>(handle)->direction;
  if (direction != 0 && direction != 1) return -6;
  return 0;
}

int Reinit(const ModeWords* modes, void* handle) {
  int r = CheckModes(modes, handle);
  if (r) return r;
  Header* h = static_cast<Header*>(handle);
  h->vad = modes->vad;
  h->bit_rate = modes->bit_rate;
  if (h->direction == 0) {
    EncoderHandle* e = static_cast<EncoderHandle*>(handle);
    EncoderCoreInit(e, h->vad, e->core.scratch.begin);
  } else {
    DecoderHandle* d = static_cast<DecoderHandle*>(handle);
    DecoderCoreInit(d, d->core.scratch.begin);
  }
  return 0;
}

int Control(const ModeWords* modes, void* handle) {
  int r = CheckModes(modes, handle);
  if (r) return r;
  Header* h = static_cast<Header*>(handle);
  h->vad = modes->vad;
  h->bit_rate = modes->bit_rate;
  if (h->direction == 0) static_cast<EncoderHandle*>(handle)->vad = modes->vad;
  return 0;
}

int Encode(void* handle, PcmBlock* pcm, BitstreamBlock* bits) {
  if (!pcm || !bits) return -1;
  if (!handle) return -7;
  if (!PcmTypeOk(pcm->sample_rate, pcm->bits_per_sample, pcm->channels)) return -5;
  if (pcm->bytes < 160) return -6;
  Header* h = static_cast<Header*>(handle);
  if (h->direction != 0) return -1;
  if (pcm->bit_rate != 8000) return -4;
  h->bit_rate = 8000;
  int32_t frame_type = 0;
  if (EncodeCore(static_cast<EncoderHandle*>(handle), pcm->buffer, bits->buffer, &frame_type) != 0) return -6;
  bits->frame_type = frame_type;
  bits->bytes = FrameBytes(frame_type);
  bits->bit_rate = pcm->bit_rate;
  pcm->bytes = 160;
  return 0;
}

int Decode(void* handle, BitstreamBlock* bits, PcmBlock* pcm) {
  if (!pcm) return -1;
  if (!handle) return -7;
  Header* h = static_cast<Header*>(handle);
  if (h->direction != 1) return -6;
  DecoderHandle* d = static_cast<DecoderHandle*>(handle);
  if (bits && bits->buffer) {
    if (bits->bit_rate != 8000) return -4;
    h->bit_rate = 8000;
    if (DecodeCore(d, bits->buffer, bits->frame_type, pcm->buffer) != 0) return -6;
    bits->bytes = FrameBytes(bits->frame_type);
    pcm->bit_rate = bits->bit_rate;
  } else {
    static const uint8_t kNoFrame[10] = {0};
    if (DecodeCore(d, kNoFrame, -1, pcm->buffer) != 0) return -6;
    pcm->bit_rate = h->bit_rate;
  }
  pcm->bytes = 160;
  pcm->sample_rate = 8000;
  pcm->bits_per_sample = 16;
  pcm->channels = 1;
  return 0;
}

int OutputSize(const CodecOptions* options, int32_t bit_rate, int32_t input_bytes, int32_t* out) {
  if (!options || !out) return -1;
  if (input_bytes <= 0) return -6;
  if (bit_rate != 8000) return -4;
  int32_t frames;
  switch (options->direction) {
    case 0:
      if (options->modes.vad > 1) return -2;
      frames = input_bytes / 2 / 80;
      if (frames == 0) return -6;
      if (input_bytes % 160) frames++;
      *out = frames * 10;
      return 0;
    case 1:
      if (options->modes.vad == 0)
        frames = input_bytes / 10;
      else if (options->modes.vad == 1)
        frames = input_bytes / 2 * 3;
      else
        return -2;
      if (frames == 0) return -6;
      *out = frames * 160;
      return 0;
    case 2:
      frames = input_bytes / 2 / 80;
      if (frames == 0) return -6;
      if (input_bytes % 160) frames++;
      *out = frames * 160;
      return 0;
    default:
      return -6;
  }
}

int FrameSize(const CodecOptions* options, void* handle, int32_t size) {
  if (!options) return -1;
  if (!handle) return -7;
  if (size <= 0) return -10;
  return -6;
}

}  // namespace

int32_t FrameBytes(int32_t frame_type) {
  switch (frame_type) {
    case 1: return 2;
    case 2: return 8;
    case 3: return 10;
    case 4: return 15;
    default: return 0;
  }
}

const FunctionTable kG729AFunctionTable = {0,      InfoSize, Info,   BankCount, BankSizes, Init,
                                           Reinit, Control,  Encode, Decode,    OutputSize, FrameSize};

}  // namespace g729
