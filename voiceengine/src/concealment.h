// Packet-loss concealment for codecs without their own: the last pitch
// period of the received audio is repeated, fading out over 60 ms, and the
// first good frame after a loss is cross-faded in. Pure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voe {

class Concealer {
 public:
  // rate: samples per second of the audio (at most 48000).
  void Reset(int rate);
  // A decoded frame: remembered, and faded in after a loss.
  void Good(int16_t* samples, size_t count);
  // Writes count samples that stand in for lost audio.
  void Conceal(int16_t* out, size_t count);

 private:
  static constexpr size_t kHistory = 48000 * 40 / 1000;  // 40 ms at the top rate
  void Push(const int16_t* samples, size_t count);
  size_t FindPeriod() const;

  int rate_ = 8000;
  size_t history_ = 0;     // samples of history used at this rate
  int16_t past_[kHistory] = {};
  size_t filled_ = 0;
  size_t period_ = 0;      // pitch period in use while concealing
  size_t position_ = 0;    // position in the repeated period
  size_t concealed_ = 0;   // samples concealed in a row
};

}  // namespace voe
