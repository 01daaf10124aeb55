// Linear filters of the codec (see filters.h).
#include "filters.h"
#include "dispatch.h"
#include "g729_tables.h"

namespace g729 {

bool SynthesisFilter(const Word16* a, const Word16* x, Word16* y, int n, Word16* mem, bool update) {
  Word16 buf[kOrder + 2 * kSubframe + 8];
  Word16* yy = buf + kOrder;
  for (int i = 0; i < kOrder; i++) buf[i] = mem[i];
  bool ovf = GetKernels().synthesis(a, x, yy, n);
  for (int i = 0; i < n; i++) y[i] = yy[i];
  if (update)
    for (int i = 0; i < kOrder; i++) mem[i] = yy[n - kOrder + i];
  return ovf;
}

void ResidualFilter(const Word16* a, const Word16* x, Word16* r, int n) {
  GetKernels().residual(a, x, r, n);
}

void HighPassInit(HighPassState* s) {
  s->y2_hi = s->y2_lo = s->y1_hi = s->y1_lo = s->x0 = s->x1 = 0;
}

namespace {

// Second-order IIR filter in double precision: b in the coefficient set's Q
// format, the past outputs kept shifted by `state_shift` and the output
// shifted `out_shift` further (a gain of 2 for the post-processing filter).
void HighPass(HighPassState* s, Word16* signal, int n, const Word16* a, const Word16* b, int state_shift,
              int out_shift) {
  for (int i = 0; i < n; i++) {
    Word16 x2 = s->x1;
    s->x1 = s->x0;
    s->x0 = signal[i];
    Word32 acc = Mpy32by16(s->y1_hi, s->y1_lo, a[1]);
    acc = LAdd(acc, Mpy32by16(s->y2_hi, s->y2_lo, a[2]));
    acc = LMac(acc, s->x0, b[0]);
    acc = LMac(acc, s->x1, b[1]);
    acc = LMac(acc, x2, b[2]);
    acc = LShl(acc, state_shift);
    signal[i] = Round(LShl(acc, out_shift));
    s->y2_hi = s->y1_hi;
    s->y2_lo = s->y1_lo;
    LExtract(acc, s->y1_hi, s->y1_lo);
  }
}

}  // namespace

void PreProcess(HighPassState* s, Word16* signal, int n) { HighPass(s, signal, n, tab::a140, tab::b140, 3, 0); }

void PostProcess(HighPassState* s, Word16* signal, int n) { HighPass(s, signal, n, tab::a100, tab::b100, 2, 1); }

void WeightCoefficients(const Word16* a, Word16 gamma, Word16* ap) {
  ap[0] = a[0];
  Word16 fac = gamma;
  for (int i = 1; i < kOrder; i++) {
    ap[i] = Round(LMult(a[i], fac));
    fac = Round(LMult(fac, gamma));
  }
  ap[kOrder] = Round(LMult(a[kOrder], fac));
}

}  // namespace g729
