// The algebraic codebook (see algebraic_codebook.h).
#include "algebraic_codebook.h"
#include "dispatch.h"
#include "filters.h"
#include "pitch.h"

namespace g729 {
namespace {

const int kPositions = 8;  // positions per track
const int kStep = 5;       // track interleave
const int kCross = 64;     // cells of one cross-correlation block
const int kCorrelationCells = 5 * kPositions + 9 * kCross;

// The correlation set: energies of each track's positions, then the
// cross-correlations of the position pairs of two tracks. It is formed at
// full width (half the standard's 32-bit accumulator) and searched as the
// upper bits (the full value shifted right by 15).
template <typename Cell>
struct CellSet {
  Cell cells[kCorrelationCells];
  Cell *i0i0, *i1i1, *i2i2, *i3i3, *i4i4;
  Cell *i0i1, *i0i2, *i0i3, *i0i4, *i1i2, *i1i3, *i1i4, *i2i3, *i2i4;
  CellSet() {
    i0i0 = cells;
    i1i1 = i0i0 + kPositions;
    i2i2 = i1i1 + kPositions;
    i3i3 = i2i2 + kPositions;
    i4i4 = i3i3 + kPositions;
    i0i1 = i4i4 + kPositions;
    i0i2 = i0i1 + kCross;
    i0i3 = i0i2 + kCross;
    i0i4 = i0i3 + kCross;
    i1i2 = i0i4 + kCross;
    i1i3 = i1i2 + kCross;
    i1i4 = i1i3 + kCross;
    i2i3 = i1i4 + kCross;
    i2i4 = i2i3 + kCross;
  }
  CellSet(const CellSet&) = delete;
  CellSet& operator=(const CellSet&) = delete;
};
typedef CellSet<Word32> Correlations;
typedef CellSet<Word16> SearchCells;

void ChainCorrelations(const Word16* h, Correlations& c) {
  Word32 cor;
  // Energies: accumulate from the start; position p of track t gets the
  // energy of the response's tail beyond it.
  Word32* diag[5] = {c.i4i4, c.i3i3, c.i2i2, c.i1i1, c.i0i0};
  cor = 0;
  const Word16* p = h;
  for (int i = 0; i < kPositions; i++)
    for (int t = 0; t < 5; t++) {
      cor = LMac(cor, *p, *p);
      p++;
      diag[t][kPositions - 1 - i] = cor >> 1;
    }

  // Cross-correlations along each diagonal offset of 1 to 4 samples (and
  // their continuations 5 apart), from the last positions backwards.
  struct Lane {
    Word32* base;
    bool inf;  // starts one row earlier (l_fin_inf)
  };
  // For offset d, the diagonals met in order within one step of 5 samples.
  const int per_offset[4] = {4, 5, 5, 4};
  Lane lanes[4][5] = {
      {{c.i2i3, false}, {c.i1i2, false}, {c.i0i1, false}, {c.i0i4, true}, {nullptr, false}},
      {{c.i2i4, false}, {c.i1i3, false}, {c.i0i2, false}, {c.i1i4, true}, {c.i0i3, true}},
      {{c.i1i4, false}, {c.i0i3, false}, {c.i2i4, true}, {c.i1i3, true}, {c.i0i2, true}},
      {{c.i0i4, false}, {c.i2i3, true}, {c.i1i2, true}, {c.i0i1, true}, {nullptr, false}},
  };
  // Number of multiply-accumulates before each store within one step.
  const int macs[4][5] = {{2, 1, 1, 1, 0}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 2, 1, 1, 0}};
  // Stores made after the last full step (the tail of each diagonal).
  const int tail_stores[4] = {3, 3, 2, 1};
  for (int d = 0; d < 4; d++) {
    const int ldec = kPositions + 1;
    int l_fin_sup = kCross - 1;
    int l_fin_inf = l_fin_sup - 1;
    const Word16* hf = h + 1 + d;
    for (int k = 0; k < kPositions; k++) {
      Word32* ptr[5];
      for (int l = 0; l < per_offset[d]; l++) ptr[l] = lanes[d][l].base + (lanes[d][l].inf ? l_fin_inf : l_fin_sup);
      cor = 0;
      const Word16* h1 = h;
      const Word16* h2 = hf;
      for (int i = k + 1; i < kPositions; i++) {
        for (int l = 0; l < per_offset[d]; l++) {
          for (int m = 0; m < macs[d][l]; m++) cor = LMac(cor, *h1++, *h2++);
          *ptr[l] = cor >> 1;
          ptr[l] -= ldec;
        }
      }
      for (int l = 0; l < tail_stores[d]; l++) {
        for (int m = 0; m < macs[d][l]; m++) cor = LMac(cor, *h1++, *h2++);
        *ptr[l] = cor >> 1;
      }
      l_fin_sup -= kPositions;
      l_fin_inf--;
      hf += kStep;
    }
  }
}

// Scales the impulse response for precision: halved when its energy is
// near the top of the range, otherwise shifted up by half its headroom.
void ScaleResponse(const Word16* H, Word16* h) {
  Word32 cor = Sat32(2 * GetKernels().energy(H, kSubframe));  // a sum of squares saturates for good
  if (ExtractH(cor) > 32000) {
    for (int i = 0; i < kSubframe; i++) h[i] = Shr(H[i], 1);
  } else {
    int k = NormL(cor) >> 1;
    for (int i = 0; i < kSubframe; i++) h[i] = Shl(H[i], k);
  }
}

// Where each cell of the set lies in the prefix table below (row: the
// last sample the sum reaches, column: the distance of the two positions).
const uint16_t* CellPlaces() {
  struct Places {
    uint16_t at[kCorrelationCells];
    Places() {
      auto place = [](int a, int b) {
        const int d = a > b ? a - b : b - a;
        const int last = kSubframe - 1 - (a > b ? a : b);
        return (uint16_t)(last * kSubframe + d);
      };
      int n = 0;
      for (int t = 0; t < 5; t++)
        for (int p = 0; p < kPositions; p++) at[n++] = place(5 * p + t, 5 * p + t);
      const int pairs[9][2] = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}};
      for (const auto& pair : pairs)
        for (int p1 = 0; p1 < kPositions; p1++)
          for (int p2 = 0; p2 < kPositions; p2++) at[n++] = place(5 * p1 + pair[0], 5 * p2 + pair[1]);
    }
  };
  static const Places places;
  return places.at;
}

// Cell of positions a and b: the correlation of the response with itself
// shifted by |a - b|, over the samples that remain after the later one.
// The standard forms each diagonal as one running multiply-accumulate from
// the response's start; when twice the response's energy fits 31 bits no
// partial sum can saturate (Cauchy-Schwarz), and the prefix sums below are
// the same numbers.
void ComputeCorrelations(const Word16* H, Correlations& c) {
  Word16 h[kSubframe];
  ScaleResponse(H, h);
  if (2 * GetKernels().energy(h, kSubframe) > kMax32) {
    ChainCorrelations(h, c);
    return;
  }
  // prefix[n][d] = 2 * sum over k = 0..n of h[k] h[k + d], row by row so
  // that each row is one vector operation over d.
  Word32 prefix[kSubframe][kSubframe];
  for (int d = 0; d < kSubframe; d++) prefix[0][d] = 2 * h[0] * h[d];
  for (int n = 1; n < kSubframe; n++)
    for (int d = 0; d < kSubframe - n; d++) prefix[n][d] = prefix[n - 1][d] + 2 * h[n] * h[n + d];
  const uint16_t* where = CellPlaces();
  const Word32* flat = &prefix[0][0];
  for (int i = 0; i < kCorrelationCells; i++) c.cells[i] = flat[where[i]] >> 1;
}

const Word16 k1_2 = 16384, k1_4 = 8192, k1_8 = 4096, k1_16 = 2048;

// The search's energy sums add at most six cells (each of 16 bits) with
// weights 1/16 to 1/2: their magnitude stays below 2^31 - 2^15, so the
// standard's saturating multiply-accumulates and rounding never saturate
// here, and plain 32-bit arithmetic gives the same numbers.
inline Word32 Acc(Word32 acc, Word16 cell, Word16 weight) { return acc + (Word32)cell * (2 * weight); }
inline Word16 High(Word32 x) { return (Word16)((x + 0x8000) >> 16); }
// The sign of a * b - c * d as the standard's saturating operators give it
// (saturation keeps the sign of the exact value).
inline bool Better(Word16 a, Word16 b, Word16 c, Word16 d) { return (int64_t)LMult(a, b) - LMult(c, d) > 0; }

// Cells of one fixed pulse against the 8 positions of a track, read with a
// stride of 1 (the track is the block's second) or 8 (its first).
struct CellRun {
  const Word16* p;
  int step;
};

// Second stage of a depth-first pass: with two pulses placed (correlation
// ps0, energy alp0), the best positions of the remaining tracks a and b.
// fixed_b: the placed pulses' cells against track b; diag_b: b's energies;
// fixed_a, diag_a likewise for a; cross: the a x b cells, a first.
void BestPair(const Word16* dn, Word16 ps0, Word32 alp0, int track_a, int track_b, CellRun fixed_b0,
              CellRun fixed_b1, const Word16* diag_b, CellRun fixed_a0, CellRun fixed_a1, const Word16* diag_a,
              const Word16* cross, Word16& sq, Word16& alp, int& ix, int& iy) {
  Word16 tmp_vect[kPositions];
  sq = -1;
  alp = 1;
  for (int m = 0; m < kPositions; m++) {
    Word32 s = Acc(0, fixed_b0.p[m * fixed_b0.step], k1_4);
    s = Acc(s, fixed_b1.p[m * fixed_b1.step], k1_4);
    s = Acc(s, diag_b[m], k1_8);
    tmp_vect[m] = High(s);
  }
  const Word16* p3 = cross;
  for (int m = 0, i2 = track_a; i2 < kSubframe; m++, i2 += kStep) {
    Word16 ps1 = Add(ps0, dn[i2]);
    Word32 alp1 = Acc(alp0, fixed_a0.p[m * fixed_a0.step], k1_8);
    alp1 = Acc(alp1, fixed_a1.p[m * fixed_a1.step], k1_8);
    alp1 = Acc(alp1, diag_a[m], k1_16);
    for (int n = 0, i3 = track_b; i3 < kSubframe; n++, i3 += kStep) {
      Word16 ps2 = Add(ps1, dn[i3]);
      Word32 alp2 = Acc(alp1, *p3++, k1_8);
      alp2 = Acc(alp2, tmp_vect[n], k1_2);
      Word16 sq2 = Mult(ps2, ps2);
      Word16 alp_16 = High(alp2);
      if (Better(alp, sq2, sq, alp_16)) {
        sq = sq2;
        alp = alp_16;
        ix = i2;
        iy = i3;
      }
    }
  }
}

// The fast search on the backward-filtered target dn (made absolute) with
// the cells (signs folded in); the code vector, the sign bits, the pulse
// positions and the position index.
Word16 Search(Word16* dn, SearchCells& c, Word16* cod, Word16* sign, int* positions) {
  Word16 sign_dn[kSubframe], sign_dn_inv[kSubframe];
  for (int i = 0; i < kSubframe; i++) {
    if (dn[i] >= 0) {
      sign_dn[i] = 32767;
      sign_dn_inv[i] = -32768;
    } else {
      sign_dn[i] = -32768;
      sign_dn_inv[i] = 32767;
      dn[i] = Negate(dn[i]);
    }
  }
  // Fold the signs into the cross-correlations: each row of a block (one
  // position of its first track) is multiplied by the signs of the second
  // track's positions, negated when the row's own sign is negative.
  {
    Word16 signs[5][kPositions], inverse[5][kPositions];
    for (int t = 0; t < 5; t++)
      for (int k = 0; k < kPositions; k++) {
        signs[t][k] = sign_dn[t + kStep * k];
        inverse[t][k] = sign_dn_inv[t + kStep * k];
      }
    struct Block {
      Word16* cells;
      int t1, t2;
    };
    const Block blocks[9] = {{c.i0i1, 0, 1}, {c.i0i2, 0, 2}, {c.i0i3, 0, 3}, {c.i0i4, 0, 4}, {c.i1i2, 1, 2},
                             {c.i1i3, 1, 3}, {c.i1i4, 1, 4}, {c.i2i3, 2, 3}, {c.i2i4, 2, 4}};
    for (const Block& b : blocks)
      for (int r = 0; r < kPositions; r++) {
        const Word16* s = sign_dn[b.t1 + kStep * r] < 0 ? inverse[b.t2] : signs[b.t2];
        Word16* row = b.cells + r * kPositions;
        for (int k = 0; k < kPositions; k++) row[k] = Mult(row[k], s[k]);
      }
  }

  Word16 psk = -1, alpk = 1;
  Word16 *r03 = c.i0i3, *r13 = c.i1i3, *r23 = c.i2i3, *r33 = c.i3i3;
  int ip0 = 0, ip1 = 1, ip2 = 2, ip3 = 3, ix = 0, iy = 0;
  Word16 ps = 0;

  // The two largest |d| positions of a track (the first of equals first).
  auto two_best = [&](int track, int* out) {
    int prev = -1;
    for (int n = 0; n < 2; n++) {
      Word16 max = -1;
      int best = track;
      for (int j = track; j < kSubframe; j += kStep)
        if (dn[j] > max && prev != j) {
          max = dn[j];
          best = j;
        }
      out[n] = best;
      prev = best;
    }
  };

  for (int track = 3; track < 5; track++) {
    // Search A: pulse 2 on its two best positions with pulse 3, then 0 and 1.
    Word16 sq = -1, alp = 1;
    int best2[2];
    two_best(2, best2);
    for (int n = 0; n < 2; n++) {
      int i0 = best2[n];
      int j = Mult((Word16)i0, 6554);
      Word16 ps1 = dn[i0];
      Word32 alp1 = Acc(0, c.i2i2[j], k1_4);
      const Word16* p0 = r23 + (j << 3);
      const Word16* p1 = r33;
      for (int i1 = track; i1 < kSubframe; i1 += kStep) {
        Word16 ps2 = Add(ps1, dn[i1]);
        Word32 alp2 = Acc(alp1, *p0++, k1_2);
        alp2 = Acc(alp2, *p1++, k1_4);
        Word16 sq2 = Mult(ps2, ps2);
        Word16 alp_16 = High(alp2);
        if (Better(alp, sq2, sq, alp_16)) {
          sq = sq2; ps = ps2; alp = alp_16; ix = i0; iy = i1;
        }
      }
    }
    int i0 = ix, i1 = iy;
    Word16 ps0 = ps;
    Word32 alp0 = Acc(0, alp, k1_4);
    BestPair(dn, ps0, alp0, 0, 1, {c.i1i2 + Mult((Word16)i0, 6554), kPositions},
             {r13 + Mult((Word16)i1, 6554), kPositions}, c.i1i1, {c.i0i2 + Mult((Word16)i0, 6554), kPositions},
             {r03 + Mult((Word16)i1, 6554), kPositions}, c.i0i0, c.i0i1, sq, alp, ix, iy);
    if (Better(alpk, sq, psk, alp)) {
      psk = sq; alpk = alp; ip2 = i0; ip3 = i1; ip0 = ix; ip1 = iy;
    }

    // Search B: pulse 3 on its two best positions with pulse 0, then 1 and 2.
    sq = -1;
    alp = 1;
    int best3[2];
    two_best(track, best3);
    for (int n = 0; n < 2; n++) {
      int a0 = best3[n];
      int j = Mult((Word16)a0, 6554);
      Word16 ps1 = dn[a0];
      Word32 alp1 = Acc(0, r33[j], k1_4);
      const Word16* p0 = r03 + j;
      const Word16* p1 = c.i0i0;
      for (int a1 = 0; a1 < kSubframe; a1 += kStep) {
        Word16 ps2 = Add(ps1, dn[a1]);
        Word32 alp2 = Acc(alp1, *p0, k1_2); p0 += kPositions;
        alp2 = Acc(alp2, *p1++, k1_4);
        Word16 sq2 = Mult(ps2, ps2);
        Word16 alp_16 = High(alp2);
        if (Better(alp, sq2, sq, alp_16)) {
          sq = sq2; ps = ps2; alp = alp_16; ix = a0; iy = a1;
        }
      }
    }
    i0 = ix;
    i1 = iy;
    int i1_offset = Mult((Word16)i1, 6554) << 3;
    ps0 = ps;
    alp0 = Acc(0, alp, k1_4);
    BestPair(dn, ps0, alp0, 1, 2, {r23 + Mult((Word16)i0, 6554), kPositions}, {c.i0i2 + i1_offset, 1}, c.i2i2,
             {r13 + Mult((Word16)i0, 6554), kPositions}, {c.i0i1 + i1_offset, 1}, c.i1i1, c.i1i2, sq, alp, ix, iy);
    if (Better(alpk, sq, psk, alp)) {
      psk = sq; alpk = alp; ip3 = i0; ip0 = i1; ip1 = ix; ip2 = iy;
    }
    r03 = c.i0i4;
    r13 = c.i1i4;
    r23 = c.i2i4;
    r33 = c.i4i4;
  }

  Word16 s0 = sign_dn[ip0], s1 = sign_dn[ip1], s2 = sign_dn[ip2], s3 = sign_dn[ip3];
  for (int i = 0; i < kSubframe; i++) cod[i] = 0;
  cod[ip0] = Shr(s0, 2);
  cod[ip1] = Shr(s1, 2);
  cod[ip2] = Shr(s2, 2);
  cod[ip3] = Shr(s3, 2);

  positions[0] = ip0;
  positions[1] = ip1;
  positions[2] = ip2;
  positions[3] = ip3;

  int sgn = 0;
  if (s0 > 0) sgn += 1;
  if (s1 > 0) sgn += 2;
  if (s2 > 0) sgn += 4;
  if (s3 > 0) sgn += 8;
  *sign = (Word16)sgn;

  int q3 = Mult((Word16)ip3, 6554);
  int j = ip3 - (5 * q3 + 3);  // 0 for track 3, 1 for track 4
  int index = Mult((Word16)ip0, 6554) + (Mult((Word16)ip1, 6554) << 3) + (Mult((Word16)ip2, 6554) << 6) +
              (((q3 << 1) + j) << 9);
  return (Word16)index;
}

// The filtered code vector: the response at each pulse, with its sign,
// each sum saturated.
void FilteredCode(const Word16* h, const int* positions, Word16 sign, Word16* y) {
  int order[4] = {positions[0], positions[1], positions[2], positions[3]};
  bool positive[4];
  for (int n = 0; n < 4; n++) positive[n] = (sign >> n) & 1;
  for (int i = 0; i < kSubframe; i++) y[i] = 0;
  for (int n = 0; n < 4; n++) {
    if (positive[n])
      for (int i = order[n], j = 0; i < kSubframe; i++, j++) y[i] = Add(y[i], h[j]);
    else
      for (int i = order[n], j = 0; i < kSubframe; i++, j++) y[i] = Sub(y[i], h[j]);
  }
}

void ToSearchCells(Correlations& wide, SearchCells& c) {
  for (int i = 0; i < kCorrelationCells; i++) c.cells[i] = (Word16)(wide.cells[i] >> 15);
}

}  // namespace

Word16 SearchAlgebraicCodebook(const Word16* x, Word16* h, Word16 t0, Word16 pitch_sharp, Word16* code,
                               Word16* y, Word16* sign) {
  Word16 sharp = Shl(pitch_sharp, 1);
  if (t0 < kSubframe)
    for (int i = t0; i < kSubframe; i++) h[i] = Add(h[i], Mult(h[i - t0], sharp));
  Correlations wide;
  ComputeCorrelations(h, wide);
  SearchCells c;
  ToSearchCells(wide, c);
  Word16 dn[kSubframe];
  BackwardFilterTarget(h, x, dn);
  int positions[4];
  Word16 index = Search(dn, c, code, sign, positions);
  FilteredCode(h, positions, *sign, y);
  if (t0 < kSubframe)
    for (int i = t0; i < kSubframe; i++) code[i] = Add(code[i], Mult(code[i - t0], sharp));
  return index;
}

void DecodeAlgebraicCodebook(Word16 sign, Word16 index, Word16* cod) {
  int pos[4];
  pos[0] = (index & 7) * 5;
  pos[1] = ((index >> 3) & 7) * 5 + 1;
  pos[2] = ((index >> 6) & 7) * 5 + 2;
  pos[3] = ((index >> 10) & 7) * 5 + 3 + ((index >> 9) & 1);
  for (int i = 0; i < kSubframe; i++) cod[i] = 0;
  for (int j = 0; j < 4; j++) {
    cod[pos[j]] = (sign & 1) ? 8191 : -8192;
    sign = (Word16)(sign >> 1);
  }
}

}  // namespace g729

namespace g729 {

void CodebookCorrelations(const Word16* h, Word32* cells) {
  Correlations wide;
  ComputeCorrelations(h, wide);
  for (int i = 0; i < kCorrelationCells; i++) cells[i] = wide.cells[i];
}

void CodebookSearch(const Word16* d, Word32* cells, Word16* code, Word16* codes) {
  SearchCells c;
  for (int i = 0; i < kCorrelationCells; i++) {
    cells[i] >>= 15;
    c.cells[i] = (Word16)cells[i];
  }
  Word16 dn[kSubframe];
  for (int i = 0; i < kSubframe; i++) dn[i] = d[i];
  int positions[4];
  codes[1] = Search(dn, c, code, &codes[0], positions);
}

}  // namespace g729
