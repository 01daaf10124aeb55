#include "foundation/base64_stream.h"

namespace Base64 {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

size_t StreamEncoder::Put(char c, char* output, size_t at) {
  if (lineBreaks_ && column_ == kEncodeLineLength) {
    output[at++] = '\r';
    output[at++] = '\n';
    column_ = 0;
  }
  output[at++] = c;
  ++column_;
  return at;
}

size_t StreamEncoder::Encode(const void* input, size_t length, char* output) {
  const auto* in = static_cast<const uint8_t*>(input);
  size_t at = 0;
  size_t i = 0;
  while (heldCount_ + (length - i) >= 3) {
    uint8_t group[3];
    size_t n = 0;
    for (size_t h = 0; h < heldCount_; ++h) group[n++] = held_[h];
    heldCount_ = 0;
    while (n < 3) group[n++] = in[i++];
    const uint32_t bits = uint32_t(group[0]) << 16 | uint32_t(group[1]) << 8 | group[2];
    at = Put(kAlphabet[bits >> 18], output, at);
    at = Put(kAlphabet[(bits >> 12) & 63], output, at);
    at = Put(kAlphabet[(bits >> 6) & 63], output, at);
    at = Put(kAlphabet[bits & 63], output, at);
  }
  while (i < length) held_[heldCount_++] = in[i++];
  return at;
}

size_t StreamEncoder::Finish(char* output) {
  if (heldCount_ == 0) return 0;
  const uint32_t bits = uint32_t(held_[0]) << 16 | (heldCount_ > 1 ? uint32_t(held_[1]) << 8 : 0);
  size_t at = 0;
  at = Put(kAlphabet[bits >> 18], output, at);
  at = Put(kAlphabet[(bits >> 12) & 63], output, at);
  at = Put(heldCount_ > 1 ? kAlphabet[(bits >> 6) & 63] : '=', output, at);
  at = Put('=', output, at);
  heldCount_ = 0;
  return at;
}

bool StreamDecoder::Decode(const char* input, size_t length, uint8_t* output, size_t* written) {
  uint32_t bits = bits_;
  int count = count_;
  bool ended = ended_;
  size_t at = 0;
  for (size_t i = 0; i < length && !ended; ++i) {
    const char c = input[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      // What the partial group holds: 2 characters give 1 byte, 3 give 2.
      if (count == 2) output[at++] = uint8_t(bits >> 4);
      if (count == 3) {
        output[at++] = uint8_t(bits >> 10);
        output[at++] = uint8_t(bits >> 2);
      }
      ended = true;
      break;
    }
    const int value = ValueOf(c);
    if (value < 0) return false;
    bits = (bits << 6) | uint32_t(value);
    if (++count == 4) {
      output[at++] = uint8_t(bits >> 16);
      output[at++] = uint8_t(bits >> 8);
      output[at++] = uint8_t(bits);
      bits = 0;
      count = 0;
    }
  }
  bits_ = bits & 0xFFFFFF;
  count_ = count;
  ended_ = ended;
  if (written) *written = at;
  return true;
}

}  // namespace Base64
