// The finer LSP root search and the recursion of general order, on the LP
// analysis of real speech frames from the conformance inputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "g729_tables.h"
#include "itu_vectors.h"
#include "primitive_entries.h"

namespace {

// The encoder's analysis of one 240-sample span: windowed, autocorrelated to
// `lags` lags (scaled down until the energy fits), lag-windowed.
bool Analyse(const int16_t* speech, int lags, int32_t* r) {
  std::vector<int16_t> w(240);
  for (int i = 0; i < 240; i++) w[i] = (int16_t)((speech[i] * g729::tab::hamwindow[i] + 0x4000) >> 15);
  int32_t norm = 0;
  for (int tries = 0; tries < 8; tries++) {
    const int32_t status = G729Autocorrelation(w.data(), 240, r, lags, &norm);
    if (status == 0) return G729LagWindow(r + 1, lags - 1) == 0;
    if (status != 12) return false;
    for (int16_t& v : w) v = (int16_t)(v >> 2);
  }
  return false;
}

std::vector<int16_t> Speech() { return g729test::ReadWords(g729test::VectorPath("lsp.in")); }

TEST(RootSearch, TheSixtyPointGridIsTheFinerCosineGrid) {
  // Both grids run from just below 1 to just above -1, strictly down, and
  // meet exactly where their points coincide (every sixth and fifth point).
  EXPECT_EQ(32760, g729::tab::grid60[0]);
  EXPECT_EQ(-32760, g729::tab::grid60[60]);
  for (int i = 1; i <= 60; i++) EXPECT_LT(g729::tab::grid60[i], g729::tab::grid60[i - 1]) << i;
  for (int k = 0; k <= 10; k++) EXPECT_EQ(g729::tab::grid[5 * k], g729::tab::grid60[6 * k]) << k;
  EXPECT_EQ(16384, g729::tab::grid60[20]);  // cos(pi/3) = 1/2 exactly
  EXPECT_EQ(-16384, g729::tab::grid60[40]);
  for (int i = 0; i <= 60; i++) EXPECT_EQ(g729::tab::grid60[i], -g729::tab::grid60[60 - i]) << i;
}

TEST(RootSearch, TheSixtyPointSearchFindsTheFiftyPointRootsOnRealFrames) {
  const std::vector<int16_t> speech = Speech();
  ASSERT_GE(speech.size(), 240u * 20) << "conformance input missing";
  const int16_t start[10] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};
  int16_t prev50[10], prev60[10];
  memcpy(prev50, start, sizeof start);
  memcpy(prev60, start, sizeof start);
  int compared = 0, worst = 0;
  for (size_t at = 0; at + 240 <= speech.size(); at += 80) {
    int32_t r[11];
    if (!Analyse(&speech[at], 11, r)) continue;
    int16_t a[11], rc[2], error, lsp50[10], lsp60[10];
    if (G729LevinsonDurbin(r, a, rc, &error) != 0) continue;
    ASSERT_EQ(0, G729LpcToLsp50(a, prev50, lsp50));
    ASSERT_EQ(0, G729LpcToLsp60(a, prev60, lsp60));
    // Roots alternate between the two polynomials and come out in order.
    for (int i = 1; i < 10; i++) ASSERT_LT(lsp60[i], lsp60[i - 1]) << "span at " << at << ", root " << i;
    for (int i = 0; i < 10; i++) {
      const int d = std::abs(lsp60[i] - lsp50[i]);
      if (d > worst) worst = d;
      // The finer grid and two more halvings move a root by a small part of
      // one coarse step (about 2000 in Q15 near the middle); over 2,000
      // spans of this input the largest move is below 80.
      EXPECT_LE(d, 128) << "span at " << at << ", root " << i << ": " << lsp50[i] << " vs " << lsp60[i];
    }
    memcpy(prev50, lsp50, sizeof prev50);
    memcpy(prev60, lsp60, sizeof prev60);
    compared++;
  }
  EXPECT_GT(compared, 100);
  printf("root search: %d spans, largest difference %d (Q15)\n", compared, worst);
}

TEST(RootSearch, BothSearchesKeepThePreviousLspsWhenRootsAreMissing) {
  // A filter far outside the unit circle's range: its polynomials do not
  // change sign ten times on either grid.
  const int16_t a[11] = {4096, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767};
  const int16_t previous[10] = {31000, 27000, 22000, 16000, 9000, 1000, -7000, -14000, -20000, -25000};
  const struct {
    const char* name;
    std::function<int32_t(int16_t*)> search;
  } cases[] = {
      {"50 points", [&](int16_t* lsp) { return G729LpcToLsp50(a, previous, lsp); }},
      {"60 points", [&](int16_t* lsp) { return G729LpcToLsp60(a, previous, lsp); }},
  };
  for (const auto& c : cases) {
    int16_t lsp[10];
    memset(lsp, 0x55, sizeof lsp);
    EXPECT_EQ(0, c.search(lsp)) << c.name;
    EXPECT_EQ(0, memcmp(previous, lsp, sizeof lsp)) << c.name;
  }
}

TEST(LevinsonCore, OrderTenIsTheEncodersRecursionAndHigherOrdersExtendIt) {
  const std::vector<int16_t> speech = Speech();
  ASSERT_GE(speech.size(), 240u * 20) << "conformance input missing";
  int checked = 0;
  for (size_t at = 0; at + 240 <= speech.size() && checked < 200; at += 240) {
    int32_t r[13];
    if (!Analyse(&speech[at], 13, r)) continue;
    int16_t a10[11], rc2[2], err10, a_core[11], rc_core[10], err_core;
    if (G729LevinsonDurbin(r, a10, rc2, &err10) != 0) continue;
    ASSERT_EQ(0, G729LevinsonDurbinCore(r, 10, a_core, rc_core, &err_core)) << at;
    EXPECT_EQ(0, memcmp(a10, a_core, sizeof a10)) << at;
    EXPECT_EQ(rc2[0], rc_core[0]) << at;
    EXPECT_EQ(rc2[1], rc_core[1]) << at;
    EXPECT_EQ(err10, err_core) << at;
    // Order 12 runs through the same ten first steps: the same first ten
    // reflection coefficients, then two more, and no larger error.
    int16_t a12[13], rc12[12], err12;
    if (G729LevinsonDurbinCore(r, 12, a12, rc12, &err12) != 0) continue;
    EXPECT_EQ(0, memcmp(rc_core, rc12, sizeof rc_core)) << at;
    EXPECT_EQ(4096, a12[0]);
    EXPECT_LE(err12, err_core) << at;
    checked++;
  }
  EXPECT_GT(checked, 20);
}

TEST(LevinsonCore, OrderOneIsTheFirstReflection) {
  // r[1] = -r[0] / 2: the first reflection coefficient is 1/2 (Q15), and
  // the order-1 predictor is a[1] = -1/2 (Q12).
  const int32_t r[2] = {0x40000000, -0x20000000};
  int16_t a[2], rc[1], error;
  ASSERT_EQ(0, G729LevinsonDurbinCore(r, 1, a, rc, &error));
  EXPECT_EQ(4096, a[0]);
  EXPECT_NEAR(16384, rc[0], 1);
  EXPECT_NEAR(2048, a[1], 1);
}

TEST(LevinsonCore, FailedChecksReturnTheirStatusAndWriteNothing) {
  const int32_t good[31] = {0x40000000, 0x30000000, 0x20000000};
  const int32_t weak[31] = {65535, 100};
  const int32_t unstable[31] = {0x40000000, 0x40000000};
  int16_t error = 0x5555;
  const struct {
    const char* name;
    const int32_t* r;
    int32_t order;
    bool null_error;
    int32_t expected;
  } cases[] = {
      {"order 0", good, 0, false, -7},
      {"order 31", good, 31, false, -7},
      {"no error output", good, 10, true, -8},
      {"no autocorrelation", nullptr, 10, false, -8},
      {"a weak r[0]", weak, 10, false, 12},
      {"an unstable filter", unstable, 10, false, 12},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> a(31, 0x5555), rc(30, 0x5555);
    EXPECT_EQ(c.expected, G729LevinsonDurbinCore(c.r, c.order, a.data(), rc.data(), c.null_error ? nullptr : &error))
        << c.name;
    EXPECT_EQ(std::vector<int16_t>(31, 0x5555), a) << c.name;
    EXPECT_EQ(std::vector<int16_t>(30, 0x5555), rc) << c.name;
    EXPECT_EQ(0x5555, error) << c.name;
  }
  int16_t lsp[10];
  EXPECT_EQ(-8, G729LpcToLsp60(nullptr, lsp, lsp));
  EXPECT_EQ(-8, G729LpcToLsp60(lsp, nullptr, lsp));
}

}  // namespace
