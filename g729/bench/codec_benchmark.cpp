// Microseconds per 10 ms frame to encode and to decode, this codec beside
// bcg729 on the same speech, on each processor path of this machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include "g729/g729.h"

namespace {

const std::vector<int16_t>& Speech() {
  static std::vector<int16_t> pcm = [] {
    std::vector<int16_t> v;
    FILE* f = fopen((std::string(ZEQ_G729_DATA) + "/vectors/lsp.in").c_str(), "rb");
    if (f) {
      int16_t buf[4096];
      size_t n;
      while ((n = fread(buf, 2, 4096, f)) > 0) v.insert(v.end(), buf, buf + n);
      fclose(f);
    }
    v.resize(v.size() / 80 * 80);
    return v;
  }();
  return pcm;
}

const std::vector<uint8_t>& Frames() {
  static std::vector<uint8_t> bits = [] {
    const std::vector<int16_t>& pcm = Speech();
    std::vector<uint8_t> b(pcm.size() / 8);
    G729Instance* enc = nullptr;
    G729EncoderCreate(&enc);
    G729EncoderInit(enc, 0);
    G729Encode(enc, pcm.data(), (int16_t)std::min<size_t>(pcm.size(), 32720), b.data());
    for (size_t f = 409; f < pcm.size() / 80; f++) G729Encode(enc, &pcm[f * 80], 80, &b[f * 10]);
    G729Free(enc);
    return b;
  }();
  return bits;
}

void Encode(benchmark::State& state) {
  const std::vector<int16_t>& pcm = Speech();
  const size_t frames = pcm.size() / 80;
  G729Instance* enc = nullptr;
  G729EncoderCreate(&enc);
  G729SetCPUPath((int32_t)state.range(0));
  G729EncoderInit(enc, 0);
  uint8_t out[10];
  size_t f = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(G729Encode(enc, &pcm[f * 80], 80, out));
    if (++f == frames) f = 0;
  }
  G729Free(enc);
  G729CPUDispatchInit();
}

void Decode(benchmark::State& state) {
  const std::vector<uint8_t>& bits = Frames();
  const size_t frames = bits.size() / 10;
  G729Instance* dec = nullptr;
  G729DecoderCreate(&dec);
  G729DecoderInit(dec);
  G729SetCPUPath((int32_t)state.range(0));
  int16_t out[80];
  size_t f = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(G729Decode(dec, &bits[f * 10], 10, out, 80, nullptr));
    if (++f == frames) f = 0;
  }
  G729Free(dec);
  G729CPUDispatchInit();
}

void PeerEncode(benchmark::State& state) {
  const std::vector<int16_t>& pcm = Speech();
  const size_t frames = pcm.size() / 80;
  bcg729EncoderChannelContextStruct* enc = initBcg729EncoderChannel(0);
  uint8_t out[10], len;
  size_t f = 0;
  for (auto _ : state) {
    bcg729Encoder(enc, &pcm[f * 80], out, &len);
    benchmark::DoNotOptimize(out);
    if (++f == frames) f = 0;
  }
  closeBcg729EncoderChannel(enc);
}

void PeerDecode(benchmark::State& state) {
  const std::vector<uint8_t>& bits = Frames();
  const size_t frames = bits.size() / 10;
  bcg729DecoderChannelContextStruct* dec = initBcg729DecoderChannel();
  int16_t out[80];
  size_t f = 0;
  for (auto _ : state) {
    bcg729Decoder(dec, &bits[f * 10], 10, 0, 0, 0, out);
    benchmark::DoNotOptimize(out);
    if (++f == frames) f = 0;
  }
  closeBcg729DecoderChannel(dec);
}

// Paths 0 (generic), 1 (SSE2) and 5 (AVX2 where the processor has it).
BENCHMARK(Encode)->Arg(0)->Arg(1)->Arg(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(Decode)->Arg(0)->Arg(1)->Arg(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(PeerEncode)->Unit(benchmark::kMicrosecond);
BENCHMARK(PeerDecode)->Unit(benchmark::kMicrosecond);

}  // namespace
