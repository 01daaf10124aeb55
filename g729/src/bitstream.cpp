// Frame packing (see bitstream.h).
#include "bitstream.h"

namespace g729 {
namespace {

const int kSidBits[4] = {1, 5, 4, 5};

void Pack(const Word16* prm, const int* widths, int count, uint8_t* bytes, int size) {
  for (int i = 0; i < size; i++) bytes[i] = 0;
  int bit = 0;
  for (int p = 0; p < count; p++) {
    for (int b = widths[p] - 1; b >= 0; b--, bit++)
      if ((prm[p] >> b) & 1) bytes[bit >> 3] |= (uint8_t)(0x80 >> (bit & 7));
  }
}

void Unpack(const uint8_t* bytes, const int* widths, int count, Word16* prm) {
  int bit = 0;
  for (int p = 0; p < count; p++) {
    int v = 0;
    for (int b = 0; b < widths[p]; b++, bit++) v = (v << 1) | ((bytes[bit >> 3] >> (7 - (bit & 7))) & 1);
    prm[p] = (Word16)v;
  }
}

}  // namespace

const int kParameterBits[11] = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};

void PackFrame(const Word16* prm, uint8_t* bytes) { Pack(prm, kParameterBits, 11, bytes, 10); }
void UnpackFrame(const uint8_t* bytes, Word16* prm) { Unpack(bytes, kParameterBits, 11, prm); }
void PackSilenceDescription(const Word16* sid, uint8_t* bytes) { Pack(sid, kSidBits, 4, bytes, 2); }
void UnpackSilenceDescription(const uint8_t* bytes, Word16* sid) { Unpack(bytes, kSidBits, 4, sid); }

}  // namespace g729
