// Behaviours of the codec's steps at their edges: silence, saturation,
// erasures, and the shape of the algebraic code.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "algebraic_codebook.h"
#include "fixed_point.h"
#include "gains.h"
#include "pitch.h"

using namespace g729;

namespace {

TEST(FixedPoint, OperatorsSaturateWhereTheStandardSaturates) {
  EXPECT_EQ(32767, Mult(-32768, -32768));
  EXPECT_EQ(kMax32, LMult(-32768, -32768));
  EXPECT_EQ(-32768, Sub(-32768, 1));
  EXPECT_EQ(32767, Add(32767, 1));
  EXPECT_EQ(kMax32, LShl(0x40000000, 1));
  EXPECT_EQ(kMin32, LShl(-0x40000001, 1));
  EXPECT_EQ(-1, Shr(-5, 20));
  EXPECT_EQ(16384, DivS(1, 2));
  EXPECT_EQ(32767, DivS(5, 5));
  EXPECT_EQ(30, NormL(1));
  EXPECT_EQ(0x3fffffff, InvSqrt(0));
  EXPECT_EQ(0x3fffffff, InvSqrt(-1));
}

TEST(Pitch, OpenLoopSearchOfSilenceKeepsTheFirstLag) {
  std::vector<Word16> wsp(143 + 80, 0);
  EXPECT_EQ(20, OpenLoopPitch(wsp.data() + 143));
}

TEST(Pitch, GainIsBoundedAndZeroForOpposedSignals) {
  std::mt19937 rng(5);
  for (int k = 0; k < 50; k++) {
    Word16 x[40], y[40], g[4];
    for (int i = 0; i < 40; i++) {
      y[i] = (Word16)((int)(rng() % 2000) - 1000);
      x[i] = (Word16)(y[i] * (int)(rng() % 8));  // up to seven times y: the gain limits at 1.2
    }
    Word16 gain = PitchGain(x, y, g);
    EXPECT_LE(gain, 19661);
    EXPECT_GE(gain, 0);
    for (int i = 0; i < 40; i++) x[i] = (Word16)-y[i];
    EXPECT_EQ(0, PitchGain(x, y, g));
  }
}

TEST(Pitch, LagIndicesDecodeToTheLagsTheyEncode) {
  for (int t0 = 20; t0 <= 143; t0++)
    for (int frac = -1; frac <= 1; frac++) {
      if (t0 > 84 && frac != 0) continue;  // fractions only below 85
      Word16 tmin = 0, tmax = 0;
      Word16 index = EncodeLag((Word16)t0, (Word16)frac, &tmin, &tmax, 0);
      Word16 t = 0, f = 0;
      DecodeLag(index, 0, &t, &f);
      ASSERT_EQ(t0, t) << t0 << " " << frac;
      ASSERT_EQ(frac, f) << t0 << " " << frac;
      // The second subframe codes a lag near the first.
      Word16 t2 = (Word16)(tmin + 4), t2f = 0;
      Word16 index2 = EncodeLag(t2, 1, &tmin, &tmax, 1);
      Word16 first = (Word16)t0;
      DecodeLag(index2, 1, &first, &t2f);
      ASSERT_EQ(t2, first);
      ASSERT_EQ(1, t2f);
    }
}

TEST(AlgebraicCodebook, TheCodeHasFourSignedPulsesOnFourTracks) {
  std::mt19937 rng(17);
  for (int k = 0; k < 40; k++) {
    Word16 x[40], h[40], code[40], y[40], sign = 0;
    h[0] = 4096;
    for (int i = 1; i < 40; i++) h[i] = (Word16)((int)(rng() % 3000) - 1500);
    for (int i = 0; i < 40; i++) x[i] = (Word16)((int)(rng() % 8000) - 4000);
    Word16 index = SearchAlgebraicCodebook(x, h, 60, 3277, code, y, &sign);  // no sharpening at lag 60
    int pulses = 0, tracks = 0;
    for (int i = 0; i < 40; i++)
      if (code[i] != 0) {
        EXPECT_TRUE(code[i] == 8191 || code[i] == -8192) << code[i];
        pulses++;
        tracks |= 1 << (i % 5 == 4 ? 3 : i % 5);
      }
    EXPECT_EQ(4, pulses);
    EXPECT_EQ(15, tracks);
    // The decoder rebuilds the same code from the indices.
    Word16 decoded[40];
    DecodeAlgebraicCodebook(sign, index, decoded);
    EXPECT_EQ(0, memcmp(code, decoded, sizeof code));
  }
}

TEST(Gains, AnErasedSubframeAttenuatesAndLowersThePredictorMemory) {
  GainPredictor p;
  GainPredictorReset(&p);
  Word16 code[40] = {0};
  Word16 pitch = 16384, gain = 1000;
  DecodeGains(&p, 0, code, true, &pitch, &gain);
  EXPECT_EQ(14745, pitch);  // 0.9
  EXPECT_EQ(979, gain);     // 0.98
  EXPECT_EQ(-14336, p.past_qua_en[0]);  // never below -14 dB
  p.past_qua_en[0] = p.past_qua_en[1] = p.past_qua_en[2] = p.past_qua_en[3] = 0;
  DecodeGains(&p, 0, code, true, &pitch, &gain);
  EXPECT_EQ(-4096, p.past_qua_en[0]);  // the average less 4 dB
  EXPECT_EQ(0, p.past_qua_en[1]);
}

}  // namespace
