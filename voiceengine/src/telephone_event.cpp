#include "telephone_event.h"

#include <cmath>

namespace voe {

bool ReadTelephoneEvent(const uint8_t* payload, size_t size, TelephoneEvent* event) {
  if (!payload || size < 4) return false;
  event->event = payload[0];
  event->end = (payload[1] & 0x80) != 0;
  event->volume = payload[1] & 0x3F;
  event->duration = static_cast<uint16_t>((payload[2] << 8) | payload[3]);
  return true;
}

void WriteTelephoneEvent(const TelephoneEvent& event, uint8_t out[4]) {
  out[0] = event.event;
  out[1] = static_cast<uint8_t>((event.end ? 0x80 : 0) | (event.volume & 0x3F));
  out[2] = static_cast<uint8_t>(event.duration >> 8);
  out[3] = static_cast<uint8_t>(event.duration);
}

bool DtmfFrequencies(int event, int* low, int* high) {
  static const int kRows[4] = {697, 770, 852, 941};
  static const int kColumns[4] = {1209, 1336, 1477, 1633};
  // Keypad position of each event: row, column.
  static const int kPlace[16][2] = {{3, 1}, {0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1},
                                    {1, 2}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 2},
                                    {0, 3}, {1, 3}, {2, 3}, {3, 3}};
  if (event < 0 || event > 15) return false;
  *low = kRows[kPlace[event][0]];
  *high = kColumns[kPlace[event][1]];
  return true;
}

bool DtmfTone::Start(int event, int rate, int attenuationDb, uint32_t samples) {
  int low = 0, high = 0;
  remaining_ = 0;
  if (!DtmfFrequencies(event, &low, &high) || rate <= 0) return false;
  if (attenuationDb < 0) attenuationDb = 0;
  if (attenuationDb > 36) attenuationDb = 36;
  lowStep_ = 2 * M_PI * low / rate;
  highStep_ = 2 * M_PI * high / rate;
  lowPhase_ = highPhase_ = 0;
  // Each of the two tones peaks at half the attenuated full scale.
  amplitude_ = 16383.0 * std::pow(10.0, -attenuationDb / 20.0);
  remaining_ = samples;
  played_ = 0;
  return true;
}

void DtmfTone::Add(int16_t* samples, size_t count) {
  for (size_t i = 0; i < count && remaining_; ++i, --remaining_, ++played_) {
    const double v = samples[i] + amplitude_ * (std::sin(lowPhase_) + std::sin(highPhase_));
    samples[i] = static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    lowPhase_ += lowStep_;
    highPhase_ += highStep_;
  }
  lowPhase_ = std::fmod(lowPhase_, 2 * M_PI);
  highPhase_ = std::fmod(highPhase_, 2 * M_PI);
}

}  // namespace voe
