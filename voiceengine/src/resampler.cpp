// The public resampler, over speexdsp's.
#include "voiceengine/resampler.h"

#include <speex/speex_resampler.h>

namespace webrtc {

Resampler::Resampler() {}

Resampler::Resampler(int inFreq, int outFreq, ResamplerType type) { Reset(inFreq, outFreq, type); }

Resampler::~Resampler() {
  if (state_) speex_resampler_destroy(static_cast<SpeexResamplerState*>(state_));
}

int Resampler::ResetIfNeeded(int inFreq, int outFreq, ResamplerType type) {
  const int channels = (type == kResamplerSynchronousStereo || type == kResamplerAsynchronousStereo) ? 2 : 1;
  if (state_ && inFreq == inFreq_ && outFreq == outFreq_ && channels == channels_) return 0;
  return Reset(inFreq, outFreq, type);
}

int Resampler::Reset(int inFreq, int outFreq, ResamplerType type) {
  if (state_) speex_resampler_destroy(static_cast<SpeexResamplerState*>(state_));
  state_ = nullptr;
  inFreq_ = outFreq_ = 0;
  if (inFreq <= 0 || outFreq <= 0 || inFreq > 192000 || outFreq > 192000) return -1;
  const int channels = (type == kResamplerSynchronousStereo || type == kResamplerAsynchronousStereo) ? 2 : 1;
  int error = 0;
  SpeexResamplerState* state = speex_resampler_init(static_cast<spx_uint32_t>(channels),
                                                    static_cast<spx_uint32_t>(inFreq),
                                                    static_cast<spx_uint32_t>(outFreq),
                                                    SPEEX_RESAMPLER_QUALITY_VOIP, &error);
  if (!state || error != RESAMPLER_ERR_SUCCESS) return -1;
  state_ = state;
  inFreq_ = inFreq;
  outFreq_ = outFreq;
  channels_ = channels;
  return 0;
}

int Resampler::Push(const int16_t* samplesIn, size_t lengthIn, int16_t* samplesOut, size_t maxLen,
                    size_t& outLen) {
  outLen = 0;
  if (!state_ || !samplesIn || !samplesOut) return -1;
  if (inFreq_ == outFreq_) {
    if (lengthIn > maxLen) return -1;
    for (size_t i = 0; i < lengthIn; ++i) samplesOut[i] = samplesIn[i];
    outLen = lengthIn;
    return 0;
  }
  // The output must have room for what the rates make of the input.
  const size_t frames = lengthIn / static_cast<size_t>(channels_);
  const size_t needed = (frames * static_cast<size_t>(outFreq_) + inFreq_ - 1) / inFreq_;
  if (needed * static_cast<size_t>(channels_) > maxLen) return -1;
  spx_uint32_t in = static_cast<spx_uint32_t>(frames);
  spx_uint32_t out = static_cast<spx_uint32_t>(maxLen / static_cast<size_t>(channels_));
  auto* state = static_cast<SpeexResamplerState*>(state_);
  const int result = channels_ == 1
                         ? speex_resampler_process_int(state, 0, samplesIn, &in, samplesOut, &out)
                         : speex_resampler_process_interleaved_int(state, samplesIn, &in, samplesOut, &out);
  if (result != RESAMPLER_ERR_SUCCESS) return -1;
  outLen = static_cast<size_t>(out) * static_cast<size_t>(channels_);
  return 0;
}

}  // namespace webrtc
