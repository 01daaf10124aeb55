// Processor dispatch: the path chosen from the feature bits, the aligned
// allocator, and the vector builds of the hot primitives, which must agree
// with the generic build on every input, extreme ones included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "dispatch.h"
#include "g729_tables.h"
#include "g729/g729.h"

using namespace g729;

namespace {

const uint64_t kSse2 = 1u << 2, kSse3 = 1u << 3, kSsse3 = 1u << 4, kSse41 = 1u << 6, kAvx = 1u << 8,
               kAvxSaved = 1u << 9;

struct PathCase {
  const char* name;
  int have_cpuid;
  uint64_t bits;
  int32_t path;
};
const PathCase kPathCases[] = {
    {"no CPUID", 0, kSse2 | kAvx | kAvxSaved, 0},
    {"no vector unit", 1, 0, 0},
    {"SSE2 only", 1, kSse2, 1},
    {"SSE3", 1, kSse2 | kSse3, 2},
    {"SSSE3 without SSE4.1", 1, kSse2 | kSse3 | kSsse3, 3},
    {"SSE4.1", 1, kSse2 | kSse3 | kSsse3 | kSse41, 4},
    {"AVX without saved registers", 1, kSse2 | kSse3 | kSsse3 | kSse41 | kAvx, 4},
    {"AVX with saved registers", 1, kSse2 | kSse3 | kSsse3 | kSse41 | kAvx | kAvxSaved, 5},
};

TEST(ProcessorDispatch, ChoosesThePathOfTheBestFeatureFirst) {
  for (const PathCase& c : kPathCases) EXPECT_EQ(c.path, G729ChoosePath(c.have_cpuid, c.bits)) << c.name;
}

TEST(ProcessorDispatch, CountsAvxOnlyWhenTheSystemSavesItsRegisters) {
  const uint32_t osxsave_avx = (1u << 27) | (1u << 28);
  EXPECT_EQ(kAvx | kAvxSaved, G729FeatureBitsFromCPUID(osxsave_avx, 0, 1) & (kAvx | kAvxSaved));
  EXPECT_EQ(kAvx, G729FeatureBitsFromCPUID(osxsave_avx, 0, 0) & (kAvx | kAvxSaved));
  EXPECT_EQ(0u, G729FeatureBitsFromCPUID(1u << 27, 0, 1) & kAvxSaved);
  EXPECT_EQ(kSse2 | (1u << 0) | (1u << 1), G729FeatureBitsFromCPUID(0, (1u << 23) | (1u << 25) | (1u << 26), 0));
}

TEST(ProcessorDispatch, InitialisationReportsAnotherVendorButStillChoosesAPath) {
  int32_t saved = G729CPUPath;
  int r = G729CPUDispatchInit();
  EXPECT_EQ(G729IsGenuineIntel() ? 0 : 20, r);
  uint64_t bits = 0;
  ASSERT_EQ(0, G729CPUFeatureMask(&bits));
  EXPECT_EQ(G729ChoosePath(1, bits), G729CPUPath);
  EXPECT_EQ(-8, G729CPUFeatureMask(nullptr));
  EXPECT_EQ(-7, G729SetCPUPath(6));
  EXPECT_EQ(-7, G729SetCPUPath(-1));
  G729SetCPUPath(saved);
}

TEST(AlignedAllocator, RefusesEmptySizesAndAlignsEveryBlockTo32Bytes) {
  EXPECT_EQ(nullptr, G729AlignedMalloc(0));
  EXPECT_EQ(nullptr, G729AlignedMalloc(-5));
  G729AlignedFree(nullptr);
  std::vector<void*> blocks;
  for (int size : {1, 3, 20, 76, 4432, 10280}) {
    void* p = G729AlignedMalloc(size);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 32) << size;
    memset(p, 0xA5, size);  // the whole block is usable
    blocks.push_back(p);
  }
  for (void* p : blocks) G729AlignedFree(p);
}

// Inputs that reach the edges of the arithmetic: full-scale values of both
// signs (two products of -32768 * -32768 make the one pair sum that 32 bits
// cannot hold), then random speech-like and random full-range vectors.
std::vector<std::vector<int16_t>> Inputs() {
  std::vector<std::vector<int16_t>> v;
  v.push_back(std::vector<int16_t>(240, -32768));
  v.push_back(std::vector<int16_t>(240, 32767));
  std::vector<int16_t> alt(240);
  for (int i = 0; i < 240; i++) alt[i] = (i & 1) ? 32767 : -32768;
  v.push_back(alt);
  std::mt19937 rng(729);
  for (int k = 0; k < 20; k++) {
    std::vector<int16_t> r(240);
    int range = k < 10 ? 4000 : 65536;
    for (int16_t& s : r) s = (int16_t)((int)(rng() % range) - range / 2);
    v.push_back(r);
  }
  return v;
}

const Kernels* Builds[] = {&kSse2Kernels, &kAvx2Kernels};

bool HaveAvx2() {
  uint32_t r[4];
  return G729CPUID(0, 0, r) == 0 && r[0] >= 7 && G729CPUID(7, 0, r) == 0 && (r[1] & (1u << 5)) &&
         G729OSSavesYMM();
}

TEST(VectorBuilds, DotProductsAndEnergiesAreExactForEveryInput) {
  auto inputs = Inputs();
  for (const Kernels* k : Builds) {
    if (k == &kAvx2Kernels && !HaveAvx2()) continue;
    for (size_t a = 0; a < inputs.size(); a++)
      for (int n : {1, 7, 8, 15, 16, 40, 41, 80, 111, 240}) {
        const std::vector<int16_t>& x = inputs[a];
        const std::vector<int16_t>& y = inputs[(a + 3) % inputs.size()];
        ASSERT_EQ(kGenericKernels.dot(x.data(), y.data(), n), k->dot(x.data(), y.data(), n)) << a << " " << n;
        ASSERT_EQ(kGenericKernels.energy(x.data(), n), k->energy(x.data(), n)) << a << " " << n;
      }
  }
}

TEST(VectorBuilds, PreselectionFindsTheGenericBuildsCodeWord) {
  std::mt19937 rng(21);
  std::vector<std::vector<int16_t>> targets;
  for (int16_t level : {(int16_t)32767, (int16_t)-32768, (int16_t)0})  // all distances clamped, or none
    targets.push_back(std::vector<int16_t>(10, level));
  for (int k = 0; k < 300; k++) {
    // Near code words (small distances, ties possible), anywhere, and at full scale.
    const int spread = k % 3 == 0 ? 40 : (k % 3 == 1 ? 4000 : 32768);
    std::vector<int16_t> t(10);
    for (int j = 0; j < 10; j++) {
      int v = (k % 3 == 0 ? g729::tab::lspcb1[rng() % 128][j] : 0) + (int)(rng() % (2 * spread)) - spread;
      t[j] = (int16_t)std::max(-32768, std::min(32767, v));
    }
    targets.push_back(t);
  }
  for (int i = 0; i < 128; i += 17)  // exactly on a code word
    targets.push_back(std::vector<int16_t>(g729::tab::lspcb1[i], g729::tab::lspcb1[i] + 10));
  for (const Kernels* k : Builds) {
    if (k == &kAvx2Kernels && !HaveAvx2()) continue;
    for (size_t n = 0; n < targets.size(); n++)
      ASSERT_EQ(kGenericKernels.preselect(targets[n].data()), k->preselect(targets[n].data())) << n;
  }
}

TEST(VectorBuilds, ResidualAndInterpolationMatchTheGenericBuild) {
  auto inputs = Inputs();
  std::mt19937 rng(11);
  for (const Kernels* k : Builds) {
    if (k == &kAvx2Kernels && !HaveAvx2()) continue;
    for (size_t a = 0; a < inputs.size(); a++) {
      // Coefficients small enough for the fast path, and large ones.
      for (int scale : {800, 3000, 12000}) {
        int16_t c[11] = {4096};
        for (int j = 1; j <= 10; j++) c[j] = (int16_t)((int)(rng() % (2 * scale)) - scale);
        int16_t expected[40], got[40];
        kGenericKernels.residual(c, inputs[a].data() + 100, expected, 40);
        k->residual(c, inputs[a].data() + 100, got, 40);
        ASSERT_EQ(0, memcmp(expected, got, sizeof got)) << a << " " << scale;
      }
      // The interpolation is only ever asked for samples below 18000.
      std::vector<int16_t> x(inputs[a]);
      for (int16_t& s : x) s = (int16_t)(s / 2);
      const int16_t c1[30] = {29443, 0, 0, 3143, 0, 0, -2783, 0, 0, 2259, 0, 0, -1666, 0, 0,
                              1099,  0, 0, -634, 0, 0, 308,   0, 0, -120, 0, 0, 34,    0, 0};
      const int16_t c2[30] = {25207, 0, 0, -4402, 0, 0, 1211, 0, 0, -1652, 0, 0, 756, 0, 0,
                              -245,  0, 0, 296,   0, 0, -165, 0, 0, 91,    0, 0, 0,   0, 0};
      int16_t expected[40], got[40];
      kGenericKernels.interpolate(x.data() + 100, c1, c2, expected, 40);
      k->interpolate(x.data() + 100, c1, c2, got, 40);
      ASSERT_EQ(0, memcmp(expected, got, sizeof got)) << a;
    }
  }
}

}  // namespace
