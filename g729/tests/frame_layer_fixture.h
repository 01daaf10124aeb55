// A frame-layer codec in vector-backed banks, for the tests.
#pragma once
#include <cstdint>
#include <vector>

#include "frame_layer.h"

namespace g729 {
namespace {

const FunctionTable& T = kG729AFunctionTable;

CodecOptions Options(int32_t direction) {
  CodecOptions o = {};
  o.direction = direction;
  o.frame_size = 160;
  o.sample_rate = 8000;
  o.bits_per_sample = 16;
  o.channels = 1;
  o.mode_count = 6;
  o.modes.bit_rate = 8000;
  return o;
}

// A codec in vector-backed, 32-byte aligned banks.
struct Codec {
  std::vector<uint8_t> mem0, mem1;
  MemBank banks[2] = {};
  void* handle = nullptr;
  int Init(const CodecOptions& o) {
    CodecOptions sizes = o;
    sizes.direction = o.direction == 1 ? 1 : 0;
    int r = T.bank_sizes(&sizes, banks);
    if (r) return r;
    mem0.assign(banks[0].size + 32, 0);
    mem1.assign(banks[1].size + 32, 0);
    banks[0].memory = Align(mem0.data());
    banks[1].memory = Align(mem1.data());
    return T.init(&o, banks, &handle);
  }
  static void* Align(uint8_t* p) {
    return reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(p) + 31) & ~(uintptr_t)31);
  }
};

}  // namespace
}  // namespace g729
