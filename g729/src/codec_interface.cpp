// The codec interface: the voice engine's seven entry points over the
// frame layer's G.729A table.
#include <cstdlib>

#include "frame_layer.h"
#include "g729/g729.h"

using namespace g729;

struct G729Instance {
  const FunctionTable* table;
  int32_t bank_count;
  CodecInfo* info;
  MemBank* banks;
  void* handle;
};

namespace {

G729Instance* NewInstance() {
  G729Instance* inst = static_cast<G729Instance*>(malloc(sizeof(G729Instance)));
  if (!inst) return nullptr;
  inst->table = &kG729AFunctionTable;
  inst->bank_count = 0;
  inst->info = nullptr;
  inst->banks = nullptr;
  inst->handle = nullptr;
  return inst;
}

void ReleaseMemory(G729Instance* inst) {
  if (inst->banks)
    for (int32_t i = 0; i < inst->bank_count; i++) G729AlignedFree(inst->banks[i].memory);
  G729AlignedFree(inst->banks);
  G729AlignedFree(inst->info);
  inst->banks = nullptr;
  inst->info = nullptr;
  inst->handle = nullptr;
  inst->bank_count = 0;
}

int InitInstance(G729Instance* inst, int32_t direction) {
  if (!inst) return -1;
  ReleaseMemory(inst);
  const FunctionTable* t = inst->table;
  int32_t size = 0;
  if (t->info_size(&size) != 0) return -1;
  inst->info = static_cast<CodecInfo*>(G729AlignedMalloc(size));
  if (!inst->info) return -1;
  if (t->info(nullptr, inst->info) != 0) return -1;
  CodecOptions& o = inst->info->options;
  o.direction = direction;
  o.law = 0;
  o.modes.bit_rate = 8000;
  o.modes.vad = 0;
  o.modes.high_pass = 0;
  o.modes.postfilter = 0;
  int32_t count = 0;
  if (t->bank_count(&o, &count) != 0 || count <= 0) return -1;
  inst->banks = static_cast<MemBank*>(G729AlignedMalloc((int32_t)(count * sizeof(MemBank))));
  if (!inst->banks) return -1;
  for (int32_t i = 0; i < count; i++) inst->banks[i].memory = nullptr;
  inst->bank_count = count;
  if (t->bank_sizes(&o, inst->banks) != 0) return -1;
  for (int32_t i = 0; i < count; i++) {
    inst->banks[i].memory = G729AlignedMalloc(inst->banks[i].size);
    if (!inst->banks[i].memory) return -1;
  }
  void* handle = nullptr;
  if (t->init(&o, inst->banks, &handle) != 0) return -1;
  inst->handle = handle;
  if (t->info(handle, inst->info) != 0) return -1;
  return 0;
}

}  // namespace

int G729EncoderCreate(G729Instance** out) {
  G729CPUDispatchInit();
  if (!out) return -1;
  *out = NewInstance();
  return *out ? 0 : -1;
}

int G729DecoderCreate(G729Instance** out) {
  if (!out) return -1;
  *out = NewInstance();
  return *out ? 0 : -1;
}

int G729EncoderInit(G729Instance* inst, int16_t dtx) {
  (void)dtx;  // the encoder always sends speech frames
  return InitInstance(inst, 0);
}

int G729DecoderInit(G729Instance* inst) { return InitInstance(inst, 1); }

int16_t G729Encode(G729Instance* inst, const int16_t* input, int16_t samples, uint8_t* output) {
  if (!inst || samples < 0) return -1;
  if (samples == 0) return 0;
  if (!inst->handle || !input || !output) return -1;
  const CodecOptions& o = inst->info->options;
  int32_t total = 0;
  for (int32_t done = 0; done + 80 <= samples; done += 80) {
    PcmBlock pcm = {const_cast<int16_t*>(input + done), 160, o.sample_rate, o.bits_per_sample, o.channels,
                    o.modes.bit_rate};
    BitstreamBlock bits = {output + total, 0, 0, 0};
    if (inst->table->encode(inst->handle, &pcm, &bits) != 0) return -1;
    total += bits.bytes;
  }
  return (int16_t)total;
}

int16_t G729Decode(G729Instance* inst, const uint8_t* payload, int16_t bytes, int16_t* output,
                   int32_t capacity, int32_t* undecoded) {
  if (undecoded) *undecoded = 0;
  if (!inst || bytes < 0 || capacity < 0) return -1;
  if (bytes == 0) return 0;
  if (!inst->handle || !payload || !output) return -1;
  // Never past the output's capacity, and never more samples than the
  // 16-bit result can count.
  int32_t frames = bytes / 10;
  if (frames > capacity / 80) frames = capacity / 80;
  if (frames > 32767 / 80) frames = 32767 / 80;
  int32_t total = 0;
  for (int32_t f = 0; f < frames; f++) {
    BitstreamBlock bits = {const_cast<uint8_t*>(payload + 10 * f), 10, 3, inst->info->options.modes.bit_rate};
    PcmBlock pcm = {output + total / 2, 0, 0, 0, 0, 0};
    if (inst->table->decode(inst->handle, &bits, &pcm) != 0) return -1;
    total += pcm.bytes;
  }
  if (undecoded) *undecoded = bytes - frames * 10;
  return (int16_t)(total / 2);
}

int G729Free(G729Instance* inst) {
  if (!inst) return 0;
  ReleaseMemory(inst);
  free(inst);
  return 0;
}
