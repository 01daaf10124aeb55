// The generic build of the hot primitives: plain C++ in the standard's
// saturating arithmetic. The other builds must give the same results.
#include "dispatch.h"

namespace g729 {
namespace {

bool SynthesisGeneric(const Word16* a, const Word16* x, Word16* yy, int n) {
  bool ovf = false;
  for (int i = 0; i < n; i++) {
    Word32 s = LMultO(x[i], a[0], ovf);
    for (int j = 1; j <= 10; j++) s = LMsuO(s, a[j], yy[i - j], ovf);
    s = LShlO(s, 3, ovf);
    yy[i] = RoundO(s, ovf);
  }
  return ovf;
}

void ResidualGeneric(const Word16* a, const Word16* x, Word16* r, int n) {
  for (int i = 0; i < n; i++) {
    Word32 s = LMult(x[i], a[0]);
    for (int j = 1; j <= 10; j++) s = LMac(s, a[j], x[i - j]);
    r[i] = Round(LShl(s, 3));
  }
}

int64_t DotGeneric(const Word16* x, const Word16* y, int n) {
  int64_t s = 0;
  for (int i = 0; i < n; i++) s += (int32_t)x[i] * y[i];
  return s;
}

int64_t EnergyGeneric(const Word16* x, int n) {
  int64_t s = 0;
  for (int i = 0; i < n; i++) s += (int32_t)x[i] * x[i];
  return s;
}

void CorrelateLagsGeneric(const Word16* x, const Word16* y, int n, int lo, int hi, int step, int64_t* c) {
  for (int t = lo, k = 0; t <= hi; t += step, k++) c[k] = DotGeneric(x, y - t, n);
}

}  // namespace

const Kernels kGenericKernels = {SynthesisGeneric, ResidualGeneric, DotGeneric, EnergyGeneric,
                                 CorrelateLagsGeneric};

}  // namespace g729
