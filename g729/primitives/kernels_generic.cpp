// The generic build of the hot primitives: plain C++ in the standard's
// saturating arithmetic. The other builds must give the same results.
#include "dispatch.h"

namespace g729 {
namespace {

bool SynthesisGeneric(const Word16* a, const Word16* x, Word16* yy, int n) {
  bool ovf = false;
  // When the coefficients' magnitudes add up to at most 32767, no partial
  // sum of 16-bit products can leave 32 bits: plain arithmetic is exact.
  int32_t mag = 0;
  for (int j = 0; j <= 10; j++) mag += a[j] < 0 ? -a[j] : a[j];
  if (mag <= 32767) {
    const int32_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5];
    const int32_t a6 = a[6], a7 = a[7], a8 = a[8], a9 = a[9], a10 = a[10];
    for (int i = 0; i < n; i++) {
      // The newest output enters last, off the critical path.
      const Word16* y = yy + i;
      int32_t s = x[i] * a0 - a10 * y[-10] - a9 * y[-9] - a8 * y[-8] - a7 * y[-7] - a6 * y[-6] - a5 * y[-5] -
                  a4 * y[-4] - a3 * y[-3] - a2 * y[-2];
      s -= a1 * y[-1];
      // s is half the standard's accumulator; shift by 3 and round.
      s = LShlO(s, 4, ovf);
      yy[i] = RoundO(s, ovf);
    }
    return ovf;
  }
  for (int i = 0; i < n; i++) {
    Word32 s = LMultO(x[i], a[0], ovf);
    for (int j = 1; j <= 10; j++) s = LMsuO(s, a[j], yy[i - j], ovf);
    s = LShlO(s, 3, ovf);
    yy[i] = RoundO(s, ovf);
  }
  return ovf;
}

void ResidualGeneric(const Word16* a, const Word16* x, Word16* r, int n) {
  int32_t mag = 0;
  for (int j = 0; j <= 10; j++) mag += a[j] < 0 ? -a[j] : a[j];
  if (mag <= 32767) {
    for (int i = 0; i < n; i++) {
      int32_t s = 0;
      for (int j = 0; j <= 10; j++) s += a[j] * x[i - j];
      r[i] = Round(LShl(s, 4));
    }
    return;
  }
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
