// The codec frame layer: a table of operations through which the codec
// interface learns the codec's properties and memory needs, initialises an
// encoder or decoder in memory it allocates, and runs one frame per call.
#pragma once
#include <cstdint>

#include "scratch.h"

namespace g729 {

struct ModeWords {
  int32_t bit_rate, truncate, vad, high_pass, postfilter, output_mode;
};

struct CodecOptions {
  int32_t direction;  // 0 encoder, 1 decoder
  int32_t law;        // 0 linear PCM
  int32_t frame_size;
  int32_t sample_rate, bits_per_sample, channels;
  int32_t mode_count;
  ModeWords modes;
};

struct CodecInfo {
  const char* name;
  int32_t max_frame_bytes;
  int32_t pcm_type_count;
  const int32_t* pcm_types;
  int32_t rate_count;
  const int32_t* rates;
  CodecOptions options;
};

struct MemBank {
  void* memory;
  int32_t size;
  int32_t alignment;
  int32_t kind;   // 0 codec state, 1 scratch
  int32_t space;  // 0 ordinary memory
};

struct PcmBlock {
  int16_t* buffer;
  int32_t bytes;
  int32_t sample_rate, bits_per_sample, channels;
  int32_t bit_rate;
};

struct BitstreamBlock {
  uint8_t* buffer;
  int32_t bytes;
  int32_t frame_type;  // -1 erased, 0 none, 1 silence description, 3 speech
  int32_t bit_rate;
};

struct FunctionTable {
  int32_t module_id;
  int (*info_size)(int32_t* size);
  int (*info)(void* handle, CodecInfo* info);
  int (*bank_count)(const CodecOptions* options, int32_t* count);
  int (*bank_sizes)(const CodecOptions* options, MemBank* banks);
  int (*init)(const CodecOptions* options, MemBank* banks, void** handle);
  int (*reinit)(const ModeWords* modes, void* handle);
  int (*control)(const ModeWords* modes, void* handle);
  int (*encode)(void* handle, PcmBlock* pcm, BitstreamBlock* bits);
  int (*decode)(void* handle, BitstreamBlock* bits, PcmBlock* pcm);
  int (*output_size)(const CodecOptions* options, int32_t bit_rate, int32_t input_bytes, int32_t* out);
  int (*frame_size)(const CodecOptions* options, void* handle, int32_t size);
};

extern const FunctionTable kG729AFunctionTable;

// Bytes of each frame type (0 for types without bytes).
int32_t FrameBytes(int32_t frame_type);

const int32_t kEncoderBankSize = 4432;
const int32_t kDecoderBankSize = 2328;

}  // namespace g729
