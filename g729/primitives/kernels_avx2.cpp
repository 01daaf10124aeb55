// The AVX2 build of the hot primitives: the SSE2 build's arithmetic, twice
// as wide. Same results as the generic build.
#include <immintrin.h>

#include "dispatch.h"

#define G729_AVX2 __attribute__((target("avx2")))

namespace g729 {
namespace {

G729_AVX2 int64_t DotAvx2(const Word16* x, const Word16* y, int n) {
  __m256i acc = _mm256_setzero_si256(), fix = _mm256_setzero_si256();
  const __m256i min32 = _mm256_set1_epi32((int)0x80000000u);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + i));
    __m256i m = _mm256_madd_epi16(a, b);
    // A pair sum reads as -2^31 only for a true +2^31: count and correct.
    acc = _mm256_add_epi64(acc, _mm256_cvtepi32_epi64(_mm256_castsi256_si128(m)));
    acc = _mm256_add_epi64(acc, _mm256_cvtepi32_epi64(_mm256_extracti128_si256(m, 1)));
    fix = _mm256_sub_epi32(fix, _mm256_cmpeq_epi32(m, min32));
  }
  if (i + 8 <= n) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i));
    __m128i m = _mm_madd_epi16(a, b);
    acc = _mm256_add_epi64(acc, _mm256_cvtepi32_epi64(m));
    __m128i hit = _mm_cmpeq_epi32(m, _mm_set1_epi32((int)0x80000000u));
    fix = _mm256_sub_epi32(fix, _mm256_inserti128_si256(_mm256_setzero_si256(), hit, 0));
    i += 8;
  }
  // fix counts, per lane, the pair sums that read -2^31 but were +2^31.
  __m256i fix64 = _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(fix)),
                                    _mm256_cvtepi32_epi64(_mm256_extracti128_si256(fix, 1)));
  acc = _mm256_add_epi64(acc, _mm256_slli_epi64(fix64, 32));
  alignas(32) int64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
  int64_t s = lanes[0] + lanes[1] + lanes[2] + lanes[3];
  for (; i < n; i++) s += (int32_t)x[i] * y[i];
  return s;
}

G729_AVX2 int64_t EnergyAvx2(const Word16* x, int n) { return DotAvx2(x, x, n); }

G729_AVX2 inline __m256i Pair(Word16 first, Word16 second) {
  return _mm256_set1_epi32((int)(((uint32_t)(uint16_t)second << 16) | (uint16_t)first));
}

// Eight (p[k], q[k]) pairs, k = 0..7, for pmaddwd.
G729_AVX2 inline __m256i Pairs8(const Word16* p, const Word16* q) {
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  return _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
}

G729_AVX2 void ResidualAvx2(const Word16* a, const Word16* x, Word16* r, int n) {
  int32_t mag = 0;
  for (int j = 0; j <= 10; j++) mag += a[j] < 0 ? -a[j] : a[j];
  if (mag > 32767 || (n & 7)) {
    kSse2Kernels.residual(a, x, r, n);
    return;
  }
  const __m256i c01 = Pair(a[0], a[1]), c23 = Pair(a[2], a[3]), c45 = Pair(a[4], a[5]);
  const __m256i c67 = Pair(a[6], a[7]), c89 = Pair(a[8], a[9]), c10 = Pair(a[10], 0);
  alignas(16) static const Word16 kZero[8] = {0};
  for (int i = 0; i < n; i += 8) {
    const Word16* p = x + i;
    __m256i s = _mm256_madd_epi16(Pairs8(p, p - 1), c01);
    s = _mm256_add_epi32(s, _mm256_madd_epi16(Pairs8(p - 2, p - 3), c23));
    s = _mm256_add_epi32(s, _mm256_madd_epi16(Pairs8(p - 4, p - 5), c45));
    s = _mm256_add_epi32(s, _mm256_madd_epi16(Pairs8(p - 6, p - 7), c67));
    s = _mm256_add_epi32(s, _mm256_madd_epi16(Pairs8(p - 8, p - 9), c89));
    s = _mm256_add_epi32(s, _mm256_madd_epi16(Pairs8(p - 10, kZero), c10));
    alignas(32) int32_t v[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(v), s);
    for (int k = 0; k < 8; k++) r[i + k] = Round(LShl(v[k], 4));
  }
}

G729_AVX2 void InterpolateAvx2(const Word16* x0, const Word16* c1, const Word16* c2, Word16* out, int n) {
  if (n & 7) {
    kSse2Kernels.interpolate(x0, c1, c2, out, n);
    return;
  }
  __m256i c[10];
  for (int i = 0; i < 10; i++) c[i] = Pair(c1[3 * i], c2[3 * i]);
  for (int j = 0; j < n; j += 8) {
    const Word16* p = x0 + j;
    __m256i s = _mm256_setzero_si256();
    for (int i = 0; i < 10; i++) s = _mm256_add_epi32(s, _mm256_madd_epi16(Pairs8(p - i, p + 1 + i), c[i]));
    alignas(32) int32_t v[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(v), s);
    for (int k = 0; k < 8; k++) out[j + k] = Round(v[k] * 2);
  }
}

// The SSE2 build's pre-selection over sixteen code words at a time.
G729_AVX2 int PreselectAvx2(const Word16* rbuf) {
  const Word16* columns = FirstStageColumns();
  alignas(32) int32_t keys[128];
  const __m256i zero = _mm256_setzero_si256();
  for (int g = 0; g < 128; g += 16) {
    __m256i lo = _mm256_set1_epi32(-(1 << 30)), hi = lo;
    for (int j = 0; j < 10; j++) {
      __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + j * 128 + g));
      __m256i t = _mm256_subs_epi16(_mm256_set1_epi16(rbuf[j]), c);
      __m256i tl = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(t));
      __m256i th = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(t, 1));
      lo = _mm256_min_epi32(_mm256_add_epi32(lo, _mm256_mullo_epi32(tl, tl)), zero);
      hi = _mm256_min_epi32(_mm256_add_epi32(hi, _mm256_mullo_epi32(th, th)), zero);
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(keys + g), lo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(keys + g + 8), hi);
  }
  return FirstSmallest(keys, 128);
}

// The SSE2 build's second stage over sixteen code words at a time.
G729_AVX2 int SecondStageAvx2(const Word16* buf, const Word16* wegt, int from) {
  const Word16* columns = SecondStageColumns();
  alignas(32) int32_t keys[32];
  const __m256i zero = _mm256_setzero_si256();
  for (int g = 0; g < 32; g += 16) {
    __m256i lo = _mm256_set1_epi32(-(1 << 30)), hi = lo;
    for (int j = from; j < from + 5; j++) {
      __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + j * 32 + g));
      __m256i t = _mm256_subs_epi16(_mm256_set1_epi16(buf[j]), c);
      __m256i w = _mm256_set1_epi16(wegt[j]);
      __m256i t2 = _mm256_or_si256(_mm256_slli_epi16(_mm256_mulhi_epi16(w, t), 1),
                                   _mm256_srli_epi16(_mm256_mullo_epi16(w, t), 15));
      __m256i pl = _mm256_mullo_epi32(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(t2)),
                                      _mm256_cvtepi16_epi32(_mm256_castsi256_si128(t)));
      __m256i ph = _mm256_mullo_epi32(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(t2, 1)),
                                      _mm256_cvtepi16_epi32(_mm256_extracti128_si256(t, 1)));
      lo = _mm256_min_epi32(_mm256_add_epi32(lo, pl), zero);
      hi = _mm256_min_epi32(_mm256_add_epi32(hi, ph), zero);
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(keys + g), lo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(keys + g + 8), hi);
  }
  return FirstSmallest(keys, 32);
}

}  // namespace

const Kernels kAvx2Kernels = {GenericSynthesis, ResidualAvx2, DotAvx2,        EnergyAvx2,
                              InterpolateAvx2,  PreselectAvx2, SecondStageAvx2};

}  // namespace g729
