// The linear-prediction, LSP, pitch and gain primitives through their
// dispatch entries: argument checks, edge cases, and agreement between the
// encoder's and the decoder's halves.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "algebraic_codebook.h"
#include "g729_tables.h"
#include "linear_prediction.h"
#include "primitive_entries.h"

namespace {

std::vector<int16_t> Noise(int n, int amplitude, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(-amplitude, amplitude);
  std::vector<int16_t> v(n);
  for (int16_t& s : v) s = (int16_t)d(rng);
  return v;
}

std::vector<int16_t> InitialLsfMemory() {
  std::vector<int16_t> m(40);
  for (int k = 0; k < 4; k++)
    for (int j = 0; j < 10; j++) m[k * 10 + j] = g729::tab::freq_prev_reset[j];
  return m;
}

const int16_t kInitialLsp[10] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};

TEST(AnalysisEntries, FailedChecksReturnTheirStatusAndWriteNothing) {
  std::vector<int16_t> x = Noise(240, 3000, 1), exc = Noise(194, 3000, 2), h(40, 0);
  h[0] = 4096;
  int32_t r32[13] = {0x40000000, 0x30000000};
  int32_t norm = 0;
  int16_t lsf[10] = {-1, 2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000};
  const struct {
    const char* name;
    int32_t expected;
    std::function<int32_t(int16_t*)> call;
  } cases[] = {
      {"autocorrelation without a lag", -6, [&](int16_t*) { return G729Autocorrelation(x.data(), 240, r32, 0, &norm); }},
      {"autocorrelation of no samples", -6, [&](int16_t*) { return G729Autocorrelation(x.data(), 0, r32, 11, &norm); }},
      {"autocorrelation without its exponent", -8, [&](int16_t*) { return G729Autocorrelation(x.data(), 240, r32, 11, nullptr); }},
      {"lag window over 13 lags", -7, [&](int16_t*) { return G729LagWindow(r32, 13); }},
      {"lag window over no lags", -6, [&](int16_t*) { return G729LagWindow(r32, 0); }},
      {"recursion on a weak r[0]", 12, [&](int16_t* a) {
         int32_t weak[11] = {65535, 100};
         return G729LevinsonDurbin(weak, a, a + 11, a + 13);
       }},
      {"recursion on an unstable filter", 12, [&](int16_t* a) {
         int32_t r[11] = {0x40000000, 0x40000000};
         return G729LevinsonDurbin(r, a, a + 11, a + 13);
       }},
      {"negative first LSF", -12, [&](int16_t* lsp) { return G729LsfToLsp(lsf, lsp); }},
      {"LSF decoding with predictor mode 2", -11, [&](int16_t* out) {
         int16_t code[4] = {2, 0, 0, 0};
         std::vector<int16_t> m = InitialLsfMemory();
         return G729DecodeLsf(code, m.data(), out);
       }},
      {"LSF decoding with first-stage index 128", -7, [&](int16_t* out) {
         int16_t code[4] = {0, 128, 0, 0};
         std::vector<int16_t> m = InitialLsfMemory();
         return G729DecodeLsf(code, m.data(), out);
       }},
      {"erasure update with mode 4", -11, [&](int16_t* m) { return G729LsfErasureUpdate(4, m, lsf); }},
      {"adaptive vector at lag 17", -11, [&](int16_t* e) {
         int16_t lag[2] = {17, 0};
         return G729AdaptiveCodebookVector(lag, e);
       }},
      {"adaptive vector at lag 145", -11, [&](int16_t* e) {
         int16_t lag[2] = {145, 0};
         return G729AdaptiveCodebookVector(lag, e);
       }},
      {"adaptive vector at fraction 2", -11, [&](int16_t* e) {
         int16_t lag[2] = {60, 2};
         return G729AdaptiveCodebookVector(lag, e);
       }},
      {"closed-loop search around lag 146", -7, [&](int16_t* v) {
         int16_t result[2];
         return G729ClosedLoopPitchSearch(146, x.data(), h.data(), exc.data(), result, v, 0);
       }},
      {"closed-loop search for subframe 2", -7, [&](int16_t* v) {
         int16_t result[2];
         return G729ClosedLoopPitchSearch(60, x.data(), h.data(), exc.data(), result, v, 2);
       }},
      {"backward filtering of no samples", -6, [&](int16_t* d) { return G729BackwardFilterTarget(h.data(), x.data(), 0, d); }},
      {"backward filtering of 41 samples", -7, [&](int16_t* d) { return G729BackwardFilterTarget(h.data(), x.data(), 41, d); }},
      {"gain quantiser with taming flag 2", -7, [&](int16_t* g) {
         int16_t memory[4] = {-14336, -14336, -14336, -14336}, indices[2];
         return G729QuantizeGains(x.data(), x.data(), h.data(), h.data(), memory, g, indices, 2);
       }},
      {"gain decoder with a first index of 8", -7, [&](int16_t* g) {
         int16_t memory[4] = {-14336, -14336, -14336, -14336}, indices[2] = {8, 0};
         return G729DecodeGains(1000, memory, indices, g);
       }},
      {"open-loop search into null", -8, [&](int16_t*) { return G729OpenLoopPitchSearch(x.data() + 143, nullptr); }},
      {"rounded autocorrelation of no samples", -6, [&](int16_t* r) { return G729AutocorrRounded(x.data(), -1, r, 11, &norm); }},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> out(200, 0x5555);
    EXPECT_EQ(c.expected, c.call(out.data())) << c.name;
    EXPECT_EQ(std::vector<int16_t>(200, 0x5555), out) << c.name << " wrote after a failed check";
  }
  EXPECT_EQ(0x40000000, r32[0]);
  EXPECT_EQ(0x30000000, r32[1]);
}

TEST(AnalysisEntries, AutocorrelationAndLagWindowAgreeWithTheEncodersAnalysis) {
  // The encoder's own analysis windows 240 samples and keeps 16+16 bits.
  std::vector<int16_t> speech = Noise(240, 2000, 3);
  std::vector<int16_t> windowed(240);
  for (int i = 0; i < 240; i++) windowed[i] = (int16_t)((speech[i] * g729::tab::hamwindow[i] + 0x4000) >> 15);
  int16_t r_h[13], r_l[13], exponent = 0;
  g729::Autocorrelation(speech.data(), 10, r_h, r_l, &exponent);
  int32_t r[11], norm = -1;
  ASSERT_EQ(0, G729Autocorrelation(windowed.data(), 240, r, 11, &norm));
  EXPECT_EQ(1 - exponent, norm);
  for (int i = 0; i <= 10; i++) {
    int16_t hi, lo;
    g729::LExtract(r[i], hi, lo);
    EXPECT_EQ(r_h[i], hi) << i;
    EXPECT_EQ(r_l[i], lo) << i;
  }
  g729::LagWindow(10, r_h, r_l);
  ASSERT_EQ(0, G729LagWindow(r + 1, 10));
  for (int i = 1; i <= 10; i++) {
    int16_t hi, lo;
    g729::LExtract(r[i], hi, lo);
    EXPECT_EQ(r_h[i], hi) << i;
    EXPECT_EQ(r_l[i], lo) << i;
  }
  // Levinson-Durbin on them is the encoder's.
  int16_t a[11], rc[2], error, a_codec[11], rc_codec[10], old_a[11] = {4096}, old_rc[2] = {0};
  ASSERT_EQ(0, G729LevinsonDurbin(r, a, rc, &error));
  ASSERT_TRUE(g729::LevinsonDurbin(r_h, r_l, a_codec, rc_codec, old_a, old_rc));
  EXPECT_EQ(0, memcmp(a, a_codec, sizeof a));
  EXPECT_EQ(rc_codec[0], rc[0]);
  EXPECT_EQ(rc_codec[1], rc[1]);

  // Edges: full scale overflows the energy, silence gives the bare +1.
  std::vector<int16_t> loud(240, 32767), quiet(240, 0);
  int32_t untouched[3] = {7, 7, 7};
  EXPECT_EQ(12, G729Autocorrelation(loud.data(), 240, untouched, 3, &norm));
  EXPECT_EQ(7, untouched[0]);
  ASSERT_EQ(0, G729Autocorrelation(quiet.data(), 240, untouched, 3, &norm));
  EXPECT_EQ(1 << 30, untouched[0]);
  EXPECT_EQ(0, untouched[1]);
  EXPECT_EQ(30, norm);

  int16_t rounded[3] = {7, 7, 7};
  ASSERT_EQ(0, G729AutocorrRounded(quiet.data(), 240, rounded, 3, &norm));
  EXPECT_EQ(0, rounded[0]);
  EXPECT_EQ(0, norm);
  ASSERT_EQ(0, G729AutocorrRounded(windowed.data(), 240, rounded, 3, &norm));
  EXPECT_GE(rounded[0], 16384);  // normalised
  EXPECT_LT(std::abs(rounded[1]), rounded[0]);
}

TEST(AnalysisEntries, NegativeLsfsStopTheConversionWhereTheyAre) {
  const struct {
    const char* name;
    int negative_at;  // -1: none
  } cases[] = {{"first", 0}, {"fifth", 4}, {"none", -1}};
  for (const auto& c : cases) {
    int16_t lsf[10], lsp[10];
    for (int i = 0; i < 10; i++) lsf[i] = (int16_t)(2000 + 2300 * i);
    if (c.negative_at >= 0) lsf[c.negative_at] = -5;
    for (int16_t& v : lsp) v = 0x5555;
    EXPECT_EQ(c.negative_at >= 0 ? -12 : 0, G729LsfToLsp(lsf, lsp)) << c.name;
    const int written = c.negative_at >= 0 ? c.negative_at : 10;
    for (int i = 0; i < 10; i++) {
      if (i < written)
        EXPECT_NE(0x5555, lsp[i]) << c.name << " " << i;
      else
        EXPECT_EQ(0x5555, lsp[i]) << c.name << " " << i;
    }
  }
}

TEST(AnalysisEntries, DecodedLsfsReportTheLimitsTheyNeeded) {
  // The predictor memory steers the prediction below or above the range.
  const struct {
    const char* name;
    int16_t low_memory, high_memory;
    int32_t status;
  } cases[] = {
      {"in range", 0, 0, 0},
      {"below the lower limit", -30000, 0, 13},
      {"above the upper limit", 0, 30000, 14},
      {"both", -30000, 30000, 15},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> memory = InitialLsfMemory();
    if (c.low_memory)
      for (int k = 0; k < 4; k++) memory[k * 10] = c.low_memory;
    if (c.high_memory)
      for (int k = 0; k < 4; k++) memory[k * 10 + 9] = c.high_memory;
    int16_t code[4] = {0, 10, 5, 7}, lsf[10];
    EXPECT_EQ(c.status, G729DecodeLsf(code, memory.data(), lsf)) << c.name;
    EXPECT_GE(lsf[0], 40) << c.name;
    EXPECT_LE(lsf[9], 25681) << c.name;
    for (int i = 1; i < 10; i++) EXPECT_GE(lsf[i] - lsf[i - 1], 321) << c.name << " " << i;
  }
}

TEST(AnalysisEntries, TheQuantisedLspsAreWhatTheDecoderRebuildsFromTheCode) {
  std::vector<int16_t> enc_memory = InitialLsfMemory(), dec_memory = InitialLsfMemory();
  int16_t lsp_prev[10];
  memcpy(lsp_prev, kInitialLsp, sizeof lsp_prev);
  for (int frame = 0; frame < 12; frame++) {
    // A real LP filter from a noisy frame's analysis.
    std::vector<int16_t> speech = Noise(240, 6000, 100 + frame);
    for (int i = 1; i < 240; i++) speech[i] = (int16_t)((speech[i] + speech[i - 1] * 3) / 4);
    std::vector<int16_t> windowed(240);
    for (int i = 0; i < 240; i++) windowed[i] = (int16_t)((speech[i] * g729::tab::hamwindow[i] + 0x4000) >> 15);
    int32_t r[11], norm;
    ASSERT_EQ(0, G729Autocorrelation(windowed.data(), 240, r, 11, &norm));
    ASSERT_EQ(0, G729LagWindow(r + 1, 10));
    int16_t a[11], rc[2], error, lsp[10], lsp_q[10], code[2];
    ASSERT_EQ(0, G729LevinsonDurbin(r, a, rc, &error));
    ASSERT_EQ(0, G729LpcToLsp50(a, lsp_prev, lsp));
    memcpy(lsp_prev, lsp, sizeof lsp);
    ASSERT_EQ(0, G729LspQuantize(lsp, enc_memory.data(), lsp_q, code));

    const int16_t record[4] = {(int16_t)(code[0] >> 7), (int16_t)(code[0] & 127), (int16_t)(code[1] >> 5),
                               (int16_t)(code[1] & 31)};
    int16_t lsf[10], decoded[10];
    const int32_t status = G729DecodeLsf(record, dec_memory.data(), lsf);
    EXPECT_TRUE(status == 0 || (status >= 13 && status <= 15)) << status;
    ASSERT_EQ(0, G729LsfToLsp(lsf, decoded));
    EXPECT_EQ(0, memcmp(lsp_q, decoded, sizeof decoded)) << "frame " << frame;
    EXPECT_EQ(enc_memory, dec_memory) << "frame " << frame;

    // And back to LP coefficients: a[0] is 4096.
    int16_t a_q[11];
    ASSERT_EQ(0, G729LspToLpc(lsp_q, a_q));
    EXPECT_EQ(4096, a_q[0]);
  }
  // A silence description over the same memories: the encoder's quantised
  // LSFs are the decoder's.
  int16_t sid_lsf[10], sid_q[10], sid_code[3], sid_decoded[10];
  for (int i = 0; i < 10; i++) sid_lsf[i] = (int16_t)(1500 + 2400 * i);
  ASSERT_EQ(0, G729SidLsfQuantize(sid_lsf, enc_memory.data(), sid_q, sid_code));
  const int32_t sid_status = G729DecodeSidLsf(sid_code, dec_memory.data(), sid_decoded);
  EXPECT_TRUE(sid_status == 0 || (sid_status >= 13 && sid_status <= 15)) << sid_status;
  EXPECT_EQ(0, memcmp(sid_q, sid_decoded, sizeof sid_q));
  EXPECT_EQ(enc_memory, dec_memory);
  for (int i = 0; i < 10; i++) EXPECT_LT(std::abs(sid_q[i] - sid_lsf[i]), 1200) << i;
  const int16_t bad_sid[3] = {0, 32, 0};
  EXPECT_EQ(-7, G729DecodeSidLsf(bad_sid, dec_memory.data(), sid_decoded));

  // An erasure repeats the LSFs and moves both memories alike.
  int16_t lsf[10];
  for (int i = 0; i < 10; i++) lsf[i] = (int16_t)(2000 + 2300 * i);
  std::vector<int16_t> before = dec_memory;
  ASSERT_EQ(0, G729LsfErasureUpdate(1, dec_memory.data(), lsf));
  EXPECT_EQ(std::vector<int16_t>(before.begin(), before.begin() + 30),
            std::vector<int16_t>(dec_memory.begin() + 10, dec_memory.end()));
}

TEST(PitchEntries, ClosedLoopSearchStaysInItsRangeAndReturnsTheVectorItBuilt) {
  const struct {
    const char* name;
    int16_t t;
    int32_t subframe;
    int16_t t_min, t_max;
  } cases[] = {
      {"subframe 0 near the top", 142, 0, 137, 143},
      {"subframe 0 near the bottom", 21, 0, 20, 26},
      {"subframe 1 in the middle", 60, 1, 55, 64},
      {"subframe 1 near the top", 140, 1, 134, 143},
  };
  std::vector<int16_t> h(40, 0);
  h[0] = 4096;
  h[1] = 2000;
  for (const auto& c : cases) {
    for (unsigned seed = 0; seed < 6; seed++) {
      std::vector<int16_t> exc = Noise(194, 4000, 10 + seed), x = Noise(40, 4000, 20 + seed);
      int16_t result[2], vector[40];
      ASSERT_EQ(0, G729ClosedLoopPitchSearch(c.t, x.data(), h.data(), exc.data(), result, vector, c.subframe)) << c.name;
      EXPECT_GE(result[0], c.t_min) << c.name;
      EXPECT_LE(result[0], c.t_max) << c.name;
      EXPECT_GE(result[1], -1) << c.name;
      EXPECT_LE(result[1], 1) << c.name;
      if (c.subframe == 0 && result[0] > 84) {
        EXPECT_EQ(0, result[1]) << c.name << ": no fractions above 84";
      }
      // The vector is the adaptive-codebook vector at the lag found.
      std::vector<int16_t> again = exc;
      ASSERT_EQ(0, G729AdaptiveCodebookVector(result, again.data()));
      EXPECT_EQ(std::vector<int16_t>(again.begin() + 154, again.end()), std::vector<int16_t>(vector, vector + 40))
          << c.name;
      EXPECT_EQ(std::vector<int16_t>(exc.begin() + 154, exc.end()), std::vector<int16_t>(vector, vector + 40)) << c.name;
    }
  }
  std::vector<int16_t> silence(223, 0);
  int16_t t = 0;
  ASSERT_EQ(0, G729OpenLoopPitchSearch(silence.data() + 143, &t));
  EXPECT_EQ(20, t);
}

TEST(PitchEntries, PitchGainIsBoundedAndZeroForOpposedSignals) {
  const int16_t c[11] = {4096, -2000, 500};
  for (unsigned seed = 0; seed < 20; seed++) {
    std::vector<int16_t> v = Noise(40, 8000, 40 + seed), y(40), x(40);
    int16_t gain = -1;
    // A target the filtered vector explains twice over: the bound holds.
    std::vector<int16_t> filtered(40);
    ASSERT_EQ(0, G729PitchGain(v.data(), c, v.data(), filtered.data(), &gain));
    for (int i = 0; i < 40; i++) x[i] = (int16_t)std::max(-32768, std::min(32767, 2 * filtered[i]));
    ASSERT_EQ(0, G729PitchGain(x.data(), c, v.data(), y.data(), &gain));
    EXPECT_EQ(filtered, y);
    EXPECT_LE(gain, 19661);
    EXPECT_GT(gain, 16384);
    for (int i = 0; i < 40; i++) x[i] = (int16_t)-y[i];
    ASSERT_EQ(0, G729PitchGain(x.data(), c, v.data(), y.data(), &gain));
    EXPECT_EQ(0, gain);
  }
}

TEST(CodebookEntries, TheSearchPlacesFourPulsesOnFourTracksAsTheEncoderDoes) {
  for (unsigned seed = 0; seed < 24; seed++) {
    std::vector<int16_t> h = Noise(40, 1500, 200 + seed), x = Noise(40, 3000 + 400 * seed, 300 + seed);
    h[0] = 4096;
    for (int i = 1; i < 40; i++) h[i] = (int16_t)(h[i] * (40 - i) / 40);
    std::vector<int32_t> cells(616);
    int16_t d[40], code[40], codes[2];
    ASSERT_EQ(0, G729BackwardFilterTarget(h.data(), x.data(), 40, d));
    ASSERT_EQ(0, G729CodebookCorrelations(h.data(), cells.data()));
    ASSERT_EQ(0, G729CodebookSearch(d, cells.data(), code, codes));
    for (int32_t cell : cells) ASSERT_TRUE(cell >= -32768 && cell <= 32767) << "cells are consumed (shifted)";

    bool track_used[5] = {false};
    int pulses = 0;
    for (int i = 0; i < 40; i++) {
      if (!code[i]) continue;
      pulses++;
      EXPECT_TRUE(code[i] == 8191 || code[i] == -8192) << code[i];
      track_used[i % 5] = true;
    }
    EXPECT_EQ(4, pulses) << seed;
    EXPECT_TRUE(track_used[0] && track_used[1] && track_used[2] && (track_used[3] != track_used[4])) << seed;

    // The encoder's one-call search on the same response and target.
    std::vector<int16_t> h_codec = h, code_codec(40), y(40);
    int16_t sign = 0;
    const int16_t index = g729::SearchAlgebraicCodebook(x.data(), h_codec.data(), 60, 3277, code_codec.data(),
                                                        y.data(), &sign);
    EXPECT_EQ(code_codec, std::vector<int16_t>(code, code + 40)) << seed;
    EXPECT_EQ(sign, codes[0]) << seed;
    EXPECT_EQ(index, codes[1]) << seed;
  }
}

TEST(GainEntries, TheDecoderRebuildsTheQuantisersGainsAndMemory) {
  int16_t enc_memory[4] = {-14336, -14336, -14336, -14336}, dec_memory[4] = {-14336, -14336, -14336, -14336};
  for (unsigned seed = 0; seed < 16; seed++) {
    std::vector<int16_t> code(40, 0), x = Noise(40, 3000, 60 + seed), y = Noise(40, 3000, 80 + seed);
    code[seed % 5] = 8191;
    code[5 + seed % 7] = -8192;
    code[17] = 8191;
    code[33] = -8192;
    std::vector<int16_t> z(40);
    for (int i = 0; i < 40; i++) z[i] = (int16_t)(code[i] / 4 + (i ? code[i - 1] / 8 : 0));
    int16_t gains[2], positions[2];
    ASSERT_EQ(0, G729QuantizeGains(x.data(), y.data(), code.data(), z.data(), enc_memory, gains, positions, seed & 1));
    ASSERT_GE(positions[0], 0);
    ASSERT_LE(positions[0], 7);
    ASSERT_GE(positions[1], 0);
    ASSERT_LE(positions[1], 15);
    const int16_t sent[2] = {g729::tab::map1[positions[0]], g729::tab::map2[positions[1]]};
    int32_t energy = 0;
    ASSERT_EQ(0, G729DotProduct16(code.data(), code.data(), 40, &energy, 0));
    int16_t decoded[2] = {0, 0};
    ASSERT_EQ(0, G729DecodeGains(energy, dec_memory, sent, decoded));
    EXPECT_EQ(gains[0], decoded[0]) << seed;
    EXPECT_EQ(gains[1], decoded[1]) << seed;
    EXPECT_EQ(0, memcmp(enc_memory, dec_memory, sizeof enc_memory)) << seed;
  }
  // An erased subframe on the floor of the memory stays on the floor.
  int16_t floor_memory[4] = {-14336, -14336, -14336, -14336}, gains[2] = {16384, 1000};
  ASSERT_EQ(0, G729DecodeGains(0, floor_memory, nullptr, gains));
  EXPECT_EQ(-14336, floor_memory[0]);
  EXPECT_EQ((16384 * 29491) >> 15, gains[0]);
  EXPECT_EQ((1000 * 32111) >> 15, gains[1]);
}

}  // namespace
