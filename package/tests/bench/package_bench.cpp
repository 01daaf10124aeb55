// Figures of the package library's pure layers at the machine's own speed:
// decoding a body (decipher and inflate), walking a content stream, and
// reading colour and layout words.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "package/content_transforms.h"
#include "package/package_format.h"
#include "package/skin_values.h"

namespace {

const char kKey[] = "0123456789abcdef0123456789abcdef";

std::vector<uint8_t> Page(size_t size) {
  std::vector<uint8_t> page;
  const char line[] = "<div class=\"row\" onclick=\"open(this)\">package content</div>\r\n";
  while (page.size() < size) page.insert(page.end(), line, line + sizeof(line) - 1);
  page.resize(size);
  return page;
}

uint8_t* HeapCopy(const std::vector<uint8_t>& bytes) {
  auto* buffer = static_cast<uint8_t*>(HeapAllocZ(bytes.size()));
  std::memcpy(buffer, bytes.data(), bytes.size());
  return buffer;
}

void BM_DecodeBody(benchmark::State& state) {
  const uint32_t flags = uint32_t(state.range(1));
  const auto page = Page(size_t(state.range(0)));
  size_t length = page.size();
  uint8_t* encoded = ZEQPackageEncodeData(nullptr, HeapCopy(page), &length, kKey, flags);
  const std::vector<uint8_t> body(encoded, encoded + length);
  HeapFreeZ(encoded);
  for (auto _ : state) {
    size_t n = body.size();
    uint8_t* out = ZEQPackageDecodeData(nullptr, HeapCopy(body), &n, kKey, flags);
    benchmark::DoNotOptimize(out);
    HeapFreeZ(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeBody)
    ->Args({64 << 10, ZEQPKG_COMPRESS})
    ->Args({64 << 10, ZEQPKG_ENCRYPT})
    ->Args({64 << 10, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT});

void BM_WalkEntries(benchmark::State& state) {
  std::string stream;
  for (int i = 0; i < state.range(0); ++i) {
    const std::string path = "1\\pages\\page" + std::to_string(i) + ".htm";
    const std::string data(200, 'x');
    const uint32_t pathLength = uint32_t(path.size()), dataLength = uint32_t(data.size());
    stream += "//{";
    stream.append(reinterpret_cast<const char*>(&pathLength), 4);
    stream += path;
    stream.append(reinterpret_cast<const char*>(&dataLength), 4);
    stream += "//(" + data + ")//}//";
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
  for (auto _ : state) {
    size_t offset = 0;
    bool more = true;
    PackageEntryView entry;
    while (more && PackageReadEntry(bytes, stream.size(), &offset, true, &entry, &more) == 0) {
      benchmark::DoNotOptimize(entry.data);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WalkEntries)->Arg(1000);

void BM_ColourWords(benchmark::State& state) {
  const char* words[] = {"#FF0000", "red a128", "#0080FF l10", "80FF0000", "#FF0000 a128 g", "transparent"};
  for (auto _ : state) {
    for (const char* w : words) benchmark::DoNotOptimize(SKINParseColor(w, true));
    benchmark::DoNotOptimize(SKINParseLayout("centerbottom"));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 7);
}
BENCHMARK(BM_ColourWords);

}  // namespace
