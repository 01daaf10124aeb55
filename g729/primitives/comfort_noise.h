// Comfort noise: the random excitation that stands in for silence, the
// quantisation of a noise energy into the silence description's gain index,
// and the generator both sides share.
#pragma once
#include "fixed_point.h"

namespace g729 {

const Word16 kNoiseSeed = 11111;

// The codec's linear congruential generator (also used by concealment).
Word16 NextRandom(Word16* seed);

// Quantises an energy given as a 16-bit mantissa and its shift into the
// silence description's 5-bit gain index.
Word16 QuantizeNoiseEnergy(Word16 energy, Word16 shift);

// Fills the 80 samples at exc (with the excitation history before it, as
// the adaptive codebook needs) with comfort noise of the given gain:
// per subframe a random pitch contribution below 0.5, Gaussian noise and
// four random pulses whose gain brings the subframe to the target energy.
// Writes the two subframes' pitch gains and lags to gp/lags when given.
void NoiseExcitation(Word16 gain, Word16* exc, Word16* seed, Word16* gp = nullptr, Word16* lags = nullptr);

}  // namespace g729
