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

// The postfilter's steps on one 40-sample subframe.
// Long-term postfilter around lag (searched lag-3..lag+3, kept below 144):
// residual and its copy scaled down by 4, each with 143 samples of history.
void LongTermPostfilter(const Word16* residual, const Word16* scaled, Word16 lag, Word16* out);
// The tilt factor of A(z/0.55) (ap3) over A(z/0.7) (ap4), and its
// compensation of signal in place; memory holds the previous last sample.
Word16 TiltGain(const Word16* ap3, const Word16* ap4);
void TiltCompensate(Word16* signal, Word16 g, Word16* memory);
// Adaptive gain control of the postfiltered signal against sig_in.
void GainControl(Word16* past_gain, const Word16* sig_in, Word16* sig_out);

// Postfilters the 80 samples of syn (which has 10 samples of history before
// it) in place, with the frame's two LP coefficient sets and lags. The
// pitch postfilter runs only on speech (not on comfort noise).
void Postfilter(PostfilterState* s, Word16* syn, const Word16* az, const Word16* lags, bool speech);

}  // namespace g729
