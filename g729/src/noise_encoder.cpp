// The encoder's discontinuous transmission (see noise_encoder.h).
#include "noise_encoder.h"

#include "comfort_noise.h"
#include "linear_prediction.h"
#include "g729_tables.h"

namespace g729 {
namespace {

const int kMp1 = kOrder + 1;
const Word16 kFracThresh1 = 4855, kFracThresh2 = 3161;
const int kMinFramesBetweenSid = 3;

// Sum of nb autocorrelation sets with their own exponents, normalised.
void SumAcf(const Word16* acf, const Word16* sh_acf, Word16* sum, Word16* sh_sum, int nb) {
  Word16 sh0 = sh_acf[0];
  for (int i = 1; i < nb; i++)
    if (sh_acf[i] < sh0) sh0 = sh_acf[i];
  sh0 = Add(sh0, 14);
  Word32 tab[kMp1] = {0};
  for (int i = 0; i < nb; i++) {
    Word16 t = Sub(sh0, sh_acf[i]);
    for (int j = 0; j < kMp1; j++) tab[j] = LAdd(tab[j], LShl((Word32)acf[i * kMp1 + j], t));
  }
  int n = NormL(tab[0]);
  for (int i = 0; i < kMp1; i++) sum[i] = ExtractH(LShl(tab[i], n));
  *sh_sum = Add(sh0, (Word16)(n - 16));
}

// Autocorrelation of LP coefficients, for the Itakura distance.
void CoefficientCorrelation(const Word16* coeff, Word16* r, Word16* sh) {
  Word32 acc = 0;
  for (int j = 0; j < kMp1; j++) acc = LMac(acc, coeff[j], coeff[j]);
  int n = NormL(acc);
  r[0] = Round(LShl(acc, n));
  for (int i = 1; i < kMp1; i++) {
    acc = 0;
    for (int j = 0; j < kMp1 - i; j++) acc = LMac(acc, coeff[j], coeff[j + i]);
    r[i] = Round(LShl(acc, n));
  }
  *sh = (Word16)n;
}

// True when the spectrum acf differs from the filter r by more than the
// threshold (relative to the residual energy alpha).
bool FilterChanged(const Word16* r, Word16 sh_r, const Word16* acf, Word16 alpha, Word16 thresh) {
  Word16 sh[2] = {0, 0};
  int ind = 1;
  Word32 acc;
  for (;;) {
    bool overflow = false;
    acc = LShr(LMult(Shr(r[0], sh[0]), Shr(acf[0], sh[1])), 1);
    for (int i = 1; i < kMp1; i++) acc = LMacO(acc, Shr(r[i], sh[0]), Shr(acf[i], sh[1]), overflow);
    if (!overflow) break;
    sh[ind] = Add(sh[ind], 1);
    ind = 1 - ind;
  }
  Word32 limit = LAdd((Word32)MultR(alpha, thresh), (Word32)alpha);
  limit = LShl(limit, Sub(Add(sh_r, 9), Add(sh[0], sh[1])));
  return LSub(acc, limit) > 0;
}

void UpdateSumAcf(NoiseEncoderState* s) {
  for (int i = 3 * kMp1 - 1; i >= kMp1; i--) s->sum_acf[i] = s->sum_acf[i - kMp1];
  for (int i = 2; i >= 1; i--) s->sh_sum_acf[i] = s->sh_sum_acf[i - 1];
  SumAcf(s->acf, s->sh_acf, s->sum_acf, s->sh_sum_acf, 2);
}

// Levinson-Durbin of a single-precision autocorrelation set.
void Levinson16(const Word16* acf, Word16* a, Word16* err, Word16* old_a, Word16* old_rc) {
  Word16 zero[kMp1] = {0}, rc[kOrder];
  LevinsonDurbin(acf, zero, a, rc, old_a, old_rc, err);
}

}  // namespace

void NoiseEncoderInit(NoiseEncoderState* s) {
  for (Word16& v : s->sum_acf) v = 0;
  for (Word16& v : s->sh_sum_acf) v = 40;
  for (Word16& v : s->acf) v = 0;
  for (Word16& v : s->sh_acf) v = 40;
  for (int i = 0; i < 2; i++) {
    s->sh_ener[i] = 40;
    s->ener[i] = 0;
  }
  for (Word16& v : s->lsp_sid_q) v = 0;
  for (Word16& v : s->past_coeff) v = 0;
  for (Word16& v : s->r_coeff) v = 0;
  s->sh_r_coeff = 0;
  s->cur_gain = s->fr_cur = s->flag_chang = 0;
  s->nb_ener = s->sid_gain = s->prev_energy = s->count_fr0 = 0;
}

void NoiseHistoryUpdate(NoiseEncoderState* s, const Word16* r_h, Word16 exp_r, bool voice) {
  for (int i = 2 * kMp1 - 1; i >= kMp1; i--) s->acf[i] = s->acf[i - kMp1];
  s->sh_acf[1] = s->sh_acf[0];
  s->sh_acf[0] = Negate(Add(16, exp_r));
  for (int i = 0; i < kMp1; i++) s->acf[i] = r_h[i];
  s->fr_cur = Add(s->fr_cur, 1);
  if (s->fr_cur == 2) {
    s->fr_cur = 0;
    if (voice) UpdateSumAcf(s);
  }
}

int NoiseEncode(NoiseEncoderState* s, bool prev_voice, Word16* exc, Word16* lsp_old_q, Word16* Aq,
                Word16* sid, LspPredictor* predictor, Word16* seed, Word16* old_a, Word16* old_rc,
                Word16* gp, Word16* lags) {
  s->ener[1] = s->ener[0];
  s->sh_ener[1] = s->sh_ener[0];
  Word16 cur_acf[kMp1], cur_coeff[kMp1];
  SumAcf(s->acf, s->sh_acf, cur_acf, &s->sh_ener[0], 2);
  if (cur_acf[0] == 0) {
    s->ener[0] = 0;
    for (int i = 0; i < kMp1; i++) cur_coeff[i] = i == 0 ? 4096 : 0;
  } else {
    Levinson16(cur_acf, cur_coeff, &s->ener[0], old_a, old_rc);
  }

  Word16 energy_q, gain_index;
  bool send;
  if (prev_voice) {
    // The first frame of silence always sends a description.
    send = true;
    s->nb_ener = 1;
    gain_index = QuantizeNoiseEnergy(s->ener, s->sh_ener, 1, &energy_q);
  } else {
    s->nb_ener = Add(s->nb_ener, 1);
    if (s->nb_ener > 2) s->nb_ener = 2;
    gain_index = QuantizeNoiseEnergy(s->ener, s->sh_ener, s->nb_ener, &energy_q);
    if (FilterChanged(s->r_coeff, s->sh_r_coeff, cur_acf, s->ener[0], kFracThresh1)) s->flag_chang = 1;
    if (Sub(Abs16(Sub(s->prev_energy, energy_q)), 2) > 0) s->flag_chang = 1;
    s->count_fr0 = Add(s->count_fr0, 1);
    if (s->count_fr0 < kMinFramesBetweenSid) {
      send = false;
    } else {
      send = s->flag_chang != 0;
      s->count_fr0 = kMinFramesBetweenSid;
    }
  }

  if (send) {
    s->count_fr0 = 0;
    s->flag_chang = 0;
    // The average filter of the past frames, unless the current one
    // differs from it.
    Word16 s_sum[kMp1], temp;
    SumAcf(s->sum_acf, s->sh_sum_acf, s_sum, &temp, 3);
    if (s_sum[0] == 0) {
      for (int i = 0; i < kMp1; i++) s->past_coeff[i] = i == 0 ? 4096 : 0;
    } else {
      Levinson16(s_sum, s->past_coeff, &temp, old_a, old_rc);
    }
    CoefficientCorrelation(s->past_coeff, s->r_coeff, &s->sh_r_coeff);
    const Word16* coeff = s->past_coeff;
    if (FilterChanged(s->r_coeff, s->sh_r_coeff, cur_acf, s->ener[0], kFracThresh2)) {
      coeff = cur_coeff;
      CoefficientCorrelation(cur_coeff, s->r_coeff, &s->sh_r_coeff);
    }
    Word16 lsp_new[kOrder];
    LpcToLsp(coeff, lsp_new, lsp_old_q);
    QuantizeSidLsp(predictor, lsp_new, s->lsp_sid_q, sid);
    s->prev_energy = energy_q;
    sid[3] = gain_index;
    s->sid_gain = tab::tab_Sidgain[gain_index];
  }

  if (prev_voice)
    s->cur_gain = s->sid_gain;
  else
    s->cur_gain = SmoothNoiseGain(s->cur_gain, s->sid_gain);
  NoiseExcitation(s->cur_gain, exc, seed, gp, lags);
  InterpolateLpc(lsp_old_q, s->lsp_sid_q, Aq);
  for (int i = 0; i < kOrder; i++) lsp_old_q[i] = s->lsp_sid_q[i];
  if (s->fr_cur == 0) UpdateSumAcf(s);
  return send ? 1 : 0;
}

}  // namespace g729
