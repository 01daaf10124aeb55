// The G.729 Annex A decoder core (see decoder.h).
#include "decoder.h"

#include "algebraic_codebook.h"
#include "comfort_noise.h"
#include "linear_prediction.h"
#include "pitch.h"
#include "g729_tables.h"

namespace g729 {
namespace {
const Word16 kInitialLsp[kOrder] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};
const Word16 kSharpMin = 3277, kSharpMax = 13017;
const int kPitMax = 143, kInterpol = 11;
const Word16 kInitialSidLsp[kOrder] = {31441, 27566, 21458, 13612, 4663, -4663, -13612, -21458, -27566, -31441};
const int kSpeech = 3;

// Synthesis of one subframe's excitation.
void SynthesizeSubframe(DecoderState* s, const Word16* Az, int i_subfr) {
  Word16* exc = s->old_exc + kPitMax + kInterpol;
  Word16* synth = s->synth_buf + kOrder;
  if (SynthesisFilter(Az, &exc[i_subfr], &synth[i_subfr], kSubframe, s->mem_syn, false)) {
    // Overflow in the synthesis: scale the whole excitation down and redo.
    for (Word16& v : s->old_exc) v = Shr(v, 2);
    SynthesisFilter(Az, &exc[i_subfr], &synth[i_subfr], kSubframe, s->mem_syn, true);
  } else {
    for (int i = 0; i < kOrder; i++) s->mem_syn[i] = synth[i_subfr + kSubframe - kOrder + i];
  }
}

// The end of every frame: the excitation history moves on, the synthesis
// is postfiltered (the pitch postfilter only for speech) and written out.
void FinishFrame(DecoderState* s, const Word16* A_t, const Word16* T2, bool speech, int16_t* out) {
  Word16* synth = s->synth_buf + kOrder;
  for (int i = 0; i < kPitMax + kInterpol; i++) s->old_exc[i] = s->old_exc[i + kFrame];
  Postfilter(&s->post, synth, A_t, T2, speech);
  PostProcess(&s->post_process, synth, kFrame);
  for (int i = 0; i < kFrame; i++) out[i] = synth[i];
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
  s->past_type = kSpeech;
  s->sid_energy = 0;
  s->sid_energy_shift = 1;
  for (int i = 0; i < kOrder; i++) s->sid_lsp[i] = kInitialSidLsp[i];
  s->sid_gain = tab::tab_Sidgain[0];
  s->noise_gain = 0;
  s->noise_seed = kNoiseSeed;
  G729HistoryRecordReset(&s->history);
}

void DecodeSilenceFrame(DecoderState* s, const Word16* sid, bool take_gain, int16_t* out) {
  const bool after_speech = s->past_type == kSpeech;
  if (sid) {
    s->sid_gain = tab::tab_Sidgain[sid[3] & 31];
    DecodeSidLsp(&s->lsp_predictor, sid, s->sid_lsp);
  } else if (after_speech) {
    // The first silence description was lost: estimate its gain from the
    // last speech frame's excitation.
    s->sid_gain = tab::tab_Sidgain[QuantizeNoiseEnergy(&s->sid_energy, &s->sid_energy_shift, 0)];
  }
  if (after_speech || take_gain)
    s->noise_gain = s->sid_gain;
  else
    s->noise_gain = SmoothNoiseGain(s->noise_gain, s->sid_gain);

  Word16* exc = s->old_exc + kPitMax + kInterpol;
  NoiseExcitation(s->noise_gain, exc, &s->noise_seed);
  ScratchFrame frame(&s->scratch);
  Word16* A_t = frame.Take<Word16>(22);
  InterpolateLpc(s->lsp_old, s->sid_lsp, A_t);
  for (int i = 0; i < kOrder; i++) s->lsp_old[i] = s->sid_lsp[i];
  SynthesizeSubframe(s, &A_t[0], 0);
  SynthesizeSubframe(s, &A_t[11], kSubframe);
  const Word16 T2[2] = {s->old_t0, s->old_t0};
  FinishFrame(s, A_t, T2, false, out);
  s->sharp = kSharpMin;
  s->past_type = 0;
}

void DecodeFrame(DecoderState* s, const Word16* prm, int16_t* out) {
  const bool bfi = prm == nullptr;
  if (bfi && s->past_type != kSpeech) {
    DecodeSilenceFrame(s, nullptr, false, out);
    return;
  }
  s->noise_seed = kNoiseSeed;
  ScratchFrame frame(&s->scratch);
  Word16* parm = frame.Take<Word16>(kParametersDecoded, 2);
  if (!bfi) {
    for (int i = 0; i < kParametersDecoded; i++) parm[i] = prm[i];
    // Parity error: the received bit against the bits of the first lag.
    parm[3] = (Word16)(PitchParity(parm[2]) ^ (parm[3] & 1));
  } else {
    for (int i = 0; i < kParametersDecoded; i++) parm[i] = 0;
  }
  Word16* exc = s->old_exc + kPitMax + kInterpol;
  Word16* A_t = frame.Take<Word16>(22);
  Word16* lsp_new = frame.Take<Word16>(kOrder);
  Word16* code = frame.Take<Word16>(kSubframe);
  Word16 T2[2];

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
    SynthesizeSubframe(s, Az, i_subfr);
  }
  if (!bfi) {
    // The excitation energy of the last good frame, should the first
    // silence description be lost.
    Word32 e = 0;
    for (int i = 0; i < kFrame; i++) e = LMac(e, exc[i], exc[i]);
    int sh = NormL(e);
    s->sid_energy = Round(LShl(e, sh));
    s->sid_energy_shift = (Word16)(16 - sh);
  }
  FinishFrame(s, A_t, T2, true, out);
  s->past_type = kSpeech;
}

}  // namespace g729
