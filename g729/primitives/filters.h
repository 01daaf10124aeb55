// Linear filters of the codec: all-pole (synthesis) and all-zero (residual)
// filters of linear prediction, the second-order high-pass filters of pre-
// and post-processing, and the impulse response of an all-pole filter.
#pragma once
#include "fixed_point.h"

namespace g729 {

const int kOrder = 10;
const int kSubframe = 40;
const int kFrame = 80;

// y = x through 1/A(z) (a in Q12, 11 coefficients), starting from the ten
// past outputs in mem (oldest first). Returns true when any operation
// saturated (the whole output is still written). When update is set, mem
// receives the last ten outputs. y may be x.
bool SynthesisFilter(const Word16* a, const Word16* x, Word16* y, int n, Word16* mem, bool update);

// r = x through A(z); reads x[-10..-1].
void ResidualFilter(const Word16* a, const Word16* x, Word16* r, int n);

// Second-order high-pass filter state (double-precision past outputs).
struct HighPassState {
  Word16 y2_hi, y2_lo, y1_hi, y1_lo, x0, x1;
};
void HighPassInit(HighPassState* s);
// 140 Hz pre-processing filter of the encoder, which also halves the signal.
void PreProcess(HighPassState* s, Word16* signal, int n);
// 100 Hz post-processing filter of the decoder, which also doubles the signal.
void PostProcess(HighPassState* s, Word16* signal, int n);

// Weighted coefficients ap[i] = a[i] * gamma^i (rounded), 11 values.
void WeightCoefficients(const Word16* a, Word16 gamma, Word16* ap);

}  // namespace g729
