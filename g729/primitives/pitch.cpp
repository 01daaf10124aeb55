// Pitch analysis (see pitch.h).
#include "pitch.h"
#include "dispatch.h"
#include "filters.h"
#include "g729_tables.h"

namespace g729 {

namespace {

const int kPitMin = 20, kPitMax = 143;

// Largest sample magnitude.
int MaxAbs(const Word16* x, int n) {
  int m = 0;
  for (int i = 0; i < n; i++) {
    int a = x[i] < 0 ? -x[i] : x[i];
    if (a > m) m = a;
  }
  return m;
}

// 2 * x[k*stride] * y[k*stride] chain; exact when no step can saturate,
// which holds when both doubled energies fit 31 bits (then every partial
// sum is bounded by their mean, Cauchy-Schwarz).
Word32 SatDotSlow(const Word16* x, const Word16* y, int n, int stride, bool& ovf) {
  Word32 s = 0;
  for (int i = 0; i < n * stride; i += stride) s = LMacO(s, x[i], y[i], ovf);
  return s;
}

}  // namespace

Word32 SaturatingDot(const Word16* x, const Word16* y, int n, bool& ovf) {
  const Kernels& k = GetKernels();
  int64_t ex = k.energy(x, n), ey = k.energy(y, n);
  if (2 * ex <= kMax32 && 2 * ey <= kMax32) return 2 * BoundedDot(x, y, n);
  return SatDotSlow(x, y, n, 1, ovf);
}

Word16 OpenLoopPitch(const Word16* signal) {
  const Kernels& k = GetKernels();
  // Decimated copies of the span -143..79 split by parity, so that every
  // correlation below is a plain dot product of contiguous vectors.
  Word16 scaled[kFrame + kPitMax];
  Word16* scal = scaled + kPitMax;

  int64_t sum = 0;
  for (int i = -kPitMax; i < kFrame; i += 2) sum += (int32_t)signal[i] * signal[i];
  sum *= 2;
  if (sum > kMax32) {
    for (int i = -kPitMax; i < kFrame; i++) scal[i] = Shr(signal[i], 3);
  } else if (sum < 1048576) {
    for (int i = -kPitMax; i < kFrame; i++) scal[i] = Shl(signal[i], 3);
  } else {
    for (int i = -kPitMax; i < kFrame; i++) scal[i] = signal[i];
  }

  // even[m] = scal[2m - 142], odd[m] = scal[2m - 143]
  Word16 even[112], odd[112];
  for (int m = 0; m < 111; m++) even[m] = scal[2 * m - 142];
  for (int m = 0; m < 112; m++) odd[m] = scal[2 * m - 143];
  const Word16* cur = even + 71;  // scal[0], scal[2], ...
  bool exact = 2 * k.energy(even, 111) <= kMax32 && 2 * k.energy(odd, 112) <= kMax32;

  auto corr = [&](int t) -> Word32 {
    // sum over j = 0, 2, .., 78 of scal[j] * scal[j - t]
    const Word16* lagged = (t & 1) ? odd + 72 - (t + 1) / 2 : even + 71 - t / 2;
    if (exact) return 2 * BoundedDot(cur, lagged, 40);
    bool ovf = false;
    return SatDotSlow(cur, lagged, 40, 1, ovf);
  };
  auto normalised = [&](Word32 max, int t) -> Word16 {
    Word32 e = 1;
    int64_t en = 1;
    for (int i = 0; i < kFrame; i += 2) en += 2 * (int32_t)scal[i - t] * scal[i - t];
    e = Sat32(en);
    e = InvSqrt(e);
    Word16 mh, ml, eh, el;
    LExtract(max, mh, ml);
    LExtract(e, eh, el);
    return ExtractL(Mpy32(mh, ml, eh, el));
  };

  Word32 max = kMin32;
  Word16 T1 = 20, T2 = 40, T3 = 80;
  for (int i = 20; i < 40; i++) {
    Word32 s = corr(i);
    if (LSub(s, max) > 0) { max = s; T1 = (Word16)i; }
  }
  Word16 max1 = normalised(max, T1);

  max = kMin32;
  for (int i = 40; i < 80; i++) {
    Word32 s = corr(i);
    if (LSub(s, max) > 0) { max = s; T2 = (Word16)i; }
  }
  Word16 max2 = normalised(max, T2);

  max = kMin32;
  for (int i = 80; i < 143; i += 2) {
    Word32 s = corr(i);
    if (LSub(s, max) > 0) { max = s; T3 = (Word16)i; }
  }
  int t = T3;
  Word32 s = corr(t + 1);
  if (LSub(s, max) > 0) { max = s; T3 = (Word16)(t + 1); }
  s = corr(t - 1);
  if (LSub(s, max) > 0) { max = s; T3 = (Word16)(t - 1); }
  Word16 max3 = normalised(max, T3);

  Word16 i = Sub(Shl(T2, 1), T3);
  if (Sub(Abs16(i), 5) < 0) max2 = Add(max2, Shr(max3, 2));
  i = Add(i, T2);
  if (Sub(Abs16(i), 7) < 0) max2 = Add(max2, Shr(max3, 2));
  i = Sub(Shl(T1, 1), T2);
  if (Sub(Abs16(i), 5) < 0) max1 = Add(max1, Mult(max2, 6554));
  i = Add(i, T1);
  if (Sub(Abs16(i), 7) < 0) max1 = Add(max1, Mult(max2, 6554));

  if (max1 < max2) { max1 = max2; T1 = T2; }
  if (max1 < max3) T1 = T3;
  return T1;
}

namespace {
// One interpolated sample in the standard's saturating steps.
Word16 SaturatingInterpolation(const Word16* x1, const Word16* c1, const Word16* c2) {
  const Word16* x2 = x1 + 1;
  Word32 s = 0;
  for (int i = 0, k = 0; i < 10; i++, k += 3) {
    s = LMac(s, x1[-i], c1[k]);
    s = LMac(s, x2[i], c2[k]);
  }
  return Round(s);
}
}  // namespace

void AdaptiveCodebookVector(Word16* exc, Word16 t0, Word16 frac, int n) {
  const Word16* x0 = exc - t0;
  frac = (Word16)-frac;
  if (frac < 0) {
    frac = (Word16)(frac + 3);
    x0--;
  }
  const Word16* c1 = &tab::inter_3l[frac];
  const Word16* c2 = &tab::inter_3l[3 - frac];
  // With every sample read below 18000 in magnitude no partial sum can
  // leave 32 bits (the taps' magnitudes add up to less than 59400), so the
  // sum is exact in plain arithmetic.
  const int kSafe = 18000;
  if (t0 > n + 10) {
    // The read span lies wholly before the output.
    if (MaxAbs(x0 - 9, n + 19) < kSafe) {
      GetKernels().interpolate(x0, c1, c2, exc, n);
      return;
    }
  }
  // Short lags read samples this loop has just written: output j reads up
  // to exc[j + 10 - T], T being the lag rounded up. With T above 17 a block
  // of 8 outputs reads only samples already final, so blocks go through the
  // vector build while the largest magnitude read or written so far stays
  // below the bound.
  const int T = (int)(exc - x0);
  const int before = T + 9;  // samples of the read span before the output
  int m = MaxAbs(x0 - 9, before < n + 19 ? before : n + 19);
  int j = 0;
  for (; T > 17 && j + 8 <= n; j += 8) {
    if (m < kSafe) {
      GetKernels().interpolate(x0 + j, c1, c2, exc + j, 8);
    } else {
      for (int k = j; k < j + 8; k++) exc[k] = SaturatingInterpolation(x0 + k, c1, c2);
    }
    int b = MaxAbs(exc + j, 8);
    if (b > m) m = b;
  }
  for (; j < n; j++) {
    if (m < kSafe)
      GenericInterpolate(x0 + j, c1, c2, exc + j, 1);
    else
      exc[j] = SaturatingInterpolation(x0 + j, c1, c2);
    int a = exc[j] < 0 ? -exc[j] : exc[j];
    if (a > m) m = a;
  }
}

void BackwardFilterTarget(const Word16* h, const Word16* X, Word16* D, int n) {
  Word32 y32[kSubframe];
  Word32 max = 0;
  const Kernels& k = GetKernels();
  bool exact = 2 * k.energy(h, n) <= kMax32 && 2 * k.energy(X, n) <= kMax32;
  for (int i = 0; i < n; i++) {
    Word32 s;
    if (exact) {
      s = 2 * BoundedDot(X + i, h, n - i);
    } else {
      bool ovf = false;
      s = SatDotSlow(X + i, h, n - i, 1, ovf);
    }
    y32[i] = s;
    s = LAbs(s);
    if (LSub(s, max) > 0) max = s;
  }
  int j = NormL(max);
  if (j > 16) j = 16;
  j = 18 - j;
  for (int i = 0; i < n; i++) D[i] = ExtractL(LShr(y32[i], j));
}

Word16 ClosedLoopPitch(Word16* exc, const Word16* xn, const Word16* h, Word16 t0_min, Word16 t0_max,
                       int subframe, Word16* pit_frac) {
  Word16 Dn[kSubframe], exc_tmp[kSubframe];
  BackwardFilterTarget(h, xn, Dn);
  bool ovf = false;
  Word32 max = kMin32;
  Word16 t0 = t0_min;
  // One energy test covers every integer lag of the range.
  const Kernels& k = GetKernels();
  bool exact = 2 * k.energy(Dn, kSubframe) <= kMax32 &&
               2 * k.energy(exc - t0_max, kSubframe + t0_max - t0_min) <= kMax32;
  for (int t = t0_min; t <= t0_max; t++) {
    Word32 corr = exact ? 2 * BoundedDot(Dn, exc - t, kSubframe) : SaturatingDot(Dn, exc - t, kSubframe, ovf);
    if (LSub(corr, max) > 0) { max = corr; t0 = (Word16)t; }
  }
  AdaptiveCodebookVector(exc, t0, 0, kSubframe);
  max = SaturatingDot(Dn, exc, kSubframe, ovf);
  *pit_frac = 0;
  if (subframe == 0 && t0 > 84) return t0;
  for (int i = 0; i < kSubframe; i++) exc_tmp[i] = exc[i];
  AdaptiveCodebookVector(exc, t0, -1, kSubframe);
  Word32 corr = SaturatingDot(Dn, exc, kSubframe, ovf);
  if (LSub(corr, max) > 0) {
    max = corr;
    *pit_frac = -1;
    for (int i = 0; i < kSubframe; i++) exc_tmp[i] = exc[i];
  }
  AdaptiveCodebookVector(exc, t0, 1, kSubframe);
  corr = SaturatingDot(Dn, exc, kSubframe, ovf);
  if (LSub(corr, max) > 0) {
    *pit_frac = 1;
  } else {
    for (int i = 0; i < kSubframe; i++) exc[i] = exc_tmp[i];
  }
  return t0;
}

Word16 PitchGain(const Word16* xn, const Word16* y1, Word16* g_coeff) {
  const Kernels& k = GetKernels();
  Word16 scaled_y1[kSubframe];
  for (int i = 0; i < kSubframe; i++) scaled_y1[i] = (Word16)(y1[i] >> 2);
  Word16 xy, yy;
  int exp_xy, exp_yy;

  int64_t eyy = 1 + 2 * k.energy(y1, kSubframe);
  if (eyy <= kMax32) {
    exp_yy = NormL((Word32)eyy);
    yy = Round(LShl((Word32)eyy, exp_yy));
  } else {
    Word32 s = (Word32)(1 + 2 * k.energy(scaled_y1, kSubframe));
    exp_yy = NormL(s);
    yy = Round(LShl(s, exp_yy));
    exp_yy -= 4;
  }

  bool ovf = false;
  Word32 s = SaturatingDot(xn, y1, kSubframe, ovf);
  if (!ovf) {
    exp_xy = NormL(s);
    xy = Round(LShl(s, exp_xy));
  } else {
    s = SaturatingDot(xn, scaled_y1, kSubframe, ovf);
    exp_xy = NormL(s);
    xy = Round(LShl(s, exp_xy));
    exp_xy -= 2;
  }

  g_coeff[0] = yy;
  g_coeff[1] = (Word16)(15 - exp_yy);
  g_coeff[2] = xy;
  g_coeff[3] = (Word16)(15 - exp_xy);
  if (xy <= 0) {
    g_coeff[3] = -15;
    return 0;
  }
  xy = Shr(xy, 1);
  Word16 gain = DivS(xy, yy);
  gain = Shr(gain, exp_xy - exp_yy);
  if (gain > 19661) gain = 19661;
  return gain;
}

Word16 EncodeLag(Word16 T0, Word16 T0_frac, Word16* T0_min, Word16* T0_max, int subframe) {
  Word16 index;
  if (subframe == 0) {
    if (T0 <= 85)
      index = (Word16)(3 * T0 - 58 + T0_frac);
    else
      index = (Word16)(T0 + 112);
    *T0_min = (Word16)(T0 - 5);
    if (*T0_min < kPitMin) *T0_min = kPitMin;
    *T0_max = (Word16)(*T0_min + 9);
    if (*T0_max > kPitMax) {
      *T0_max = kPitMax;
      *T0_min = (Word16)(kPitMax - 9);
    }
  } else {
    index = (Word16)(3 * (T0 - *T0_min) + 2 + T0_frac);
  }
  return index;
}

void DecodeLag(Word16 index, int subframe, Word16* T0, Word16* T0_frac) {
  if (subframe == 0) {
    if (index < 197) {
      *T0 = Add(Mult(Add(index, 2), 10923), 19);
      Word16 i = (Word16)(3 * *T0);
      *T0_frac = Add(Sub(index, i), 58);
    } else {
      *T0 = Sub(index, 112);
      *T0_frac = 0;
    }
  } else {
    Word16 t0_min = (Word16)(*T0 - 5);
    if (t0_min < kPitMin) t0_min = kPitMin;
    Word16 t0_max = (Word16)(t0_min + 9);
    if (t0_max > kPitMax) {
      t0_max = kPitMax;
      t0_min = (Word16)(kPitMax - 9);
    }
    Word16 i = Sub(Mult(Add(index, 2), 10923), 1);
    *T0 = Add(i, t0_min);
    *T0_frac = Sub(Sub(index, 2), (Word16)(3 * i));
  }
}

Word16 PitchParity(Word16 index) {
  Word16 temp = (Word16)(index >> 1);
  Word16 sum = 1;
  for (int i = 0; i <= 5; i++) {
    temp = (Word16)(temp >> 1);
    sum = (Word16)(sum + (temp & 1));
  }
  return (Word16)(sum & 1);
}

}  // namespace g729
