// The G.729 Annex A decoder core: the parameters of a speech frame (or an
// erasure) into 80 samples, with the postfilter and post-processing.
#pragma once
#include "filters.h"
#include "gains.h"
#include "lsp_quantizer.h"
#include "postfilter.h"

namespace g729 {

struct DecoderState {
  Word16 old_exc[kFrame + 143 + 11];
  Word16 lsp_old[kOrder];
  Word16 mem_syn[kOrder];
  Word16 sharp;
  Word16 old_t0;
  Word16 gain_code, gain_pitch;
  Word16 seed;  // erasure generator
  Word16 prev_lsf[kOrder];
  Word16 prev_mode;
  Word16 synth_buf[kFrame + kOrder];
  LspPredictor lsp_predictor;
  GainPredictor gain_predictor;
  PostfilterState post;
  HighPassState post_process;
};

const int kParametersDecoded = 11;
void DecoderInit(DecoderState* s);
// prm: the eleven parameters as received (the parity parameter is the
// received bit); null for an erased frame. Writes 80 samples.
void DecodeFrame(DecoderState* s, const Word16* prm, int16_t* out);

}  // namespace g729
