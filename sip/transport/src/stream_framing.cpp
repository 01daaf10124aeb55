// Framing of SIP messages on stream connections. See sip/stream_framing.h.
#include "sip/stream_framing.h"

#include <cstring>
#include <initializer_list>

#include "foundation/heap.h"
#include "sip/parser.h"
#include "sip_text.h"

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Offset just past the empty line that ends the header block in
// text[from, length), and the length of the header lines before it;
// false while no empty line has arrived. scan is where the search resumes.
bool FindHeaderEnd(const char* text, size_t length, size_t* scan, size_t* headerLength, size_t* bodyStart) {
  for (size_t i = *scan; i < length; ++i) {
    if (text[i] != '\n') continue;
    // A line ends here; an empty line follows when the next line is bare.
    if (i + 1 < length && text[i + 1] == '\n') {
      *headerLength = i + 1;
      *bodyStart = i + 2;
      return true;
    }
    if (i + 2 < length && text[i + 1] == '\r' && text[i + 2] == '\n') {
      *headerLength = i + 1;
      *bodyStart = i + 3;
      return true;
    }
  }
  // Resume two bytes back: an empty line may be split across the pieces.
  *scan = length > 2 ? length - 2 : 0;
  return false;
}

// The declared body length of a header block: 0 without a Content-Length
// header; false when a header holds no plain number or two headers
// disagree (the stream can no longer be framed).
bool DeclaredBodyLength(const char* header, size_t length, size_t* bodyLength) {
  bool found = false;
  unsigned long declared = 0;
  for (const char* name : {"Content-Length", "l"}) {
    const char* text = header;
    size_t rest = length;
    const char* value;
    size_t valueLength;
    while (const char* line = SIPScanMessageLine(text, rest, name, &value, &valueLength)) {
      unsigned long number = 0;
      for (size_t i = 0; i < valueLength; ++i) {
        if (value[i] < '0' || value[i] > '9' || number > kSIPStreamMaxMessage) return false;
        number = number * 10 + static_cast<unsigned long>(value[i] - '0');
      }
      if (found && number != declared) return false;
      found = true;
      declared = number;
      const char* lineEnd = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(header + length - line)));
      if (!lineEnd) break;
      rest = static_cast<size_t>(header + length - (lineEnd + 1));
      text = lineEnd + 1;
    }
  }
  *bodyLength = declared;
  return true;
}

}  // namespace

SIPStreamFramer::~SIPStreamFramer() { HeapFreeZ(data_); }

void SIPStreamFramer::Append(const char* data, size_t length) {
  if (failed_ || !length) return;
  if (start_) {  // drop what was handed out
    memmove(data_, data_ + start_, length_ - start_);
    length_ -= start_;
    scan_ = scan_ > start_ ? scan_ - start_ : 0;
    start_ = 0;
  }
  if (length_ + length > capacity_) {
    size_t capacity = capacity_ ? capacity_ : 1024;
    while (capacity < length_ + length) capacity *= 2;
    data_ = static_cast<char*>(data_ ? HeapReAllocZ(data_, capacity) : HeapAllocZ(capacity));
    capacity_ = capacity;
  }
  memcpy(data_ + length_, data, length);
  length_ += length;
}

SIPStreamItem SIPStreamFramer::Next() {
  SIPStreamItem item = {SIPStreamEvent::kNeedMore, nullptr, 0, nullptr, 0};
  if (failed_) {
    item.event = SIPStreamEvent::kFramingError;
    return item;
  }
  // Line ends between messages are keep-alive traffic.
  while (start_ < length_ && IsLineEnd(data_[start_])) {
    if (breakCount_ < sizeof(breaks_)) breaks_[breakCount_] = data_[start_];
    ++breakCount_;
    ++start_;
  }
  if (start_ == length_) {
    if (breakCount_ == 2 && breaks_[0] == '\r' && breaks_[1] == '\n') {
      breakCount_ = 0;
      item.event = SIPStreamEvent::kKeepAliveAnswer;
    } else if (breakCount_ > 2) {
      breakCount_ = 0;  // a keep-alive of the peer's own
    }
    return item;
  }
  breakCount_ = 0;
  if (scan_ < start_) scan_ = start_;
  size_t headerEnd = 0, bodyStart = 0;
  const char* text = data_;
  if (!FindHeaderEnd(text, length_, &scan_, &headerEnd, &bodyStart)) {
    if (length_ - start_ > kSIPStreamMaxHeader) failed_ = true;
    item.event = failed_ ? SIPStreamEvent::kFramingError : SIPStreamEvent::kNeedMore;
    return item;
  }
  size_t bodyLength = 0;
  if (headerEnd - start_ > kSIPStreamMaxHeader ||
      !DeclaredBodyLength(text + start_, headerEnd - start_, &bodyLength) ||
      bodyStart - start_ + bodyLength > kSIPStreamMaxMessage) {
    failed_ = true;
    item.event = SIPStreamEvent::kFramingError;
    return item;
  }
  if (length_ - bodyStart < bodyLength) {
    scan_ = headerEnd > 2 ? headerEnd - 2 : start_;  // found again once the body is in
    return item;
  }
  item.event = SIPStreamEvent::kMessage;
  item.header = text + start_;
  item.headerLength = headerEnd - start_;
  item.body = text + bodyStart;
  item.bodyLength = bodyLength;
  start_ = bodyStart + bodyLength;
  scan_ = start_;
  return item;
}
