// Logarithm, power, inverse square root and 32-bit division of the codec's
// fixed-point library, by table look-up and linear interpolation.
#include "fixed_point.h"
#include "g729_tables.h"

namespace g729 {

namespace {

// Linear interpolation in a table from the bits of a normalised x: the entry
// at bits 25..31 (less `base`), moved towards the next by bits 10..24.
Word32 Interpolate(const Word16* table, Word32 x, int base) {
  x = LShr(x, 9);
  Word16 i = (Word16)(ExtractH(x) - base);
  Word16 a = (Word16)(ExtractL(LShr(x, 1)) & 0x7fff);
  Word32 y = DepositH(table[i]);
  return LMsu(y, Sub(table[i], table[i + 1]), a);
}

}  // namespace

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
  // The fraction's bits 10..15 index the table: place them at bit 25.
  Word32 y = Interpolate(tab::tabpow, LShl(LMult(fraction, 32), 9), 0);
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
  fraction = ExtractH(Interpolate(tab::tablog, x, 32));
}

Word32 InvSqrt(Word32 x) {
  if (x <= 0) return 0x3fffffff;
  int e = NormL(x);
  x = LShl(x, e);
  e = 30 - e;
  if ((e & 1) == 0) x = LShr(x, 1);
  e = (e >> 1) + 1;
  return LShr(Interpolate(tab::tabsqr, x, 16), e);
}

}  // namespace g729
