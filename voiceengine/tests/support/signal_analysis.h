// Measures of test signals: level, the share of energy at one frequency,
// and the best normalised correlation of two signals over a range of lags.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace voicetest {

inline double Rms(const int16_t* x, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i];
  return n ? std::sqrt(sum / n) : 0.0;
}

inline double Rms(const std::vector<int16_t>& x) { return Rms(x.data(), x.size()); }

// The share (0..1) of the signal's energy at frequency f (Goertzel).
inline double EnergyShareAt(const int16_t* x, size_t n, double f, int rate) {
  const double k = 2 * std::cos(2 * M_PI * f / rate);
  double s1 = 0, s2 = 0, total = 0;
  for (size_t i = 0; i < n; ++i) {
    const double s = x[i] + k * s1 - s2;
    s2 = s1;
    s1 = s;
    total += static_cast<double>(x[i]) * x[i];
  }
  const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
  return total > 0 ? power / (total * n / 2) : 0.0;
}

struct Match {
  double correlation = 0;
  size_t lag = 0;
};

// The level (rms) of each 10-ms block.
inline std::vector<double> Envelope(const std::vector<int16_t>& x, int rate) {
  const size_t block = static_cast<size_t>(rate / 100);
  std::vector<double> levels;
  for (size_t at = 0; at + block <= x.size(); at += block) levels.push_back(Rms(x.data() + at, block));
  return levels;
}

// Where the envelope of a window of `heard` (blocks from heardFrom) best
// follows the envelope of `sent` (Pearson correlation), over lags in blocks:
// robust to codecs that keep the sound but not the waveform.
inline Match EnvelopeMatch(const std::vector<double>& sent, const std::vector<double>& heard, size_t heardFrom,
                           size_t window, size_t maxLag) {
  Match best;
  if (heardFrom + window > heard.size()) return best;
  for (size_t lag = 0; lag <= maxLag && lag <= heardFrom; ++lag) {
    const size_t from = heardFrom - lag;
    if (from + window > sent.size()) continue;
    double ma = 0, mb = 0;
    for (size_t i = 0; i < window; ++i) {
      ma += sent[from + i];
      mb += heard[heardFrom + i];
    }
    ma /= window;
    mb /= window;
    double cross = 0, ea = 0, eb = 0;
    for (size_t i = 0; i < window; ++i) {
      const double a = sent[from + i] - ma, b = heard[heardFrom + i] - mb;
      cross += a * b;
      ea += a * a;
      eb += b * b;
    }
    if (ea <= 0 || eb <= 0) continue;
    const double c = cross / std::sqrt(ea * eb);
    if (c > best.correlation) {
      best.correlation = c;
      best.lag = lag;
    }
  }
  return best;
}

// Where a window of `heard` from heardFrom best matches `sent` shifted by a
// lag between minLag and maxLag samples.
inline Match BestMatch(const std::vector<int16_t>& sent, const std::vector<int16_t>& heard, size_t heardFrom,
                       size_t window, size_t minLag, size_t maxLag) {
  Match best;
  if (heardFrom + window > heard.size()) return best;
  double heardEnergy = 0;
  for (size_t i = 0; i < window; ++i) heardEnergy += static_cast<double>(heard[heardFrom + i]) * heard[heardFrom + i];
  for (size_t lag = minLag; lag <= maxLag && lag <= heardFrom; ++lag) {
    const size_t from = heardFrom - lag;
    if (from + window > sent.size()) continue;
    double cross = 0, sentEnergy = 0;
    for (size_t i = 0; i < window; ++i) {
      cross += static_cast<double>(sent[from + i]) * heard[heardFrom + i];
      sentEnergy += static_cast<double>(sent[from + i]) * sent[from + i];
    }
    if (sentEnergy <= 0 || heardEnergy <= 0) continue;
    const double c = cross / std::sqrt(sentEnergy * heardEnergy);
    if (c > best.correlation) {
      best.correlation = c;
      best.lag = lag;
    }
  }
  return best;
}

}  // namespace voicetest
