// Linear-prediction analysis and LP/LSP conversions (see linear_prediction.h).
#include "linear_prediction.h"
#include "dispatch.h"
#include "filters.h"
#include "g729_tables.h"

namespace g729 {

void Autocorrelation(const Word16* x, int m, Word16* r_h, Word16* r_l, Word16* exponent) {
  Word16 y[240];
  for (int i = 0; i < 240; i++) y[i] = MultR(x[i], tab::hamwindow[i]);
  const Kernels& k = GetKernels();
  int64_t e;
  int scale = 1;
  for (;;) {
    // 1 + 2 * energy must fit 32 bits; otherwise scale the window down.
    e = 1 + 2 * k.energy(y, 240);
    if (e <= kMax32) break;
    for (int i = 0; i < 240; i++) y[i] = (Word16)(y[i] >> 2);
    scale += 4;
  }
  Word32 sum = (Word32)e;
  int norm = NormL(sum);
  if (exponent) *exponent = (Word16)(scale - norm);
  sum = LShl(sum, norm);
  LExtract(sum, r_h[0], r_l[0]);
  // The energy bounds every partial correlation, so the sums are exact.
  for (int i = 1; i <= m; i++) {
    Word32 s = 2 * BoundedDot(y, y + i, 240 - i);
    s = LShl(s, norm);
    LExtract(s, r_h[i], r_l[i]);
  }
}

void LagWindow(int m, Word16* r_h, Word16* r_l) {
  for (int i = 1; i <= m; i++) {
    Word32 x = Mpy32(r_h[i], r_l[i], tab::lag_h[i - 1], tab::lag_l[i - 1]);
    LExtract(x, r_h[i], r_l[i]);
  }
}

bool LevinsonDurbinCore(const Word16* Rh, const Word16* Rl, int order, Word16* A, Word16* rc, Word16* err) {
  Word16 hi, lo, Kh, Kl, alp_h, alp_l;
  Word16 Ah[kMaxLevinsonOrder + 1], Al[kMaxLevinsonOrder + 1], Anh[kMaxLevinsonOrder + 1],
      Anl[kMaxLevinsonOrder + 1];
  Word32 t0, t1, t2;

  t1 = LComp(Rh[1], Rl[1]);
  t2 = LAbs(t1);
  t0 = Div32(t2, Rh[0], Rl[0]);
  if (t1 > 0) t0 = LNegate(t0);
  LExtract(t0, Kh, Kl);
  rc[0] = Kh;
  t0 = LShr(t0, 4);
  LExtract(t0, Ah[1], Al[1]);

  t0 = Mpy32(Kh, Kl, Kh, Kl);
  t0 = LAbs(t0);
  t0 = LSub(kMax32, t0);
  LExtract(t0, hi, lo);
  t0 = Mpy32(Rh[0], Rl[0], hi, lo);
  int alp_exp = NormL(t0);
  t0 = LShl(t0, alp_exp);
  LExtract(t0, alp_h, alp_l);

  for (int i = 2; i <= order; i++) {
    t0 = 0;
    for (int j = 1; j < i; j++) t0 = LAdd(t0, Mpy32(Rh[j], Rl[j], Ah[i - j], Al[i - j]));
    t0 = LShl(t0, 4);
    t1 = LComp(Rh[i], Rl[i]);
    t0 = LAdd(t0, t1);

    t1 = LAbs(t0);
    t2 = Div32(t1, alp_h, alp_l);
    if (t0 > 0) t2 = LNegate(t2);
    t2 = LShl(t2, alp_exp);
    LExtract(t2, Kh, Kl);
    rc[i - 1] = Kh;

    if (Abs16(Kh) > 32750) return false;

    for (int j = 1; j < i; j++) {
      t0 = Mpy32(Kh, Kl, Ah[i - j], Al[i - j]);
      t0 = LAdd(t0, LComp(Ah[j], Al[j]));
      LExtract(t0, Anh[j], Anl[j]);
    }
    t2 = LShr(t2, 4);
    LExtract(t2, Anh[i], Anl[i]);

    t0 = Mpy32(Kh, Kl, Kh, Kl);
    t0 = LAbs(t0);
    t0 = LSub(kMax32, t0);
    LExtract(t0, hi, lo);
    t0 = Mpy32(alp_h, alp_l, hi, lo);
    int j = NormL(t0);
    t0 = LShl(t0, j);
    LExtract(t0, alp_h, alp_l);
    alp_exp += j;

    for (j = 1; j <= i; j++) {
      Ah[j] = Anh[j];
      Al[j] = Anl[j];
    }
  }

  A[0] = 4096;
  for (int i = 1; i <= order; i++) A[i] = Round(LShl(LComp(Ah[i], Al[i]), 1));
  if (err) *err = Shr(alp_h, alp_exp);
  return true;
}

bool LevinsonDurbin(const Word16* Rh, const Word16* Rl, Word16* A, Word16* rc, Word16* old_a,
                    Word16* old_rc, Word16* err) {
  if (!LevinsonDurbinCore(Rh, Rl, kOrder, A, rc, err)) {
    // Unstable filter: keep the previous frame's.
    for (int j = 0; j <= kOrder; j++) A[j] = old_a[j];
    rc[0] = old_rc[0];
    rc[1] = old_rc[1];
    return false;
  }
  for (int j = 0; j <= kOrder; j++) old_a[j] = A[j];
  old_rc[0] = rc[0];
  old_rc[1] = rc[1];
  return true;
}

namespace {

// Chebyshev series C(x) = T5(x) + f1 T4(x) + ... + f4 T1(x) + f5/2 in Q14
// (saturated), with f in Q11 (q = 11) or Q10 (q = 10).
Word16 Chebyshev(Word16 x, const Word16* f, int q) {
  Word16 b0_h, b0_l, b1_h, b1_l, b2_h, b2_l;
  Word32 t0;
  b2_h = q == 11 ? 256 : 128;
  b2_l = 0;
  t0 = LMult(x, q == 11 ? 512 : 256);
  t0 = LMac(t0, f[1], 4096);
  LExtract(t0, b1_h, b1_l);
  for (int i = 2; i < 5; i++) {
    t0 = Mpy32by16(b1_h, b1_l, x);
    t0 = LShl(t0, 1);
    t0 = LMac(t0, b2_h, (Word16)-32768);
    t0 = LMsu(t0, b2_l, 1);
    t0 = LMac(t0, f[i], 4096);
    LExtract(t0, b0_h, b0_l);
    b2_l = b1_l;
    b2_h = b1_h;
    b1_l = b0_l;
    b1_h = b0_h;
  }
  t0 = Mpy32by16(b1_h, b1_l, x);
  t0 = LMac(t0, b2_h, (Word16)-32768);
  t0 = LMsu(t0, b2_l, 1);
  t0 = LMac(t0, f[5], 2048);
  t0 = LShl(t0, q == 11 ? 6 : 7);
  return ExtractH(t0);
}

}  // namespace

namespace {

// The root search on a grid of points + 1 cosines from 1 down to -1, each
// sign change refined by the given number of bisections.
void RootSearch(const Word16* a, Word16* lsp, const Word16* old_lsp, const Word16* grid, int points,
                int bisections) {
  Word16 f1[6], f2[6];
  bool ovf = false;
  int q = 11;
  f1[0] = 2048;
  f2[0] = 2048;
  for (int i = 0; i < 5; i++) {
    Word32 t0 = LMultO(a[i + 1], 16384, ovf);
    t0 = LMacO(t0, a[10 - i], 16384, ovf);
    Word16 x = ExtractH(t0);
    f1[i + 1] = SubO(x, f1[i], ovf);
    t0 = LMultO(a[i + 1], 16384, ovf);
    t0 = LMsuO(t0, a[10 - i], 16384, ovf);
    x = ExtractH(t0);
    f2[i + 1] = AddO(x, f2[i], ovf);
  }
  if (ovf) {
    q = 10;
    f1[0] = 1024;
    f2[0] = 1024;
    for (int i = 0; i < 5; i++) {
      Word32 t0 = LMult(a[i + 1], 8192);
      t0 = LMac(t0, a[10 - i], 8192);
      Word16 x = ExtractH(t0);
      f1[i + 1] = Sub(x, f1[i]);
      t0 = LMult(a[i + 1], 8192);
      t0 = LMsu(t0, a[10 - i], 8192);
      x = ExtractH(t0);
      f2[i + 1] = Add(x, f2[i]);
    }
  }

  int nf = 0, ip = 0;
  const Word16* coef = f1;
  Word16 xlow = grid[0];
  Word16 ylow = Chebyshev(xlow, coef, q);
  int j = 0;
  while (nf < kOrder && j < points) {
    j++;
    Word16 xhigh = xlow, yhigh = ylow;
    xlow = grid[j];
    ylow = Chebyshev(xlow, coef, q);
    if (LMult(ylow, yhigh) <= 0) {
      for (int i = 0; i < bisections; i++) {
        Word16 xmid = Add(Shr(xlow, 1), Shr(xhigh, 1));
        Word16 ymid = Chebyshev(xmid, coef, q);
        if (LMult(ylow, ymid) <= 0) {
          yhigh = ymid;
          xhigh = xmid;
        } else {
          ylow = ymid;
          xlow = xmid;
        }
      }
      Word16 x = Sub(xhigh, xlow);
      Word16 y = Sub(yhigh, ylow);
      Word16 xint;
      if (y == 0) {
        xint = xlow;
      } else {
        Word16 sign = y;
        y = Abs16(y);
        int e = NormS(y);
        y = Shl(y, e);
        y = DivS(16383, y);
        Word32 t0 = LMult(x, y);
        t0 = LShr(t0, 20 - e);
        y = ExtractL(t0);
        if (sign < 0) y = Negate(y);
        t0 = LMult(ylow, y);
        t0 = LShr(t0, 11);
        xint = Sub(xlow, ExtractL(t0));
      }
      lsp[nf] = xint;
      xlow = xint;
      nf++;
      ip = !ip;
      coef = ip ? f2 : f1;
      ylow = Chebyshev(xlow, coef, q);
    }
  }
  if (nf < kOrder)
    for (int i = 0; i < kOrder; i++) lsp[i] = old_lsp[i];
}

}  // namespace

void LpcToLsp(const Word16* a, Word16* lsp, const Word16* old_lsp) { RootSearch(a, lsp, old_lsp, tab::grid, 50, 2); }

void LpcToLsp60(const Word16* a, Word16* lsp, const Word16* old_lsp) {
  RootSearch(a, lsp, old_lsp, tab::grid60, 60, 4);
}

namespace {

void LspPolynomial(const Word16* lsp, Word32* f) {
  f[0] = LMult(4096, 2048);
  f[1] = LMsu(0, lsp[0], 512);
  for (int i = 2; i <= 5; i++) {
    Word16 q = lsp[2 * (i - 1)];
    f[i] = f[i - 2];
    for (int j = i; j > 1; j--) {
      Word16 hi, lo;
      LExtract(f[j - 1], hi, lo);
      Word32 t0 = LShl(Mpy32by16(hi, lo, q), 1);
      f[j] = LAdd(f[j], f[j - 2]);
      f[j] = LSub(f[j], t0);
    }
    f[1] = LMsu(f[1], q, 512);
  }
}

}  // namespace

void LspToLpc(const Word16* lsp, Word16* a) {
  Word32 f1[6], f2[6];
  LspPolynomial(lsp, f1);
  LspPolynomial(lsp + 1, f2);
  for (int i = 5; i > 0; i--) {
    f1[i] = LAdd(f1[i], f1[i - 1]);
    f2[i] = LSub(f2[i], f2[i - 1]);
  }
  a[0] = 4096;
  for (int i = 1, j = 10; i <= 5; i++, j--) {
    a[i] = ExtractL(LShrR(LAdd(f1[i], f2[i]), 13));
    a[j] = ExtractL(LShrR(LSub(f1[i], f2[i]), 13));
  }
}

void InterpolateLpc(const Word16* lsp_old, const Word16* lsp_new, Word16* az) {
  Word16 lsp[kOrder];
  for (int i = 0; i < kOrder; i++) lsp[i] = Add(Shr(lsp_new[i], 1), Shr(lsp_old[i], 1));
  LspToLpc(lsp, az);
  LspToLpc(lsp_new, az + 11);
}

}  // namespace g729
