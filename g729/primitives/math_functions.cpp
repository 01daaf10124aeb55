// Logarithm, power, inverse square root and 32-bit division of the codec's
// fixed-point library, by table look-up and linear interpolation.
#include "fixed_point.h"
#include "g729_tables.h"

namespace g729 {

Word32 Div32(Word32 num, Word16 den_hi, Word16 den_lo) {
  // First approximation 1/den, refined once by Newton's step.
  Word16 approx = DivS(0x3fff, den_hi);
  Word32 x = Mpy32by16(den_hi, den_lo, approx);
  x = LSub(kMax32, x);
  Word16 hi, lo;
  LExtract(x, hi, lo);
  x = Mpy32by16(hi, lo, approx);
  LExtract(x, hi, lo);
  Word16 n_hi, n_lo;
  LExtract(num, n_hi, n_lo);
  x = Mpy32(n_hi, n_lo, hi, lo);
  return LShl(x, 2);
}

Word32 Pow2(Word16 exponent, Word16 fraction) {
  Word32 x = LMult(fraction, 32);
  Word16 i = ExtractH(x);
  Word16 a = (Word16)(ExtractL(LShr(x, 1)) & 0x7fff);
  Word32 y = DepositH(tab::tabpow[i]);
  Word16 d = Sub(tab::tabpow[i], tab::tabpow[i + 1]);
  y = LMsu(y, d, a);
  return LShrR(y, 30 - exponent);
}

void Log2(Word32 x, Word16& exponent, Word16& fraction) {
  if (x <= 0) {
    exponent = 0;
    fraction = 0;
    return;
  }
  int e = NormL(x);
  x = LShl(x, e);
  exponent = (Word16)(30 - e);
  x = LShr(x, 9);
  Word16 i = ExtractH(x);
  Word16 a = (Word16)(ExtractL(LShr(x, 1)) & 0x7fff);
  i = (Word16)(i - 32);
  Word32 y = DepositH(tab::tablog[i]);
  Word16 d = Sub(tab::tablog[i], tab::tablog[i + 1]);
  y = LMsu(y, d, a);
  fraction = ExtractH(y);
}

Word32 InvSqrt(Word32 x) {
  if (x <= 0) return 0x3fffffff;
  int e = NormL(x);
  x = LShl(x, e);
  e = 30 - e;
  if ((e & 1) == 0) x = LShr(x, 1);
  e = (e >> 1) + 1;
  x = LShr(x, 9);
  Word16 i = ExtractH(x);
  Word16 a = (Word16)(ExtractL(LShr(x, 1)) & 0x7fff);
  i = (Word16)(i - 16);
  Word32 y = DepositH(tab::tabsqr[i]);
  Word16 d = Sub(tab::tabsqr[i], tab::tabsqr[i + 1]);
  y = LMsu(y, d, a);
  return LShr(y, e);
}

}  // namespace g729
