// Gain quantisation of the encoder and gain decoding of the decoder: the
// two-stage conjugate-structure codebook with MA prediction of the code
// energy from the past quantised energies.
#pragma once
#include "fixed_point.h"

namespace g729 {

// Past quantised code energies (dB, Q10), newest first; -14336 initially.
struct GainPredictor {
  Word16 past_qua_en[4];
};
void GainPredictorReset(GainPredictor* p);

// The gain quantiser's correlations: <y1,y1> and -2<xn,y1> from the pitch
// gain's record (PitchGain) into g_coeff[0..1], <y2,y2>, -2<xn,y2> and
// 2<y1,y2> into g_coeff[2..4]; their exponents into exp_g_coeff.
void CodeCorrelations(const Word16* pitch_corr, const Word16* xn, const Word16* y1, const Word16* y2,
                      Word16* g_coeff, Word16* exp_g_coeff);

// Quantises the gains; returns the 7-bit gain parameter (mapped indices).
Word16 QuantizeGains(GainPredictor* p, const Word16* code, const Word16* g_coeff, const Word16* exp_coeff,
                     Word16* gain_pit, Word16* gain_cod, Word16 tameflag);

// Decodes the 7-bit gain parameter, or conceals an erased subframe.
// As DecodeGains, with the code vector's doubled energy (saturated) given.
void DecodeGainsFromEnergy(GainPredictor* p, Word16 index, Word32 energy, bool erased, Word16* gain_pit,
                           Word16* gain_cod);
void DecodeGains(GainPredictor* p, Word16 index, const Word16* code, bool erased, Word16* gain_pit,
                 Word16* gain_cod);

}  // namespace g729
