// The generic builds of the postfilter primitives.
#include "filters.h"
#include "postfilter.h"
#include "primitive_entries.h"

namespace g729 {
namespace {
const int32_t kDone = 0, kBadRange = -7, kNullPointer = -8;
const int kPast = 154, kPitMax = 143;
}  // namespace

namespace generic {

int32_t G729PitchPostfilter(int16_t t, const int16_t* speech, const int16_t* ap3, int16_t* residual, int16_t* out) {
  if (!speech || !ap3 || !residual || !out) return kNullPointer;
  if (t < 18 || t > 145) return kBadRange;
  ResidualFilter(ap3, speech, residual + kPast, kSubframe);
  // The search works on the residual scaled down by 4, from 143 samples
  // before the subframe.
  Word16 scaled[kPitMax + kSubframe];
  for (int i = 0; i < kPitMax + kSubframe; i++) scaled[i] = (Word16)(residual[kPast - kPitMax + i] >> 2);
  LongTermPostfilter(residual + kPast, scaled + kPitMax, t, out);
  return kDone;
}

int32_t G729PostfilterTilt(const int16_t* coefficients, int16_t* signal) {
  if (!coefficients || !signal) return kNullPointer;
  TiltCompensate(signal, TiltGain(coefficients, coefficients + 11), signal - 1);
  return kDone;
}

int32_t G729PostfilterGainControl(const int16_t* before, int16_t* after, int16_t* past_gain) {
  if (!before || !after || !past_gain) return kNullPointer;
  GainControl(past_gain, before, after);
  return kDone;
}

}  // namespace generic
}  // namespace g729
