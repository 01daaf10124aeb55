// Mono or stereo resampling between fixed rates, for callers that bring
// audio of their own rate to a call's 10-ms blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace webrtc {

enum ResamplerType {
  kResamplerSynchronous = 0x10,
  kResamplerAsynchronous = 0x11,
  kResamplerSynchronousStereo = 0x20,
  kResamplerAsynchronousStereo = 0x21
};

class Resampler {
 public:
  Resampler();
  Resampler(int inFreq, int outFreq, ResamplerType type);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Sets the rates; the filter state survives when they are unchanged.
  int ResetIfNeeded(int inFreq, int outFreq, ResamplerType type);
  int Reset(int inFreq, int outFreq, ResamplerType type);

  // Converts lengthIn samples into samplesOut; -1 when the output does not
  // fit maxLen or no rates are set (the output is then left as it was).
  int Push(const int16_t* samplesIn, size_t lengthIn, int16_t* samplesOut, size_t maxLen,
           size_t& outLen);

 private:
  void* state_ = nullptr;
  int inFreq_ = 0;
  int outFreq_ = 0;
  int channels_ = 1;
};

}  // namespace webrtc
