// The encoder's side of discontinuous transmission: on frames without
// speech it decides whether the background changed enough to send a new
// silence description, codes it, and builds the comfort-noise excitation
// the decoder will build, so that both keep the same memories.
#pragma once
#include "filters.h"
#include "lsp_quantizer.h"

namespace g729 {

struct NoiseEncoderState {
  Word16 lsp_sid_q[kOrder];
  Word16 past_coeff[kOrder + 1];
  Word16 r_coeff[kOrder + 1], sh_r_coeff;
  Word16 acf[2 * (kOrder + 1)], sh_acf[2];         // the last two frames' autocorrelations
  Word16 sum_acf[3 * (kOrder + 1)], sh_sum_acf[3];  // sums of pairs of them
  Word16 ener[2], sh_ener[2];
  Word16 fr_cur, cur_gain, nb_ener, sid_gain, flag_chang, prev_energy, count_fr0;
};

void NoiseEncoderInit(NoiseEncoderState* s);

// Stores the frame's autocorrelations (high words, lags 0..10, with their
// exponent) in the history.
void NoiseHistoryUpdate(NoiseEncoderState* s, const Word16* r_h, Word16 exp_r, bool voice);

// A frame without speech. Returns the frame type: 1 with the silence
// description's four fields in sid, or 0 (nothing sent). Writes the
// frame's excitation (80 samples at exc, with its history before it), the
// subframes' LP coefficients to Aq and their pitch gains and lags; updates
// the previous quantised LSPs and the LSP predictor.
int NoiseEncode(NoiseEncoderState* s, bool prev_voice, Word16* exc, Word16* lsp_old_q, Word16* Aq,
                Word16* sid, LspPredictor* predictor, Word16* seed, Word16* old_a, Word16* old_rc,
                Word16* gp, Word16* lags);

}  // namespace g729
