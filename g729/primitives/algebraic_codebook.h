// The 17-bit algebraic codebook: four signed pulses on interleaved tracks,
// its fast depth-first search and its decoding.
#pragma once
#include "fixed_point.h"

namespace g729 {

// Searches the codebook for target x with impulse response h (sharpened in
// place by the pitch at lag t0 with gain sharp, Q14). Writes the code
// vector (Q13, sharpened), the filtered code vector y (Q12) and the sign
// index; returns the 13-bit position index.
Word16 SearchAlgebraicCodebook(const Word16* x, Word16* h, Word16 t0, Word16 sharp, Word16* code,
                               Word16* y, Word16* sign);

// Builds the code vector of a position index and a sign index.
void DecodeAlgebraicCodebook(Word16 sign, Word16 index, Word16* code);

}  // namespace g729
