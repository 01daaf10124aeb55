// The G.729 Annex A encoder core: one 10 ms frame of 80 samples into the
// eleven parameters of a speech frame.
#pragma once
#include "filters.h"
#include "gains.h"
#include "lsp_quantizer.h"

namespace g729 {

const int kParameters = 11;

struct EncoderState {
  Word16 old_speech[240];
  Word16 old_wsp[kFrame + 143];
  Word16 old_exc[kFrame + 143 + 11];
  Word16 lsp_old[kOrder], lsp_old_q[kOrder];
  Word16 mem_w0[kOrder], mem_w[kOrder], mem_zero[kOrder];
  Word16 sharp;
  Word16 old_a[kOrder + 1], old_rc[2];
  Word32 exc_err[4];  // taming: accumulated excitation error per lag zone
  HighPassState pre;
  LspPredictor lsp_predictor;
  GainPredictor gain_predictor;
};

void EncoderInit(EncoderState* s);
void EncodeFrame(EncoderState* s, const int16_t* pcm, Word16* prm);

}  // namespace g729
