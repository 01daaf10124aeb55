// Comfort noise: the noise excitation's level, the decoder's silence
// frames (their level, smoothing and bounds) and erasures between them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bitstream.h"
#include "comfort_noise.h"
#include "frame_layer_fixture.h"
#include "g729_tables.h"

using namespace g729;

namespace {

double Rms(const int16_t* x, int n) {
  double e = 0;
  for (int i = 0; i < n; i++) e += (double)x[i] * x[i];
  return std::sqrt(e / n);
}

double Db(double ratio) { return 20 * std::log10(ratio); }

// A frame-layer decoder fed silence frames.
struct NoiseDecoder {
  Codec codec;
  NoiseDecoder() { EXPECT_EQ(0, codec.Init(Options(1))); }
  // Decodes one frame of the given type (sid used for types 1 and 5);
  // returns the frame's RMS level.
  double Frame(int32_t type, const Word16* sid = nullptr, int16_t* samples = nullptr) {
    uint8_t bytes[10] = {0};
    if (sid) PackSilenceDescription(sid, bytes);
    int16_t local[80];
    int16_t* out = samples ? samples : local;
    PcmBlock o = {out, 0, 0, 0, 0, 0};
    BitstreamBlock b = {bytes, 10, type, 8000};
    EXPECT_EQ(0, T.decode(codec.handle, type == -1 ? nullptr : &b, &o));
    return Rms(out, 80);
  }
};

TEST(ComfortNoise, TheExcitationHasTheRequestedGainAsItsLevel) {
  for (int index : {5, 10, 15, 20, 25, 28, 31}) {
    const Word16 gain = tab::tab_Sidgain[index];
    Word16 buf[154 + 80] = {0};
    Word16 seed = kNoiseSeed;
    double energy = 0;
    const int frames = 50;
    for (int f = 0; f < frames; f++) {
      NoiseExcitation(gain, buf + 154, &seed);
      for (int i = 0; i < 80; i++) energy += (double)buf[154 + i] * buf[154 + i];
      memmove(buf, buf + 80, 154 * sizeof(Word16));
    }
    double level = std::sqrt(energy / (80.0 * frames));
    // The gains are Q3: the sample level is an eighth of the table value.
    EXPECT_NEAR(0.0, Db(level / (gain / 8.0)), 1.0) << "index " << index << " level " << level;
  }
  Word16 buf[154 + 80];
  for (Word16& v : buf) v = 1234;
  Word16 seed = kNoiseSeed;
  NoiseExcitation(0, buf + 154, &seed);
  for (int i = 0; i < 80; i++) EXPECT_EQ(0, buf[154 + i]);
  EXPECT_EQ(kNoiseSeed, seed);  // a zero gain draws nothing
}

TEST(ComfortNoise, TheDecodedNoiseRisesWithTheSilenceDescriptionsEnergyAndNeverClips) {
  double previous = -1;
  for (int index = 0; index < 32; index++) {
    for (Word16 mode : {0, 1}) {
      NoiseDecoder dec;
      const Word16 sid[4] = {mode, (Word16)(index * 7 % 32), (Word16)(index % 16), (Word16)index};
      int16_t samples[80];
      double level = 0;
      dec.Frame(1, sid);
      for (int f = 0; f < 30; f++) {
        level += dec.Frame(0, nullptr, samples) / 30;
        for (int16_t s : samples) ASSERT_TRUE(s > -32768 && s < 32767) << "index " << index;
      }
      if (mode == 0 && index >= 4) {
        // Each step of the table is 2 to 4 dB: the level rises with it.
        EXPECT_GT(level, previous) << "index " << index;
      }
      if (mode == 0) previous = level;
    }
  }
}

TEST(ComfortNoise, ANewDescriptionIsApproachedSmoothlyUnlessTakenAtOnce) {
  const Word16 loud[4] = {0, 3, 2, 28}, quiet[4] = {0, 3, 2, 8};
  struct Case {
    const char* name;
    int32_t type;
    double min_drop_db, max_drop_db;  // first quiet frame against the loud ones
  } cases[] = {{"smoothed (type 1)", 1, -1, 6}, {"at once (type 5)", 5, 30, 200}};
  for (const Case& c : cases) {
    NoiseDecoder dec;
    double loud_level = 0;
    dec.Frame(1, loud);
    for (int f = 0; f < 10; f++) loud_level = dec.Frame(0);
    dec.Frame(c.type, quiet);
    double next = dec.Frame(0);
    double drop = Db(loud_level / next);
    EXPECT_GE(drop, c.min_drop_db) << c.name;
    EXPECT_LE(drop, c.max_drop_db) << c.name;
  }
}

TEST(ComfortNoise, SilenceAfterSpeechWithoutADescriptionTakesTheSpeechLevelAndErasuresContinueIt) {
  NoiseDecoder dec;
  // Speech frames of varied content with a strong fixed-codebook gain.
  uint8_t frame[10];
  int16_t out[80];
  unsigned seed = 7;
  for (int f = 0; f < 20; f++) {
    for (uint8_t& b : frame) {
      seed = seed * 1103515245u + 12345u;
      b = (uint8_t)(seed >> 16);
    }
    frame[4] = (uint8_t)(frame[4] & 0xfe);  // even pitch index and parity stay arbitrary
    PcmBlock o = {out, 0, 0, 0, 0, 0};
    BitstreamBlock b = {frame, 10, 3, 8000};
    ASSERT_EQ(0, T.decode(dec.codec.handle, &b, &o));
  }
  double untransmitted = 0;
  for (int f = 0; f < 5; f++) untransmitted = dec.Frame(0);
  EXPECT_GT(untransmitted, 1.0);  // noise at the last speech level, not silence
  double erased = dec.Frame(-1);
  EXPECT_GT(erased, 1.0);
  EXPECT_NEAR(0.0, Db(erased / untransmitted), 6.0);  // an erasure continues the noise
}

}  // namespace
