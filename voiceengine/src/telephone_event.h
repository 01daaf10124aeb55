// Telephone events (RFC 4733) and the dual tones of DTMF. Pure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voe {

struct TelephoneEvent {
  uint8_t event = 0;      // 0-9, 10 '*', 11 '#', 12-15 A-D
  bool end = false;
  uint8_t volume = 0;     // -dBm0, 0-63
  uint16_t duration = 0;  // RTP clock units since the event began
};

// The first event of a payload; false when shorter than 4 bytes.
bool ReadTelephoneEvent(const uint8_t* payload, size_t size, TelephoneEvent* event);
void WriteTelephoneEvent(const TelephoneEvent& event, uint8_t out[4]);

// The row and column frequencies of a DTMF event; false for events above 15.
bool DtmfFrequencies(int event, int* low, int* high);

// A DTMF tone generator: two sines at a level below full scale.
class DtmfTone {
 public:
  // False (and silent) for an event without a tone.
  bool Start(int event, int rate, int attenuationDb, uint32_t samples);
  bool active() const { return remaining_ > 0; }
  void Stop() { remaining_ = 0; }
  // Adds the tone to count samples (saturating); stops when its time is up.
  void Add(int16_t* samples, size_t count);
  // Samples played since Start, and a new total length counted from Start.
  uint32_t played() const { return played_; }
  void SetLength(uint32_t samples) { remaining_ = samples > played_ ? samples - played_ : 0; }

 private:
  double lowStep_ = 0, highStep_ = 0, lowPhase_ = 0, highPhase_ = 0, amplitude_ = 0;
  uint32_t remaining_ = 0;
  uint32_t played_ = 0;
};

}  // namespace voe
