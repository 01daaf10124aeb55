// The LSP quantiser and decoder (see lsp_quantizer.h).
#include "lsp_quantizer.h"
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

void Stability(Word16* buf) {
  for (int j = 0; j < kOrder - 1; j++) {
    if ((Word32)buf[j + 1] - buf[j] < 0) {
      Word16 t = buf[j + 1];
      buf[j + 1] = buf[j];
      buf[j] = t;
    }
  }
  if (buf[0] < kLowLimit) buf[0] = kLowLimit;
  for (int j = 0; j < kOrder - 1; j++)
    if ((Word32)buf[j + 1] - buf[j] < kGap3) buf[j + 1] = Add(buf[j], kGap3);
  if (buf[kOrder - 1] > kHighLimit) buf[kOrder - 1] = kHighLimit;
}

void GetQuant(LspPredictor* p, int code0, int code1, int code2, int mode, Word16* lsfq) {
  Word16 buf[kOrder];
  for (int j = 0; j < 5; j++) buf[j] = Add(tab::lspcb1[code0][j], tab::lspcb2[code1][j]);
  for (int j = 5; j < kOrder; j++) buf[j] = Add(tab::lspcb1[code0][j], tab::lspcb2[code2][j]);
  Expand(buf, kGap1, 1, kOrder);
  Expand(buf, kGap2, 1, kOrder);
  PrevCompose(buf, lsfq, tab::fg[mode], p->freq_prev, tab::fg_sum[mode]);
  PrevUpdate(p, buf);
  Stability(lsfq);
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

// The distances below are sums of non-negative terms, so the standard's
// saturating accumulation equals the exact sum clamped once, and a
// candidate whose partial sum already reaches the best distance cannot win
// (only a strictly smaller distance replaces the best): its sum is cut short.
int PreSelect(const Word16* rbuf) {
  int cand = 0;
  int64_t dmin = kMax32;
  for (int i = 0; i < 128; i++) {
    int64_t sum = 0;
    int j = 0;
    for (; j < kOrder; j++) {
      int32_t t = Sat16((int32_t)rbuf[j] - tab::lspcb1[i][j]);
      sum += t * t;
      if (2 * sum >= dmin) break;
    }
    if (j == kOrder) {
      dmin = Sat32(2 * sum);
      cand = i;
    }
  }
  return cand;
}

int SelectSecond(const Word16* rbuf, const Word16* cb1, const Word16* wegt, int from, int to) {
  Word16 buf[kOrder];
  for (int j = from; j < to; j++) buf[j] = Sub(rbuf[j], cb1[j]);
  int index = 0;
  int64_t dmin = kMax32;
  for (int k = 0; k < 32; k++) {
    int64_t sum = 0;  // weights are positive: every term is non-negative
    int j = from;
    for (; j < to; j++) {
      Word16 t = Sub(buf[j], tab::lspcb2[k][j]);
      Word16 t2 = Mult(wegt[j], t);
      sum += (int32_t)t2 * t;
      if (2 * sum >= dmin) break;
    }
    if (j == to) {
      dmin = Sat32(2 * sum);
      index = k;
    }
  }
  return index;
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

void LsfToLsp(const Word16* lsf, Word16* lsp) {
  for (int i = 0; i < kOrder; i++) {
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
    Word16 buf[kOrder];
    for (int j = 0; j < kOrder; j++) lsf_q[j] = prev_lsf[j];
    PrevExtract(prev_lsf, buf, tab::fg[*prev_mode], p->freq_prev, tab::fg_sum_inv[*prev_mode]);
    PrevUpdate(p, buf);
  }
  LsfToLsp(lsf_q, lsp_q);
}

}  // namespace g729
