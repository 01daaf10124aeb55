// Two engines in one process calling each other over loopback RTP: what one
// sends arrives at the other, decoded, for every codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "signal_analysis.h"
#include "test_files.h"
#include "voice_call.h"

namespace {

using voicetest::CallLeg;
using voicetest::TestEngine;

struct CodecCase {
  const char* name;
  const char* codec;
  int pacsize;
  double minToneRms, maxToneRms;
  double minSpeechCorrelation;  // of the waveform
  // Whether the decoded level contour follows the sent one. The vectors'
  // signal keeps a nearly flat level; G.729's own reference decoder output of
  // it (pitch.pst) correlates only about 0.8 in contour with it, so for G.729
  // the level is what is checked.
  bool followsContour;
};

class CallThroughCodec : public ::testing::TestWithParam<CodecCase> {};

// A tone one way and speech the other, in one call: both arrive with the
// expected level and shape after decoding.
TEST_P(CallThroughCodec, ToneAndSpeechArriveWithTheirLevelAndShape) {
  const CodecCase& c = GetParam();
  const std::vector<int16_t> speech8k = voicetest::Speech8k(2.0, 3.0);
  ASSERT_GT(speech8k.size(), 16000u) << "speech vectors missing under " << ZEQ_SHARED_DIR;
  TestEngine a, b;
  ASSERT_EQ(0, a.initResult);
  ASSERT_EQ(0, b.initResult);
  webrtc::CodecInst codec = voicetest::FindCodec(a, c.codec);
  ASSERT_GE(codec.pltype, 0);
  codec.pacsize = c.pacsize;
  const int rate = codec.plfreq > 32000 ? 32000 : codec.plfreq;
  auto speech = std::make_shared<std::vector<int16_t>>(voicetest::Resampled(speech8k, 8000, rate));
  CallLeg toneLeg(a, 20000, 20010, codec, voicetest::Tone(1000, 10000));
  CallLeg speechLeg(b, 20010, 20000, codec, [speech](size_t i, int) { return (*speech)[i % speech->size()]; });
  ASSERT_TRUE(toneLeg.ok && speechLeg.ok);
  ASSERT_TRUE(toneLeg.Start()) << a.base->LastError();
  ASSERT_TRUE(speechLeg.Start()) << b.base->LastError();

  // 1.5 s of audio received on each side.
  const size_t wanted = static_cast<size_t>(rate) * 3 / 2;
  ASSERT_TRUE(voicetest::WaitFor([&] {
    return toneLeg.recorder.LoudSamples(300) >= wanted && speechLeg.recorder.LoudSamples(300) >= wanted;
  }, 15000)) << "tone heard " << speechLeg.recorder.LoudSamples(300) << ", speech heard "
             << toneLeg.recorder.LoudSamples(300);
  EXPECT_EQ(rate, speechLeg.recorder.rate());
  EXPECT_EQ(rate, toneLeg.injector.rate());

  // The tone: at the level sent and nearly all of it at 1 kHz in at least
  // two of the last three half-seconds (one stall of the loaded machine's
  // audio path may spoil one of them; a broken codec spoils all three).
  std::vector<int16_t> tone = speechLeg.recorder.heard();
  const size_t half = static_cast<size_t>(rate / 2);
  const size_t windows = std::min<size_t>(3, tone.size() / half);
  size_t clean = 0;
  std::string figures;
  for (size_t w = 0; w < windows; ++w) {
    const int16_t* part = tone.data() + tone.size() - (w + 1) * half;
    const double rms = voicetest::Rms(part, half);
    const double share = voicetest::EnergyShareAt(part, half, 1000, rate);
    char text[64];
    std::snprintf(text, sizeof text, " rms %.0f share %.2f;", rms, share);
    figures += text;
    if (rms > c.minToneRms && rms < c.maxToneRms && share > 0.9) ++clean;
  }
  EXPECT_GE(clean, 2u) << "last half-seconds, newest first:" << figures;

  // The speech: a second of what arrived matches what was sent.
  const std::vector<int16_t> heard = toneLeg.recorder.heard();
  const std::vector<int16_t> sent = speechLeg.injector.sent();
  // The speech: in quarter-second windows of the last 1.5 s, the level
  // contour follows what was sent (the two sides' clocks started apart: any
  // lag up to 3 s), and codecs that keep the waveform match sample by sample
  // there. A scheduling hiccup of the test machine may shift the timing once
  // (the jitter buffer then conceals or skips), so most windows must match.
  const std::vector<double> sentLevels = voicetest::Envelope(sent, rate);
  const std::vector<double> heardLevels = voicetest::Envelope(heard, rate);
  ASSERT_GT(heardLevels.size(), 160u);
  const size_t block = static_cast<size_t>(rate / 100);
  int matching = 0;
  double worstContour = 1, worstWaveform = 1;
  for (size_t w = 0; w < 6; ++w) {
    const size_t from = heardLevels.size() - 160 + 25 * w;
    const voicetest::Match contour = voicetest::EnvelopeMatch(sentLevels, heardLevels, from, 25, 300);
    const size_t lag = contour.lag * block;
    const voicetest::Match wave =
        voicetest::BestMatch(sent, heard, from * block, 25 * block, lag > block ? lag - block : 0, lag + block);
    if (contour.correlation > 0.9 && wave.correlation > c.minSpeechCorrelation) ++matching;
    if (contour.correlation < worstContour) worstContour = contour.correlation;
    if (wave.correlation < worstWaveform) worstWaveform = wave.correlation;
  }
  if (c.followsContour) {
    EXPECT_GE(matching, 4);
  }
  const double sentLevel = voicetest::Rms(sent.data() + sent.size() - static_cast<size_t>(rate), static_cast<size_t>(rate));
  const double heardLevel =
      voicetest::Rms(heard.data() + heard.size() - static_cast<size_t>(rate), static_cast<size_t>(rate));
  EXPECT_GT(heardLevel, 0.5 * sentLevel);
  EXPECT_LT(heardLevel, 1.5 * sentLevel);
  std::printf("[ figures  ] %s: tone%s speech rms %.0f for %.0f sent, windows matching %d of 6, worst "
              "contour %.3f, worst waveform %.3f\n",
              c.name, figures.c_str(), heardLevel, sentLevel, matching, worstContour, worstWaveform);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CallThroughCodec,
    ::testing::Values(CodecCase{"PCMU_20ms", "PCMU", 160, 6500, 7600, 0.95, true},
                      CodecCase{"PCMA_30ms", "PCMA", 240, 6500, 7600, 0.95, true},
                      CodecCase{"Opus_20ms", "opus", 960, 5000, 8000, 0.0, true}
#ifdef ZEQ_VOICE_G729
                      ,
                      CodecCase{"G729_20ms", "G729", 160, 4500, 8500, 0.0, false}
#endif
                      ),
    [](const ::testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

}  // namespace
