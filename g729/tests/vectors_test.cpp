// Conformance: every ITU G.729A vector set, on every processor path. The
// decoder must reproduce each .pst from its .bit and the encoder each .bit
// from its .in, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "frame_layer.h"
#include "g729/g729.h"
#include "itu_vectors.h"

using namespace g729;
using namespace g729test;

namespace {

struct VectorSet {
  const char* name;
  bool has_input;  // decoder-only sets have no .in
};
const VectorSet kSets[] = {
    {"algthm", true},  {"fixed", true},   {"lsp", true},     {"pitch", true},
    {"tame", true},    {"erasure", false}, {"overflow", false}, {"parity", false},
};

class PathRestorer {
 public:
  explicit PathRestorer(int path) : saved_(G729CPUPath) { G729SetCPUPath(path); }
  ~PathRestorer() { G729SetCPUPath(saved_); }

 private:
  int32_t saved_;
};

class Vectors : public ::testing::TestWithParam<int> {};

// A decoder in banks of the frame layer's declared sizes, 32-byte aligned.
struct FrameLayerDecoder {
  std::vector<uint8_t> bank0, bank1;
  void* handle = nullptr;
  int Init() {
    CodecOptions o = {};
    MemBank banks[2] = {};
    o.direction = 1;
    o.sample_rate = 8000;
    o.bits_per_sample = 16;
    o.channels = 1;
    o.modes.bit_rate = 8000;
    int r = kG729AFunctionTable.bank_sizes(&o, banks);
    if (r) return r;
    bank0.resize(banks[0].size + 32);
    bank1.resize(banks[1].size + 32);
    banks[0].memory = Align(bank0.data());
    banks[1].memory = Align(bank1.data());
    return kG729AFunctionTable.init(&o, banks, &handle);
  }
  static void* Align(uint8_t* p) {
    return reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(p) + 31) & ~(uintptr_t)31);
  }
};

TEST_P(Vectors, DecoderReproducesEveryOutputFromItsBitStream) {
  PathRestorer path(GetParam());
  for (const VectorSet& set : kSets) {
    SCOPED_TRACE(set.name);
    std::vector<SerialFrame> frames = ReadSerial(VectorPath(std::string(set.name) + ".bit"));
    std::vector<int16_t> expected = ReadWords(VectorPath(std::string(set.name) + ".pst"));
    ASSERT_FALSE(frames.empty());
    ASSERT_EQ(expected.size(), frames.size() * 80);
    FrameLayerDecoder dec;
    ASSERT_EQ(0, dec.Init());
    size_t mismatched = 0, first = frames.size();
    for (size_t f = 0; f < frames.size(); f++) {
      int16_t out[80];
      PcmBlock pcm = {out, 0, 0, 0, 0, 0};
      BitstreamBlock bits = {frames[f].bytes, 10, frames[f].erased ? -1 : 3, 8000};
      // An erased frame is signalled by the absence of a bit stream.
      ASSERT_EQ(0, kG729AFunctionTable.decode(dec.handle, frames[f].erased ? nullptr : &bits, &pcm));
      ASSERT_EQ(160, pcm.bytes);
      if (memcmp(out, &expected[f * 80], sizeof out) != 0) {
        if (first == frames.size()) first = f;
        mismatched++;
      }
    }
    EXPECT_EQ(0u, mismatched) << "first differing frame " << first;
  }
}

TEST_P(Vectors, InterfaceDecodesAWholePayloadOfSpeechFrames) {
  PathRestorer path(GetParam());
  for (const VectorSet& set : kSets) {
    if (!set.has_input) continue;  // these sets carry no erasures
    SCOPED_TRACE(set.name);
    std::vector<SerialFrame> frames = ReadSerial(VectorPath(std::string(set.name) + ".bit"));
    std::vector<int16_t> expected = ReadWords(VectorPath(std::string(set.name) + ".pst"));
    ASSERT_EQ(expected.size(), frames.size() * 80);
    G729Instance* dec = nullptr;
    ASSERT_EQ(0, G729DecoderCreate(&dec));
    ASSERT_EQ(0, G729DecoderInit(dec));
    // Payloads of up to 20 frames (200 bytes), as a jitter buffer hands them.
    size_t mismatched = 0;
    for (size_t f = 0; f < frames.size(); f += 20) {
      size_t n = std::min<size_t>(20, frames.size() - f);
      std::vector<uint8_t> payload;
      for (size_t i = 0; i < n; i++) payload.insert(payload.end(), frames[f + i].bytes, frames[f + i].bytes + 10);
      std::vector<int16_t> out(n * 80);
      int32_t rest = -1;
      ASSERT_EQ((int)(n * 80), G729Decode(dec, payload.data(), (int16_t)payload.size(), out.data(),
                                          (int32_t)out.size(), &rest));
      EXPECT_EQ(0, rest);
      if (memcmp(out.data(), &expected[f * 80], n * 160) != 0) mismatched++;
    }
    EXPECT_EQ(0u, mismatched);
    G729Free(dec);
  }
}

TEST_P(Vectors, EncoderReproducesEveryBitStreamFromItsInput) {
  PathRestorer path(GetParam());
  for (const VectorSet& set : kSets) {
    if (!set.has_input) continue;
    SCOPED_TRACE(set.name);
    std::vector<int16_t> input = ReadWords(VectorPath(std::string(set.name) + ".in"));
    std::vector<SerialFrame> expected = ReadSerial(VectorPath(std::string(set.name) + ".bit"));
    // A file may end in a partial frame, which the coder never reads.
    ASSERT_EQ(input.size() / 80, expected.size());
    G729Instance* enc = nullptr;
    ASSERT_EQ(0, G729EncoderCreate(&enc));
    G729SetCPUPath(GetParam());  // creation chose this processor's own path
    ASSERT_EQ(0, G729EncoderInit(enc, 0));
    size_t mismatched = 0, first = expected.size();
    for (size_t f = 0; f < expected.size(); f++) {
      uint8_t out[10];
      ASSERT_EQ(10, G729Encode(enc, &input[f * 80], 80, out));
      if (memcmp(out, expected[f].bytes, 10) != 0) {
        if (first == expected.size()) first = f;
        mismatched++;
      }
    }
    EXPECT_EQ(0u, mismatched) << "first differing frame " << first;
    G729Free(enc);
  }
}

std::string PathName(const ::testing::TestParamInfo<int>& info) {
  static const char* names[] = {"Generic", "Sse2", "Sse3", "Ssse3", "Sse41", "Avx"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Vectors, ::testing::Range(0, 6), PathName);

}  // namespace
