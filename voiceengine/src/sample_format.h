// Interleaved device frames to and from the engine's mono samples: 16-bit
// or 32-bit integer, or 32-bit float, with any number of channels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voiceengine/types.h"

namespace voe {

enum class SampleKind { kInt16, kInt32, kFloat32 };

struct FrameFormat {
  SampleKind kind;
  int channels;
  size_t bytesPerFrame() const {
    return static_cast<size_t>(channels) * (kind == SampleKind::kInt16 ? 2u : 4u);
  }
};

// One mono sample per frame: the left channel, the right one (the left of a
// mono device) or the mean of the first two. Floats are clipped to 16 bits.
void FramesToMono(const void* frames, size_t count, FrameFormat format, webrtc::StereoChannel pick, int16_t* out);

// Each mono sample written to every channel of its frame.
void MonoToFrames(const int16_t* samples, size_t count, FrameFormat format, void* frames);

}  // namespace voe
