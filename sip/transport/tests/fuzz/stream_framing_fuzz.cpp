// Fuzzes the stream framer: the input's first byte picks segment sizes, the
// rest is the stream. Every message handed out must lie inside what was
// appended and be no longer than a message may be.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sip/stream_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!size) return 0;
  size_t step = (data[0] % 64) + 1;
  const char* text = reinterpret_cast<const char*>(data + 1);
  size_t length = size - 1;
  SIPStreamFramer framer;
  size_t handed = 0;
  for (size_t at = 0; at < length; at += step) {
    size_t n = length - at < step ? length - at : step;
    framer.Append(text + at, n);
    for (;;) {
      SIPStreamItem item = framer.Next();
      if (item.event != SIPStreamEvent::kMessage) break;
      size_t whole = item.headerLength + item.bodyLength;
      if (whole > kSIPStreamMaxMessage) abort();
      handed += whole;
      if (handed > length) abort();
    }
  }
  return 0;
}
