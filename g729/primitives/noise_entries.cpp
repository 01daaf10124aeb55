// The generic builds of the noise generator and the history record.
#include "primitive_entries.h"

namespace g729 {
namespace {
const int32_t kDone = 0, kBadLength = -6, kNullPointer = -8;
}  // namespace

namespace generic {

int32_t G729GaussNoise(int16_t* seed, int16_t* out, int32_t n) {
  if (!seed || !out) return kNullPointer;
  if (n <= 0) return kBadLength;
  int16_t s = *seed;
  for (int32_t i = 0; i < n; i++) {
    int32_t sum = 0;
    for (int k = 0; k < 12; k++) {
      s = (int16_t)(uint16_t)((uint32_t)(int32_t)s * 31821u + 13849u);
      sum += s;
    }
    out[i] = (int16_t)(sum >> 7);
  }
  *seed = s;
  return kDone;
}

int32_t G729HistoryRecordSize(int32_t* out) {
  if (!out) return kNullPointer;
  *out = (int32_t)sizeof(G729HistoryRecord);
  return kDone;
}

int32_t G729HistoryRecordReset(G729HistoryRecord* record) {
  if (!record) return kNullPointer;
  *record = G729HistoryRecord{};
  return kDone;
}

}  // namespace generic
}  // namespace g729
