// Voice activity detection and discontinuous transmission: what the
// encoder sends for silence, noise and speech with the vad option, and the
// comfort noise the decoder makes of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "frame_layer_fixture.h"
#include "itu_vectors.h"

using namespace g729;

namespace {

struct Coded {
  std::vector<int> types;
  std::vector<int16_t> decoded;
};

// Encodes pcm frame by frame through the frame layer (vad on or off) and
// decodes what was sent (an untransmitted frame as type 0).
Coded RoundTrip(const std::vector<int16_t>& pcm, int vad) {
  Codec enc, dec;
  CodecOptions eo = Options(0);
  eo.modes.vad = vad;
  EXPECT_EQ(0, enc.Init(eo));
  EXPECT_EQ(0, dec.Init(Options(1)));
  Coded c;
  c.decoded.resize(pcm.size());
  for (size_t f = 0; f + 80 <= pcm.size(); f += 80) {
    int16_t in[80];
    for (int i = 0; i < 80; i++) in[i] = pcm[f + i];
    uint8_t bits[10] = {0};
    PcmBlock p = {in, 160, 8000, 16, 1, 8000};
    BitstreamBlock b = {bits, 0, -2, 0};
    EXPECT_EQ(0, T.encode(enc.handle, &p, &b));
    EXPECT_EQ(FrameBytes(b.frame_type), b.bytes);
    c.types.push_back(b.frame_type);
    PcmBlock o = {&c.decoded[f], 0, 0, 0, 0, 0};
    EXPECT_EQ(0, T.decode(dec.handle, &b, &o));
  }
  return c;
}

std::vector<int16_t> WhiteNoise(int frames, int amplitude, unsigned seed = 12345) {
  std::vector<int16_t> pcm(80 * frames);
  for (int16_t& s : pcm) {
    int sum = 0;
    for (int k = 0; k < 4; k++) {
      seed = seed * 1103515245u + 12345u;
      sum += (int)((seed >> 16) & 0x7fff) - 16384;
    }
    s = (int16_t)((long)sum * amplitude / 32768);
  }
  return pcm;
}

double Rms(const std::vector<int16_t>& x, size_t from, size_t to) {
  double e = 0;
  for (size_t i = from; i < to; i++) e += (double)x[i] * x[i];
  return std::sqrt(e / (double)(to - from));
}

TEST(Discontinuous, SilenceAndSteadyNoiseSendDescriptionsThenNothing) {
  struct Case {
    const char* name;
    std::vector<int16_t> pcm;
  } cases[] = {
      {"digital silence", std::vector<int16_t>(80 * 300, 0)},
      {"quiet white noise", WhiteNoise(300, 100)},
      {"white noise", WhiteNoise(300, 1000)},
  };
  for (const Case& c : cases) {
    Coded coded = RoundTrip(c.pcm, 1);
    int sid = 0, none = 0, speech = 0;
    // The detector learns a background present from the start within its
    // first 128 frames.
    for (size_t f = 160; f < coded.types.size(); f++) {
      sid += coded.types[f] == 1;
      none += coded.types[f] == 0;
      speech += coded.types[f] == 3;
    }
    int first = -1;
    for (size_t f = 0; f < coded.types.size() && first < 0; f++)
      if (coded.types[f] != 3) first = coded.types[f];
    printf("%s: %d descriptions, %d untransmitted, %d speech frames (after the first 160)\n", c.name, sid, none,
           speech);
    EXPECT_EQ(1, first) << c.name << ": silence begins with a description";
    EXPECT_EQ(0, speech) << c.name;
    EXPECT_GT(none, 4 * sid) << c.name << ": a steady background is mostly not transmitted";
    for (int16_t s : coded.decoded) ASSERT_TRUE(s > -32768 && s < 32767) << c.name;
    // Without vad the same input gives speech frames only.
    Coded plain = RoundTrip(c.pcm, 0);
    for (int t : plain.types) ASSERT_EQ(3, t) << c.name;
  }
}

TEST(Discontinuous, TheComfortNoiseKeepsTheLevelOfTheBackground) {
  for (int amplitude : {200, 1000, 4000}) {
    std::vector<int16_t> pcm = WhiteNoise(400, amplitude);
    Coded coded = RoundTrip(pcm, 1);
    double in = Rms(pcm, 80 * 200, pcm.size()), out = Rms(coded.decoded, 80 * 200, pcm.size());
    double speech_in = Rms(pcm, 0, 80 * 100), speech_out = Rms(coded.decoded, 0, 80 * 100);
    printf("as speech: %.0f in, %.0f out (%.1f dB)\n", speech_in, speech_out, 20 * std::log10(speech_out / speech_in));
    printf("noise %.0f in, %.0f out (%.1f dB)\n", in, out, 20 * std::log10(out / in));
    EXPECT_NEAR(0.0, 20 * std::log10(out / in), 4.0) << "amplitude " << amplitude;
  }
}

TEST(Discontinuous, SpeechStaysSpeech) {
  std::vector<int16_t> pcm = g729test::ReadWords(g729test::VectorPath("lsp.in"));
  ASSERT_GT(pcm.size(), 80u * 100);
  Coded coded = RoundTrip(pcm, 1);
  int loud = 0, loud_speech = 0, other = 0;
  for (size_t f = 0; f < coded.types.size(); f++) {
    double level = Rms(pcm, f * 80, f * 80 + 80);
    if (level > 1000) {
      loud++;
      loud_speech += coded.types[f] == 3;
    }
    other += coded.types[f] != 3;
  }
  printf("%d loud frames, %d coded as speech; %d of %zu frames not speech\n", loud, loud_speech, other,
         coded.types.size());
  ASSERT_GT(loud, 100);
  EXPECT_EQ(loud, loud_speech);
}

}  // namespace

namespace {

TEST(Discontinuous, ControlSwitchesTheRunningEncodersDetection) {
  Codec enc;
  ASSERT_EQ(0, enc.Init(Options(0)));
  int16_t silence[80] = {0};
  uint8_t bits[10];
  auto code = [&]() {
    PcmBlock p = {silence, 160, 8000, 16, 1, 8000};
    BitstreamBlock b = {bits, 0, -2, 0};
    EXPECT_EQ(0, T.encode(enc.handle, &p, &b));
    return b.frame_type;
  };
  struct Step {
    int vad;
    int frames;
    std::vector<int> allowed;
  } steps[] = {{0, 5, {3}}, {1, 20, {0, 1}}, {0, 5, {3}}, {1, 5, {0, 1}}};
  for (const Step& s : steps) {
    ModeWords modes = Options(0).modes;
    modes.vad = s.vad;
    ASSERT_EQ(0, T.control(&modes, enc.handle));
    for (int f = 0; f < s.frames; f++) {
      int type = code();
      EXPECT_NE(s.allowed.end(), std::find(s.allowed.begin(), s.allowed.end(), type))
          << "vad " << s.vad << " frame " << f << " type " << type;
    }
  }
}

}  // namespace
