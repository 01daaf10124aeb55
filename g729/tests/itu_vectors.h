// Reading the ITU conformance vectors: 16-bit PCM files and the serial
// bit-stream format (per frame: sync word, bit count, then 80 words of
// 0x0081 for a 1 bit and 0x007F for a 0 bit; a zero word marks an erasure).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace g729test {

inline std::string VectorPath(const std::string& name) {
  return std::string(ZEQ_G729_DATA) + "/vectors/" + name;
}

inline std::vector<int16_t> ReadWords(const std::string& path) {
  std::vector<int16_t> words;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return words;
  int16_t buf[4096];
  size_t n;
  while ((n = fread(buf, sizeof(int16_t), 4096, f)) > 0) words.insert(words.end(), buf, buf + n);
  fclose(f);
  return words;
}

struct SerialFrame {
  bool erased;
  uint8_t bytes[10];  // the 80 bits, most significant first
};

inline std::vector<SerialFrame> ReadSerial(const std::string& path) {
  std::vector<int16_t> w = ReadWords(path);
  std::vector<SerialFrame> frames;
  for (size_t f = 0; f + 82 <= w.size(); f += 82) {
    SerialFrame fr = {false, {0}};
    for (int i = 0; i < 80; i++) {
      int16_t b = w[f + 2 + i];
      if (b == 0) fr.erased = true;
      if (b == 0x0081) fr.bytes[i >> 3] |= (uint8_t)(0x80 >> (i & 7));
    }
    frames.push_back(fr);
  }
  return frames;
}

}  // namespace g729test
