// Gain quantisation and decoding (see gains.h).
#include "gains.h"
#include "dispatch.h"
#include "filters.h"
#include "g729_tables.h"

namespace g729 {
namespace {

// The predicted code gain from the code vector's doubled energy.
void PredictFromEnergy(const GainPredictor* p, Word32 tmp, Word16* gcode0, Word16* exp_gcode0) {
  Word16 exp, frac;
  Log2(tmp, exp, frac);
  tmp = Mpy32by16(exp, frac, -24660);
  tmp = LMac(tmp, 32588, 32);
  tmp = LShl(tmp, 10);
  for (int i = 0; i < 4; i++) tmp = LMac(tmp, tab::pred[i], p->past_qua_en[i]);
  *gcode0 = ExtractH(tmp);
  tmp = LMult(*gcode0, 5439);
  tmp = LShr(tmp, 8);
  LExtract(tmp, exp, frac);
  *gcode0 = ExtractL(Pow2(14, frac));
  *exp_gcode0 = (Word16)(14 - exp);
}

void Predict(const GainPredictor* p, const Word16* code, Word16* gcode0, Word16* exp_gcode0) {
  // The code vector's energy cannot saturate (four pulses, sharpened).
  PredictFromEnergy(p, Sat32(2 * GetKernels().energy(code, kSubframe)), gcode0, exp_gcode0);
}

void Update(GainPredictor* p, Word32 gbk12) {
  for (int i = 3; i > 0; i--) p->past_qua_en[i] = p->past_qua_en[i - 1];
  Word16 exp, frac;
  Log2(gbk12, exp, frac);
  Word32 acc = LComp((Word16)(exp - 13), frac);
  Word16 tmp = ExtractH(LShl(acc, 13));
  p->past_qua_en[0] = Mult(tmp, 24660);
}

void UpdateErasure(GainPredictor* p) {
  Word32 acc = 0;
  for (int i = 0; i < 4; i++) acc += p->past_qua_en[i];
  Word16 av = ExtractL(acc >> 2);
  av = Sub(av, 4096);
  if (av < -14336) av = -14336;
  for (int i = 3; i > 0; i--) p->past_qua_en[i] = p->past_qua_en[i - 1];
  p->past_qua_en[0] = av;
}

Word16 CodeGain(Word32 gbk12, Word16 gcode0, Word16 exp_gcode0) {
  Word16 tmp = ExtractL(LShr(gbk12, 1));
  Word32 acc = LMult(tmp, gcode0);
  acc = LShl(acc, -exp_gcode0 + 4);
  return ExtractH(acc);
}

// (c[i] c[j] - c[k] c[l] / 2) / denominator, the exponents aligned, in Q q.
Word16 OptimalGain(const Word16* c, const Word16* e, int i, int j, int k, int l, Word16 inv_denom,
                   int exp_inv_denom, int q) {
  Word32 tmp1 = LMult(c[i], c[j]);
  int exp1 = e[i] + e[j];
  Word32 tmp2 = LMult(c[k], c[l]);
  int exp2 = e[k] + e[l] + 1;
  Word32 tmp;
  int exp;
  if (exp1 > exp2) {
    tmp = LSub(LShr(tmp1, exp1 - exp2 + 1), LShr(tmp2, 1));
    exp = exp2 - 1;
  } else {
    tmp = LSub(LShr(tmp1, 1), LShr(tmp2, exp2 - exp1 + 1));
    exp = exp1 - 1;
  }
  int sft = NormL(tmp);
  Word16 nume = ExtractH(LShl(tmp, sft));
  int exp_nume = exp + sft - 16;
  sft = exp_nume + exp_inv_denom - (q + 16 - 1);
  return ExtractH(LShr(LMult(nume, inv_denom), sft));
}

void Preselect(const Word16* best_gain, int* cand1, int* cand2, Word16 gcode0) {
  Word32 L_cfbg = LMult(tab::coef[0][0], best_gain[0]);
  Word32 acc = LShr(tab::L_coef[1][1], 15);
  acc = LAdd(L_cfbg, acc);
  Word16 acc_h = ExtractH(acc);
  Word32 preg = LMult(acc_h, gcode0);
  acc = LShl(best_gain[1], 7);
  acc = LSub(acc, preg);
  acc_h = ExtractH(LShl(acc, 2));
  Word32 tmp_x = LMult(acc_h, -17103);

  acc = LShr(tab::L_coef[0][1], 10);
  acc = LSub(L_cfbg, acc);
  acc_h = ExtractH(acc);
  acc_h = Mult(acc_h, gcode0);
  Word32 tmp = LMult(acc_h, tab::coef[1][0]);
  preg = LMult(tab::coef[0][0], best_gain[1]);
  acc = LSub(tmp, LShr(preg, 3));
  acc_h = ExtractH(LShl(acc, 2));
  Word32 tmp_y = LMult(acc_h, -17103);

  const int sft_y = (14 + 4 + 1) - 16;
  const int sft_x = (15 + 4 + 1) - 15;
  if (gcode0 > 0) {
    *cand1 = 0;
    do {
      if (LSub(tmp_y, LShr(LMult(tab::thr1[*cand1], gcode0), sft_y)) > 0)
        (*cand1)++;
      else
        break;
    } while (*cand1 < 8 - 4);
    *cand2 = 0;
    do {
      if (LSub(tmp_x, LShr(LMult(tab::thr2[*cand2], gcode0), sft_x)) > 0)
        (*cand2)++;
      else
        break;
    } while (*cand2 < 16 - 8);
  } else {
    *cand1 = 0;
    do {
      if (LSub(tmp_y, LShr(LMult(tab::thr1[*cand1], gcode0), sft_y)) < 0)
        (*cand1)++;
      else
        break;
    } while (*cand1 != 8 - 4);
    *cand2 = 0;
    do {
      if (LSub(tmp_x, LShr(LMult(tab::thr2[*cand2], gcode0), sft_x)) < 0)
        (*cand2)++;
      else
        break;
    } while (*cand2 != 16 - 8);
  }
}

}  // namespace

void GainPredictorReset(GainPredictor* p) {
  for (int i = 0; i < 4; i++) p->past_qua_en[i] = -14336;
}

void CodeCorrelations(const Word16* pitch_corr, const Word16* xn, const Word16* y1, const Word16* y2,
                      Word16* g_coeff, Word16* exp_g_coeff) {
  g_coeff[0] = pitch_corr[0];
  exp_g_coeff[0] = Negate(pitch_corr[1]);
  g_coeff[1] = Negate(pitch_corr[2]);
  exp_g_coeff[1] = Negate(Add(pitch_corr[3], 1));
  Word16 scaled_y2[kSubframe];
  for (int i = 0; i < kSubframe; i++) scaled_y2[i] = (Word16)(y2[i] >> 3);
  Word32 acc = 1;
  for (int i = 0; i < kSubframe; i++) acc = LMac(acc, scaled_y2[i], scaled_y2[i]);
  int exp = NormL(acc);
  g_coeff[2] = Round(LShl(acc, exp));
  exp_g_coeff[2] = (Word16)(exp + 19 - 16);

  acc = 1;
  for (int i = 0; i < kSubframe; i++) acc = LMac(acc, xn[i], scaled_y2[i]);
  exp = NormL(acc);
  g_coeff[3] = Negate(Round(LShl(acc, exp)));
  exp_g_coeff[3] = (Word16)(exp + 10 - 16 - 1);

  acc = 1;
  for (int i = 0; i < kSubframe; i++) acc = LMac(acc, y1[i], scaled_y2[i]);
  exp = NormL(acc);
  g_coeff[4] = Round(LShl(acc, exp));
  exp_g_coeff[4] = (Word16)(exp + 10 - 16 - 1);
}

Word16 QuantizeGains(GainPredictor* p, const Word16* code, const Word16* g_coeff, const Word16* exp_coeff,
                     Word16* gain_pit, Word16* gain_cod, Word16 tameflag) {
  Word16 gcode0, exp_gcode0;
  Predict(p, code, &gcode0, &exp_gcode0);

  Word32 tmp1, tmp2, tmp, acc;
  int exp1, exp2, exp, sft;
  // Denominator 4 c0 c2 - c4^2.
  tmp1 = LMult(g_coeff[0], g_coeff[2]);
  exp1 = exp_coeff[0] + exp_coeff[2] + 1 - 2;
  tmp2 = LMult(g_coeff[4], g_coeff[4]);
  exp2 = exp_coeff[4] + exp_coeff[4] + 1;
  if (exp1 > exp2) {
    tmp = LSub(LShr(tmp1, exp1 - exp2), tmp2);
    exp = exp2;
  } else {
    tmp = LSub(tmp1, LShr(tmp2, exp2 - exp1));
    exp = exp1;
  }
  sft = NormL(tmp);
  Word16 denom = ExtractH(LShl(tmp, sft));
  int exp_denom = exp + sft - 16;
  Word16 inv_denom = Negate(DivS(16384, denom));
  int exp_inv_denom = 14 + 15 - exp_denom;

  // Optimal gains: the pitch gain in Q9 (limited when taming), the code
  // gain in Q2.
  Word16 best_gain[2];
  best_gain[0] = OptimalGain(g_coeff, exp_coeff, 2, 1, 3, 4, inv_denom, exp_inv_denom, 9);
  if (tameflag == 1 && best_gain[0] > 481) best_gain[0] = 481;
  best_gain[1] = OptimalGain(g_coeff, exp_coeff, 0, 3, 1, 4, inv_denom, exp_inv_denom, 2);

  Word16 gcode0_org;
  if (exp_gcode0 >= 4) {
    gcode0_org = Shr(gcode0, exp_gcode0 - 4);
  } else {
    acc = LShl((Word32)gcode0, (4 + 16) - exp_gcode0);
    gcode0_org = ExtractH(acc);
  }
  int cand1, cand2;
  Preselect(best_gain, &cand1, &cand2, gcode0_org);

  Word16 exp_min[5];
  exp_min[0] = (Word16)(exp_coeff[0] + 13);
  exp_min[1] = (Word16)(exp_coeff[1] + 14);
  exp_min[2] = (Word16)(exp_coeff[2] + (exp_gcode0 * 2 - 21));
  exp_min[3] = (Word16)(exp_coeff[3] + exp_gcode0 - 3);
  exp_min[4] = (Word16)(exp_coeff[4] + exp_gcode0 - 4);
  Word16 e_min = exp_min[0];
  for (int i = 1; i < 5; i++)
    if (exp_min[i] < e_min) e_min = exp_min[i];
  Word16 coeff[5], coeff_lsf[5];
  for (int i = 0; i < 5; i++) {
    tmp = LShr(DepositH(g_coeff[i]), exp_min[i] - e_min);
    LExtract(tmp, coeff[i], coeff_lsf[i]);
  }

  Word32 dist_min = kMax32;
  int index1 = cand1, index2 = cand2;
  for (int i = 0; i < 4; i++) {
    for (int j = 0; j < 8; j++) {
      Word16 g_pitch = Add(tab::gbk1[cand1 + i][0], tab::gbk2[cand2 + j][0]);
      if (tameflag == 1 && g_pitch >= 16383) continue;
      Word32 sum = (Word32)tab::gbk1[cand1 + i][1] + tab::gbk2[cand2 + j][1];
      Word16 t = ExtractL(sum >> 1);
      Word16 g_code = Mult(gcode0, t);
      Word16 g2_pitch = Mult(g_pitch, g_pitch);
      Word16 g2_code = Mult(g_code, g_code);
      Word16 g_pit_cod = Mult(g_code, g_pitch);
      tmp = Mpy32by16(coeff[0], coeff_lsf[0], g2_pitch);
      tmp = LAdd(tmp, Mpy32by16(coeff[1], coeff_lsf[1], g_pitch));
      tmp = LAdd(tmp, Mpy32by16(coeff[2], coeff_lsf[2], g2_code));
      tmp = LAdd(tmp, Mpy32by16(coeff[3], coeff_lsf[3], g_code));
      tmp = LAdd(tmp, Mpy32by16(coeff[4], coeff_lsf[4], g_pit_cod));
      if (LSub(tmp, dist_min) < 0) {
        dist_min = tmp;
        index1 = cand1 + i;
        index2 = cand2 + j;
      }
    }
  }

  *gain_pit = Add(tab::gbk1[index1][0], tab::gbk2[index2][0]);
  Word32 gbk12 = (Word32)tab::gbk1[index1][1] + tab::gbk2[index2][1];
  *gain_cod = CodeGain(gbk12, gcode0, exp_gcode0);
  Update(p, gbk12);
  return (Word16)(tab::map1[index1] * 16 + tab::map2[index2]);
}

void DecodeGains(GainPredictor* p, Word16 index, const Word16* code, bool erased, Word16* gain_pit,
                 Word16* gain_cod) {
  DecodeGainsFromEnergy(p, index, erased ? 0 : Sat32(2 * GetKernels().energy(code, kSubframe)), erased,
                        gain_pit, gain_cod);
}

void DecodeGainsFromEnergy(GainPredictor* p, Word16 index, Word32 energy, bool erased, Word16* gain_pit,
                           Word16* gain_cod) {
  if (erased) {
    *gain_pit = Mult(*gain_pit, 29491);
    if (*gain_pit > 29491) *gain_pit = 29491;
    *gain_cod = Mult(*gain_cod, 32111);
    UpdateErasure(p);
    return;
  }
  int index1 = tab::imap1[(index >> 4) & 7];
  int index2 = tab::imap2[index & 15];
  *gain_pit = Add(tab::gbk1[index1][0], tab::gbk2[index2][0]);
  Word16 gcode0, exp_gcode0;
  PredictFromEnergy(p, energy, &gcode0, &exp_gcode0);
  Word32 gbk12 = (Word32)tab::gbk1[index1][1] + tab::gbk2[index2][1];
  *gain_cod = CodeGain(gbk12, gcode0, exp_gcode0);
  Update(p, gbk12);
}

}  // namespace g729
