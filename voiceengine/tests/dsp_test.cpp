// The engine's signal pieces: G.711 quality, concealment, DTMF tones and
// telephone events, the resampler and the capture processing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio_processing_module.h"
#include "concealment.h"
#include "g711.h"
#include "signal_analysis.h"
#include "telephone_event.h"
#include "voiceengine/resampler.h"

namespace {

std::vector<int16_t> Sine(double f, int rate, size_t n, double amplitude) {
  std::vector<int16_t> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * f * i / rate + 0.3));
  return x;
}

double SnrDb(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    signal += static_cast<double>(a[i]) * a[i];
    noise += static_cast<double>(a[i] - b[i]) * (a[i] - b[i]);
  }
  return 10 * std::log10(signal / noise);
}

TEST(G711, ASpeechLevelToneKeepsAboutThirtyFiveDecibelsOfSignalToNoise) {
  const std::vector<int16_t> x = Sine(1000, 8000, 800, 8000);
  std::vector<uint8_t> coded(x.size());
  std::vector<int16_t> u(x.size()), a(x.size());
  voe::EncodeUlaw(x.data(), x.size(), coded.data());
  voe::DecodeUlaw(coded.data(), coded.size(), u.data());
  voe::EncodeAlaw(x.data(), x.size(), coded.data());
  voe::DecodeAlaw(coded.data(), coded.size(), a.data());
  EXPECT_GT(SnrDb(x, u), 33);
  EXPECT_GT(SnrDb(x, a), 33);
  EXPECT_EQ(32124, voe::UlawToLinear(voe::LinearToUlaw(32767)));
  EXPECT_EQ(-32256, voe::AlawToLinear(voe::LinearToAlaw(-32768)));
}

TEST(Concealment, ALostFrameContinuesThePitchThenFadesOut) {
  voe::Concealer concealer;
  concealer.Reset(8000);
  std::vector<int16_t> voiced = Sine(200, 8000, 320, 10000);  // 40 ms, period 40 samples
  concealer.Good(voiced.data(), voiced.size());
  std::vector<int16_t> out(800);
  concealer.Conceal(out.data(), out.size());
  // The first 10 ms continue the 200-Hz wave at its level.
  EXPECT_GT(voicetest::Rms(out.data(), 80), 6000);
  EXPECT_GT(voicetest::EnergyShareAt(out.data(), 80, 200, 8000), 0.8);
  // After 60 ms it is silent.
  EXPECT_EQ(0, voicetest::Rms(out.data() + 480, 320));
}

TEST(TelephoneEvents, PayloadsReadBackAndEveryKeyHasItsTwoTones) {
  voe::TelephoneEvent e;
  e.event = 11;
  e.end = true;
  e.volume = 10;
  e.duration = 1280;
  uint8_t wire[4];
  voe::WriteTelephoneEvent(e, wire);
  voe::TelephoneEvent back;
  ASSERT_TRUE(voe::ReadTelephoneEvent(wire, 4, &back));
  EXPECT_EQ(11, back.event);
  EXPECT_TRUE(back.end);
  EXPECT_EQ(10, back.volume);
  EXPECT_EQ(1280, back.duration);
  EXPECT_FALSE(voe::ReadTelephoneEvent(wire, 3, &back));

  const struct { int event, low, high; } keys[] = {{1, 697, 1209}, {5, 770, 1336}, {9, 852, 1477},
                                                    {0, 941, 1336}, {10, 941, 1209}, {11, 941, 1477},
                                                    {12, 697, 1633}, {15, 941, 1633}};
  for (const auto& k : keys) {
    voe::DtmfTone tone;
    ASSERT_TRUE(tone.Start(k.event, 8000, 10, 800));
    std::vector<int16_t> out(800, 0);
    tone.Add(out.data(), out.size());
    EXPECT_FALSE(tone.active());
    const double share = voicetest::EnergyShareAt(out.data(), out.size(), k.low, 8000) +
                         voicetest::EnergyShareAt(out.data(), out.size(), k.high, 8000);
    EXPECT_GT(share, 0.95) << "event " << k.event;
  }
  voe::DtmfTone none;
  EXPECT_FALSE(none.Start(16, 8000, 10, 800));
}

TEST(Resampler, AToneKeepsItsFrequencyAndLevelAcrossRates) {
  const struct { int from, to; } cases[] = {{48000, 8000}, {16000, 32000}, {44100, 16000}};
  for (const auto& c : cases) {
    webrtc::Resampler resampler;
    ASSERT_EQ(0, resampler.ResetIfNeeded(c.from, c.to, webrtc::kResamplerSynchronous));
    const std::vector<int16_t> in = Sine(1000, c.from, static_cast<size_t>(c.from), 16000);
    std::vector<int16_t> out;
    for (size_t at = 0; at < in.size(); at += static_cast<size_t>(c.from / 100)) {
      int16_t block[480];
      size_t made = 0;
      ASSERT_EQ(0, resampler.Push(in.data() + at, static_cast<size_t>(c.from / 100), block, 480, made));
      out.insert(out.end(), block, block + made);
    }
    EXPECT_NEAR(static_cast<double>(c.to), static_cast<double>(out.size()), c.to / 100.0);
    const size_t half = out.size() / 2;
    EXPECT_GT(voicetest::EnergyShareAt(out.data() + half, half, 1000, c.to), 0.95) << c.from << "->" << c.to;
    EXPECT_NEAR(16000 / std::sqrt(2.0), voicetest::Rms(out.data() + half, half), 300);
  }
  webrtc::Resampler unset;
  int16_t sample = 0, out[4];
  size_t made = 0;
  EXPECT_EQ(-1, unset.Push(&sample, 1, out, 4, made));
  webrtc::Resampler small(8000, 48000, webrtc::kResamplerSynchronous);
  int16_t in[80] = {};
  EXPECT_EQ(-1, small.Push(in, 80, out, 4, made));  // 480 samples do not fit in 4
}

TEST(CaptureProcessing, TheEchoOfThePlayedAudioIsCancelled) {
  voe::AudioProcessingModule apm(16000);
  ASSERT_TRUE(apm.valid());
  apm.SetEchoControl(true, webrtc::kEcAec);
  // Far end: noise-like speech stand-in; near end: its echo 40 ms later at half level.
  std::vector<int16_t> far(16000 * 4);
  uint32_t seed = 1;
  for (auto& s : far) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<int16_t>((static_cast<int32_t>(seed >> 16) - 32768) / 4);
  }
  double echoEnergy = 0, residualEnergy = 0;
  for (size_t block = 0; block < far.size() / 160; ++block) {
    apm.Played(far.data() + block * 160);
    int16_t near[160];
    for (size_t i = 0; i < 160; ++i) {
      const size_t at = block * 160 + i;
      near[i] = at >= 640 ? static_cast<int16_t>(far[at - 640] / 2) : 0;
    }
    const double before = voicetest::Rms(near, 160);
    apm.Captured(near);
    if (block >= far.size() / 160 - 100) {  // the last second
      echoEnergy += before * before;
      const double after = voicetest::Rms(near, 160);
      residualEnergy += after * after;
    }
  }
  const double erle = 10 * std::log10(echoEnergy / residualEnergy);
  std::printf("[ figures  ] echo return loss enhancement %.1f dB\n", erle);
  EXPECT_GT(erle, 15);
}

TEST(CaptureProcessing, NoiseSuppressionLowersSteadyNoise) {
  voe::AudioProcessingModule apm(16000);
  apm.SetNoiseSuppression(true, webrtc::kNsModerateSuppression);
  uint32_t seed = 7;
  double in = 0, out = 0;
  for (int block = 0; block < 300; ++block) {
    int16_t x[160];
    for (auto& s : x) {
      seed = seed * 1664525u + 1013904223u;
      s = static_cast<int16_t>((static_cast<int32_t>(seed >> 16) - 32768) / 128);
    }
    const double before = voicetest::Rms(x, 160);
    apm.Captured(x);
    if (block >= 200) {
      in += before * before;
      out += voicetest::Rms(x, 160) * voicetest::Rms(x, 160);
    }
  }
  EXPECT_LT(out, in / 4);  // at least 6 dB less
}

}  // namespace
