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
// The search in two steps: the 616 correlation cells of the (sharpened)
// response h at full width, then the search of the backward-filtered
// target d over them (the cells are shifted right by 15 in place): the
// code vector and the codes (sign bits, position index).
void CodebookCorrelations(const Word16* h, Word32* cells);
void CodebookSearch(const Word16* d, Word32* cells, Word16* code, Word16* codes);
void DecodeAlgebraicCodebook(Word16 sign, Word16 index, Word16* code);

}  // namespace g729
