// Small helpers of the channel's audio and RTCP paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voiceengine/resampler.h"

namespace voe {

// Converts a block between rates, always giving exactly outCount samples:
// the resampler's first blocks may come out a sample short.
void ConvertBlock(webrtc::Resampler& resampler, int inRate, int outRate, const int16_t* in, size_t inCount,
                  int16_t* out, size_t outCount);

// The wall clock as NTP time (RFC 3550): seconds since 1900 and a binary
// fraction; and its middle 32 bits, as report blocks carry it.
void NtpNow(uint32_t* seconds, uint32_t* fraction);
uint32_t NtpMiddleNow();

}  // namespace voe
