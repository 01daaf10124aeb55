// Pitch analysis: open-loop lag, closed-loop fractional lag with the
// adaptive-codebook vector, pitch gain, and the lag's index coding.
#pragma once
#include "filters.h"
#include "fixed_point.h"

namespace g729 {

// Saturating sum 2 * x[i] * y[i] from 0, as the standard's multiply-
// accumulate chain forms it; ovf is raised when any step saturated.
Word32 SaturatingDot(const Word16* x, const Word16* y, int n, bool& ovf);

// Open-loop lag of the frame; wsp points at the frame's first weighted
// sample and holds 143 samples of history before it.
Word16 OpenLoopPitch(const Word16* wsp);

// Adaptive-codebook vector at lag (t0, frac): exc[0..n-1] from exc[-t0...].
void AdaptiveCodebookVector(Word16* exc, Word16 t0, Word16 frac, int n);

// Backward-filtered target: d[i] = sum x[j] h[j-i], scaled to 13 bits;
// n up to 40 samples.
void BackwardFilterTarget(const Word16* h, const Word16* x, Word16* d, int n = kSubframe);

// Closed-loop search in t0_min..t0_max; leaves the chosen adaptive vector in
// exc[0..39] and returns the lag, with its fraction in *frac.
Word16 ClosedLoopPitch(Word16* exc, const Word16* xn, const Word16* h, Word16 t0_min, Word16 t0_max,
                       int subframe, Word16* frac);

// Pitch gain (Q14, at most 1.2) and the correlations g_coeff (yy, exp, xy,
// exp) that the gain quantiser uses.
Word16 PitchGain(const Word16* xn, const Word16* y1, Word16* g_coeff);

Word16 EncodeLag(Word16 t0, Word16 frac, Word16* t0_min, Word16* t0_max, int subframe);
void DecodeLag(Word16 index, int subframe, Word16* t0, Word16* frac);
Word16 PitchParity(Word16 index);

}  // namespace g729
