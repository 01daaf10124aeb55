#include "g711.h"

namespace voe {
namespace {

// Segment (exponent) of a magnitude: the position of its top bit above bit 7
// for mu-law's biased value and A-law's value alike.
int Segment(int value) {
  int segment = 0;
  for (value >>= 8; value && segment < 7; value >>= 1) ++segment;
  return segment;
}

}  // namespace

uint8_t LinearToUlaw(int16_t sample) {
  constexpr int kBias = 0x84;
  constexpr int kClip = 32635;
  int value = sample;
  int sign = 0;
  if (value < 0) {
    value = -value;
    sign = 0x80;
  }
  if (value > kClip) value = kClip;
  value += kBias;
  const int segment = Segment(value);
  const int mantissa = (value >> (segment + 3)) & 0x0F;
  return static_cast<uint8_t>(~(sign | (segment << 4) | mantissa));
}

int16_t UlawToLinear(uint8_t code) {
  code = static_cast<uint8_t>(~code);
  const int segment = (code >> 4) & 0x07;
  int value = (((code & 0x0F) << 3) + 0x84) << segment;
  value -= 0x84;
  return static_cast<int16_t>((code & 0x80) ? -value : value);
}

uint8_t LinearToAlaw(int16_t sample) {
  int value = sample;
  int sign = 0x80;  // positive values carry the sign bit in A-law
  if (value < 0) {
    value = -value - 1;
    sign = 0;
  }
  if (value > 32767) value = 32767;
  int code;
  if (value < 256) {
    code = value >> 4;
  } else {
    const int segment = Segment(value);
    code = (segment << 4) | ((value >> (segment + 3)) & 0x0F);
  }
  return static_cast<uint8_t>((code | sign) ^ 0x55);
}

int16_t AlawToLinear(uint8_t code) {
  code ^= 0x55;
  const int segment = (code >> 4) & 0x07;
  int value = (code & 0x0F) << 4;
  if (segment == 0) {
    value += 8;
  } else {
    value = (value + 0x108) << (segment - 1);
  }
  return static_cast<int16_t>((code & 0x80) ? value : -value);
}

void EncodeUlaw(const int16_t* in, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = LinearToUlaw(in[i]);
}
void DecodeUlaw(const uint8_t* in, size_t count, int16_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = UlawToLinear(in[i]);
}
void EncodeAlaw(const int16_t* in, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = LinearToAlaw(in[i]);
}
void DecodeAlaw(const uint8_t* in, size_t count, int16_t* out) {
  for (size_t i = 0; i < count; ++i) out[i] = AlawToLinear(in[i]);
}

}  // namespace voe
