// Base64 of any bytes: the text has the promised length, only alphabet
// characters before the padding, the padding the length asks for, and an
// independent decoder written here gives the input back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/base64.h"

namespace {

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t expected = Base64::EncodedSize(size);
  // One guard byte past the terminator catches a write beyond the promise.
  std::string out(expected + 2, '\x7f');
  Base64::State state{&out[0], 0};
  if (!Base64::Encode(&state, data, size, 0)) abort();
  if (state.written != expected || out[expected] != '\0' || out[expected + 1] != '\x7f') abort();

  const size_t padding = (3 - size % 3) % 3;
  std::string decoded;
  for (size_t i = 0; i < expected; i += 4) {
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = out[i + j];
      const bool padded = i + 4 == expected && j >= 4 - padding;
      if (padded != (c == '=')) abort();
      const int v = padded ? 0 : ValueOf(c);
      if (v < 0) abort();
      group = group << 6 | uint32_t(v);
    }
    decoded += char(group >> 16);
    decoded += char(group >> 8);
    decoded += char(group);
  }
  decoded.resize(decoded.size() - padding);
  if (decoded.size() != size || (size && std::memcmp(decoded.data(), data, size) != 0)) abort();
  return 0;
}
