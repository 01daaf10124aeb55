// Device frames to the engine's mono samples and back: every sample layout
// an endpoint may give, the stereo channel chosen, and clipping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "sample_format.h"

namespace {

using voe::FrameFormat;
using voe::SampleKind;

struct ToMonoCase {
  const char* name;
  FrameFormat format;
  webrtc::StereoChannel pick;
  float frames[4];  // two frames of up to two channels, in the layout's units
  int16_t expected[2];
};

// Frames in the layout's own units: 16-bit values, 32-bit values or floats.
void Pack(const ToMonoCase& c, unsigned char* out) {
  const int values = 2 * c.format.channels;
  for (int i = 0; i < values; ++i) {
    if (c.format.kind == SampleKind::kInt16) {
      const int16_t v = static_cast<int16_t>(c.frames[i]);
      std::memcpy(out + 2 * i, &v, 2);
    } else if (c.format.kind == SampleKind::kInt32) {
      const int32_t v = static_cast<int32_t>(c.frames[i]);
      std::memcpy(out + 4 * i, &v, 4);
    } else {
      std::memcpy(out + 4 * i, &c.frames[i], 4);
    }
  }
}

class FramesToMono : public testing::TestWithParam<ToMonoCase> {};

TEST_P(FramesToMono, GivesTheChosenChannelOfEachFrame) {
  const ToMonoCase& c = GetParam();
  unsigned char frames[32] = {};
  Pack(c, frames);
  int16_t out[2] = {1, 1};
  voe::FramesToMono(frames, 2, c.format, c.pick, out);
  EXPECT_EQ(c.expected[0], out[0]);
  EXPECT_EQ(c.expected[1], out[1]);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Layouts, FramesToMono,
    testing::Values(
        ToMonoCase{"Int16StereoLeft", {SampleKind::kInt16, 2}, webrtc::kStereoLeft, {100, -200, 300, 400}, {100, 300}},
        ToMonoCase{"Int16StereoRight", {SampleKind::kInt16, 2}, webrtc::kStereoRight, {100, -200, 300, 400}, {-200, 400}},
        ToMonoCase{"Int16StereoBothIsTheMean", {SampleKind::kInt16, 2}, webrtc::kStereoBoth, {32767, 32767, -32768, -32768},
                   {32767, -32768}},
        ToMonoCase{"Int16MonoRightIsItsOnlyChannel", {SampleKind::kInt16, 1}, webrtc::kStereoRight, {5, 6}, {5, 6}},
        ToMonoCase{"Int32KeepsTheHigh16Bits", {SampleKind::kInt32, 2}, webrtc::kStereoLeft,
                   {65536.0f * 1000, 0, -65536.0f * 1000, 0}, {1000, -1000}},
        ToMonoCase{"FloatFullScale", {SampleKind::kFloat32, 2}, webrtc::kStereoRight, {0, 0.5f, 0, -1.0f}, {16384, -32768}},
        ToMonoCase{"FloatOverFullScaleIsClipped", {SampleKind::kFloat32, 2}, webrtc::kStereoBoth, {3.0f, 3.0f, -4.0f, -4.0f},
                   {32767, -32768}},
        ToMonoCase{"FloatNaNIsSilence", {SampleKind::kFloat32, 1}, webrtc::kStereoBoth, {kNaN, 0.25f}, {0, 8192}}),
    [](const testing::TestParamInfo<ToMonoCase>& info) { return std::string(info.param.name); });

TEST(MonoToFrames, WritesEachSampleToEveryChannelAndComesBackUnchanged) {
  const int16_t samples[3] = {-32768, 1, 32767};
  for (FrameFormat format : {FrameFormat{SampleKind::kInt16, 2}, FrameFormat{SampleKind::kInt32, 6},
                             FrameFormat{SampleKind::kFloat32, 2}, FrameFormat{SampleKind::kFloat32, 1}}) {
    unsigned char frames[3 * 6 * 4 + 4];
    std::memset(frames, 0xAB, sizeof frames);
    voe::MonoToFrames(samples, 3, format, frames);
    for (int c = 0; c < format.channels; ++c) {
      // Each channel read alone (as a one-channel stream shifted to it).
      int16_t back[3] = {};
      for (int i = 0; i < 3; ++i) {
        const unsigned char* frame = frames + i * format.bytesPerFrame() + c * (format.bytesPerFrame() / format.channels);
        voe::FramesToMono(frame, 1, FrameFormat{format.kind, 1}, webrtc::kStereoLeft, &back[i]);
      }
      EXPECT_EQ(0, std::memcmp(samples, back, sizeof back)) << "channel " << c << " of " << format.channels;
    }
    // Nothing past the last frame is written.
    EXPECT_EQ(0xAB, frames[3 * format.bytesPerFrame()]) << format.channels;
  }
}

}  // namespace
