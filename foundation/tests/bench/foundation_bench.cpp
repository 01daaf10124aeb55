// Figures of the foundation's pure services at the machine's own speed:
// digests, ciphers, Base64 and counted-text edits over typical sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/base64.h"
#include "foundation/blowfish.h"
#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/md5.h"

namespace {

std::vector<uint8_t> Bytes(size_t size) {
  std::vector<uint8_t> data(size);
  uint32_t seed = 2463534242u;
  for (auto& b : data) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    b = uint8_t(seed);
  }
  return data;
}

void BM_MD5(benchmark::State& state) {
  const auto data = Bytes(size_t(state.range(0)));
  char hex[kMD5HexSize];
  for (auto _ : state) {
    MD5Buffer(data.data(), data.size(), hex);
    benchmark::DoNotOptimize(hex);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MD5)->Arg(64)->Arg(1 << 10)->Arg(64 << 10);

void BM_BlowfishCBC(benchmark::State& state) {
  const auto data = Bytes(size_t(state.range(0)));
  std::vector<uint8_t> out(data.size());
  const uint8_t key[] = "0123456789abcdef0123456789abcdef";
  for (auto _ : state) {
    BlowfishEncryptBuffer(key, 32, data.data(), data.size(), out.data(), kBlowfishCBC);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
// 64 bytes is the Custom field: there the key schedule is the whole cost.
BENCHMARK(BM_BlowfishCBC)->Arg(64)->Arg(64 << 10);

void BM_Base64(benchmark::State& state) {
  const auto data = Bytes(size_t(state.range(0)));
  std::vector<char> out(Base64::EncodedSize(data.size()) + 1);
  for (auto _ : state) {
    Base64::State s{out.data(), 0};
    Base64::Encode(&s, data.data(), data.size(), 0);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64)->Arg(1 << 10)->Arg(64 << 10);

void BM_ReplaceAllBytes(benchmark::State& state) {
  std::vector<char> page;
  const char line[] = "<td>%zeqsystemfontname% %zeqsystemfontsize%</td>\r\n";
  while (page.size() < size_t(state.range(0))) page.insert(page.end(), line, line + sizeof(line) - 1);
  for (auto _ : state) {
    size_t length = page.size();
    auto* text = static_cast<char*>(HeapAllocZ(length));
    std::memcpy(text, page.data(), length);
    ReplaceAllBytes(&text, &length, "%zeqsystemfontname%", "Tahoma", false);
    HeapFreeZ(text);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReplaceAllBytes)->Arg(64 << 10);

}  // namespace
