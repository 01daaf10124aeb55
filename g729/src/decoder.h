// The G.729 Annex A decoder core: the parameters of a speech frame (or an
// erasure) into 80 samples, with the postfilter and post-processing.
#pragma once
#include "filters.h"
#include "gains.h"
#include "lsp_quantizer.h"
#include "postfilter.h"
#include "primitive_entries.h"
#include "scratch.h"

namespace g729 {

struct DecoderState {
  ScratchBank scratch;  // this frame's work buffers
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
  // Comfort noise: the previous frame's type (3 speech, 0/1 silence), the
  // last good speech frame's excitation energy (mantissa and shift), the
  // silence description's LSPs and gain, the current noise gain and the
  // noise generator's seed.
  Word16 past_type;
  Word16 sid_energy, sid_energy_shift;
  Word16 sid_lsp[kOrder];
  Word16 sid_gain, noise_gain;
  Word16 noise_seed;
  // Kept cleared for the codec family's other members; nothing here reads it.
  G729HistoryRecord history;
};

const int kParametersDecoded = 11;
// Keeps the scratch bank set before it.
void DecoderInit(DecoderState* s);
// prm: the eleven parameters as received (the parity parameter is the
// received bit); null for an erased frame. Writes 80 samples. An erasure
// after a silence frame continues the comfort noise.
void DecodeFrame(DecoderState* s, const Word16* prm, int16_t* out);

// The silence description's fields: predictor switch, first- and
// second-stage LSF indices, energy index.
const int kSidParameters = 4;
// A silence frame: sid holds a silence description (null for an
// untransmitted frame); take_gain applies its gain at once. Writes 80
// samples of comfort noise.
void DecodeSilenceFrame(DecoderState* s, const Word16* sid, bool take_gain, int16_t* out);

}  // namespace g729
