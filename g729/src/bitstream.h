// Packing of the eleven parameters of a speech frame into 10 bytes, most
// significant bit first, in the standard's transmission order.
#pragma once
#include "fixed_point.h"

namespace g729 {

extern const int kParameterBits[11];
void PackFrame(const Word16* prm, uint8_t* bytes);
void UnpackFrame(const uint8_t* bytes, Word16* prm);
// A silence description: predictor switch 1 bit, first-stage LSF index 5,
// second-stage index 4, energy index 5, in 2 bytes (the last bit unused).
void PackSilenceDescription(const Word16* sid, uint8_t* bytes);
void UnpackSilenceDescription(const uint8_t* bytes, Word16* sid);

}  // namespace g729
