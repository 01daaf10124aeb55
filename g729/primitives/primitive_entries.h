// The codec's signal-processing primitives as dispatch entries: each entry
// checks its arguments, returns a status and continues at the build of the
// primitive for the process's code path (G729CPUPath), found in one table
// of six slots per primitive index.
//
// Status of every entry: 0 done; -6 a length or count not positive; -7 an
// argument out of its range; -8 a required pointer null; -11 a pitch delay,
// fraction or predictor mode out of range; -12 a negative LSF; -13 a scale
// factor out of range; -32 a negative shift; 12 saturated, overflowed or
// unstable; 13, 14, 15 done with the LSF limits applied (low, high, both).
// Checks run pointers first, then lengths, then the rest, and a failed
// check writes nothing.
#pragma once
#include <cstdint>

extern "C" {

// The high-pass filter state of the pre- and post-processing filters.
struct G729HighPassState {
  int32_t y1, y2;  // past outputs before rounding
  int16_t x1, x2;  // past inputs
  int16_t a0, a1, a2, b0, b1, b2;
};

// A cleared record the decoder state carries for the other members of the
// codec family.
struct G729HistoryRecord {
  int16_t values[6];
  int16_t words[3];
  int16_t reserved;
};

// index, name, parameters, arguments
#define G729_PRIMITIVES(X)                                                                                \
  X(2, G729VecZero16, (int16_t * v, int32_t n), (v, n))                                                   \
  X(3, G729VecSubInPlace16, (const int16_t* x, int16_t* y, int32_t n), (x, y, n))                         \
  X(4, G729VecCopy16, (const int16_t* src, int16_t* dst, int32_t n), (src, dst, n))                      \
  X(5, G729VecMove16, (const int16_t* src, int16_t* dst, int32_t n), (src, dst, n))                      \
  X(6, G729VecSub16, (const int16_t* x, const int16_t* y, int16_t* z, int32_t n), (x, y, z, n))          \
  X(7, G729VecShiftRightInPlace16, (int32_t s, int16_t* v, int32_t n), (s, v, n))                         \
  X(8, G729DotProduct16, (const int16_t* x, const int16_t* y, int32_t n, int32_t* out, int32_t sf),       \
    (x, y, n, out, sf))                                                                                   \
  X(11, G729VecAdd16, (const int16_t* x, const int16_t* y, int16_t* z, int32_t n), (x, y, z, n))         \
  X(12, G729VecMin16, (const int16_t* v, int32_t n, int16_t* out), (v, n, out))                           \
  X(13, G729VecAddConstInPlace16, (int16_t c, int16_t* v, int32_t n), (c, v, n))                          \
  X(14, G729VecShiftLeftInPlace16, (int32_t s, int16_t* v, int32_t n), (s, v, n))                         \
  X(15, G729VecShiftRight16, (const int16_t* x, int32_t s, int16_t* y, int32_t n), (x, s, y, n))         \
  X(16, G729VecMax16, (const int16_t* v, int32_t n, int16_t* out), (v, n, out))                           \
  X(17, G729VecAddScaledInPlace16, (const int16_t* x, int16_t* y, int32_t n, int32_t sf), (x, y, n, sf)) \
  X(18, G729VecShiftLeft16, (const int16_t* x, int32_t s, int16_t* y, int32_t n), (x, s, y, n))          \
  X(24, G729VecMulScaled16, (const int16_t* x, const int16_t* y, int16_t* z, int32_t n, int32_t sf),      \
    (x, y, z, n, sf))                                                                                     \
  X(27, G729VecMulAddShifted16,                                                                           \
    (const int16_t* x, int16_t a, const int16_t* y, int16_t b, int16_t* z, int32_t n, int32_t sf),        \
    (x, a, y, b, z, n, sf))                                                                               \
  X(28, G729VecWeightedSum16,                                                                             \
    (const int16_t* x, int16_t a, const int16_t* y, int16_t b, int16_t* z, int32_t n, int32_t sf),        \
    (x, a, y, b, z, n, sf))                                                                               \
  X(41, G729VecAverage16, (const int16_t* x, const int16_t* y, int16_t* z, int32_t n), (x, y, z, n))     \
  X(51, G729InvSqrtVec, (int32_t * v, int32_t n), (v, n))                                                 \
  X(59, G729DotProductAutoScale, (const int16_t* x, const int16_t* y, int32_t n, int32_t* sum,            \
                                  int32_t* shift),                                                        \
    (x, y, n, sum, shift))                                                                                \
  X(78, G729VecMulConstInPlace16, (int16_t c, int16_t* v, int32_t n, int32_t sf), (c, v, n, sf))         \
  X(93, G729VecMulConst16, (const int16_t* x, int16_t c, int16_t* y, int32_t n, int32_t sf),             \
    (x, c, y, n, sf))                                                                                     \
  X(19, G729HighPassStateSize, (int32_t * out), (out))                                                   \
  X(20, G729SynthesisFilterInPlace, (const int16_t* c, int16_t* v, int32_t n, int32_t sf,                 \
                                     const int16_t* memory),                                              \
    (c, v, n, sf, memory))                                                                                \
  X(21, G729SynthesisFilter, (const int16_t* c, const int16_t* x, int16_t* y, int32_t n, int32_t sf,      \
                              const int16_t* memory),                                                     \
    (c, x, y, n, sf, memory))                                                                             \
  X(22, G729ResidualFilter40, (const int16_t* x, const int16_t* c, int16_t* r), (x, c, r))                \
  X(23, G729FirstOrderFilter, (int16_t g, const int16_t* x, int16_t* y, int32_t n, int16_t* memory),      \
    (g, x, y, n, memory))                                                                                 \
  X(33, G729UpdateTarget, (int16_t g, const int16_t* y, const int16_t* x, int16_t* z), (g, y, x, z))      \
  X(34, G729PitchSharpen, (int16_t g, int32_t t, int16_t* v, int32_t n), (g, t, v, n))                    \
  X(47, G729HighPassFilter, (int16_t * v, int32_t n, int32_t sf, G729HighPassState* state),              \
    (v, n, sf, state))                                                                                    \
  X(50, G729HighPassInit, (int16_t a0, int16_t a1, int16_t a2, int16_t b0, int16_t b1, int16_t b2,        \
                           G729HighPassState* state),                                                     \
    (a0, a1, a2, b0, b1, b2, state))                                                                      \
  X(73, G729ImpulseResponse, (const int16_t* c, int16_t* h, int32_t n, int32_t sf), (c, h, n, sf))        \
  X(52, G729GaussNoise, (int16_t * seed, int16_t* out, int32_t n), (seed, out, n))                        \
  X(75, G729HistoryRecordSize, (int32_t * out), (out))                                                   \
  X(89, G729HistoryRecordReset, (G729HistoryRecord * record), (record))                                 \
  X(46, G729Autocorrelation, (const int16_t* x, int32_t n, int32_t* r, int32_t m, int32_t* norm),        \
    (x, n, r, m, norm))                                                                                   \
  X(45, G729LagWindow, (int32_t * r, int32_t count), (r, count))                                         \
  X(44, G729LevinsonDurbin, (const int32_t* r, int16_t* a, int16_t* rc, int16_t* error), (r, a, rc, error)) \
  X(69, G729LevinsonDurbinCore, (const int32_t* r, int32_t order, int16_t* a, int16_t* rc, int16_t* error), \
    (r, order, a, rc, error))                                                                             \
  X(57, G729LpcToLsp50, (const int16_t* a, const int16_t* previous, int16_t* lsp), (a, previous, lsp))   \
  X(43, G729LpcToLsp60, (const int16_t* a, const int16_t* previous, int16_t* lsp), (a, previous, lsp))   \
  X(40, G729LspToLpc, (const int16_t* lsp, int16_t* a), (lsp, a))                                        \
  X(39, G729LspToLsfNormalized, (const int16_t* lsp, int16_t* lsf), (lsp, lsf))                          \
  X(56, G729LspToLsf, (const int16_t* lsp, int16_t* lsf), (lsp, lsf))                                    \
  X(54, G729LsfToLsp, (const int16_t* lsf, int16_t* lsp), (lsf, lsp))                                    \
  X(42, G729LspQuantize, (const int16_t* lsp, int16_t* memory, int16_t* lsp_q, int16_t* code),           \
    (lsp, memory, lsp_q, code))                                                                           \
  X(87, G729DecodeLsf, (const int16_t* code, int16_t* memory, int16_t* lsf), (code, memory, lsf))        \
  X(86, G729LsfErasureUpdate, (int32_t mode, int16_t* memory, const int16_t* lsf), (mode, memory, lsf))  \
  X(55, G729SidLsfQuantize, (const int16_t* lsf, int16_t* memory, int16_t* lsf_q, int16_t* code),         \
    (lsf, memory, lsf_q, code))                                                                           \
  X(88, G729DecodeSidLsf, (const int16_t* code, int16_t* memory, int16_t* lsf), (code, memory, lsf))     \
  X(58, G729AutocorrRounded, (const int16_t* x, int32_t n, int16_t* r, int32_t m, int32_t* norm),        \
    (x, n, r, m, norm))                                                                                   \
  X(74, G729OpenLoopPitchSearch, (const int16_t* wsp, int16_t* t), (wsp, t))                             \
  X(72, G729ClosedLoopPitchSearch, (int16_t t, const int16_t* x, const int16_t* h, int16_t* exc,          \
                                    int16_t* result, int16_t* vector, int32_t subframe),                  \
    (t, x, h, exc, result, vector, subframe))                                                             \
  X(53, G729AdaptiveCodebookVector, (const int16_t* lag, int16_t* exc), (lag, exc))                      \
  X(71, G729PitchGain, (const int16_t* x, const int16_t* c, const int16_t* v, int16_t* y, int16_t* gain), \
    (x, c, v, y, gain))                                                                                   \
  X(32, G729BackwardFilterTarget, (const int16_t* h, const int16_t* x, int32_t n, int16_t* d), (h, x, n, d)) \
  X(29, G729QuantizeGains, (const int16_t* x, const int16_t* y, const int16_t* code, const int16_t* z,    \
                            int16_t* memory, int16_t* gains, int16_t* indices, int32_t taming),           \
    (x, y, code, z, memory, gains, indices, taming))                                                      \
  X(85, G729DecodeGains, (int32_t energy, int16_t* memory, const int16_t* indices, int16_t* gains),       \
    (energy, memory, indices, gains))                                                                     \
  X(31, G729CodebookCorrelations, (const int16_t* h, int32_t* cells), (h, cells))                        \
  X(70, G729CodebookSearch, (const int16_t* d, int32_t* cells, int16_t* code, int16_t* codes),            \
    (d, cells, code, codes))                                                                              \
  X(84, G729PitchPostfilter, (int16_t t, const int16_t* speech, const int16_t* ap3, int16_t* residual,    \
                              int16_t* out),                                                              \
    (t, speech, ap3, residual, out))                                                                      \
  X(83, G729PostfilterTilt, (const int16_t* coefficients, int16_t* signal), (coefficients, signal))      \
  X(82, G729PostfilterGainControl, (const int16_t* before, int16_t* after, int16_t* past_gain),          \
    (before, after, past_gain))

// Argument layouts of the analysis and excitation entries: LSF code record
// = mode, first-stage, lower and upper second-stage index (four words);
// packed LSP code = mode * 128 + L1, L2 * 32 + L3; predictor memories as
// the codec keeps them (40 LSF residuals, 4 energies); excitation buffers
// = 154 past samples then the subframe; lag = integer part, fraction;
// closed-loop result = lag, fraction; the quantiser's gain indices = the
// positions in the first (0..7) and second (0..15) codebook, the decoder's
// = the transmitted 3-bit and 4-bit fields; gains = pitch (Q14), code
// (Q1). The gain decoder's energy is the code vector's sum of squares.
// Silence-description LSF code record = predictor (0..1), first stage
// (0..31), second stage (0..15).
// Codebook: 616 correlation cells; codes = sign bits, position index.
// Postfilter: speech with 10 samples of history before it; residual buffer
// = 154 past residual samples then the subframe's; the tilt's signal has
// its memory (the previous last sample) just before it, and its 22
// coefficients are A(z/0.55) then A(z/0.7).
#define G729_DECLARE_ENTRY(index, name, params, args) int32_t name params;
G729_PRIMITIVES(G729_DECLARE_ENTRY)

// The table: six slots per primitive index (slot = code path); an index
// without a build holds null in every slot. A slot's address, or null for
// an index or path outside the table.
const int kG729PrimitiveCount = 94;
typedef void (*G729PrimitiveBuild)(void);
G729PrimitiveBuild G729DispatchSlot(int32_t index, int32_t path);

// Operators that other primitives call directly (no dispatch entry).
int32_t G729Norm32(int32_t x);
// Sum of (x[i] >> s)^2 (no shift for s <= 0), saturated: 12 when it
// saturated.
int32_t G729Energy16(const int16_t* x, int32_t n, int32_t s, int32_t* out);
// Sum of x[i] y[i] in 32 bits, wrapping.
int32_t G729DotProductWrap16(const int16_t* x, const int16_t* y, int32_t n, int32_t* out);

}  // extern "C"

namespace g729 {
namespace generic {
// The generic builds of the entries, as placed in slot 0.
#define G729_DECLARE_GENERIC(index, name, params, args) int32_t name params;
G729_PRIMITIVES(G729_DECLARE_GENERIC)
#undef G729_DECLARE_GENERIC
}  // namespace generic
}  // namespace g729
