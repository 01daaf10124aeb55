// The G.729 Annex A decoder core (see decoder.h).
#include "decoder.h"

#include "algebraic_codebook.h"
#include "linear_prediction.h"
#include "pitch.h"
#include "g729_tables.h"

namespace g729 {
namespace {
const Word16 kInitialLsp[kOrder] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};
const Word16 kSharpMin = 3277, kSharpMax = 13017;
const int kPitMax = 143, kInterpol = 11;

Word16 NextRandom(Word16* seed) {
  *seed = ExtractL(LAdd(LShr(LMult(*seed, 31821), 1), 13849));
  return *seed;
}
}  // namespace

void DecoderInit(DecoderState* s) {
  for (Word16& v : s->old_exc) v = 0;
  for (int i = 0; i < kOrder; i++) {
    s->lsp_old[i] = kInitialLsp[i];
    s->mem_syn[i] = 0;
    s->prev_lsf[i] = tab::freq_prev_reset[i];
  }
  s->sharp = kSharpMin;
  s->old_t0 = 60;
  s->gain_code = s->gain_pitch = 0;
  s->seed = 21845;
  s->prev_mode = 0;
  for (Word16& v : s->synth_buf) v = 0;
  LspPredictorReset(&s->lsp_predictor);
  GainPredictorReset(&s->gain_predictor);
  PostfilterInit(&s->post);
  HighPassInit(&s->post_process);
}

void DecodeFrame(DecoderState* s, const Word16* prm, int16_t* out) {
  const bool bfi = prm == nullptr;
  Word16 parm[kParametersDecoded];
  if (!bfi) {
    for (int i = 0; i < kParametersDecoded; i++) parm[i] = prm[i];
    // Parity error: the received bit against the bits of the first lag.
    parm[3] = (Word16)(PitchParity(parm[2]) ^ (parm[3] & 1));
  } else {
    for (Word16& v : parm) v = 0;
  }
  Word16* exc = s->old_exc + kPitMax + kInterpol;
  Word16* synth = s->synth_buf + kOrder;
  Word16 A_t[22], T2[2], lsp_new[kOrder], code[kSubframe];

  DecodeLsp(&s->lsp_predictor, parm, bfi, s->prev_lsf, &s->prev_mode, lsp_new);
  InterpolateLpc(s->lsp_old, lsp_new, A_t);
  for (int i = 0; i < kOrder; i++) s->lsp_old[i] = lsp_new[i];

  const Word16* p = parm + 2;
  Word16 T0 = s->old_t0, T0_frac = 0;
  for (int sub = 0; sub < 2; sub++) {
    const int i_subfr = sub * kSubframe;
    const Word16* Az = A_t + 11 * sub;
    Word16 index = *p++;
    bool bad_pitch = bfi;
    if (sub == 0) bad_pitch = bfi || (*p++ != 0);
    if (!bad_pitch) {
      DecodeLag(index, sub, &T0, &T0_frac);
      s->old_t0 = T0;
    } else {
      T0 = s->old_t0;
      T0_frac = 0;
      s->old_t0 = Add(s->old_t0, 1);
      if (s->old_t0 > kPitMax) s->old_t0 = kPitMax;
    }
    T2[sub] = T0;

    AdaptiveCodebookVector(&exc[i_subfr], T0, T0_frac, kSubframe);

    Word16 positions = p[0], signs = p[1];
    if (bfi) {
      positions = (Word16)(NextRandom(&s->seed) & 0x1fff);
      signs = (Word16)(NextRandom(&s->seed) & 0x000f);
    }
    DecodeAlgebraicCodebook(signs, positions, code);
    p += 2;
    Word16 j = Shl(s->sharp, 1);
    if (T0 < kSubframe)
      for (int i = T0; i < kSubframe; i++) code[i] = Add(code[i], Mult(code[i - T0], j));

    index = *p++;
    DecodeGains(&s->gain_predictor, index, code, bfi, &s->gain_pitch, &s->gain_code);
    s->sharp = s->gain_pitch;
    if (s->sharp > kSharpMax) s->sharp = kSharpMax;
    if (s->sharp < kSharpMin) s->sharp = kSharpMin;

    for (int i = 0; i < kSubframe; i++) {
      Word32 t = LMult(exc[i + i_subfr], s->gain_pitch);
      t = LMac(t, code[i], s->gain_code);
      t = LShl(t, 1);
      exc[i + i_subfr] = Round(t);
    }
    if (SynthesisFilter(Az, &exc[i_subfr], &synth[i_subfr], kSubframe, s->mem_syn, false)) {
      // Overflow in the synthesis: scale the whole excitation down and redo.
      for (Word16& v : s->old_exc) v = Shr(v, 2);
      SynthesisFilter(Az, &exc[i_subfr], &synth[i_subfr], kSubframe, s->mem_syn, true);
    } else {
      for (int i = 0; i < kOrder; i++) s->mem_syn[i] = synth[i_subfr + kSubframe - kOrder + i];
    }
  }
  for (int i = 0; i < kPitMax + kInterpol; i++) s->old_exc[i] = s->old_exc[i + kFrame];

  Postfilter(&s->post, synth, A_t, T2);
  PostProcess(&s->post_process, synth, kFrame);
  for (int i = 0; i < kFrame; i++) out[i] = synth[i];
}

}  // namespace g729
