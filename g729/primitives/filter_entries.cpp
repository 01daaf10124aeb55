// The generic builds of the filter primitives.
#include "fixed_point.h"
#include "primitive_entries.h"

namespace g729 {
namespace {

const int32_t kDone = 0, kBadLength = -6, kBadRange = -7, kNullPointer = -8, kBadScale = -13,
              kSaturated = 12;
const int kOrder = 10, kSubframe = 40;

// Wrapping 32-bit arithmetic, as the filters that keep the low bits want.
inline int32_t Wrap(int64_t v) { return (int32_t)(uint32_t)(uint64_t)v; }

// The all-pole filter 1/C(z): y may be x. With saturate, stores are
// saturated and the result tells whether any was; else the low 16 bits.
bool AllPole(const int16_t* c, const int16_t* x, int16_t* y, int32_t n, int32_t sf, const int16_t* memory,
             bool saturate) {
  bool saturated = false;
  for (int32_t i = 0; i < n; i++) {
    int32_t acc = Wrap((int64_t)c[0] * x[i] + (1 << (sf - 1)));
    for (int k = 1; k <= kOrder; k++) {
      int16_t past;
      if (i - k >= 0)
        past = y[i - k];
      else
        past = memory ? memory[kOrder - (k - i)] : 0;
      acc = Wrap((int64_t)acc - (int32_t)c[k] * past);
    }
    const int32_t v = acc >> sf;
    if (saturate && (v > 32767 || v < -32768)) saturated = true;
    y[i] = saturate ? Sat16(v) : (int16_t)v;
  }
  return saturated;
}

}  // namespace

namespace generic {

int32_t G729HighPassStateSize(int32_t* out) {
  if (!out) return kNullPointer;
  *out = (int32_t)sizeof(G729HighPassState);
  return kDone;
}

int32_t G729SynthesisFilterInPlace(const int16_t* c, int16_t* v, int32_t n, int32_t sf, const int16_t* memory) {
  if (!c || !v) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (sf != 12 && sf != 13) return kBadScale;
  AllPole(c, v, v, n, sf, memory, false);
  return kDone;
}

int32_t G729SynthesisFilter(const int16_t* c, const int16_t* x, int16_t* y, int32_t n, int32_t sf,
                            const int16_t* memory) {
  if (!c || !x || !y) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (sf != 12 && sf != 13) return kBadScale;
  return AllPole(c, x, y, n, sf, memory, memory != nullptr) ? kSaturated : kDone;
}

int32_t G729ResidualFilter40(const int16_t* x, const int16_t* c, int16_t* r) {
  if (!x || !c || !r) return kNullPointer;
  for (int i = 0; i < kSubframe; i++) {
    int32_t acc = 2048;
    for (int k = 0; k <= kOrder; k++) acc = Wrap((int64_t)acc + (int32_t)c[k] * x[i - k]);
    r[i] = (int16_t)(acc >> 12);
  }
  return kDone;
}

int32_t G729FirstOrderFilter(int16_t g, const int16_t* x, int16_t* y, int32_t n, int16_t* memory) {
  if (!x || !y || !memory) return kNullPointer;
  if (n <= 0) return kBadLength;
  const int16_t last = x[n - 1];
  for (int32_t i = n - 1; i > 0; i--) y[i] = (int16_t)(x[i] - (((int32_t)g * x[i - 1]) >> 15));
  y[0] = (int16_t)(x[0] - (((int32_t)g * *memory) >> 15));
  *memory = last;
  return kDone;
}

int32_t G729UpdateTarget(int16_t g, const int16_t* y, const int16_t* x, int16_t* z) {
  if (!y || !x || !z) return kNullPointer;
  for (int i = 0; i < kSubframe; i++) z[i] = (int16_t)(x[i] - (((int32_t)g * y[i]) >> 14));
  return kDone;
}

int32_t G729PitchSharpen(int16_t g, int32_t t, int16_t* v, int32_t n) {
  if (!v) return kNullPointer;
  if (n <= 0) return kBadLength;
  // The lag reaches back before v; a lag below 1 would read ahead of the
  // sample it changes.
  if (t < 1) return kBadRange;
  for (int32_t i = 0; i < n; i++) v[i] = (int16_t)(v[i] + (((int32_t)g * v[i - t]) >> 15));
  return kDone;
}

int32_t G729HighPassFilter(int16_t* v, int32_t n, int32_t sf, G729HighPassState* state) {
  if (!v || !state) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (sf != 12 && sf != 13) return kBadScale;
  G729HighPassState s = *state;
  for (int32_t i = 0; i < n; i++) {
    const int16_t x = v[i];
    Word16 hi, lo;
    LExtract(s.y1, hi, lo);
    Word32 acc = Mpy32by16(hi, lo, s.a1);
    LExtract(s.y2, hi, lo);
    acc = LAdd(acc, Mpy32by16(hi, lo, s.a2));
    acc = LMac(acc, x, s.b0);
    acc = LMac(acc, s.x1, s.b1);
    acc = LMac(acc, s.x2, s.b2);
    const Word32 out = LShl(acc, 3);
    const Word32 y = sf == 12 ? out : LShl(acc, 2);
    v[i] = Round(out);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
  }
  *state = s;
  return kDone;
}

int32_t G729HighPassInit(int16_t a0, int16_t a1, int16_t a2, int16_t b0, int16_t b1, int16_t b2,
                         G729HighPassState* state) {
  if (!state) return kNullPointer;
  *state = G729HighPassState{0, 0, 0, 0, a0, a1, a2, b0, b1, b2};
  return kDone;
}

int32_t G729ImpulseResponse(const int16_t* c, int16_t* h, int32_t n, int32_t sf) {
  if (!c || !h) return kNullPointer;
  if (n <= 0) return kBadLength;
  if (sf != 12 && sf != 13) return kBadScale;
  h[0] = c[0];
  for (int32_t i = 1; i < n; i++) {
    int32_t acc = 1 << (sf - 1);
    for (int k = 1; k <= kOrder && k <= i; k++) acc = Wrap((int64_t)acc - (int32_t)c[k] * h[i - k]);
    h[i] = (int16_t)(acc >> sf);
  }
  return kDone;
}

}  // namespace generic
}  // namespace g729
