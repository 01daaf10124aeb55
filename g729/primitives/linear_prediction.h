// Linear-prediction analysis and the conversions between LP coefficients
// and line spectral pairs (LSP).
#pragma once
#include "fixed_point.h"

namespace g729 {

// Windowed autocorrelation of the 240-sample analysis span to lag m, as
// normalised double-precision values (r_h, r_l), m + 1 of each; exponent
// (when given) receives the power of two of that normalisation.
void Autocorrelation(const Word16* x, int m, Word16* r_h, Word16* r_l, Word16* exponent = nullptr);
// Bandwidth expansion and white-noise correction of lags 1..m.
void LagWindow(int m, Word16* r_h, Word16* r_l);

// Levinson-Durbin to order 10. When the filter is unstable the previous
// frame's coefficients (old_a, old_rc) are used; otherwise they are updated.
// err (when given) receives the prediction error energy of a stable filter.
bool LevinsonDurbin(const Word16* r_h, const Word16* r_l, Word16* a, Word16* rc, Word16* old_a,
                    Word16* old_rc, Word16* err = nullptr);
// The same recursion to any order up to kMaxLevinsonOrder: a (order + 1
// values) and rc (order values) as it goes; false, with a not finished,
// when a reflection coefficient shows the filter unstable.
const int kMaxLevinsonOrder = 30;
bool LevinsonDurbinCore(const Word16* r_h, const Word16* r_l, int order, Word16* a, Word16* rc, Word16* err);

// LP coefficients to LSP by the Chebyshev root search on a 50-point grid;
// falls back to old_lsp when fewer than 10 roots are found.
void LpcToLsp(const Word16* a, Word16* lsp, const Word16* old_lsp);
// The same search on the finer 60-point grid with four bisections per root.
void LpcToLsp60(const Word16* a, Word16* lsp, const Word16* old_lsp);
// LSP to LP coefficients (Q12, 11 values).
void LspToLpc(const Word16* lsp, Word16* a);
// The two subframes' LP coefficients: the first from the average of the
// previous and current LSPs, the second from the current ones.
void InterpolateLpc(const Word16* lsp_old, const Word16* lsp_new, Word16* az);

}  // namespace g729
