// The SSE2 build of the hot primitives. Same results as the generic build:
// the sums are exact (64-bit, or 32-bit where the caller has shown that no
// sum can leave 32 bits).
#include <emmintrin.h>

#include "dispatch.h"

#define G729_SSE2 __attribute__((target("sse2")))

namespace g729 {
namespace {

// Sum of the four 32-bit pair sums of pmaddwd, widened to 64 bits. A pair
// sum reads as -2^31 only when both products were 2^30 (the true sum is
// +2^31, the one value pmaddwd cannot hold): such lanes are counted in fix
// and corrected at the end.
G729_SSE2 inline void Accumulate(__m128i m, __m128i& acc, __m128i& fix) {
  const __m128i sign = _mm_srai_epi32(m, 31);
  acc = _mm_add_epi64(acc, _mm_unpacklo_epi32(m, sign));
  acc = _mm_add_epi64(acc, _mm_unpackhi_epi32(m, sign));
  fix = _mm_sub_epi32(fix, _mm_cmpeq_epi32(m, _mm_set1_epi32((int)0x80000000u)));
}

G729_SSE2 inline int64_t Total(__m128i acc, __m128i fix) {
  alignas(16) int64_t a[2];
  alignas(16) int32_t f[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(a), acc);
  _mm_store_si128(reinterpret_cast<__m128i*>(f), fix);
  return a[0] + a[1] + ((int64_t)(f[0] + f[1] + f[2] + f[3]) << 32);
}

G729_SSE2 int64_t DotSse2(const Word16* x, const Word16* y, int n) {
  __m128i acc = _mm_setzero_si128(), fix = _mm_setzero_si128();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i));
    Accumulate(_mm_madd_epi16(a, b), acc, fix);
  }
  int64_t s = Total(acc, fix);
  for (; i < n; i++) s += (int32_t)x[i] * y[i];
  return s;
}

G729_SSE2 int64_t EnergySse2(const Word16* x, int n) { return DotSse2(x, x, n); }

// Packs two 16-bit coefficients for pmaddwd against (first, second) pairs.
G729_SSE2 inline __m128i Pair(Word16 first, Word16 second) {
  return _mm_set1_epi32((int)(((uint32_t)(uint16_t)second << 16) | (uint16_t)first));
}

G729_SSE2 inline __m128i Load4(const Word16* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

G729_SSE2 void ResidualSse2(const Word16* a, const Word16* x, Word16* r, int n) {
  int32_t mag = 0;
  for (int j = 0; j <= 10; j++) mag += a[j] < 0 ? -a[j] : a[j];
  if (mag > 32767 || (n & 3)) {
    GenericResidual(a, x, r, n);
    return;
  }
  // With the coefficients' magnitudes below 2^15 the sums are exact in 32
  // bits; taps are taken in pairs (x[i-j], x[i-j-1]).
  const __m128i c01 = Pair(a[0], a[1]), c23 = Pair(a[2], a[3]), c45 = Pair(a[4], a[5]);
  const __m128i c67 = Pair(a[6], a[7]), c89 = Pair(a[8], a[9]), c10 = Pair(a[10], 0);
  for (int i = 0; i < n; i += 4) {
    const Word16* p = x + i;
    __m128i s = _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p), Load4(p - 1)), c01);
    s = _mm_add_epi32(s, _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p - 2), Load4(p - 3)), c23));
    s = _mm_add_epi32(s, _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p - 4), Load4(p - 5)), c45));
    s = _mm_add_epi32(s, _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p - 6), Load4(p - 7)), c67));
    s = _mm_add_epi32(s, _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p - 8), Load4(p - 9)), c89));
    s = _mm_add_epi32(s, _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p - 10), _mm_setzero_si128()), c10));
    alignas(16) int32_t v[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(v), s);
    for (int k = 0; k < 4; k++) r[i + k] = Round(LShl(v[k], 4));
  }
}

G729_SSE2 void InterpolateSse2(const Word16* x0, const Word16* c1, const Word16* c2, Word16* out, int n) {
  if (n & 3) {
    GenericInterpolate(x0, c1, c2, out, n);
    return;
  }
  __m128i c[10];
  for (int i = 0; i < 10; i++) c[i] = Pair(c1[3 * i], c2[3 * i]);
  for (int j = 0; j < n; j += 4) {
    const Word16* p = x0 + j;
    __m128i s = _mm_setzero_si128();
    for (int i = 0; i < 10; i++)
      s = _mm_add_epi32(s, _mm_madd_epi16(_mm_unpacklo_epi16(Load4(p - i), Load4(p + 1 + i)), c[i]));
    alignas(16) int32_t v[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(v), s);
    for (int k = 0; k < 4; k++) out[j + k] = Round(v[k] * 2);
  }
}

// Eight code words at a time, one lane each. A lane holds its distance less
// 2^30, kept at most 0: distances of 2^30 and more double past 31 bits and
// all clamp to the same value, so the lanes order the code words exactly
// as the clamped distances do, and no lane can overflow.
G729_SSE2 int PreselectSse2(const Word16* rbuf) {
  const Word16* columns = FirstStageColumns();
  alignas(16) int32_t keys[128];
  const __m128i zero = _mm_setzero_si128();
  for (int g = 0; g < 128; g += 8) {
    __m128i lo = _mm_set1_epi32(-(1 << 30)), hi = lo;
    for (int j = 0; j < 10; j++) {
      __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + j * 128 + g));
      __m128i t = _mm_subs_epi16(_mm_set1_epi16(rbuf[j]), c);
      __m128i tl = _mm_unpacklo_epi16(t, zero), th = _mm_unpackhi_epi16(t, zero);
      lo = _mm_add_epi32(lo, _mm_madd_epi16(tl, tl));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(th, th));
      lo = _mm_andnot_si128(_mm_cmpgt_epi32(lo, zero), lo);
      hi = _mm_andnot_si128(_mm_cmpgt_epi32(hi, zero), hi);
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(keys + g), lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(keys + g + 4), hi);
  }
  return FirstSmallest(keys, 128);
}

// The second stage, eight code words a lane each, keys as in the
// pre-selection. With a positive weight w, (w t) >> 15 fits 16 bits and
// has the sign of t, so each term is below 2^30 and non-negative.
G729_SSE2 int SecondStageSse2(const Word16* buf, const Word16* wegt, int from) {
  const Word16* columns = SecondStageColumns();
  alignas(16) int32_t keys[32];
  const __m128i zero = _mm_setzero_si128();
  for (int g = 0; g < 32; g += 8) {
    __m128i lo = _mm_set1_epi32(-(1 << 30)), hi = lo;
    for (int j = from; j < from + 5; j++) {
      __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + j * 32 + g));
      __m128i t = _mm_subs_epi16(_mm_set1_epi16(buf[j]), c);
      __m128i w = _mm_set1_epi16(wegt[j]);
      // (w t) >> 15 from the product's upper and lower halves.
      __m128i t2 = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(w, t), 1), _mm_srli_epi16(_mm_mullo_epi16(w, t), 15));
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(t2, zero), _mm_unpacklo_epi16(t, zero)));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(t2, zero), _mm_unpackhi_epi16(t, zero)));
      lo = _mm_andnot_si128(_mm_cmpgt_epi32(lo, zero), lo);
      hi = _mm_andnot_si128(_mm_cmpgt_epi32(hi, zero), hi);
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(keys + g), lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(keys + g + 4), hi);
  }
  return FirstSmallest(keys, 32);
}

}  // namespace

const Kernels kSse2Kernels = {GenericSynthesis, ResidualSse2, DotSse2,       EnergySse2,
                              InterpolateSse2,  PreselectSse2, SecondStageSse2};

}  // namespace g729
