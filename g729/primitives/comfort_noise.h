// Comfort noise: the random excitation that stands in for silence, the
// quantisation of a noise energy into the silence description's gain index,
// and the generator both sides share.
#pragma once
#include "fixed_point.h"

namespace g729 {

const Word16 kNoiseSeed = 11111;

// The codec's linear congruential generator (also used by concealment).
Word16 NextRandom(Word16* seed);

// Quantises noise energy, given as 16-bit mantissas and their shifts, into
// the silence description's 5-bit gain index; level_db (when given)
// receives the quantised level in dB. count 0: one saved excitation
// energy; count 1 or 2: the average of that many residual energies.
Word16 QuantizeNoiseEnergy(const Word16* energy, const Word16* shift, int count, Word16* level_db = nullptr);

// The noise gain's step towards the silence description's gain (7/8 of
// the current gain plus 1/8 of the described one).
Word16 SmoothNoiseGain(Word16 current, Word16 described);

// Fills the 80 samples at exc (with the excitation history before it, as
// the adaptive codebook needs) with comfort noise of the given gain:
// per subframe a random pitch contribution below 0.5, Gaussian noise and
// four random pulses whose gain brings the subframe to the target energy.
// Writes the two subframes' pitch gains and lags to gp/lags when given.
void NoiseExcitation(Word16 gain, Word16* exc, Word16* seed, Word16* gp = nullptr, Word16* lags = nullptr);

}  // namespace g729
