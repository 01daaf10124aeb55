#include "jitter_buffer.h"

#include <cstring>

namespace voe {
namespace {

int16_t SeqDiff(uint16_t a, uint16_t b) { return static_cast<int16_t>(static_cast<uint16_t>(a - b)); }
int32_t TsDiff(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }

// A packet this far behind (in packets) starts a new stream; one beyond the
// ring ahead does too (the old one is over, or playout fell that far behind).
constexpr int kRestartDistance = 1000;

// Decisions in a row with the buffer over twice its target before a frame
// is skipped: a passing burst drains by itself.
constexpr int kSkipAfter = 50;

}  // namespace

void JitterBuffer::Reset(int clockRate) {
  for (Slot& slot : slots_) slot.used = false;
  clockRate_ = clockRate > 0 ? clockRate : 8000;
  count_ = 0;
  started_ = false;
  haveFirst_ = false;
  pendingPlay_ = false;
  haveTransit_ = false;
  jitterUnits16_ = 0;
  overTarget_ = 0;
  lastFrameUnits_ = static_cast<uint32_t>(clockRate_ / 50);
}

uint32_t JitterBuffer::TargetUnits() const {
  // One frame plus four times the jitter, at least 40 ms and at most the
  // ring's half.
  const uint32_t minimum = static_cast<uint32_t>(clockRate_) * 40 / 1000;
  uint32_t target = lastFrameUnits_ + 4 * (jitterUnits16_ >> 4);
  if (target < minimum) target = minimum;
  if (target < lastFrameUnits_ * 2) target = lastFrameUnits_ * 2;
  const uint32_t maximum = lastFrameUnits_ * (kSlots / 2);
  if (target > maximum) target = maximum;
  return target;
}

bool JitterBuffer::Newest(uint32_t* timestamp) const {
  bool found = false;
  for (const Slot& slot : slots_) {
    if (!slot.used) continue;
    if (!found || TsDiff(slot.timestamp, *timestamp) > 0) *timestamp = slot.timestamp;
    found = true;
  }
  return found;
}

uint32_t JitterBuffer::BufferedUnits() const {
  uint32_t newest = 0;
  if (!Newest(&newest)) return 0;
  uint32_t from = playTimestamp_;
  if (!started_) {
    const Slot& first = slots_[nextSequence_ % kSlots];
    if (!first.used || first.sequence != nextSequence_) return 0;
    from = first.timestamp;
  }
  const int32_t span = TsDiff(newest, from) + static_cast<int32_t>(lastFrameUnits_);
  return span > 0 ? static_cast<uint32_t>(span) : 0;
}

void JitterBuffer::Drop(uint16_t sequence) {
  Slot& slot = slots_[sequence % kSlots];
  if (slot.used && slot.sequence == sequence) {
    slot.used = false;
    --count_;
  }
}

JitterBuffer::InsertResult JitterBuffer::Insert(uint16_t sequence, uint32_t timestamp,
                                                const uint8_t* payload, size_t size,
                                                uint32_t arrivalMs) {
  if (size > kMaxPayload || (size && !payload)) return kTooLarge;
  InsertResult result = kInserted;
  if (haveFirst_) {
    const int distance = SeqDiff(sequence, nextSequence_);
    if (distance <= -kRestartDistance || distance >= kSlots) {
      // A new stream, or so far ahead that the ring cannot hold the span.
      const int rate = clockRate_;
      const Counters kept = counters_;
      Reset(rate);
      counters_ = kept;
      ++counters_.restarts;
      result = kRestarted;
    } else if (distance < 0) {
      if (started_ || pendingPlay_) {
        ++counters_.late;
        return kLate;
      }
    }
  }
  if (!haveFirst_ || (!started_ && SeqDiff(sequence, nextSequence_) < 0)) {
    // Before playout begins the oldest packet received leads.
    if (haveFirst_) {
      // Packets that the new lead leaves more than a ring behind go.
      for (Slot& slot : slots_) {
        if (slot.used && SeqDiff(slot.sequence, sequence) >= kSlots) {
          slot.used = false;
          --count_;
          ++counters_.discarded;
        }
      }
    }
    nextSequence_ = sequence;
    haveFirst_ = true;
  }
  Slot& slot = slots_[sequence % kSlots];
  if (slot.used) {
    if (slot.sequence == sequence) {
      ++counters_.duplicates;
      return kDuplicate;
    }
    // The slot holds a packet a ring away: the older one goes.
    slot.used = false;
    --count_;
    ++counters_.discarded;
  }
  slot.used = true;
  slot.sequence = sequence;
  slot.timestamp = timestamp;
  slot.size = static_cast<uint16_t>(size);
  if (size) std::memcpy(slot.data, payload, size);
  ++count_;
  ++counters_.inserted;

  // Interarrival jitter in clock units (RFC 3550 A.8).
  const int64_t arrivalUnits = static_cast<int64_t>(arrivalMs) * clockRate_ / 1000;
  const int64_t transit = arrivalUnits - static_cast<int64_t>(timestamp);
  if (haveTransit_) {
    int64_t d = static_cast<int32_t>(static_cast<uint32_t>(transit - lastTransit_));
    if (d < 0) d = -d;
    if (d > clockRate_) d = clockRate_;  // one outlier does not blow the target up
    jitterUnits16_ += static_cast<uint32_t>(d) - ((jitterUnits16_ + 8) >> 4);
  }
  lastTransit_ = transit;
  haveTransit_ = true;
  return result;
}

JitterBuffer::Decision JitterBuffer::Next(const uint8_t** payload, size_t* size) {
  pendingPlay_ = false;
  if (!count_) {
    if (started_) ++counters_.underruns;
    return kWait;
  }
  if (!started_) {
    if (BufferedUnits() < TargetUnits()) return kWait;
    // A burst that arrived before playout began: start at the target's depth
    // rather than skipping audio once it plays.
    while (count_ > 1 && BufferedUnits() > TargetUnits() + lastFrameUnits_) {
      Drop(nextSequence_);
      ++counters_.discarded;
      do {
        ++nextSequence_;
      } while (!slots_[nextSequence_ % kSlots].used || slots_[nextSequence_ % kSlots].sequence != nextSequence_);
    }
    const Slot& first = slots_[nextSequence_ % kSlots];
    if (!first.used || first.sequence != nextSequence_) return kWait;
    started_ = true;
    playTimestamp_ = first.timestamp;
  } else if (BufferedUnits() <= 2 * TargetUnits() + lastFrameUnits_) {
    overTarget_ = 0;
  } else if (++overTarget_ >= kSkipAfter) {
    // Far behind for a while (the delay grew during an underrun or a stall of
    // playout): skip the oldest audio, a frame at a time, spaced out.
    overTarget_ = kSkipAfter / 2;
    const Slot& due = slots_[nextSequence_ % kSlots];
    if (due.used && due.sequence == nextSequence_) {
      Drop(nextSequence_);
      ++counters_.discarded;
    }
    ++nextSequence_;
    playTimestamp_ += lastFrameUnits_;
    if (!count_) return kWait;
  }
  const Slot& due = slots_[nextSequence_ % kSlots];
  if (due.used && due.sequence == nextSequence_) {
    *payload = due.data;
    *size = due.size;
    pendingPlay_ = true;
    return kPlay;
  }
  return kConceal;
}

void JitterBuffer::Advance(uint32_t clockUnits) {
  if (!started_) return;
  if (clockUnits == 0) clockUnits = lastFrameUnits_;
  const Slot& due = slots_[nextSequence_ % kSlots];
  if (pendingPlay_ && due.used && due.sequence == nextSequence_) {
    playTimestamp_ = due.timestamp + clockUnits;
    Drop(nextSequence_);
    ++counters_.played;
    // A frame longer than 120 ms at the stream's clock is not a frame size.
    if (clockUnits <= static_cast<uint32_t>(clockRate_) * 120 / 1000) lastFrameUnits_ = clockUnits;
  } else {
    playTimestamp_ += clockUnits;
    ++counters_.concealed;
  }
  pendingPlay_ = false;
  ++nextSequence_;
}

}  // namespace voe
