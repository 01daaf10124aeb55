// The decoder's adaptive postfilter (see postfilter.h).
#include "postfilter.h"
#include "dispatch.h"
#include "filters.h"
#include "pitch.h"

namespace g729 {
namespace {

const int kPitMax = 143;
const int kImpulse = 22;

void PitchPostfilter(const Word16* signal, const Word16* scal_sig, Word16 t0_min, Word16 t0_max,
                     Word16* signal_pst) {
  const Kernels& k = GetKernels();
  // When the doubled energies of the subframe and of the span the lags
  // reach both fit 31 bits, no partial correlation can saturate.
  bool exact = 2 * k.energy(scal_sig, kSubframe) <= kMax32 &&
               2 * k.energy(scal_sig - t0_max, kSubframe + t0_max - t0_min) <= kMax32;
  Word32 cor_max = kMin32;
  int t0 = t0_min;
  for (int i = t0_min; i <= t0_max; i++) {
    bool ovf = false;
    Word32 corr = exact ? 2 * BoundedDot(scal_sig, scal_sig - i, kSubframe)
                        : SaturatingDot(scal_sig, scal_sig - i, kSubframe, ovf);
    if (LSub(corr, cor_max) > 0) {
      cor_max = corr;
      t0 = i;
    }
  }
  Word32 ener = Sat32(1 + 2 * k.energy(scal_sig - t0, kSubframe));
  Word32 ener0 = Sat32(1 + 2 * k.energy(scal_sig, kSubframe));
  if (cor_max < 0) cor_max = 0;
  Word32 temp = cor_max;
  if (ener > temp) temp = ener;
  if (ener0 > temp) temp = ener0;
  int j = NormL(temp);
  Word16 cmax = Round(LShl(cor_max, j));
  Word16 en = Round(LShl(ener, j));
  Word16 en0 = Round(LShl(ener0, j));

  temp = LMult(cmax, cmax);
  temp = LSub(temp, LShr(LMult(en, en0), 1));
  if (temp < 0) {
    for (int i = 0; i < kSubframe; i++) signal_pst[i] = signal[i];
    return;
  }
  Word16 g0, gain;
  if (cmax > en) {
    g0 = 21845;
    gain = 10923;
  } else {
    cmax = Shr(Mult(cmax, 16384), 1);
    en = Shr(en, 1);
    Word16 i = Add(cmax, en);
    if (i > 0) {
      gain = DivS(cmax, i);
      g0 = Sub(32767, gain);
    } else {
      g0 = 32767;
      gain = 0;
    }
  }
  for (int i = 0; i < kSubframe; i++)
    signal_pst[i] = Add(Mult(g0, signal[i]), Mult(gain, signal[i - t0]));
}

}  // namespace

void LongTermPostfilter(const Word16* residual, const Word16* scaled, Word16 lag, Word16* out) {
  Word16 t0_min = (Word16)(lag - 3);
  Word16 t0_max = (Word16)(t0_min + 6);
  if (t0_max > kPitMax) {
    t0_max = kPitMax;
    t0_min = (Word16)(kPitMax - 6);
  }
  PitchPostfilter(residual, scaled, t0_min, t0_max, out);
}

Word16 TiltGain(const Word16* ap3, const Word16* ap4) {
  // The impulse response of A(z/0.55)/A(z/0.7) and its first two
  // correlations.
  Word16 h[kImpulse];
  for (int i = 0; i < 11; i++) h[i] = ap3[i];
  for (int i = 11; i < kImpulse; i++) h[i] = 0;
  Word16 zero[10] = {0};
  SynthesisFilter(ap4, h, h, kImpulse, zero, false);
  Word32 t = LMult(h[0], h[0]);
  for (int i = 1; i < kImpulse; i++) t = LMac(t, h[i], h[i]);
  Word16 temp1 = ExtractH(t);
  t = LMult(h[0], h[1]);
  for (int i = 1; i < kImpulse - 1; i++) t = LMac(t, h[i], h[i + 1]);
  Word16 temp2 = ExtractH(t);
  if (temp2 <= 0) return 0;
  temp2 = Mult(temp2, 26214);
  return DivS(temp2, temp1);
}

void TiltCompensate(Word16* signal, Word16 g, Word16* memory) {
  Word16 temp = signal[kSubframe - 1];
  for (int i = kSubframe - 1; i > 0; i--) signal[i] = Sub(signal[i], Mult(g, signal[i - 1]));
  signal[0] = Sub(signal[0], Mult(g, *memory));
  *memory = temp;
}

void GainControl(Word16* past_gain, const Word16* sig_in, Word16* sig_out) {
  const Kernels& k = GetKernels();
  Word16 signal[kSubframe];
  for (int i = 0; i < kSubframe; i++) signal[i] = Shr(sig_out[i], 2);
  Word32 e = Sat32(2 * k.energy(signal, kSubframe));
  if (e == 0) {
    *past_gain = 0;
    return;
  }
  int exp = NormL(e) - 1;
  Word16 gain_out = Round(LShl(e, exp));

  for (int i = 0; i < kSubframe; i++) signal[i] = Shr(sig_in[i], 2);
  e = Sat32(2 * k.energy(signal, kSubframe));
  Word16 g0;
  if (e == 0) {
    g0 = 0;
  } else {
    int i = NormL(e);
    Word16 gain_in = Round(LShl(e, i));
    exp -= i;
    Word32 t = DivS(gain_out, gain_in);
    t = LShl(t, 7);
    t = LShr(t, exp);
    t = InvSqrt(t);
    Word16 g = Round(LShl(t, 9));
    g0 = Mult(g, 32767 - 29491);
  }
  Word16 gain = *past_gain;
  for (int i = 0; i < kSubframe; i++) {
    gain = Mult(gain, 29491);
    gain = Add(gain, g0);
    sig_out[i] = ExtractH(LShl(LMult(sig_out[i], gain), 3));
  }
  *past_gain = gain;
}

void PostfilterInit(PostfilterState* s) {
  for (Word16& v : s->res2_buf) v = 0;
  for (Word16& v : s->scal_res2_buf) v = 0;
  for (Word16& v : s->mem_syn_pst) v = 0;
  s->mem_pre = 0;
  s->past_gain = 4096;
}

void Postfilter(PostfilterState* s, Word16* syn, const Word16* az, const Word16* lags, bool speech) {
  Word16* res2 = s->res2_buf + kPitMax;
  Word16* scal_res2 = s->scal_res2_buf + kPitMax;
  Word16 res2_pst[kSubframe], syn_pst[kFrame];
  Word16 ap3[11], ap4[11];
  for (int sub = 0; sub < 2; sub++) {
    const Word16* a = az + 11 * sub;
    const int i_subfr = sub * kSubframe;
    WeightCoefficients(a, 18022, ap3);
    WeightCoefficients(a, 22938, ap4);
    ResidualFilter(ap3, &syn[i_subfr], res2, kSubframe);
    for (int j = 0; j < kSubframe; j++) scal_res2[j] = Shr(res2[j], 2);
    if (speech)
      LongTermPostfilter(res2, scal_res2, lags[sub], res2_pst);
    else
      for (int j = 0; j < kSubframe; j++) res2_pst[j] = res2[j];

    TiltCompensate(res2_pst, TiltGain(ap3, ap4), &s->mem_pre);

    SynthesisFilter(ap4, res2_pst, &syn_pst[i_subfr], kSubframe, s->mem_syn_pst, true);
    GainControl(&s->past_gain, &syn[i_subfr], &syn_pst[i_subfr]);

    for (int j = 0; j < kPitMax; j++) {
      s->res2_buf[j] = s->res2_buf[j + kSubframe];
      s->scal_res2_buf[j] = s->scal_res2_buf[j + kSubframe];
    }
  }
  for (int i = 0; i < 10; i++) syn[-10 + i] = syn[kFrame - 10 + i];
  for (int i = 0; i < kFrame; i++) syn[i] = syn_pst[i];
}

}  // namespace g729
