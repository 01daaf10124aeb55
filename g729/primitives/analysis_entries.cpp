// The generic builds of the linear-prediction and LSP primitives.
#include "fixed_point.h"
#include "g729_tables.h"
#include "linear_prediction.h"
#include "lsp_quantizer.h"
#include "primitive_entries.h"

namespace g729 {
namespace {

const int32_t kDone = 0, kBadLength = -6, kBadRange = -7, kNullPointer = -8, kBadMode = -11,
              kNegativeLsf = -12, kUnstable = 12, kLimitsBase = 12;
const int kLags = 12;

LspPredictor* Predictor(int16_t* memory) { return reinterpret_cast<LspPredictor*>(memory); }

// Sum of x[i] x[i + lag] over the window, exact.
int64_t Correlation(const int16_t* x, int32_t n, int32_t lag) {
  int64_t s = 0;
  for (int32_t i = 0; i + lag < n; i++) s += (int32_t)x[i] * x[i + lag];
  return s;
}

}  // namespace

static_assert(sizeof(LspPredictor) == 40 * sizeof(int16_t), "the LSF memory is 40 words");

namespace generic {

int32_t G729Autocorrelation(const int16_t* x, int32_t n, int32_t* r, int32_t m, int32_t* norm) {
  if (!x || !r || !norm) return kNullPointer;
  if (n < 1 || m < 1) return kBadLength;
  const int64_t energy = Correlation(x, n, 0);
  // The caller scales its window down and asks again.
  if (energy > 0x3FFFFFFF) return kUnstable;
  const Word32 d = (Word32)(2 * energy + 1);
  const int k = NormL(d);
  r[0] = d << k;
  *norm = k;
  for (int32_t j = 1; j < m; j++) r[j] = Sat32(Correlation(x, n, j) * ((int64_t)1 << (k + 1)));
  return kDone;
}

int32_t G729LagWindow(int32_t* r, int32_t count) {
  if (!r) return kNullPointer;
  if (count <= 0) return kBadLength;
  if (count > kLags) return kBadRange;
  for (int32_t i = 0; i < count; i++) {
    Word16 hi, lo;
    LExtract(r[i], hi, lo);
    r[i] = Mpy32(hi, lo, tab::lag_h[i], tab::lag_l[i]);
  }
  return kDone;
}

int32_t G729LevinsonDurbinCore(const int32_t* r, int32_t order, int16_t* a, int16_t* rc, int16_t* error) {
  if (!r || !a || !rc || !error) return kNullPointer;
  if (order < 1 || order > kMaxLevinsonOrder) return kBadRange;
  if (r[0] < 65536 && r[0] > -65536) return kUnstable;
  Word16 r_h[kMaxLevinsonOrder + 1], r_l[kMaxLevinsonOrder + 1], a_new[kMaxLevinsonOrder + 1],
      rc_new[kMaxLevinsonOrder], err = 0;
  for (int i = 0; i <= order; i++) LExtract(r[i], r_h[i], r_l[i]);
  if (!LevinsonDurbinCore(r_h, r_l, order, a_new, rc_new, &err)) return kUnstable;
  for (int i = 0; i <= order; i++) a[i] = a_new[i];
  for (int i = 0; i < order; i++) rc[i] = rc_new[i];
  *error = err;
  return kDone;
}

int32_t G729LevinsonDurbin(const int32_t* r, int16_t* a, int16_t* rc, int16_t* error) {
  if (!r || !a || !rc || !error) return kNullPointer;
  if (r[0] < 65536 && r[0] > -65536) return kUnstable;
  Word16 r_h[11], r_l[11], a_new[11], rc_new[10], old_a[11] = {4096}, old_rc[2] = {0, 0}, err = 0;
  for (int i = 0; i <= 10; i++) LExtract(r[i], r_h[i], r_l[i]);
  if (!LevinsonDurbin(r_h, r_l, a_new, rc_new, old_a, old_rc, &err)) return kUnstable;
  for (int i = 0; i <= 10; i++) a[i] = a_new[i];
  rc[0] = rc_new[0];
  rc[1] = rc_new[1];
  *error = err;
  return kDone;
}

int32_t G729LpcToLsp50(const int16_t* a, const int16_t* previous, int16_t* lsp) {
  if (!a || !previous || !lsp) return kNullPointer;
  LpcToLsp(a, lsp, previous);
  return kDone;
}

int32_t G729LpcToLsp60(const int16_t* a, const int16_t* previous, int16_t* lsp) {
  if (!a || !previous || !lsp) return kNullPointer;
  LpcToLsp60(a, lsp, previous);
  return kDone;
}

int32_t G729LspToLpc(const int16_t* lsp, int16_t* a) {
  if (!lsp || !a) return kNullPointer;
  LspToLpc(lsp, a);
  return kDone;
}

int32_t G729LspToLsfNormalized(const int16_t* lsp, int16_t* lsf) {
  if (!lsp || !lsf) return kNullPointer;
  LspToLsfNormalized(lsp, lsf);
  return kDone;
}

int32_t G729LspToLsf(const int16_t* lsp, int16_t* lsf) {
  if (!lsp || !lsf) return kNullPointer;
  LspToLsf(lsp, lsf);
  return kDone;
}

int32_t G729LsfToLsp(const int16_t* lsf, int16_t* lsp) {
  if (!lsf || !lsp) return kNullPointer;
  int valid = 0;
  while (valid < 10 && lsf[valid] >= 0) valid++;
  // A negative LSF would index the cosine table below its start.
  LsfToLsp(lsf, lsp, valid);
  return valid < 10 ? kNegativeLsf : kDone;
}

int32_t G729LspQuantize(const int16_t* lsp, int16_t* memory, int16_t* lsp_q, int16_t* code) {
  if (!lsp || !memory || !lsp_q || !code) return kNullPointer;
  LspQuantize(Predictor(memory), lsp, lsp_q, code);
  return kDone;
}

int32_t G729DecodeLsf(const int16_t* code, int16_t* memory, int16_t* lsf) {
  if (!code || !memory || !lsf) return kNullPointer;
  // Modes 2 and 3 are the predictors of other members of the family, which
  // this codec does not carry.
  if (code[0] < 0 || code[0] > 1) return kBadMode;
  if (code[1] < 0 || code[1] > 127 || code[2] < 0 || code[2] > 31 || code[3] < 0 || code[3] > 31)
    return kBadRange;
  const int limits = DecodeLsf(Predictor(memory), code[0], code[1], code[2], code[3], lsf);
  return limits ? kLimitsBase + limits : kDone;
}

int32_t G729LsfErasureUpdate(int32_t mode, int16_t* memory, const int16_t* lsf) {
  if (!memory || !lsf) return kNullPointer;
  if (mode < 0 || mode > 1) return kBadMode;
  LsfErasureUpdate(Predictor(memory), mode, lsf);
  return kDone;
}

int32_t G729SidLsfQuantize(const int16_t* lsf, int16_t* memory, int16_t* lsf_q, int16_t* code) {
  if (!lsf || !memory || !lsf_q || !code) return kNullPointer;
  QuantizeSidLsf(Predictor(memory), lsf, lsf_q, code);
  return kDone;
}

int32_t G729DecodeSidLsf(const int16_t* code, int16_t* memory, int16_t* lsf) {
  if (!code || !memory || !lsf) return kNullPointer;
  if (code[0] < 0 || code[0] > 1) return kBadMode;
  if (code[1] < 0 || code[1] > 31 || code[2] < 0 || code[2] > 15) return kBadRange;
  const int limits = DecodeSidLsf(Predictor(memory), code, lsf);
  return limits ? kLimitsBase + limits : kDone;
}

int32_t G729AutocorrRounded(const int16_t* x, int32_t n, int16_t* r, int32_t m, int32_t* norm) {
  if (!x || !r || !norm) return kNullPointer;
  if (n < 1 || m < 1) return kBadLength;
  const Word32 energy = Sat32(Correlation(x, n, 0));
  const Word32 doubled = LAdd(energy, energy);
  if (doubled == 0) {
    for (int32_t j = 0; j < m; j++) r[j] = 0;
    *norm = 0;
    return kDone;
  }
  const int k = NormL(doubled);
  // Round saturates: a value that would round past 0x7FFF stays there.
  r[0] = Round(LShl(doubled, k));
  for (int32_t j = 1; j < m; j++) r[j] = Round(LShl(Sat32(Correlation(x, n, j)), k + 1));
  *norm = k;
  return kDone;
}

}  // namespace generic
}  // namespace g729
