// libFuzzer harness: the jitter buffer driven by arbitrary arrivals and
// playout decisions. Each step: one byte of operation, then for an arrival
// a sequence number (2), a timestamp step (2), an arrival step (1) and a
// payload length (1) with its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "jitter_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static voe::JitterBuffer jb;
  jb.Reset(8000);
  uint32_t timestamp = 0, arrival = 0;
  size_t at = 0;
  while (at < size) {
    const uint8_t op = data[at++];
    if (op & 1) {
      if (size - at < 6) break;
      const uint16_t sequence = static_cast<uint16_t>(data[at] << 8 | data[at + 1]);
      timestamp += static_cast<uint32_t>(data[at + 2] << 8 | data[at + 3]);
      arrival += data[at + 4];
      size_t length = data[at + 5];
      at += 6;
      if (length > size - at) length = size - at;
      jb.Insert(sequence, timestamp, data + at, length, arrival);
      at += length;
    } else {
      const uint8_t* payload = nullptr;
      size_t length = 0;
      const voe::JitterBuffer::Decision d = jb.Next(&payload, &length);
      if (d == voe::JitterBuffer::kPlay) {
        if (!payload || length > voe::JitterBuffer::kMaxPayload) std::abort();
        jb.Advance(op >> 1);
      } else if (d == voe::JitterBuffer::kConceal) {
        jb.Advance(jb.LastFrameUnits());
      }
    }
    if (jb.count() < 0 || jb.count() > voe::JitterBuffer::kSlots) std::abort();
  }
  return 0;
}
