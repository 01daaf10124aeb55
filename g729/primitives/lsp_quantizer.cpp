// The LSP quantiser and decoder (see lsp_quantizer.h).
#include "lsp_quantizer.h"
#include "dispatch.h"
#include "filters.h"
#include "g729_tables.h"

namespace g729 {
namespace {

const Word16 kGap1 = 10, kGap2 = 5, kGap3 = 321;
const Word16 kLowLimit = 40, kHighLimit = 25681;

void Expand(Word16* buf, Word16 gap, int from, int to) {
  for (int j = from; j < to; j++) {
    Word16 diff = Sub(buf[j - 1], buf[j]);
    Word16 tmp = Shr(Add(diff, gap), 1);
    if (tmp > 0) {
      buf[j - 1] = Sub(buf[j - 1], tmp);
      buf[j] = Add(buf[j], tmp);
    }
  }
}

void PrevCompose(const Word16* ele, Word16* lsf, const Word16 (*fg)[10], const Word16 (*prev)[10],
                 const Word16* fg_sum) {
  for (int j = 0; j < kOrder; j++) {
    Word32 acc = LMult(ele[j], fg_sum[j]);
    for (int k = 0; k < 4; k++) acc = LMac(acc, prev[k][j], fg[k][j]);
    lsf[j] = ExtractH(acc);
  }
}

void PrevExtract(const Word16* lsf, Word16* ele, const Word16 (*fg)[10], const Word16 (*prev)[10],
                 const Word16* fg_sum_inv) {
  for (int j = 0; j < kOrder; j++) {
    Word32 t = DepositH(lsf[j]);
    for (int k = 0; k < 4; k++) t = LMsu(t, prev[k][j], fg[k][j]);
    Word16 tmp = ExtractH(t);
    t = LMult(tmp, fg_sum_inv[j]);
    ele[j] = ExtractH(LShl(t, 3));
  }
}

void PrevUpdate(LspPredictor* p, const Word16* ele) {
  for (int k = 3; k > 0; k--)
    for (int j = 0; j < kOrder; j++) p->freq_prev[k][j] = p->freq_prev[k - 1][j];
  for (int j = 0; j < kOrder; j++) p->freq_prev[0][j] = ele[j];
}

// Orders and spaces the LSFs and keeps them inside the limits; returns bit
// 0 when the lower limit was applied and bit 1 for the upper one.
int Stability(Word16* buf) {
  int limits = 0;
  for (int j = 0; j < kOrder - 1; j++) {
    if ((Word32)buf[j + 1] - buf[j] < 0) {
      Word16 t = buf[j + 1];
      buf[j + 1] = buf[j];
      buf[j] = t;
    }
  }
  if (buf[0] < kLowLimit) {
    buf[0] = kLowLimit;
    limits |= 1;
  }
  for (int j = 0; j < kOrder - 1; j++)
    if ((Word32)buf[j + 1] - buf[j] < kGap3) buf[j + 1] = Add(buf[j], kGap3);
  if (buf[kOrder - 1] > kHighLimit) {
    buf[kOrder - 1] = kHighLimit;
    limits |= 2;
  }
  return limits;
}

int GetQuant(LspPredictor* p, int code0, int code1, int code2, int mode, Word16* lsfq) {
  Word16 buf[kOrder];
  for (int j = 0; j < 5; j++) buf[j] = Add(tab::lspcb1[code0][j], tab::lspcb2[code1][j]);
  for (int j = 5; j < kOrder; j++) buf[j] = Add(tab::lspcb1[code0][j], tab::lspcb2[code2][j]);
  Expand(buf, kGap1, 1, kOrder);
  Expand(buf, kGap2, 1, kOrder);
  PrevCompose(buf, lsfq, tab::fg[mode], p->freq_prev, tab::fg_sum[mode]);
  PrevUpdate(p, buf);
  return Stability(lsfq);
}

// The silence description's predictor for mode 1 mixes the speech
// predictors (0.6 and 0.4); mode 0 is the first speech predictor.
void NoisePredictor(int mode, Word16 (*fg)[10]) {
  for (int k = 0; k < 4; k++)
    for (int j = 0; j < kOrder; j++)
      fg[k][j] = mode == 0 ? tab::fg[0][k][j]
                           : ExtractH(LMac(LMult(tab::fg[0][k][j], 19660), tab::fg[1][k][j], 13107));
}

void Weights(const Word16* flsp, Word16* wegt) {
  Word16 buf[kOrder];
  buf[0] = Sub(flsp[1], 1029 + 8192);
  for (int i = 1; i < kOrder - 1; i++) buf[i] = Sub(Sub(flsp[i + 1], flsp[i - 1]), 8192);
  buf[kOrder - 1] = Sub(23677 - 8192, flsp[kOrder - 2]);
  for (int i = 0; i < kOrder; i++) {
    if (buf[i] > 0) {
      wegt[i] = 2048;
    } else {
      Word32 acc = LMult(buf[i], buf[i]);
      Word16 tmp = ExtractH(LShl(acc, 2));
      acc = LMult(tmp, 10 * 2048);
      tmp = ExtractH(LShl(acc, 2));
      wegt[i] = Add(tmp, 2048);
    }
  }
  wegt[4] = ExtractH(LShl(LMult(wegt[4], 19661), 1));
  wegt[5] = ExtractH(LShl(LMult(wegt[5], 19661), 1));
  Word16 mx = 0;
  for (int i = 0; i < kOrder; i++)
    if (wegt[i] > mx) mx = wegt[i];
  int sft = NormS(mx);
  for (int i = 0; i < kOrder; i++) wegt[i] = Shl(wegt[i], sft);
}

// The first stage's pre-selection, one of the vector-built kernels.
int PreSelect(const Word16* rbuf) { return GetKernels().preselect(rbuf); }

// The second stage for one half, one of the vector-built kernels.
int SelectSecond(const Word16* rbuf, const Word16* cb1, const Word16* wegt, int from, int to) {
  Word16 buf[kOrder];
  for (int j = from; j < to; j++) buf[j] = Sub(rbuf[j], cb1[j]);
  return GetKernels().second_stage(buf, wegt, from);
}

Word32 TotalDistance(const Word16* wegt, const Word16* buf, const Word16* rbuf, const Word16* fg_sum) {
  Word32 d = 0;
  for (int j = 0; j < kOrder; j++) {
    Word16 t = Sub(buf[j], rbuf[j]);
    t = Mult(t, fg_sum[j]);
    Word32 acc = LMult(wegt[j], t);
    Word16 t2 = ExtractH(LShl(acc, 4));
    d = LMac(d, t2, t);
  }
  return d;
}

}  // namespace

void LspPredictorReset(LspPredictor* p) {
  for (int k = 0; k < 4; k++)
    for (int j = 0; j < kOrder; j++) p->freq_prev[k][j] = tab::freq_prev_reset[j];
}

void LspToLsf(const Word16* lsp, Word16* lsf) {
  int ind = 63;
  for (int i = kOrder - 1; i >= 0; i--) {
    while (tab::table2[ind] < lsp[i]) {
      ind--;
      if (ind <= 0) break;
    }
    Word16 offset = Sub(lsp[i], tab::table2[ind]);
    Word32 t = LMult(tab::slope_acos[ind], offset);
    Word16 freq = Add(Shl((Word16)ind, 9), ExtractL(LShr(t, 12)));
    lsf[i] = Mult(freq, 25736);
  }
}

void LsfToLsp(const Word16* lsf, Word16* lsp, int n) {
  for (int i = 0; i < n; i++) {
    Word16 freq = Mult(lsf[i], 20861);
    int ind = freq >> 8;
    Word16 offset = (Word16)(freq & 0xff);
    if (ind > 63) ind = 63;
    Word32 t = LMult(tab::slope_cos[ind], offset);
    lsp[i] = Add(tab::table2[ind], ExtractL(LShr(t, 13)));
  }
}

void LspQuantize(LspPredictor* p, const Word16* lsp, Word16* lsp_q, Word16* code) {
  Word16 lsf[kOrder], lsf_q[kOrder], wegt[kOrder];
  LspToLsf(lsp, lsf);
  Weights(lsf, wegt);
  int cand[2], tindex1[2], tindex2[2];
  Word32 tdist[2];
  for (int mode = 0; mode < 2; mode++) {
    Word16 rbuf[kOrder], buf[kOrder];
    PrevExtract(lsf, rbuf, tab::fg[mode], p->freq_prev, tab::fg_sum_inv[mode]);
    int c = PreSelect(rbuf);
    cand[mode] = c;
    int i1 = SelectSecond(rbuf, tab::lspcb1[c], wegt, 0, 5);
    tindex1[mode] = i1;
    for (int j = 0; j < 5; j++) buf[j] = Add(tab::lspcb1[c][j], tab::lspcb2[i1][j]);
    Expand(buf, kGap1, 1, 5);
    int i2 = SelectSecond(rbuf, tab::lspcb1[c], wegt, 5, 10);
    tindex2[mode] = i2;
    for (int j = 5; j < kOrder; j++) buf[j] = Add(tab::lspcb1[c][j], tab::lspcb2[i2][j]);
    Expand(buf, kGap1, 5, kOrder);
    Expand(buf, kGap2, 1, kOrder);
    tdist[mode] = TotalDistance(wegt, buf, rbuf, tab::fg_sum[mode]);
  }
  int mode = LSub(tdist[1], tdist[0]) < 0 ? 1 : 0;
  code[0] = (Word16)((mode << 7) | cand[mode]);
  code[1] = (Word16)((tindex1[mode] << 5) | tindex2[mode]);
  GetQuant(p, cand[mode], tindex1[mode], tindex2[mode], mode, lsf_q);
  LsfToLsp(lsf_q, lsp_q);
}

void DecodeLsp(LspPredictor* p, const Word16* code, bool erased, Word16* prev_lsf,
               Word16* prev_mode, Word16* lsp_q) {
  Word16 lsf_q[kOrder];
  if (!erased) {
    int mode = (code[0] >> 7) & 1;
    int code0 = code[0] & 127;
    int code1 = (code[1] >> 5) & 31;
    int code2 = code[1] & 31;
    GetQuant(p, code0, code1, code2, mode, lsf_q);
    for (int j = 0; j < kOrder; j++) prev_lsf[j] = lsf_q[j];
    *prev_mode = (Word16)mode;
  } else {
    for (int j = 0; j < kOrder; j++) lsf_q[j] = prev_lsf[j];
    LsfErasureUpdate(p, *prev_mode, prev_lsf);
  }
  LsfToLsp(lsf_q, lsp_q);
}

int DecodeLsf(LspPredictor* p, int mode, int l1, int l2, int l3, Word16* lsf) {
  return GetQuant(p, l1, l2, l3, mode, lsf);
}

void LsfErasureUpdate(LspPredictor* p, int mode, const Word16* lsf) {
  Word16 buf[kOrder];
  PrevExtract(lsf, buf, tab::fg[mode], p->freq_prev, tab::fg_sum_inv[mode]);
  PrevUpdate(p, buf);
}

int DecodeSidLsf(LspPredictor* p, const Word16* index, Word16* lsfq) {
  const int mode = index[0] & 1;
  Word16 buf[kOrder], fg[4][10];
  for (int j = 0; j < kOrder; j++) buf[j] = tab::lspcb1[tab::PtrTab_1[index[1] & 31]][j];
  for (int j = 0; j < 5; j++) buf[j] = Add(buf[j], tab::lspcb2[tab::PtrTab_2[0][index[2] & 15]][j]);
  for (int j = 5; j < kOrder; j++) buf[j] = Add(buf[j], tab::lspcb2[tab::PtrTab_2[1][index[2] & 15]][j]);
  // Keep neighbouring values at least 10 (Q13) apart.
  for (int j = 1; j < kOrder; j++) {
    Word32 acc = LMult(buf[j - 1], 16384);
    acc = LMac(acc, buf[j], -16384);
    acc = LMac(acc, 10, 16384);
    Word16 k = ExtractH(acc);
    if (k > 0) {
      buf[j - 1] = Sub(buf[j - 1], k);
      buf[j] = Add(buf[j], k);
    }
  }
  NoisePredictor(mode, fg);
  PrevCompose(buf, lsfq, fg, p->freq_prev, tab::noise_fg_sum[mode]);
  PrevUpdate(p, buf);
  return Stability(lsfq);
}

void DecodeSidLsp(LspPredictor* p, const Word16* index, Word16* lsp_q) {
  Word16 lsfq[kOrder];
  DecodeSidLsf(p, index, lsfq);
  LsfToLsp(lsfq, lsp_q);
}

void LspToLsfNormalized(const Word16* lsp, Word16* lsf) {
  int ind = 63;
  for (int i = kOrder - 1; i >= 0; i--) {
    while (ind > 0 && tab::table[ind] < lsp[i]) ind--;
    Word32 t = LMult(Sub(lsp[i], tab::table[ind]), tab::slope[ind]);
    lsf[i] = Add(Round(LShl(t, 3)), (Word16)(ind << 8));
  }
}

namespace {

const int kSidCandidates = 4;
const Word16 kMax16 = 32767;

// One stage of the silence description's tree search: the k best pairs of
// (input vector, code word) by the distance dist(p, m), with the residuals
// the chosen code words leave.
template <typename Distance, typename Codeword>
void SearchStage(const Word16* in, int inputs, int words, int k, Distance dist, Codeword word,
                 Word16* out, Word16* best, Word16* back) {
  Word16 sum[kSidCandidates * 32];
  for (int p = 0; p < inputs; p++)
    for (int m = 0; m < words; m++) sum[p * words + m] = dist(p, m);
  for (int q = 0; q < k; q++) {
    Word16 min = kMax16;
    int min_p = 0, min_m = 0;
    for (int p = 0; p < inputs; p++)
      for (int m = 0; m < words; m++)
        if (sum[p * words + m] < min) {
          min = sum[p * words + m];
          min_p = p;
          min_m = m;
        }
    sum[min_p * words + min_m] = kMax16;
    for (int l = 0; l < kOrder; l++) out[q * kOrder + l] = Sub(in[min_p * kOrder + l], word(min_m, l));
    back[q] = (Word16)min_p;
    best[q] = (Word16)min_m;
  }
}

}  // namespace

void QuantizeSidLsp(LspPredictor* p, const Word16* lsp, Word16* lsp_q, Word16* index) {
  Word16 lsf[kOrder], lsf_q[kOrder];
  LspToLsf(lsp, lsf);
  QuantizeSidLsf(p, lsf, lsf_q, index);
  LsfToLsp(lsf_q, lsp_q);
}

void QuantizeSidLsf(LspPredictor* p, const Word16* lsf_in, Word16* lsf_q, Word16* index) {
  Word16 lsf[kOrder], weight[kOrder], err[2 * kOrder];
  for (int i = 0; i < kOrder; i++) lsf[i] = lsf_in[i];
  // Spacing of about 100 Hz.
  if (lsf[0] < kLowLimit) lsf[0] = kLowLimit;
  for (int i = 0; i < kOrder - 1; i++)
    if (Sub(lsf[i + 1], lsf[i]) < 2 * kGap3) lsf[i + 1] = Add(lsf[i], 2 * kGap3);
  if (lsf[kOrder - 1] > kHighLimit) lsf[kOrder - 1] = kHighLimit;
  if (lsf[kOrder - 1] < lsf[kOrder - 2]) lsf[kOrder - 2] = Sub(lsf[kOrder - 1], kGap3);
  Weights(lsf, weight);
  for (int mode = 0; mode < 2; mode++) {
    Word16 fg[4][10];
    NoisePredictor(mode, fg);
    PrevExtract(lsf, err + mode * kOrder, fg, p->freq_prev, tab::noise_fg_sum_inv[mode]);
  }
  // First stage: 4 candidates over both predictors and 32 code words.
  Word16 d1[kSidCandidates * kOrder], best1[kSidCandidates], back1[kSidCandidates];
  auto first_word = [](int m, int l) { return tab::lspcb1[tab::PtrTab_1[m]][l]; };
  SearchStage(
      err, 2, 32, kSidCandidates,
      [&](int pi, int m) {
        Word32 acc = 0;
        for (int l = 0; l < kOrder; l++) {
          Word16 t = Sub(err[pi * kOrder + l], first_word(m, l));
          acc = LMac(acc, t, t);
        }
        return Mult(ExtractH(acc), tab::Mp[pi]);
      },
      first_word, d1, best1, back1);
  // Second stage: the best of 16 split code words, weighted.
  Word16 d2[kOrder], best2[1], back2[1];
  auto second_word = [](int m, int l) { return tab::lspcb2[tab::PtrTab_2[l < 5 ? 0 : 1][m]][l]; };
  SearchStage(
      d1, kSidCandidates, 16, 1,
      [&](int pi, int m) {
        const Word16* fs = tab::noise_fg_sum[back1[pi]];
        Word32 acc = 0;
        for (int l = 0; l < kOrder; l++) {
          Word16 t1 = ExtractH(LShl(LMult(fs[l], fs[l]), 2));
          t1 = Mult(t1, weight[l]);
          Word16 t2 = Sub(d1[pi * kOrder + l], second_word(m, l));
          t1 = ExtractH(LShl(LMult(t1, t2), 3));
          acc = LMac(acc, t1, t2);
        }
        return ExtractH(acc);
      },
      second_word, d2, best2, back2);
  index[0] = back1[back2[0]];
  index[1] = best1[back2[0]];
  index[2] = best2[0];
  DecodeSidLsf(p, index, lsf_q);
}

}  // namespace g729
