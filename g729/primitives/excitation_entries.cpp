// The generic builds of the pitch, codebook and gain primitives.
#include "algebraic_codebook.h"
#include "filters.h"
#include "fixed_point.h"
#include "g729_tables.h"
#include "gains.h"
#include "pitch.h"
#include "primitive_entries.h"

namespace g729 {
namespace {

const int32_t kDone = 0, kBadLength = -6, kBadRange = -7, kNullPointer = -8, kBadDelay = -11;
const int kPast = 154, kPitMax = 143;

GainPredictor* Predictor(int16_t* memory) { return reinterpret_cast<GainPredictor*>(memory); }

}  // namespace

static_assert(sizeof(GainPredictor) == 4 * sizeof(int16_t), "the gain memory is 4 words");

namespace generic {

int32_t G729OpenLoopPitchSearch(const int16_t* wsp, int16_t* t) {
  if (!wsp || !t) return kNullPointer;
  *t = OpenLoopPitch(wsp);
  return kDone;
}

int32_t G729ClosedLoopPitchSearch(int16_t t, const int16_t* x, const int16_t* h, int16_t* exc, int16_t* result,
                                  int16_t* vector, int32_t subframe) {
  if (!x || !h || !exc || !result || !vector) return kNullPointer;
  if (t < 18 || t > 145 || subframe < 0 || subframe > 1) return kBadRange;
  const int below = subframe == 0 ? 3 : 5, span = subframe == 0 ? 6 : 9;
  int t_min = t - below < 20 ? 20 : t - below;
  int t_max = t_min + span;
  if (t_max > kPitMax) {
    t_max = kPitMax;
    t_min = kPitMax - span;
  }
  Word16 fraction = 0;
  const Word16 lag =
      ClosedLoopPitch(exc + kPast, x, h, (Word16)t_min, (Word16)t_max, subframe, &fraction);
  result[0] = lag;
  result[1] = fraction;
  for (int i = 0; i < kSubframe; i++) vector[i] = exc[kPast + i];
  return kDone;
}

int32_t G729AdaptiveCodebookVector(const int16_t* lag, int16_t* exc) {
  if (!lag || !exc) return kNullPointer;
  if (lag[0] < 18 || lag[0] > 144 || lag[1] < -1 || lag[1] > 1) return kBadDelay;
  AdaptiveCodebookVector(exc + kPast, lag[0], lag[1], kSubframe);
  return kDone;
}

int32_t G729PitchGain(const int16_t* x, const int16_t* c, const int16_t* v, int16_t* y, int16_t* gain) {
  if (!x || !c || !v || !y || !gain) return kNullPointer;
  Word16 zero[kOrder] = {0}, record[4];
  SynthesisFilter(c, v, y, kSubframe, zero, false);
  *gain = PitchGain(x, y, record);
  return kDone;
}

int32_t G729BackwardFilterTarget(const int16_t* h, const int16_t* x, int32_t n, int16_t* d) {
  if (!h || !x || !d) return kNullPointer;
  if (n <= 0) return kBadLength;
  // The codec filters subframes; longer spans are not supported.
  if (n > kSubframe) return kBadRange;
  BackwardFilterTarget(h, x, d, n);
  return kDone;
}

int32_t G729QuantizeGains(const int16_t* x, const int16_t* y, const int16_t* code, const int16_t* z, int16_t* memory,
                          int16_t* gains, int16_t* indices, int32_t taming) {
  if (!x || !y || !code || !z || !memory || !gains || !indices) return kNullPointer;
  if (taming < 0 || taming > 1) return kBadRange;
  Word16 pitch_record[4], coeff[5], exponents[5];
  PitchGain(x, y, pitch_record);
  CodeCorrelations(pitch_record, x, y, z, coeff, exponents);
  Word16 gain_pit, gain_code;
  const Word16 sent = QuantizeGains(Predictor(memory), code, coeff, exponents, &gain_pit, &gain_code, (Word16)taming);
  gains[0] = gain_pit;
  gains[1] = gain_code;
  indices[0] = tab::imap1[(sent >> 4) & 7];
  indices[1] = tab::imap2[sent & 15];
  return kDone;
}

int32_t G729DecodeGains(int32_t energy, int16_t* memory, const int16_t* indices, int16_t* gains) {
  if (!memory || !gains) return kNullPointer;
  if (indices && (indices[0] < 0 || indices[0] > 7 || indices[1] < 0 || indices[1] > 15)) return kBadRange;
  const Word16 sent = indices ? (Word16)(indices[0] * 16 + indices[1]) : 0;
  DecodeGainsFromEnergy(Predictor(memory), sent, LAdd(energy, energy), indices == nullptr, &gains[0], &gains[1]);
  return kDone;
}

int32_t G729CodebookCorrelations(const int16_t* h, int32_t* cells) {
  if (!h || !cells) return kNullPointer;
  CodebookCorrelations(h, cells);
  return kDone;
}

int32_t G729CodebookSearch(const int16_t* d, int32_t* cells, int16_t* code, int16_t* codes) {
  if (!d || !cells || !code || !codes) return kNullPointer;
  CodebookSearch(d, cells, code, codes);
  return kDone;
}

}  // namespace generic
}  // namespace g729
