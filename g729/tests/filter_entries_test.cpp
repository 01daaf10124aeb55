// The filter, noise and history primitives through their dispatch entries,
// and the dispatch table itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "filters.h"
#include "postfilter.h"
#include "g729/g729.h"
#include "g729_tables.h"
#include "primitive_entries.h"

namespace {

// A stable tenth-order filter (the weighted coefficients of a real frame
// would do as well): 1 - 0.9 z^-1, Q12.
const int16_t kFilter[11] = {4096, -3686, 0, 0, 0, 0, 0, 0, 0, 0, 0};

std::vector<int16_t> Speechlike(int n, int amplitude, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(-amplitude, amplitude);
  std::vector<int16_t> v(n);
  int16_t prev = 0;
  for (int16_t& s : v) s = prev = (int16_t)((prev * 3) / 4 + d(rng) / 4);
  return v;
}

TEST(FilterEntries, FailedChecksReturnTheirStatusAndWriteNothing) {
  std::vector<int16_t> x = Speechlike(40 + 10, 1000, 1);
  int16_t mem[10] = {0};
  const struct {
    const char* name;
    int32_t expected;
    std::function<int32_t(int16_t*)> call;
  } cases[] = {
      {"synthesis at sf 11", -13, [&](int16_t* y) { return G729SynthesisFilter(kFilter, x.data(), y, 40, 11, mem); }},
      {"synthesis at sf 14", -13, [&](int16_t* y) { return G729SynthesisFilter(kFilter, x.data(), y, 40, 14, nullptr); }},
      {"synthesis in place at sf 11", -13, [&](int16_t* y) { return G729SynthesisFilterInPlace(kFilter, y, 40, 11, mem); }},
      {"synthesis in place at sf 14", -13, [&](int16_t* y) { return G729SynthesisFilterInPlace(kFilter, y, 40, 14, nullptr); }},
      {"synthesis without coefficients", -8, [&](int16_t* y) { return G729SynthesisFilter(nullptr, x.data(), y, 40, 12, mem); }},
      {"synthesis of no samples", -6, [&](int16_t* y) { return G729SynthesisFilter(kFilter, x.data(), y, 0, 12, mem); }},
      {"residual without coefficients", -8, [&](int16_t* y) { return G729ResidualFilter40(x.data() + 10, nullptr, y); }},
      {"first-order filter without memory", -8, [&](int16_t* y) { return G729FirstOrderFilter(100, x.data(), y, 40, nullptr); }},
      {"first-order filter of no samples", -6, [&](int16_t* y) { return G729FirstOrderFilter(100, x.data(), y, 0, mem); }},
      {"target update into null", -8, [&](int16_t*) { return G729UpdateTarget(100, x.data(), x.data(), nullptr); }},
      {"sharpening of no samples", -6, [&](int16_t* y) { return G729PitchSharpen(100, 20, y + 20, 0); }},
      {"sharpening at lag 0", -7, [&](int16_t* y) { return G729PitchSharpen(100, 0, y + 20, 20); }},
      {"high-pass filter at sf 14", -13, [&](int16_t* y) {
         G729HighPassState s;
         G729HighPassInit(1, 2, 3, 4, 5, 6, &s);
         return G729HighPassFilter(y, 40, 14, &s);
       }},
      {"high-pass filter without a state", -8, [&](int16_t* y) { return G729HighPassFilter(y, 40, 12, nullptr); }},
      {"impulse response at sf 11", -13, [&](int16_t* h) { return G729ImpulseResponse(kFilter, h, 40, 11); }},
      {"impulse response of no samples", -6, [&](int16_t* h) { return G729ImpulseResponse(kFilter, h, -2, 12); }},
      {"noise without a seed", -8, [&](int16_t* y) { return G729GaussNoise(nullptr, y, 40); }},
      {"noise of no samples", -6, [&](int16_t* y) {
         int16_t seed = 0;
         return G729GaussNoise(&seed, y, 0);
       }},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> out(40, 0x5555);
    EXPECT_EQ(c.expected, c.call(out.data())) << c.name;
    EXPECT_EQ(std::vector<int16_t>(40, 0x5555), out) << c.name << " wrote after a failed check";
  }
  int32_t size = 0;
  EXPECT_EQ(-8, G729HighPassStateSize(nullptr));
  EXPECT_EQ(0, G729HighPassStateSize(&size));
  EXPECT_EQ(24, size);
  EXPECT_EQ(-8, G729HistoryRecordSize(nullptr));
  EXPECT_EQ(0, G729HistoryRecordSize(&size));
  EXPECT_EQ(20, size);
  EXPECT_EQ(-8, G729HistoryRecordReset(nullptr));
}

TEST(FilterEntries, SynthesisWithMemorySaturatesAndReportsItWithoutMemoryItWraps) {
  // A pulse train through 1/(1 - 0.9 z^-1) climbs past full scale.
  std::vector<int16_t> x(40, 8000);
  int16_t mem[10] = {0};
  std::vector<int16_t> sat(40), wrapped(40), in_place = x;
  EXPECT_EQ(12, G729SynthesisFilter(kFilter, x.data(), sat.data(), 40, 12, mem));
  EXPECT_EQ(0, G729SynthesisFilter(kFilter, x.data(), wrapped.data(), 40, 12, nullptr));
  EXPECT_EQ(0, G729SynthesisFilterInPlace(kFilter, in_place.data(), 40, 12, mem));
  int first_saturated = -1;
  for (int i = 0; i < 40 && first_saturated < 0; i++)
    if (sat[i] == 32767) first_saturated = i;
  ASSERT_GT(first_saturated, 0);
  // Up to there both agree; then the saturated value feeds the recursion,
  // while the other wraps.
  for (int i = 0; i < first_saturated; i++) EXPECT_EQ(sat[i], wrapped[i]) << i;
  EXPECT_LT(wrapped[first_saturated], 0);
  EXPECT_EQ(in_place, wrapped);
  for (int i = first_saturated; i < 40; i++) EXPECT_EQ(32767, sat[i]) << i;
}

TEST(FilterEntries, FiltersAgreeWithTheCodecsOwnStepsOnSpeech) {
  std::vector<int16_t> x = Speechlike(10 + 40, 6000, 7);
  g729::Word16 weighted[11];
  g729::Word16 a[11] = {4096, -5000, 3000, -1200, 800, -300, 200, -100, 50, -20, 10};
  g729::WeightCoefficients(a, 24576, weighted);

  // Synthesis with a memory: the codec's filter on the same history.
  g729::Word16 mem[10];
  for (int i = 0; i < 10; i++) mem[i] = x[i];
  std::vector<int16_t> ours(40), codec(40);
  EXPECT_EQ(0, G729SynthesisFilter(weighted, x.data() + 10, ours.data(), 40, 12, mem));
  g729::SynthesisFilter(weighted, x.data() + 10, codec.data(), 40, mem, false);
  EXPECT_EQ(codec, ours);

  // Residual over the ten samples before the subframe.
  EXPECT_EQ(0, G729ResidualFilter40(x.data() + 10, weighted, ours.data()));
  g729::ResidualFilter(weighted, x.data() + 10, codec.data(), 40);
  EXPECT_EQ(codec, ours);

  // Impulse response: the synthesis of a unit pulse without memory.
  std::vector<int16_t> pulse(40, 0);
  pulse[0] = 4096;
  EXPECT_EQ(0, G729ImpulseResponse(weighted, ours.data(), 40, 12));
  EXPECT_EQ(0, G729SynthesisFilter(weighted, pulse.data(), codec.data(), 40, 12, nullptr));
  EXPECT_EQ(codec, ours);
  std::vector<int16_t> one(40, 0x5555);
  EXPECT_EQ(0, G729ImpulseResponse(weighted, one.data(), 1, 12));
  EXPECT_EQ(4096, one[0]);
  EXPECT_EQ(0x5555, one[1]);
}

TEST(FilterEntries, HighPassFiltersAreThePreAndPostProcessingFilters) {
  const struct {
    const char* name;
    const int16_t* a;
    const int16_t* b;
    int32_t sf;
    void (*codec)(g729::HighPassState*, g729::Word16*, int);
  } cases[] = {
      {"140 Hz pre-processing, Q12", g729::tab::a140, g729::tab::b140, 12, g729::PreProcess},
      {"100 Hz post-processing, Q13", g729::tab::a100, g729::tab::b100, 13, g729::PostProcess},
  };
  for (const auto& c : cases) {
    G729HighPassState state;
    ASSERT_EQ(0, G729HighPassInit(c.a[0], c.a[1], c.a[2], c.b[0], c.b[1], c.b[2], &state));
    g729::HighPassState codec_state;
    g729::HighPassInit(&codec_state);
    for (int frame = 0; frame < 6; frame++) {
      std::vector<int16_t> ours = Speechlike(80, 12000, 30 + frame);
      // A DC offset the filter must take away.
      for (int16_t& s : ours) s = (int16_t)(s / 2 + 3000);
      std::vector<int16_t> codec = ours;
      ASSERT_EQ(0, G729HighPassFilter(ours.data(), 80, c.sf, &state)) << c.name;
      c.codec(&codec_state, codec.data(), 80);
      EXPECT_EQ(codec, ours) << c.name << " frame " << frame;
    }
    // A constant input decays towards zero.
    std::vector<int16_t> dc(800, 4000);
    ASSERT_EQ(0, G729HighPassFilter(dc.data(), 800, c.sf, &state));
    EXPECT_LT(std::abs(dc.back()), 40) << c.name;
  }
}

TEST(FilterEntries, FirstOrderFilterAndSharpeningWorkInTheirOrder) {
  // A(z/0.75)(1 - 0.7 z^-1) from the coefficients and a zero memory.
  g729::Word16 a[11] = {4096, -5000, 3000, -1200, 800, -300, 200, -100, 50, -20, 10};
  int16_t c[11], memory = 0;
  ASSERT_EQ(0, G729FirstOrderFilter(22938, a, c, 11, &memory));
  EXPECT_EQ(a[0], c[0]);
  for (int i = 1; i < 11; i++) EXPECT_EQ((int16_t)(a[i] - ((22938 * a[i - 1]) >> 15)), c[i]) << i;
  EXPECT_EQ(a[10], memory);
  // In place gives the same.
  ASSERT_EQ(0, G729FirstOrderFilter(22938, a, a, 11, &(memory = 0)));
  EXPECT_EQ(0, memcmp(a, c, sizeof c));

  // Sharpening at lag 20 over 40 samples: the second half is fed from the
  // first half already sharpened.
  std::vector<int16_t> v(60, 0);
  v[0] = 1000;    // 20 before the vector: feeds v[20]
  v[20] = 1000;   // the vector's first sample: feeds its 20th
  ASSERT_EQ(0, G729PitchSharpen(16384, 20, v.data() + 20, 40));
  EXPECT_EQ(1500, v[20]);
  EXPECT_EQ(750, v[40]);

  int16_t z[40];
  std::vector<int16_t> y(40, 1000), x(40, 0);
  ASSERT_EQ(0, G729UpdateTarget(8192, y.data(), x.data(), z));
  EXPECT_EQ(-500, z[0]);
}

TEST(PostfilterEntries, QuietSignalsAndFlatFiltersPassUnchanged) {
  int16_t ap[11] = {4096, -2000, 1000, -500, 250, 0, 0, 0, 0, 0, 0};
  std::vector<int16_t> speech(50, 0), residual(194, 0);
  int16_t out[40];
  for (int16_t& v : out) v = 0x5555;
  EXPECT_EQ(-7, G729PitchPostfilter(17, speech.data() + 10, ap, residual.data(), out));
  EXPECT_EQ(-7, G729PitchPostfilter(146, speech.data() + 10, ap, residual.data(), out));
  for (int16_t v : out) EXPECT_EQ(0x5555, v);
  // Silence: the voicing test fails and the output is the zero residual.
  ASSERT_EQ(0, G729PitchPostfilter(142, speech.data() + 10, ap, residual.data(), out));
  for (int16_t v : out) EXPECT_EQ(0, v);

  // Equal numerator and denominator: no tilt, the memory takes the last sample.
  int16_t coefficients[22];
  memcpy(coefficients, ap, sizeof ap);
  memcpy(coefficients + 11, ap, sizeof ap);
  std::vector<int16_t> signal = Speechlike(41, 5000, 3), before = signal;
  ASSERT_EQ(0, G729PostfilterTilt(coefficients, signal.data() + 1));
  EXPECT_EQ(std::vector<int16_t>(before.begin() + 1, before.end()), std::vector<int16_t>(signal.begin() + 1, signal.end()));
  EXPECT_EQ(before.back(), signal[0]);

  // A silent postfiltered signal: the past gain drops to 0, nothing else.
  std::vector<int16_t> silent(40, 0), unfiltered = Speechlike(40, 5000, 4);
  int16_t past_gain = 4096;
  ASSERT_EQ(0, G729PostfilterGainControl(unfiltered.data(), silent.data(), &past_gain));
  EXPECT_EQ(0, past_gain);
  EXPECT_EQ(std::vector<int16_t>(40, 0), silent);
  EXPECT_EQ(-8, G729PostfilterGainControl(unfiltered.data(), silent.data(), nullptr));
}

TEST(PostfilterEntries, TheEntriesChainedAreTheDecodersPostfilter) {
  g729::Word16 a[22] = {4096, -5000, 3000, -1200, 800, -300, 200, -100, 50, -20, 10,
                        4096, -4000, 2500, -1000, 700, -300, 150, -80, 40, -20, 10};
  std::vector<int16_t> synth(10 + 80, 0);
  std::vector<int16_t> voiced = Speechlike(80, 9000, 9);
  for (int i = 0; i < 80; i++) synth[10 + i] = (int16_t)(voiced[i] / 2 + (i % 50 == 0 ? 12000 : 0));
  const std::vector<int16_t> input = synth;
  g729::PostfilterState state;
  g729::PostfilterInit(&state);
  const g729::Word16 lags[2] = {50, 50};
  g729::Postfilter(&state, synth.data() + 10, a, lags, true);

  std::vector<int16_t> residual(194, 0), out(41, 0);
  int16_t ap3[11], ap4[11], coefficients[22], memory[10] = {0}, past_gain = 4096, y[40];
  g729::WeightCoefficients(a, 18022, ap3);
  g729::WeightCoefficients(a, 22938, ap4);
  memcpy(coefficients, ap3, sizeof ap3);
  memcpy(coefficients + 11, ap4, sizeof ap4);
  ASSERT_EQ(0, G729PitchPostfilter(50, input.data() + 10, ap3, residual.data(), out.data() + 1));
  ASSERT_EQ(0, G729PostfilterTilt(coefficients, out.data() + 1));
  ASSERT_EQ(0, G729SynthesisFilter(ap4, out.data() + 1, y, 40, 12, memory));
  ASSERT_EQ(0, G729PostfilterGainControl(input.data() + 10, y, &past_gain));
  EXPECT_EQ(std::vector<int16_t>(synth.begin() + 10, synth.begin() + 50), std::vector<int16_t>(y, y + 40));
}

TEST(NoiseEntries, GaussianNoiseSumsTwelveGeneratorValues) {
  int16_t seed = 0, expect_seed = 0;
  int32_t sum = 0;
  for (int k = 0; k < 12; k++) {
    expect_seed = (int16_t)(expect_seed * 31821 + 13849);
    sum += expect_seed;
  }
  int16_t out[2] = {0x5555, 0x5555};
  ASSERT_EQ(0, G729GaussNoise(&seed, out, 1));
  EXPECT_EQ((int16_t)(sum >> 7), out[0]);
  EXPECT_EQ(expect_seed, seed);
  EXPECT_EQ(0x5555, out[1]);

  G729HistoryRecord record;
  memset(&record, 0x77, sizeof record);
  ASSERT_EQ(0, G729HistoryRecordReset(&record));
  for (int16_t v : record.values) EXPECT_EQ(0, v);
  for (int16_t v : record.words) EXPECT_EQ(0, v);
}

TEST(DispatchTable, EveryBuiltPrimitiveHasABuildInEverySlotAndOthersNone) {
  const int built[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                       22, 23, 24, 27, 28, 29, 31, 32, 33, 34, 39, 40, 41, 42, 43, 44, 45, 46, 47, 50, 51, 52,
                       53, 54, 55, 56, 57, 58, 59, 69, 70, 71, 72, 73, 74, 75, 78, 82, 83, 84, 85, 86, 87, 88, 89, 93};
  const int unused[] = {9, 10, 25, 26, 30, 35, 36, 37, 38, 48, 49, 60, 76, 77, 79, 80, 81, 90, 91, 92};
  for (int index : built)
    for (int path = 0; path < 6; path++) EXPECT_NE(nullptr, G729DispatchSlot(index, path)) << index << "/" << path;
  for (int index : unused)
    for (int path = 0; path < 6; path++) EXPECT_EQ(nullptr, G729DispatchSlot(index, path)) << index << "/" << path;
  EXPECT_EQ(nullptr, G729DispatchSlot(94, 0));
  EXPECT_EQ(nullptr, G729DispatchSlot(-1, 0));
  EXPECT_EQ(nullptr, G729DispatchSlot(2, 6));
}

TEST(DispatchTable, EntriesGiveTheSameResultOnEveryPath) {
  std::vector<int16_t> x = Speechlike(50, 20000, 11);
  const int32_t saved = G729CPUPath;
  std::vector<int16_t> first;
  for (int32_t path = 0; path < 6; path++) {
    ASSERT_EQ(0, G729SetCPUPath(path));
    std::vector<int16_t> r(40);
    int32_t dot = 0;
    ASSERT_EQ(0, G729ResidualFilter40(x.data() + 10, kFilter, r.data()));
    ASSERT_EQ(0, G729DotProduct16(x.data(), x.data(), 50, &dot, 3));
    r.push_back((int16_t)dot);
    r.push_back((int16_t)(dot >> 16));
    if (path == 0)
      first = r;
    else
      EXPECT_EQ(first, r) << "path " << path;
  }
  G729SetCPUPath(saved);
}

}  // namespace
