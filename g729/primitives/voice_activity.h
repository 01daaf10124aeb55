// Voice activity detection: each frame is classed as speech or noise from
// its full-band and low-band energies, the distance of its spectrum from
// the running noise spectrum and its zero-crossing rate, against running
// averages of the background, with smoothing and hangover.
#pragma once
#include "fixed_point.h"

namespace g729 {

struct VoiceActivityState {
  Word16 mean_lsf[10];
  Word16 min_buffer[16];
  Word16 prev_min, next_min, min;
  Word16 mean_e, mean_se, mean_sle, mean_szc;
  Word16 prev_energy;
  Word16 count_sil, count_update, count_ext;
  Word16 flag, v_flag, less_count;
};

void VoiceActivityInit(VoiceActivityState* s);

struct VoiceActivityInput {
  Word16 rc;             // second reflection coefficient
  const Word16* lsf;     // normalised LSFs (Q15, 0..0.5)
  const Word16* r_h;     // autocorrelations to lag 12 (high words)
  const Word16* r_l;     // and low words
  Word16 exp_r0;         // their normalisation exponent
  const Word16* signal;  // the frame's pre-processed analysis window
  Word16 frame;          // frame count from 1 (wraps to 256 after 32767)
  bool prev_voice, pprev_voice;
};

// True for speech.
bool VoiceActivity(VoiceActivityState* s, const VoiceActivityInput& in);

}  // namespace g729
