// The G.729 Annex A encoder core: one 10 ms frame of 80 samples into the
// eleven parameters of a speech frame.
#pragma once
#include "filters.h"
#include "gains.h"
#include "lsp_quantizer.h"
#include "noise_encoder.h"
#include "scratch.h"
#include "voice_activity.h"

namespace g729 {

const int kParameters = 11;

struct EncoderState {
  ScratchBank scratch;  // this frame's work buffers
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
  // Voice activity detection and discontinuous transmission (with vad).
  bool vad;
  Word16 frame;  // frames coded, from 1, wrapping to 256
  bool prev_voice, pprev_voice;
  Word16 noise_seed;
  VoiceActivityState activity;
  NoiseEncoderState noise;
};

// Keeps the scratch bank set before it.
void EncoderInit(EncoderState* s, bool vad = false);
// Codes one frame. Returns the frame type: 3 with the eleven parameters of
// a speech frame in prm; with vad, 1 with the four fields of a silence
// description, or 0 (nothing to send).
int EncodeFrame(EncoderState* s, const int16_t* pcm, Word16* prm);

}  // namespace g729
