// The receive side's adaptive jitter buffer. Packets are kept by sequence
// number in a fixed ring and played in order once enough audio is buffered
// to ride out the measured jitter; a gap before a later packet is a loss to
// conceal, an empty buffer an underrun. Pure: no platform calls and no
// allocation, so that the native build fuzzes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voe {

class JitterBuffer {
 public:
  static constexpr int kSlots = 64;
  static constexpr size_t kMaxPayload = 1500;

  enum InsertResult { kInserted, kDuplicate, kLate, kTooLarge, kRestarted };
  enum Decision {
    kPlay,     // a packet is due: decode it, then Advance by what it covered
    kConceal,  // the due packet is lost: conceal LastFrameUnits, then Advance
    kWait      // nothing due yet (buffering or underrun): conceal, no Advance
  };

  // Forgets everything; clockRate is the RTP clock of the stream.
  void Reset(int clockRate);

  // Arrival time in milliseconds of any steady clock.
  InsertResult Insert(uint16_t sequence, uint32_t timestamp, const uint8_t* payload, size_t size,
                      uint32_t arrivalMs);

  // What to play next; for kPlay the payload stays valid until Advance.
  Decision Next(const uint8_t** payload, size_t* size);
  // The due packet (or its concealment) covered this many RTP clock units.
  void Advance(uint32_t clockUnits);

  uint32_t LastFrameUnits() const { return lastFrameUnits_; }
  // Target and present fill, in RTP clock units.
  uint32_t TargetUnits() const;
  uint32_t BufferedUnits() const;
  int count() const { return count_; }

  struct Counters {
    uint32_t inserted, played, concealed, late, duplicates, discarded, restarts;
    uint32_t underruns;  // times playout found the buffer empty
  };
  const Counters& counters() const { return counters_; }

 private:
  struct Slot {
    bool used;
    uint16_t sequence;
    uint32_t timestamp;
    uint16_t size;
    uint8_t data[kMaxPayload];
  };

  bool Newest(uint32_t* timestamp) const;
  void Drop(uint16_t sequence);

  Slot slots_[kSlots];
  int clockRate_ = 8000;
  int count_ = 0;
  bool started_ = false;   // playout has begun
  bool haveFirst_ = false; // nextSequence_ is meaningful
  uint16_t nextSequence_ = 0;
  uint32_t playTimestamp_ = 0;
  uint32_t lastFrameUnits_ = 160;
  bool pendingPlay_ = false;
  bool haveTransit_ = false;
  int64_t lastTransit_ = 0;
  uint32_t jitterUnits16_ = 0;  // interarrival jitter, scaled by 16
  int overTarget_ = 0;          // decisions in a row far over the target
  Counters counters_ = {};
};

}  // namespace voe
