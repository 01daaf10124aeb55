// The generic build of the hot primitives: plain C++ in the standard's
// saturating arithmetic. The other builds must give the same results.
#include "dispatch.h"
#include "g729_tables.h"

namespace g729 {

bool GenericSynthesis(const Word16* a, const Word16* x, Word16* yy, int n) {
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

void GenericResidual(const Word16* a, const Word16* x, Word16* r, int n) {
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

namespace {

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

}  // namespace

void GenericInterpolate(const Word16* x0, const Word16* c1, const Word16* c2, Word16* out, int n) {
  for (int j = 0; j < n; j++) {
    const Word16* x1 = x0 + j;
    const Word16* x2 = x1 + 1;
    Word32 s = x1[0] * c1[0] + x2[0] * c2[0] + x1[-1] * c1[3] + x2[1] * c2[3] + x1[-2] * c1[6] + x2[2] * c2[6] +
               x1[-3] * c1[9] + x2[3] * c2[9] + x1[-4] * c1[12] + x2[4] * c2[12] + x1[-5] * c1[15] +
               x2[5] * c2[15] + x1[-6] * c1[18] + x2[6] * c2[18] + x1[-7] * c1[21] + x2[7] * c2[21] +
               x1[-8] * c1[24] + x2[8] * c2[24] + x1[-9] * c1[27] + x2[9] * c2[27];
    out[j] = Round(s * 2);
  }
}

// The distances are sums of non-negative terms, so the standard's
// saturating accumulation equals the exact sum clamped once, and a code
// word whose partial sum already reaches the best distance cannot win
// (only a strictly smaller distance replaces the best): its sum is cut short.
int GenericPreselect(const Word16* rbuf) {
  int cand = 0;
  int64_t dmin = kMax32;
  for (int i = 0; i < 128; i++) {
    int64_t sum = 0;
    int j = 0;
    for (; j < 10; j++) {
      int32_t t = Sat16((int32_t)rbuf[j] - tab::lspcb1[i][j]);
      sum += t * t;
      if (2 * sum >= dmin) break;
    }
    if (j == 10) {
      dmin = Sat32(2 * sum);
      cand = i;
    }
  }
  return cand;
}

// The same cut-short search, weighted, over one half of the second stage.
// The weights are positive, so every term is non-negative as well.
int GenericSecondStage(const Word16* buf, const Word16* wegt, int from) {
  const int to = from + 5;
  int index = 0;
  int64_t dmin = kMax32;
  for (int k = 0; k < 32; k++) {
    int64_t sum = 0;
    int j = from;
    for (; j < to; j++) {
      Word16 t = Sub(buf[j], tab::lspcb2[k][j]);
      Word16 t2 = Mult(wegt[j], t);
      sum += (int32_t)t2 * t;
      if (2 * sum >= dmin) break;
    }
    if (j == to) {
      dmin = Sat32(2 * sum);
      index = k;
    }
  }
  return index;
}

const Word16* SecondStageColumns() {
  struct Columns {
    Word16 v[10 * 32];
    Columns() {
      for (int j = 0; j < 10; j++)
        for (int k = 0; k < 32; k++) v[j * 32 + k] = tab::lspcb2[k][j];
    }
  };
  static const Columns columns;
  return columns.v;
}

const Word16* FirstStageColumns() {
  struct Columns {
    Word16 v[10 * 128];
    Columns() {
      for (int j = 0; j < 10; j++)
        for (int i = 0; i < 128; i++) v[j * 128 + i] = tab::lspcb1[i][j];
    }
  };
  static const Columns columns;
  return columns.v;
}

const Kernels kGenericKernels = {GenericSynthesis, GenericResidual, DotGeneric, EnergyGeneric,
                                 GenericInterpolate, GenericPreselect, GenericSecondStage};

}  // namespace g729
