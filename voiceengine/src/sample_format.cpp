#include "sample_format.h"

#include <cstring>

namespace voe {
namespace {

int32_t Clip16(int32_t v) { return v > 32767 ? 32767 : v < -32768 ? -32768 : v; }

int32_t Read(const unsigned char* p, SampleKind kind) {
  switch (kind) {
    case SampleKind::kInt16: {
      int16_t v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case SampleKind::kInt32: {
      int32_t v;
      std::memcpy(&v, p, sizeof v);
      return v >> 16;
    }
    case SampleKind::kFloat32: {
      float v;
      std::memcpy(&v, p, sizeof v);
      if (!(v == v)) return 0;  // NaN
      const float scaled = v * 32768.0f;
      return scaled >= 32767.0f ? 32767 : scaled <= -32768.0f ? -32768 : static_cast<int32_t>(scaled);
    }
  }
  return 0;
}

void Write(unsigned char* p, SampleKind kind, int16_t sample) {
  switch (kind) {
    case SampleKind::kInt16:
      std::memcpy(p, &sample, sizeof sample);
      break;
    case SampleKind::kInt32: {
      const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(sample)) << 16);
      std::memcpy(p, &v, sizeof v);
      break;
    }
    case SampleKind::kFloat32: {
      const float v = static_cast<float>(sample) / 32768.0f;
      std::memcpy(p, &v, sizeof v);
      break;
    }
  }
}

}  // namespace

void FramesToMono(const void* frames, size_t count, FrameFormat format, webrtc::StereoChannel pick, int16_t* out) {
  const auto* p = static_cast<const unsigned char*>(frames);
  const size_t frameBytes = format.bytesPerFrame();
  const size_t sampleBytes = frameBytes / static_cast<size_t>(format.channels);
  for (size_t i = 0; i < count; ++i, p += frameBytes) {
    const int32_t left = Read(p, format.kind);
    if (format.channels < 2 || pick == webrtc::kStereoLeft) {
      out[i] = static_cast<int16_t>(left);
      continue;
    }
    const int32_t right = Read(p + sampleBytes, format.kind);
    out[i] = static_cast<int16_t>(pick == webrtc::kStereoRight ? right : Clip16((left + right) / 2));
  }
}

void MonoToFrames(const int16_t* samples, size_t count, FrameFormat format, void* frames) {
  auto* p = static_cast<unsigned char*>(frames);
  const size_t sampleBytes = format.bytesPerFrame() / static_cast<size_t>(format.channels);
  for (size_t i = 0; i < count; ++i) {
    for (int c = 0; c < format.channels; ++c, p += sampleBytes) Write(p, format.kind, samples[i]);
  }
}

}  // namespace voe
