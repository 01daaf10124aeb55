#include "concealment.h"

#include <cstring>

namespace voe {

void Concealer::Reset(int rate) {
  rate_ = rate > 0 && rate <= 48000 ? rate : 8000;
  history_ = static_cast<size_t>(rate_) * 40 / 1000;
  std::memset(past_, 0, sizeof past_);
  filled_ = 0;
  period_ = 0;
  position_ = 0;
  concealed_ = 0;
}

void Concealer::Push(const int16_t* samples, size_t count) {
  if (count >= history_) {
    std::memcpy(past_, samples + count - history_, history_ * sizeof(int16_t));
  } else {
    std::memmove(past_, past_ + count, (history_ - count) * sizeof(int16_t));
    std::memcpy(past_ + history_ - count, samples, count * sizeof(int16_t));
  }
  filled_ = filled_ + count > history_ ? history_ : filled_ + count;
}

size_t Concealer::FindPeriod() const {
  // Pitch between 2.5 ms (400 Hz) and 15 ms (67 Hz): the lag of the best
  // normalised correlation of the last 10 ms with the audio before it.
  const size_t minLag = static_cast<size_t>(rate_) / 400;
  const size_t maxLag = static_cast<size_t>(rate_) * 15 / 1000;
  const size_t window = static_cast<size_t>(rate_) / 100;
  if (filled_ < maxLag + window || history_ < maxLag + window) return window;
  const int16_t* tail = past_ + history_ - window;
  size_t best = window;
  double bestScore = 0.0;
  for (size_t lag = minLag; lag <= maxLag; ++lag) {
    const int16_t* earlier = tail - lag;
    double cross = 0.0, energy = 0.0;
    for (size_t i = 0; i < window; ++i) {
      cross += static_cast<double>(tail[i]) * earlier[i];
      energy += static_cast<double>(earlier[i]) * earlier[i];
    }
    if (energy <= 0.0 || cross <= 0.0) continue;
    const double score = cross * cross / energy;
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return best;
}

void Concealer::Good(int16_t* samples, size_t count) {
  if (concealed_ && count) {
    // Cross-fade from the continued concealment into the new audio over 2.5 ms.
    size_t fade = static_cast<size_t>(rate_) / 400;
    if (fade > count) fade = count;
    int16_t bridge[48000 / 400];
    Conceal(bridge, fade);
    for (size_t i = 0; i < fade; ++i) {
      const double w = static_cast<double>(i + 1) / (fade + 1);
      samples[i] = static_cast<int16_t>(samples[i] * w + bridge[i] * (1.0 - w));
    }
  }
  concealed_ = 0;
  period_ = 0;
  Push(samples, count);
}

void Concealer::Conceal(int16_t* out, size_t count) {
  if (!period_) {
    period_ = FindPeriod();
    if (period_ > history_) period_ = history_;
    position_ = 0;
  }
  const size_t full = static_cast<size_t>(rate_) / 100;       // 10 ms at full level
  const size_t silent = static_cast<size_t>(rate_) * 60 / 1000;  // then fade to 60 ms
  const int16_t* cycle = past_ + history_ - period_;
  for (size_t i = 0; i < count; ++i) {
    double gain = 1.0;
    if (concealed_ >= silent) {
      gain = 0.0;
    } else if (concealed_ > full) {
      gain = 1.0 - static_cast<double>(concealed_ - full) / (silent - full);
    }
    out[i] = static_cast<int16_t>(cycle[position_] * gain);
    position_ = (position_ + 1) % period_;
    ++concealed_;
  }
}

}  // namespace voe
