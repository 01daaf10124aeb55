// Fuzzing the decoder: any 10 bytes as any frame type, frame after frame on
// one decoder, through the frame layer (as the codec interface drives it).
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_layer.h"

using namespace g729;

namespace {

struct Decoder {
  std::vector<uint8_t> mem0, mem1;
  void* handle = nullptr;
  Decoder() {
    CodecOptions o = {};
    o.direction = 1;
    o.sample_rate = 8000;
    o.bits_per_sample = 16;
    o.channels = 1;
    o.modes.bit_rate = 8000;
    MemBank banks[2] = {};
    kG729AFunctionTable.bank_sizes(&o, banks);
    mem0.assign(banks[0].size + 32, 0);
    mem1.assign(banks[1].size + 32, 0);
    banks[0].memory = Align(mem0.data());
    banks[1].memory = Align(mem1.data());
    kG729AFunctionTable.init(&o, banks, &handle);
  }
  static void* Align(uint8_t* p) {
    return reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(p) + 31) & ~(uintptr_t)31);
  }
};

}  // namespace

// Each record: one frame-type byte, then 10 frame bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Decoder dec;
  for (size_t at = 0; at + 11 <= size; at += 11) {
    uint8_t frame[10];
    memcpy(frame, data + at + 1, 10);
    int32_t type = (int32_t)(int8_t)data[at];
    BitstreamBlock bits = {frame, 10, type, 8000};
    int16_t out[80];
    PcmBlock pcm = {out, 0, 0, 0, 0, 0};
    int r = kG729AFunctionTable.decode(dec.handle, (type & 0x40) ? nullptr : &bits, &pcm);
    if (r != 0 && r != -6) __builtin_trap();  // only frame types without a decoder fail
  }
  return 0;
}
