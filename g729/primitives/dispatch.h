// Processor dispatch: the per-process code path chosen from the processor's
// features, and the table of hot primitives built for each path. The codec
// calls the hot primitives only through GetKernels(); every path gives the
// same results bit for bit.
#pragma once
#include <cstdint>
#include "fixed_point.h"

namespace g729 {

struct Kernels {
  // yy[-10..-1] hold the past outputs; writes yy[0..n-1]. Returns true when
  // any step saturated.
  bool (*synthesis)(const Word16* a, const Word16* x, Word16* yy, int n);
  // r[i] = round((sum a[k] x[i-k]) in Q12), n samples.
  void (*residual)(const Word16* a, const Word16* x, Word16* r, int n);
  // Exact sums (no intermediate saturation).
  int64_t (*dot)(const Word16* x, const Word16* y, int n);
  int64_t (*energy)(const Word16* x, int n);
  // Fractional-delay interpolation of the adaptive codebook where no sum can
  // saturate: out[j] = round(2 sum over i of x[j-i] c1[3i] + x[j+1+i] c2[3i]).
  void (*interpolate)(const Word16* x, const Word16* c1, const Word16* c2, Word16* out, int n);
  // The LSP quantiser's first-stage pre-selection: the first of the 128
  // code words nearest rbuf (10 values), distances being the sums of
  // squared saturated differences, doubled and clamped to 31 bits.
  int (*preselect)(const Word16* rbuf);
  // The LSP quantiser's second stage for one half (values from..from+4):
  // the first of the 32 code words nearest the residual buf, distances
  // being the weighted sums of squares, doubled and clamped to 31 bits.
  int (*second_stage)(const Word16* buf, const Word16* wegt, int from);
};

const Kernels& GetKernels();

// Dot product of two vectors whose doubled energies both fit 31 bits: every
// partial sum, in any order, is then below 2^30 in magnitude (Cauchy-
// Schwarz), so 32-bit arithmetic is exact and the compiler may vectorise it.
static inline Word32 BoundedDot(const Word16* x, const Word16* y, int n) {
  Word32 s = 0;
  for (int i = 0; i < n; i++) s += x[i] * y[i];
  return s;
}

// Generic builds that the vector builds fall back on or share.
bool GenericSynthesis(const Word16* a, const Word16* x, Word16* yy, int n);
void GenericResidual(const Word16* a, const Word16* x, Word16* r, int n);
void GenericInterpolate(const Word16* x, const Word16* c1, const Word16* c2, Word16* out, int n);

int GenericPreselect(const Word16* rbuf);
int GenericSecondStage(const Word16* buf, const Word16* wegt, int from);
// The index of the first smallest of n keys.
static inline int FirstSmallest(const int32_t* keys, int n) {
  int best = 0;
  for (int i = 1; i < n; i++)
    if (keys[i] < keys[best]) best = i;
  return best;
}
// The first-stage code book column by column (10 rows of 128 values), for
// the builds that compare several code words at once.
const Word16* FirstStageColumns();
// The second-stage code book likewise: 10 rows of 32 values.
const Word16* SecondStageColumns();

// Builds of the kernels: generic, SSE2 (paths 1 to 4, and 5 without AVX2)
// and AVX2 (path 5).
extern const Kernels kGenericKernels;
extern const Kernels kSse2Kernels;
extern const Kernels kAvx2Kernels;

}  // namespace g729
