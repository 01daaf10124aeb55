// Taming: the encoder tracks the error that a lost frame would leave in
// the adaptive codebook and limits the pitch gain when it grows too large.
#pragma once
#include "fixed_point.h"

namespace g729 {

void TamingInit(Word32* exc_err);
// 1 when the pitch gain must be limited for this lag.
Word16 TamingTest(const Word32* exc_err, Word16 t0, Word16 t0_frac);
void TamingUpdate(Word32* exc_err, Word16 gain_pit, Word16 t0);

}  // namespace g729
