#include "block_helpers.h"

#include <windows.h>

#include <cstring>

namespace voe {

void ConvertBlock(webrtc::Resampler& resampler, int inRate, int outRate, const int16_t* in, size_t inCount,
                  int16_t* out, size_t outCount) {
  if (inRate == outRate) {
    std::memcpy(out, in, outCount * sizeof(int16_t));
    return;
  }
  size_t made = 0;
  resampler.ResetIfNeeded(inRate, outRate, webrtc::kResamplerSynchronous);
  if (resampler.Push(in, inCount, out, outCount, made) != 0) made = 0;
  for (size_t i = made; i < outCount; ++i) out[i] = made ? out[made - 1] : 0;
}

void NtpNow(uint32_t* seconds, uint32_t* fraction) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // 100-ns ticks since 1601, which began 9435484800 s after 1900.
  *seconds = static_cast<uint32_t>(ticks / 10000000ULL - 9435484800ULL);
  *fraction = static_cast<uint32_t>(((ticks % 10000000ULL) << 32) / 10000000ULL);
}

uint32_t NtpMiddleNow() {
  uint32_t seconds = 0, fraction = 0;
  NtpNow(&seconds, &fraction);
  return (seconds << 16) | (fraction >> 16);
}

}  // namespace voe
