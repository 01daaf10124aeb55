// Frame packing (see bitstream.h).
#include "bitstream.h"

namespace g729 {

const int kParameterBits[11] = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};

void PackFrame(const Word16* prm, uint8_t* bytes) {
  for (int i = 0; i < 10; i++) bytes[i] = 0;
  int bit = 0;
  for (int p = 0; p < 11; p++) {
    for (int b = kParameterBits[p] - 1; b >= 0; b--, bit++)
      if ((prm[p] >> b) & 1) bytes[bit >> 3] |= (uint8_t)(0x80 >> (bit & 7));
  }
}

void UnpackFrame(const uint8_t* bytes, Word16* prm) {
  int bit = 0;
  for (int p = 0; p < 11; p++) {
    int v = 0;
    for (int b = 0; b < kParameterBits[p]; b++, bit++) v = (v << 1) | ((bytes[bit >> 3] >> (7 - (bit & 7))) & 1);
    prm[p] = (Word16)v;
  }
}

}  // namespace g729
