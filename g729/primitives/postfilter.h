// The decoder's adaptive postfilter: long-term (pitch) postfilter, tilt
// compensation, short-term postfilter 1/A(z/0.7) and adaptive gain control.
#pragma once
#include "fixed_point.h"

namespace g729 {

struct PostfilterState {
  Word16 res2_buf[143 + 40];  // residual history, then the subframe
  Word16 scal_res2_buf[143 + 40];
  Word16 mem_syn_pst[10];
  Word16 mem_pre;    // tilt compensation memory
  Word16 past_gain;  // gain control, Q12
};
void PostfilterInit(PostfilterState* s);

// Postfilters the 80 samples of syn (which has 10 samples of history before
// it) in place, with the frame's two LP coefficient sets and lags.
void Postfilter(PostfilterState* s, Word16* syn, const Word16* az, const Word16* lags);

}  // namespace g729
