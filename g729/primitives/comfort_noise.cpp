// Comfort noise excitation and gain quantisation (see comfort_noise.h).
#include "comfort_noise.h"

#include "filters.h"
#include "pitch.h"
#include "g729_tables.h"

namespace g729 {
namespace {

const Word16 kFrac1 = 19043;  // sqrt(40) * 0.5 / 2 - 1, Q15
const Word16 kK0 = 24576;     // 1 - 0.5^2, Q15
const Word16 kGainMax = 5000;

Word16 ShrRound(Word16 x, int n) {
  if (n <= 0) return Shl(x, -n);
  if (n > 15) return 0;
  Word16 out = Shr(x, n);
  if (x & (1 << (n - 1))) out = Add(out, 1);
  return out;
}

// Sum of 12 uniform draws: an approximately normal value, scaled below 2^12.
Word16 Gauss(Word16* seed) {
  Word32 acc = 0;
  for (int i = 0; i < 12; i++) acc = LAdd(acc, NextRandom(seed));
  return ExtractL(LShr(acc, 7));
}

// sqrt(x / 2) by bitwise search, 14 bits.
Word16 HalfSqrt(Word32 x) {
  Word16 r = 0;
  for (Word16 bit = 0x4000, i = 0; i < 14; i++, bit = (Word16)(bit >> 1)) {
    Word16 t = Add(r, bit);
    if (LSub(x, LMult(t, t)) >= 0) r = t;
  }
  return r;
}

}  // namespace

Word16 NextRandom(Word16* seed) {
  *seed = ExtractL(LAdd(LShr(LMult(*seed, 31821), 1), 13849));
  return *seed;
}

Word16 QuantizeNoiseEnergy(const Word16* energy, const Word16* shift, int count, Word16* level_db) {
  Word16 hi, lo, sh = 0;
  Word32 x;
  if (count == 0) {
    LExtract(LShl((Word32)energy[0], shift[0]), hi, lo);
    x = Mpy32by16(hi, lo, tab::fact[0]);
  } else {
    // Weighted average of the energies, aligned to the smallest shift.
    sh = shift[0];
    for (int i = 1; i < count; i++)
      if (shift[i] < sh) sh = shift[i];
    sh = Add(sh, (Word16)(16 - tab::marg[count]));
    x = 0;
    for (int i = 0; i < count; i++) x = LAdd(x, LShl((Word32)energy[i], Sub(sh, shift[i])));
    LExtract(x, hi, lo);
    x = Mpy32by16(hi, lo, tab::fact[count]);
  }
  Word16 exp, frac;
  Log2(x, exp, frac);
  Word16 e = Add(Shl(Sub(exp, sh), 10), MultR(frac, 1024));  // 1024 log2(energy)
  Word16 db, index;
  if (e <= -2721) {  // -8 dB
    db = -12;
    index = 0;
  } else if (e > 22111) {  // 65 dB
    db = 66;
    index = 31;
  } else if (e <= 4762) {  // 14 dB
    index = Mult(Add(e, 3401), 24);
    if (index < 1) index = 1;
    db = Sub(Shl(index, 2), 8);
  } else {
    index = Sub(Shr(Mult(Sub(e, 340), 193), 2), 1);
    if (index < 6) index = 6;
    db = Add(Shl(index, 1), 4);
  }
  if (level_db) *level_db = db;
  return index;
}

Word16 SmoothNoiseGain(Word16 current, Word16 described) {
  return Add(MultR(current, 28672), MultR(described, 4096));
}

void NoiseExcitation(Word16 gain, Word16* exc, Word16* seed, Word16* gp, Word16* lags) {
  if (gain == 0) {
    for (int i = 0; i < kFrame; i++) exc[i] = 0;
    for (int s = 0; s < 2; s++) {
      if (gp) gp[s] = 0;
      if (lags) lags[s] = kSubframe + 1;
    }
    return;
  }
  for (int sub = 0; sub < 2; sub++) {
    Word16* cur = exc + sub * kSubframe;
    Word16 pos[4], sign[4];
    Word16 r = NextRandom(seed);
    Word16 frac = (Word16)((r & 3) - 1);
    if (frac == 2) frac = 0;
    r = Shr(r, 2);
    Word16 t0 = (Word16)((r & 0x3f) + 40);
    r = Shr(r, 6);
    pos[0] = (Word16)(5 * (r & 7));
    r = Shr(r, 3);
    sign[0] = (Word16)(r & 1);
    r = Shr(r, 1);
    pos[1] = (Word16)(5 * (r & 7) + 1);
    r = Shr(r, 3);
    sign[1] = (Word16)(r & 1);
    r = NextRandom(seed);
    pos[2] = (Word16)(5 * (r & 7) + 2);
    r = Shr(r, 3);
    sign[2] = (Word16)(r & 1);
    r = Shr(r, 1);
    pos[3] = (Word16)((r & 1) + 3 + 5 * ((r & 0xf) >> 1));
    r = Shr(r, 4);
    sign[3] = (Word16)(r & 1);
    Word16 Gp = (Word16)(NextRandom(seed) & 0x1fff);  // below 0.5, Q14
    Word16 Gp2 = Shl(Gp, 1);

    // Gaussian part scaled to 0.5 * gain * sqrt(40 / energy).
    Word16 excg[kSubframe], excs[kSubframe];
    Word32 acc = 0;
    for (int i = 0; i < kSubframe; i++) {
      excg[i] = Gauss(seed);
      acc = LMac(acc, excg[i], excg[i]);
    }
    Word16 hi, lo;
    LExtract(InvSqrt(LShr(acc, 1)), hi, lo);
    Word16 t = Add(gain, MultR(gain, kFrac1));
    acc = Mpy32by16(hi, lo, t);
    int sh = NormL(acc);
    t = ExtractH(LShl(acc, sh));
    sh -= 14;
    for (int i = 0; i < kSubframe; i++) excg[i] = ShrRound(MultR(excg[i], t), sh);

    AdaptiveCodebookVector(cur, t0, frac, kSubframe);
    Word16 max = 0;
    for (int i = 0; i < kSubframe; i++) {
      cur[i] = Add(MultR(cur[i], Gp2), excg[i]);
      Word16 a = Abs16(cur[i]);
      if (a > max) max = a;
    }
    sh = max == 0 ? 0 : 3 - NormS(max);
    if (sh < 0) sh = 0;
    for (int i = 0; i < kSubframe; i++) excs[i] = Shr(cur[i], sh);

    // The pulse gain g solves 4 g^2 + 2 b g + c = 0 (b the excitation at
    // the pulses, c its energy less the target's).
    Word32 ener = 0;
    for (int i = 0; i < kSubframe; i++) ener = LMac(ener, excs[i], excs[i]);
    Word16 b = 0;
    for (int i = 0; i < 4; i++) b = sign[i] ? Add(b, excs[pos[i]]) : Sub(b, excs[pos[i]]);
    Word16 tk = ExtractL(LShr(LMult(gain, kSubframe), 6));
    Word32 k = LMult(gain, tk);
    acc = LShr(k, 1 + 2 * sh);
    acc = LSub(acc, ener);
    b = Shr(b, 1);
    acc = LMac(acc, b, b);
    sh += 1;
    if (acc < 0) {
      // No real root: drop the pitch contribution.
      for (int i = 0; i < kSubframe; i++) cur[i] = excg[i];
      Word16 any = (Word16)(Abs16(excg[pos[0]]) | Abs16(excg[pos[1]]) | Abs16(excg[pos[2]]) |
                            Abs16(excg[pos[3]]));
      sh = (any & 0x4000) == 0 ? 1 : 2;
      b = 0;
      for (int i = 0; i < 4; i++) {
        Word16 v = Shr(excg[pos[i]], sh);
        b = sign[i] ? Add(b, v) : Sub(b, v);
      }
      LExtract(k, hi, lo);
      acc = LShr(Mpy32by16(hi, lo, kK0), 2 * sh - 1);
      acc = LMac(acc, b, b);
      Gp = 0;
    }
    Word16 root = HalfSqrt(acc);
    Word16 x1 = Sub(root, b);
    Word16 x2 = Negate(Add(b, root));
    if (Abs16(x2) < Abs16(x1)) x1 = x2;
    Word16 g = ShrRound(x1, 2 - sh);
    if (g > kGainMax) g = kGainMax;
    if (g < -kGainMax) g = -kGainMax;
    for (int i = 0; i < 4; i++) cur[pos[i]] = sign[i] ? Add(cur[pos[i]], g) : Sub(cur[pos[i]], g);
    if (gp) gp[sub] = Gp;
    if (lags) lags[sub] = t0;
  }
}

}  // namespace g729
