// The generic builds of the vector and arithmetic primitives.
#include <cstring>

#include "fixed_point.h"
#include "primitive_entries.h"

namespace g729 {
namespace {

const int32_t kDone = 0, kBadLength = -6, kNullPointer = -8, kBadScale = -13, kBadShift = -32,
              kSaturated = 12;

Word16 Sat16Wide(int64_t v) { return v > 32767 ? 32767 : (v < -32768 ? -32768 : (Word16)v); }

// x scaled by sf: right with rounding to nearest, ties to even (sf > 0,
// above 31 as 31), saturated (sf 0), left with saturation (sf < 0, below
// -31 as -31).
Word32 ScaleWide(int64_t x, int32_t sf) {
  if (sf > 0) {
    if (sf > 31) sf = 31;
    const int64_t tie = (x >> sf) & 1;
    return Sat32((x + ((int64_t)1 << (sf - 1)) - 1 + tie) >> sf);
  }
  if (sf < -31) sf = -31;
  const Word32 v = Sat32(x);  // a value beyond 32 bits saturates whatever the shift
  return Sat32((int64_t)v * ((int64_t)1 << -sf));
}

// (p + rounding) >> sf for a non-negative sf, rounding 2^(sf-1) when sf > 0.
Word16 RoundShift(int64_t p, int32_t sf) {
  if (sf > 62) sf = 62;
  return Sat16Wide(sf > 0 ? (p + ((int64_t)1 << (sf - 1))) >> sf : p);
}

}  // namespace

namespace generic {

int32_t G729VecZero16(int16_t* v, int32_t n) {
  if (!v) return kNullPointer;
  if (n <= 0) return kBadLength;
  memset(v, 0, sizeof(int16_t) * (size_t)n);
  return kDone;
}

int32_t G729VecSubInPlace16(const int16_t* x, int16_t* y, int32_t n) {
  if (!x || !y) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) y[i] = Sub(y[i], x[i]);
  return kDone;
}

int32_t G729VecCopy16(const int16_t* src, int16_t* dst, int32_t n) {
  if (!src || !dst) return kNullPointer;
  if (n <= 0) return kBadLength;
  memcpy(dst, src, sizeof(int16_t) * (size_t)n);
  return kDone;
}

int32_t G729VecMove16(const int16_t* src, int16_t* dst, int32_t n) {
  if (!src || !dst) return kNullPointer;
  if (n <= 0) return kBadLength;
  memmove(dst, src, sizeof(int16_t) * (size_t)n);
  return kDone;
}

int32_t G729VecSub16(const int16_t* x, const int16_t* y, int16_t* z, int32_t n) {
  if (!x || !y || !z) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) z[i] = Sub(y[i], x[i]);
  return kDone;
}

int32_t G729VecShiftRight16(const int16_t* x, int32_t s, int16_t* y, int32_t n) {
  if (!x || !y) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (s < 0) return kBadShift;
  if (s > 15) s = 15;
  for (int32_t i = 0; i < n; i++) y[i] = (int16_t)(x[i] >> s);
  return kDone;
}

int32_t G729VecShiftRightInPlace16(int32_t s, int16_t* v, int32_t n) {
  return G729VecShiftRight16(v, s, v, n);
}

int32_t G729VecShiftLeft16(const int16_t* x, int32_t s, int16_t* y, int32_t n) {
  if (!x || !y) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (s < 0) return kBadShift;
  if (s >= 16) return G729VecZero16(y, n);
  for (int32_t i = 0; i < n; i++) y[i] = (int16_t)(uint16_t)((uint32_t)(uint16_t)x[i] << s);
  return kDone;
}

int32_t G729VecShiftLeftInPlace16(int32_t s, int16_t* v, int32_t n) {
  return G729VecShiftLeft16(v, s, v, n);
}

int32_t G729DotProduct16(const int16_t* x, const int16_t* y, int32_t n, int32_t* out, int32_t sf) {
  if (!x || !y || !out) return kNullPointer;
  if (n <= 0) return kBadLength;
  int64_t sum = 0;
  for (int32_t i = 0; i < n; i++) sum += (int32_t)x[i] * y[i];
  *out = ScaleWide(sum, sf);
  return kDone;
}

int32_t G729VecAdd16(const int16_t* x, const int16_t* y, int16_t* z, int32_t n) {
  if (!x || !y || !z) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) z[i] = Add(x[i], y[i]);
  return kDone;
}

int32_t G729VecMin16(const int16_t* v, int32_t n, int16_t* out) {
  if (!v || !out) return kNullPointer;
  if (n <= 0) return kBadLength;
  int16_t m = v[0];
  for (int32_t i = 1; i < n; i++) m = v[i] < m ? v[i] : m;
  *out = m;
  return kDone;
}

int32_t G729VecMax16(const int16_t* v, int32_t n, int16_t* out) {
  if (!v || !out) return kNullPointer;
  if (n <= 0) return kBadLength;
  int16_t m = v[0];
  for (int32_t i = 1; i < n; i++) m = v[i] > m ? v[i] : m;
  *out = m;
  return kDone;
}

int32_t G729VecAddConstInPlace16(int16_t c, int16_t* v, int32_t n) {
  if (!v) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) v[i] = Add(v[i], c);
  return kDone;
}

int32_t G729VecAddScaledInPlace16(const int16_t* x, int16_t* y, int32_t n, int32_t sf) {
  if (!x || !y) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) {
    const int32_t sum = (int32_t)x[i] + y[i];
    if (sf > 16)
      y[i] = 0;
    else if (sf > 0)
      y[i] = Sat16((sum + (1 << (sf - 1)) - 1 + ((sum >> sf) & 1)) >> sf);
    else if (sf >= -15)
      y[i] = Sat16(sum * (1 << -sf));
    else
      y[i] = sum > 0 ? 32767 : (sum < 0 ? -32768 : 0);
  }
  return kDone;
}

int32_t G729VecMulScaled16(const int16_t* x, const int16_t* y, int16_t* z, int32_t n, int32_t sf) {
  if (!x || !y || !z) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (sf < 0) return kBadScale;
  for (int32_t i = 0; i < n; i++) z[i] = RoundShift((int32_t)x[i] * y[i], sf);
  return kDone;
}

int32_t G729VecMulAddShifted16(const int16_t* x, int16_t a, const int16_t* y, int16_t b, int16_t* z,
                               int32_t n, int32_t sf) {
  if (!x || !y || !z) return kNullPointer;
  if (sf < 0) return kBadScale;
  if (n <= 0) return kBadLength;
  const int32_t s = sf > 31 ? 31 : sf;
  for (int32_t i = 0; i < n; i++)
    z[i] = Sat16Wide((int64_t)(((int32_t)x[i] * a) >> s) + (((int32_t)y[i] * b) >> s));
  return kDone;
}

int32_t G729VecWeightedSum16(const int16_t* x, int16_t a, const int16_t* y, int16_t b, int16_t* z,
                             int32_t n, int32_t sf) {
  if (!x || !y || !z) return kNullPointer;
  if (sf < 0) return kBadScale;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) z[i] = RoundShift((int64_t)x[i] * a + (int64_t)y[i] * b, sf);
  return kDone;
}

int32_t G729VecAverage16(const int16_t* x, const int16_t* y, int16_t* z, int32_t n) {
  if (!x || !y || !z) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) z[i] = (int16_t)((x[i] >> 1) + (y[i] >> 1));
  return kDone;
}

int32_t G729InvSqrtVec(int32_t* v, int32_t n) {
  if (!v) return kNullPointer;
  if (n <= 0) return kBadLength;
  for (int32_t i = 0; i < n; i++) v[i] = InvSqrt(v[i]);
  return kDone;
}

int32_t G729DotProductAutoScale(const int16_t* x, const int16_t* y, int32_t n, int32_t* sum, int32_t* shift) {
  if (!x || !y || !sum || !shift) return kNullPointer;
  if (n <= 0) return kBadLength;
  int sx = 0, sy = 0;
  bool raise_y = true;
  for (;;) {
    int64_t s = (int64_t)(x[0] >> sx) * (y[0] >> sy);
    for (int32_t i = 1; i < n; i++) s += 2 * (int64_t)(x[i] >> sx) * (y[i] >> sy);
    if (s == (int32_t)s) {
      *sum = (int32_t)s;
      *shift = sx + sy;
      return kDone;
    }
    (raise_y ? sy : sx)++;
    raise_y = !raise_y;
  }
}

int32_t G729VecMulConst16(const int16_t* x, int16_t c, int16_t* y, int32_t n, int32_t sf) {
  if (!x || !y) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (sf < 0) return kBadScale;
  for (int32_t i = 0; i < n; i++) y[i] = RoundShift((int32_t)c * x[i], sf);
  return kDone;
}

int32_t G729VecMulConstInPlace16(int16_t c, int16_t* v, int32_t n, int32_t sf) {
  return G729VecMulConst16(v, c, v, n, sf);
}

}  // namespace generic
}  // namespace g729

extern "C" {

int32_t G729Norm32(int32_t x) { return g729::NormL(x); }

int32_t G729Energy16(const int16_t* x, int32_t n, int32_t s, int32_t* out) {
  if (!x || !out) return g729::kNullPointer;
  if (n <= 0) return g729::kBadLength;
  const int shift = s <= 0 ? 0 : (s > 15 ? 15 : s);
  int64_t sum = 0;
  for (int32_t i = 0; i < n; i++) {
    const int32_t v = x[i] >> shift;
    sum += v * v;
  }
  *out = g729::Sat32(sum);
  return sum > g729::kMax32 ? g729::kSaturated : g729::kDone;
}

int32_t G729DotProductWrap16(const int16_t* x, const int16_t* y, int32_t n, int32_t* out) {
  if (!x || !y || !out) return g729::kNullPointer;
  if (n <= 0) return g729::kBadLength;
  uint32_t sum = 0;
  for (int32_t i = 0; i < n; i++) sum += (uint32_t)((int32_t)x[i] * y[i]);
  *out = (int32_t)sum;
  return g729::kDone;
}

}  // extern "C"
