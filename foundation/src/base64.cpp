#include "foundation/base64.h"

#include <cstdint>

namespace Base64 {

bool Encode(State* state, const void* input, size_t length, unsigned flags) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (!state || !state->output || flags != 0 || (!input && length)) return false;
  const auto* in = static_cast<const uint8_t*>(input);
  char* out = state->output;
  for (size_t i = 0; i < length; i += 3) {
    const size_t left = length - i;
    const uint32_t group = uint32_t(in[i]) << 16 | (left > 1 ? uint32_t(in[i + 1]) << 8 : 0) |
                           (left > 2 ? uint32_t(in[i + 2]) : 0);
    *out++ = kAlphabet[group >> 18];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    *out++ = left > 2 ? kAlphabet[group & 63] : '=';
  }
  *out = '\0';
  state->written = size_t(out - state->output);
  return true;
}

}  // namespace Base64
