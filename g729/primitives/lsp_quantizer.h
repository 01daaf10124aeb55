// The switched MA-predictive two-stage LSP quantiser and its decoder.
#pragma once
#include "fixed_point.h"

namespace g729 {

// MA predictor memory: four past quantiser output vectors, newest first.
struct LspPredictor {
  Word16 freq_prev[4][10];
};
void LspPredictorReset(LspPredictor* p);

// LSP (Q15 cosines) <-> LSF (Q13 radians) through the cosine table.
void LspToLsf(const Word16* lsp, Word16* lsf);
// The first n LSFs (non-negative, Q13) to LSPs.
void LsfToLsp(const Word16* lsf, Word16* lsp, int n = 10);

// Quantises lsp; writes the quantised LSP and the two code words
// (mode << 7 | L1, L2 << 5 | L3); updates the predictor.
void LspQuantize(LspPredictor* p, const Word16* lsp, Word16* lsp_q, Word16* code);

// Decoder side: decodes the two code words into quantised LSF (Q13),
// updating the predictor; for an erased frame repeats prev_lsf and updates
// the predictor with it. prev_lsf and prev_mode are the decoder's memory.
void DecodeLsp(LspPredictor* p, const Word16* code, bool erased, Word16* prev_lsf,
               Word16* prev_mode, Word16* lsp_q);

// Decodes a silence description's LSF indices (predictor switch, first and
// second stage) into quantised LSPs, updating the predictor.
// The LSFs (Q13) of a speech frame's code (predictor mode 0 or 1, stage
// indices), the predictor memory moved on; returns bit 0 when the lower
// and bit 1 when the upper limit was applied.
int DecodeLsf(LspPredictor* p, int mode, int l1, int l2, int l3, Word16* lsf);
// An erased frame repeats lsf: the memory takes the residual that
// reproduces it under predictor mode (0 or 1).
void LsfErasureUpdate(LspPredictor* p, int mode, const Word16* lsf);
// The silence description's LSFs (Q13) from its three indices (predictor,
// first and second stage), limits reported as by DecodeLsf; and its
// quantiser over LSFs, the quantised LSFs rebuilt by DecodeSidLsf.
int DecodeSidLsf(LspPredictor* p, const Word16* index, Word16* lsf);
void QuantizeSidLsf(LspPredictor* p, const Word16* lsf, Word16* lsf_q, Word16* index);
void DecodeSidLsp(LspPredictor* p, const Word16* index, Word16* lsp_q);
// Quantises the LSPs of a silence description into those three indices
// and the quantised LSPs (as the decoder will decode them), updating the
// predictor.
void QuantizeSidLsp(LspPredictor* p, const Word16* lsp, Word16* lsp_q, Word16* index);
// LSP to LSF normalised to 0..0.5 (Q15), for the voice-activity decision.
void LspToLsfNormalized(const Word16* lsp, Word16* lsf);

}  // namespace g729
