// The G.729 Annex A encoder core (see encoder.h).
#include "encoder.h"

#include "algebraic_codebook.h"
#include "linear_prediction.h"
#include "pitch.h"
#include "taming.h"

namespace g729 {
namespace {
const Word16 kInitialLsp[kOrder] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};
const Word16 kSharpMin = 3277, kSharpMax = 13017;
const int kPitMax = 143, kInterpol = 11;
}  // namespace

void EncoderInit(EncoderState* s) {
  for (Word16& v : s->old_speech) v = 0;
  for (Word16& v : s->old_wsp) v = 0;
  for (Word16& v : s->old_exc) v = 0;
  for (int i = 0; i < kOrder; i++) {
    s->lsp_old[i] = s->lsp_old_q[i] = kInitialLsp[i];
    s->mem_w0[i] = s->mem_w[i] = s->mem_zero[i] = 0;
  }
  s->sharp = kSharpMin;
  s->old_a[0] = 4096;
  for (int i = 1; i <= kOrder; i++) s->old_a[i] = 0;
  s->old_rc[0] = s->old_rc[1] = 0;
  TamingInit(s->exc_err);
  HighPassInit(&s->pre);
  LspPredictorReset(&s->lsp_predictor);
  GainPredictorReset(&s->gain_predictor);
}

void EncodeFrame(EncoderState* s, const int16_t* pcm, Word16* ana) {
  Word16* new_speech = s->old_speech + 240 - kFrame;
  Word16* speech = new_speech - 40;
  Word16* p_window = s->old_speech;
  Word16* wsp = s->old_wsp + kPitMax;
  Word16* exc = s->old_exc + kPitMax + kInterpol;

  for (int i = 0; i < kFrame; i++) new_speech[i] = pcm[i];
  PreProcess(&s->pre, new_speech, kFrame);

  Word16 Aq_t[22], Ap_t[22];
  {
    Word16 r_l[11], r_h[11], rc[kOrder], lsp_new[kOrder], lsp_new_q[kOrder];
    Autocorrelation(p_window, kOrder, r_h, r_l);
    LagWindow(kOrder, r_h, r_l);
    LevinsonDurbin(r_h, r_l, Ap_t, rc, s->old_a, s->old_rc);
    LpcToLsp(Ap_t, lsp_new, s->lsp_old);
    LspQuantize(&s->lsp_predictor, lsp_new, lsp_new_q, ana);
    ana += 2;
    InterpolateLpc(s->lsp_old_q, lsp_new_q, Aq_t);
    WeightCoefficients(&Aq_t[0], 24576, &Ap_t[0]);
    WeightCoefficients(&Aq_t[11], 24576, &Ap_t[11]);
    for (int i = 0; i < kOrder; i++) {
      s->lsp_old[i] = lsp_new[i];
      s->lsp_old_q[i] = lsp_new_q[i];
    }
  }

  ResidualFilter(&Aq_t[0], &speech[0], &exc[0], kSubframe);
  ResidualFilter(&Aq_t[11], &speech[kSubframe], &exc[kSubframe], kSubframe);
  {
    Word16 Ap1[11];
    for (int sub = 0; sub < 2; sub++) {
      const Word16* Ap = Ap_t + 11 * sub;
      Ap1[0] = 4096;
      for (int i = 1; i <= kOrder; i++) Ap1[i] = Sub(Ap[i], Mult(Ap[i - 1], 22938));
      SynthesisFilter(Ap1, &exc[kSubframe * sub], &wsp[kSubframe * sub], kSubframe, s->mem_w, true);
    }
  }

  Word16 T_op = OpenLoopPitch(wsp);
  Word16 T0_min = (Word16)(T_op - 3);
  if (T0_min < 20) T0_min = 20;
  Word16 T0_max = (Word16)(T0_min + 6);
  if (T0_max > kPitMax) {
    T0_max = kPitMax;
    T0_min = (Word16)(kPitMax - 6);
  }

  for (int sub = 0; sub < 2; sub++) {
    const int i_subfr = sub * kSubframe;
    const Word16* Ap = Ap_t + 11 * sub;
    Word16 h1[kSubframe], xn[kSubframe], xn2[kSubframe], code[kSubframe], y1[kSubframe], y2[kSubframe];
    Word16 g_coeff[4], g_coeff_cs[5], exp_g_coeff_cs[5];

    h1[0] = 4096;
    for (int i = 1; i < kSubframe; i++) h1[i] = 0;
    {
      Word16 zero[kOrder] = {0};
      SynthesisFilter(Ap, h1, h1, kSubframe, zero, false);
    }
    SynthesisFilter(Ap, &exc[i_subfr], xn, kSubframe, s->mem_w0, false);

    Word16 T0_frac;
    Word16 T0 = ClosedLoopPitch(&exc[i_subfr], xn, h1, T0_min, T0_max, sub, &T0_frac);
    Word16 index = EncodeLag(T0, T0_frac, &T0_min, &T0_max, sub);
    *ana++ = index;
    if (sub == 0) *ana++ = PitchParity(index);

    SynthesisFilter(Ap, &exc[i_subfr], y1, kSubframe, s->mem_zero, false);
    Word16 gain_pit = PitchGain(xn, y1, g_coeff);
    Word16 taming = TamingTest(s->exc_err, T0, T0_frac);
    if (taming == 1 && gain_pit > 15564) gain_pit = 15564;

    for (int i = 0; i < kSubframe; i++) {
      Word32 t = LShl(LMult(y1[i], gain_pit), 1);
      xn2[i] = Sub(xn[i], ExtractH(t));
    }

    Word16 sign;
    index = SearchAlgebraicCodebook(xn2, h1, T0, s->sharp, code, y2, &sign);
    *ana++ = index;
    *ana++ = sign;

    g_coeff_cs[0] = g_coeff[0];
    exp_g_coeff_cs[0] = Negate(g_coeff[1]);
    g_coeff_cs[1] = Negate(g_coeff[2]);
    exp_g_coeff_cs[1] = Negate(Add(g_coeff[3], 1));
    CodeCorrelations(xn, y1, y2, g_coeff_cs, exp_g_coeff_cs);
    Word16 gain_code;
    *ana++ = QuantizeGains(&s->gain_predictor, code, g_coeff_cs, exp_g_coeff_cs, &gain_pit, &gain_code,
                           taming);

    s->sharp = gain_pit;
    if (s->sharp > kSharpMax) s->sharp = kSharpMax;
    if (s->sharp < kSharpMin) s->sharp = kSharpMin;

    for (int i = 0; i < kSubframe; i++) {
      Word32 t = LMult(exc[i + i_subfr], gain_pit);
      t = LMac(t, code[i], gain_code);
      t = LShl(t, 1);
      exc[i + i_subfr] = Round(t);
    }
    TamingUpdate(s->exc_err, gain_pit, T0);
    for (int i = kSubframe - kOrder, j = 0; i < kSubframe; i++, j++) {
      Word16 temp = ExtractH(LShl(LMult(y1[i], gain_pit), 1));
      Word16 k = ExtractH(LShl(LMult(y2[i], gain_code), 2));
      s->mem_w0[j] = Sub(xn[i], Add(temp, k));
    }
  }

  for (int i = 0; i < 240 - kFrame; i++) s->old_speech[i] = s->old_speech[i + kFrame];
  for (int i = 0; i < kPitMax; i++) s->old_wsp[i] = s->old_wsp[i + kFrame];
  for (int i = 0; i < kPitMax + kInterpol; i++) s->old_exc[i] = s->old_exc[i + kFrame];
}

}  // namespace g729
