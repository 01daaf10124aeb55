// Packing of the eleven parameters of a speech frame into 10 bytes, most
// significant bit first, in the standard's transmission order.
#pragma once
#include "fixed_point.h"

namespace g729 {

extern const int kParameterBits[11];
void PackFrame(const Word16* prm, uint8_t* bytes);
void UnpackFrame(const uint8_t* bytes, Word16* prm);

}  // namespace g729
