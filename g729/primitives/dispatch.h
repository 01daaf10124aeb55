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
  // c[k] = exact dot(x, y - lag[k]) for lags lo..hi step: used by the pitch
  // searches; x and y of n samples, y read backwards by the lag.
  void (*correlate_lags)(const Word16* x, const Word16* y, int n, int lo, int hi, int step, int64_t* c);
};

const Kernels& GetKernels();

// Builds of the kernels.
extern const Kernels kGenericKernels;

}  // namespace g729
