// The G.729 Annex A encoder core (see encoder.h).
#include "encoder.h"

#include "algebraic_codebook.h"
#include "comfort_noise.h"
#include "linear_prediction.h"
#include "pitch.h"
#include "taming.h"

namespace g729 {
namespace {
const Word16 kInitialLsp[kOrder] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};
const Word16 kSharpMin = 3277, kSharpMax = 13017;
const int kPitMax = 143, kInterpol = 11;

// Every frame's end: the speech, weighted-speech and excitation histories
// move on by a frame.
void ShiftHistories(EncoderState* s) {
  for (int i = 0; i < 240 - kFrame; i++) s->old_speech[i] = s->old_speech[i + kFrame];
  for (int i = 0; i < kPitMax; i++) s->old_wsp[i] = s->old_wsp[i + kFrame];
  for (int i = 0; i < kPitMax + kInterpol; i++) s->old_exc[i] = s->old_exc[i + kFrame];
}

// A frame without speech: the silence description (or nothing) and the
// comfort-noise excitation the decoder will build, with the weighting and
// target filters run on it so that their memories stay in step.
int EncodeNoiseFrame(EncoderState* s, ScratchFrame& frame, Word16* sid) {
  Word16* speech = s->old_speech + 240 - kFrame - 40;
  Word16* wsp = s->old_wsp + kPitMax;
  Word16* exc = s->old_exc + kPitMax + kInterpol;
  Word16* Aq_t = frame.Take<Word16>(22);
  Word16 gp[2], lags[2];
  int type = NoiseEncode(&s->noise, s->prev_voice, exc, s->lsp_old_q, Aq_t, sid, &s->lsp_predictor,
                         &s->noise_seed, s->old_a, s->old_rc, gp, lags);
  s->pprev_voice = s->prev_voice;
  s->prev_voice = false;
  for (int sub = 0; sub < 2; sub++) {
    const int i_subfr = sub * kSubframe;
    TamingUpdate(s->exc_err, gp[sub], lags[sub]);
    Word16* xn = frame.Take<Word16>(kSubframe);
    Word16* Ap_t = frame.Take<Word16>(11, 2);
    Word16* Ap1 = frame.Take<Word16>(11, 2);
    ResidualFilter(&Aq_t[11 * sub], &speech[i_subfr], xn, kSubframe);
    WeightCoefficients(&Aq_t[11 * sub], 24576, Ap_t);
    Ap1[0] = 4096;
    for (int i = 1; i <= kOrder; i++) Ap1[i] = Sub(Ap_t[i], Mult(Ap_t[i - 1], 22938));
    SynthesisFilter(Ap1, xn, &wsp[i_subfr], kSubframe, s->mem_w, true);
    for (int i = 0; i < kSubframe; i++) xn[i] = Sub(xn[i], exc[i_subfr + i]);
    SynthesisFilter(Ap_t, xn, xn, kSubframe, s->mem_w0, true);
  }
  s->sharp = kSharpMin;
  ShiftHistories(s);
  return type;
}
}  // namespace

void EncoderInit(EncoderState* s, bool vad) {
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
  s->vad = vad;
  s->frame = 0;
  s->prev_voice = s->pprev_voice = true;
  s->noise_seed = kNoiseSeed;
  VoiceActivityInit(&s->activity);
  NoiseEncoderInit(&s->noise);
}

int EncodeFrame(EncoderState* s, const int16_t* pcm, Word16* ana) {
  Word16* new_speech = s->old_speech + 240 - kFrame;
  Word16* speech = new_speech - 40;
  Word16* p_window = s->old_speech;
  Word16* wsp = s->old_wsp + kPitMax;
  Word16* exc = s->old_exc + kPitMax + kInterpol;

  for (int i = 0; i < kFrame; i++) new_speech[i] = pcm[i];
  PreProcess(&s->pre, new_speech, kFrame);

  ScratchFrame frame(&s->scratch);
  Word16* Aq_t = frame.Take<Word16>(22);
  Word16* Ap_t = frame.Take<Word16>(22);
  {
    Word16* r_l = frame.Take<Word16>(13);
    Word16* r_h = frame.Take<Word16>(13);
    Word16* rc = frame.Take<Word16>(kOrder, 2);
    Word16* lsp_new = frame.Take<Word16>(kOrder);
    Word16* lsp_new_q = frame.Take<Word16>(kOrder);
    Word16 exp_r0;
    s->frame = s->frame == 32767 ? 256 : (Word16)(s->frame + 1);
    Autocorrelation(p_window, s->vad ? 12 : kOrder, r_h, r_l, &exp_r0);
    Word16* r_h_unwindowed = frame.Take<Word16>(kOrder + 1, 2);
    for (int i = 0; i <= kOrder; i++) r_h_unwindowed[i] = r_h[i];
    LagWindow(kOrder, r_h, r_l);
    LevinsonDurbin(r_h, r_l, Ap_t, rc, s->old_a, s->old_rc);
    LpcToLsp(Ap_t, lsp_new, s->lsp_old);
    if (s->vad) {
      Word16* lsf = frame.Take<Word16>(kOrder);
      LspToLsfNormalized(lsp_new, lsf);
      VoiceActivityInput in = {rc[1], lsf, r_h, r_l, exp_r0, p_window, s->frame, s->prev_voice, s->pprev_voice};
      const bool voice = VoiceActivity(&s->activity, in);
      NoiseHistoryUpdate(&s->noise, r_h_unwindowed, exp_r0, voice);
      if (!voice) {
        int type = EncodeNoiseFrame(s, frame, ana);
        for (int i = 0; i < kOrder; i++) s->lsp_old[i] = lsp_new[i];
        return type;
      }
    }
    s->pprev_voice = s->prev_voice;
    s->prev_voice = true;
    s->noise_seed = kNoiseSeed;
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
    Word16* Ap1 = frame.Take<Word16>(11, 2);
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
    Word16* h1 = frame.Take<Word16>(kSubframe);
    Word16* xn = frame.Take<Word16>(kSubframe);
    Word16* xn2 = frame.Take<Word16>(kSubframe);
    Word16* code = frame.Take<Word16>(kSubframe);
    Word16* y1 = frame.Take<Word16>(kSubframe);
    Word16* y2 = frame.Take<Word16>(kSubframe);
    Word16 g_coeff[4], g_coeff_cs[5], exp_g_coeff_cs[5];

    h1[0] = 4096;
    for (int i = 1; i < kSubframe; i++) h1[i] = 0;
    {
      Word16* zero = frame.Take<Word16>(kOrder, 2);
      for (int i = 0; i < kOrder; i++) zero[i] = 0;
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

    CodeCorrelations(g_coeff, xn, y1, y2, g_coeff_cs, exp_g_coeff_cs);
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

  ShiftHistories(s);
  return 3;
}

}  // namespace g729
