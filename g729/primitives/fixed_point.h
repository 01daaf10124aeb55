// 16- and 32-bit fixed-point operators of the codec: saturating and
// wrapping arithmetic, normalisation, the double-precision (hi, lo) form and
// the table-driven logarithm, power and inverse square root. Every step of
// the encoder and decoder is written with these, so that the results are the
// same bit for bit on every compiler and processor. The `_o` variants also
// raise an overflow flag that the caller owns.
#pragma once
#include <cstdint>

namespace g729 {

typedef int16_t Word16;
typedef int32_t Word32;

const Word32 kMax32 = 0x7fffffff;
const Word32 kMin32 = (-0x7fffffff - 1);

static inline Word16 Sat16(Word32 x) {
  return x > 32767 ? 32767 : (x < -32768 ? -32768 : (Word16)x);
}
static inline Word32 Sat32(int64_t x) {
  return x > kMax32 ? kMax32 : (x < kMin32 ? kMin32 : (Word32)x);
}
static inline Word16 Add(Word16 a, Word16 b) { return Sat16((Word32)a + b); }
static inline Word16 Sub(Word16 a, Word16 b) { return Sat16((Word32)a - b); }
static inline Word16 AddO(Word16 a, Word16 b, bool& ovf) {
  Word32 s = (Word32)a + b;
  if (s > 32767 || s < -32768) ovf = true;
  return Sat16(s);
}
static inline Word16 SubO(Word16 a, Word16 b, bool& ovf) {
  Word32 s = (Word32)a - b;
  if (s > 32767 || s < -32768) ovf = true;
  return Sat16(s);
}
static inline Word16 Abs16(Word16 a) { return a == -32768 ? 32767 : (a < 0 ? -a : a); }
static inline Word16 Negate(Word16 a) { return a == -32768 ? 32767 : -a; }
static inline Word16 ExtractH(Word32 x) { return (Word16)(x >> 16); }
static inline Word16 ExtractL(Word32 x) { return (Word16)x; }
static inline Word32 DepositH(Word16 a) { return (Word32)((uint32_t)(uint16_t)a << 16); }

// (a * b) >> 15 with saturation (only -1 * -1 saturates).
static inline Word16 Mult(Word16 a, Word16 b) { return Sat16(((Word32)a * b) >> 15); }
static inline Word16 MultR(Word16 a, Word16 b) { return Sat16(((Word32)a * b + 0x4000) >> 15); }
static inline Word32 LMult(Word16 a, Word16 b) {
  Word32 p = (Word32)a * b;
  return p == 0x40000000 ? kMax32 : p * 2;
}
static inline Word32 LAdd(Word32 a, Word32 b) { return Sat32((int64_t)a + b); }
static inline Word32 LSub(Word32 a, Word32 b) { return Sat32((int64_t)a - b); }
static inline Word32 LAddO(Word32 a, Word32 b, bool& ovf) {
  int64_t s = (int64_t)a + b;
  if (s > kMax32 || s < kMin32) ovf = true;
  return Sat32(s);
}
static inline Word32 LMac(Word32 acc, Word16 a, Word16 b) { return LAdd(acc, LMult(a, b)); }
static inline Word32 LMsu(Word32 acc, Word16 a, Word16 b) { return LSub(acc, LMult(a, b)); }
static inline Word32 LMultO(Word16 a, Word16 b, bool& ovf) {
  Word32 p = (Word32)a * b;
  if (p == 0x40000000) { ovf = true; return kMax32; }
  return p * 2;
}
static inline Word32 LMacO(Word32 acc, Word16 a, Word16 b, bool& ovf) {
  return LAddO(acc, LMultO(a, b, ovf), ovf);
}
static inline Word32 LMsuO(Word32 acc, Word16 a, Word16 b, bool& ovf) {
  Word32 p = LMultO(a, b, ovf);
  int64_t s = (int64_t)acc - p;
  if (s > kMax32 || s < kMin32) ovf = true;
  return Sat32(s);
}
static inline Word32 LNegate(Word32 a) { return a == kMin32 ? kMax32 : -a; }
static inline Word32 LAbs(Word32 a) { return a == kMin32 ? kMax32 : (a < 0 ? -a : a); }

static inline Word32 LShr(Word32 x, int n);
// Doubling n times with saturation ends where the exact product clamped
// ends: compute it in 64 bits.
static inline Word32 LShlO(Word32 x, int n, bool& ovf) {
  if (n <= 0) return LShr(x, -n);
  if (n > 32) n = 32;
  int64_t r = (int64_t)x * ((int64_t)1 << n);
  if (r > kMax32) { ovf = true; return kMax32; }
  if (r < kMin32) { ovf = true; return kMin32; }
  return (Word32)r;
}
static inline Word32 LShl(Word32 x, int n) {
  bool ovf = false;
  return LShlO(x, n, ovf);
}
static inline Word32 LShr(Word32 x, int n) {
  if (n < 0) return LShl(x, -n);
  if (n >= 31) return x < 0 ? -1 : 0;
  return x >> n;
}
static inline Word32 LShrR(Word32 x, int n) {
  if (n > 31) return 0;
  Word32 out = LShr(x, n);
  if (n > 0 && (x & ((Word32)1 << (n - 1)))) out++;
  return out;
}
static inline Word16 Shr(Word16 a, int n);
static inline Word16 Shl(Word16 a, int n) {
  if (n < 0) return Shr(a, -n);
  if (n > 15) return a == 0 ? 0 : (a > 0 ? 32767 : -32768);
  Word32 r = (Word32)a * (1 << n);
  return Sat16(r) == r ? (Word16)r : (a > 0 ? 32767 : -32768);
}
static inline Word16 Shr(Word16 a, int n) {
  if (n < 0) return Shl(a, -n);
  if (n >= 15) return a < 0 ? -1 : 0;
  return (Word16)(a >> n);
}
static inline Word16 Round(Word32 x) { return ExtractH(LAdd(x, 0x8000)); }
static inline Word16 RoundO(Word32 x, bool& ovf) { return ExtractH(LAddO(x, 0x8000, ovf)); }

static inline int NormL(Word32 x) {
  if (x == 0) return 0;
  if (x == -1) return 31;
  if (x < 0) x = ~x;
  return __builtin_clz((uint32_t)x) - 1;
}
static inline int NormS(Word16 a) {
  if (a == 0) return 0;
  if (a == -1) return 15;
  Word32 x = a < 0 ? ~(Word32)a : a;
  return __builtin_clz((uint32_t)x) - 17;
}
// Fractional division num/den in Q15, 0 <= num <= den: the standard's
// fifteen steps of long division give floor(num * 2^15 / den).
static inline Word16 DivS(Word16 num, Word16 den) {
  if (num <= 0 || den <= 0) return 0;
  if (num >= den) return 32767;
  return (Word16)(((Word32)num << 15) / den);
}

// Double precision: x = hi << 16 + lo << 1.
static inline void LExtract(Word32 x, Word16& hi, Word16& lo) {
  hi = ExtractH(x);
  lo = (Word16)((x >> 1) - (Word32)hi * 32768);
}
static inline Word32 LComp(Word16 hi, Word16 lo) { return LMac(DepositH(hi), lo, 1); }
static inline Word32 Mpy32(Word16 hi1, Word16 lo1, Word16 hi2, Word16 lo2) {
  Word32 r = LMult(hi1, hi2);
  r = LMac(r, Mult(hi1, lo2), 1);
  return LMac(r, Mult(lo1, hi2), 1);
}
static inline Word32 Mpy32by16(Word16 hi, Word16 lo, Word16 n) {
  return LMac(LMult(hi, n), Mult(lo, n), 1);
}
Word32 Div32(Word32 num, Word16 den_hi, Word16 den_lo);

// Table-driven functions of the fixed-point library.
Word32 Pow2(Word16 exponent, Word16 fraction);
void Log2(Word32 x, Word16& exponent, Word16& fraction);
Word32 InvSqrt(Word32 x);

}  // namespace g729
