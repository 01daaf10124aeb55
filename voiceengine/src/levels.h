// Speech level of a stream: the peak of the last ten 10-ms blocks, as a
// full-range value and on the logarithmic 0-9 scale. Pure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voe {

class LevelMeter {
 public:
  void Block(const int16_t* samples, size_t count) {
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
      const int v = samples[i] < 0 ? -samples[i] : samples[i];
      if (v > peak) peak = v;
    }
    if (peak > current_) current_ = peak;
    if (++blocks_ >= 10) {
      full_ = current_ > 32767 ? 32767 : current_;
      current_ = 0;
      blocks_ = 0;
    }
  }
  unsigned fullRange() const { return static_cast<unsigned>(full_); }
  // 0 below 64; then one step per doubling, 9 from 16384.
  unsigned level() const {
    unsigned level = 0;
    for (int v = full_ >> 6; v && level < 9; v >>= 1) ++level;
    return level;
  }

 private:
  int current_ = 0;
  int blocks_ = 0;
  int full_ = 0;
};

}  // namespace voe
