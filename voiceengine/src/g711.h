// G.711 mu-law and A-law sample conversion. Pure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voe {

uint8_t LinearToUlaw(int16_t sample);
int16_t UlawToLinear(uint8_t code);
uint8_t LinearToAlaw(int16_t sample);
int16_t AlawToLinear(uint8_t code);

void EncodeUlaw(const int16_t* in, size_t count, uint8_t* out);
void DecodeUlaw(const uint8_t* in, size_t count, int16_t* out);
void EncodeAlaw(const int16_t* in, size_t count, uint8_t* out);
void DecodeAlaw(const uint8_t* in, size_t count, int16_t* out);

}  // namespace voe
