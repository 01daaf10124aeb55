// Framing of SIP messages on a stream connection (TCP). Bytes arrive in
// whatever pieces the network gives; the framer keeps what has arrived and
// hands out whole messages: a header block up to its empty line and then as
// many body bytes as its Content-Length declares. Line ends before a message
// are keep-alive traffic: a lone CR LF is the answer to our keep-alive.
// Nothing here blocks or reads a socket: the receiver appends what a
// non-blocking read gave and takes the messages that are complete.
#pragma once
#include <cstddef>

// Bounds of one message: a header block longer than kSIPStreamMaxHeader
// without its empty line, or a whole message longer than
// kSIPStreamMaxMessage, cannot be framed (the connection is to be closed).
constexpr size_t kSIPStreamMaxHeader = 8192;
constexpr size_t kSIPStreamMaxMessage = 65535;

enum class SIPStreamEvent {
  kNeedMore,        // nothing complete yet
  kMessage,         // a whole message (header and body views are set)
  kKeepAliveAnswer, // a lone CR LF arrived and nothing after it
  kFramingError,    // the stream cannot be framed any more: close it
};

struct SIPStreamItem {
  SIPStreamEvent event;
  // Header lines, each with its CR LF (or LF), without the empty line.
  const char* header;
  size_t headerLength;
  const char* body;
  size_t bodyLength;
};

class SIPStreamFramer {
 public:
  SIPStreamFramer() = default;
  ~SIPStreamFramer();
  SIPStreamFramer(const SIPStreamFramer&) = delete;
  SIPStreamFramer& operator=(const SIPStreamFramer&) = delete;

  // Keeps the bytes (throws ZEQOutOfMemory when the heap is exhausted; the
  // bytes kept before stay). After a framing error nothing more is kept.
  void Append(const char* data, size_t length);
  // The next complete item. The views of a kMessage stay valid until the
  // next call of Append or Next.
  SIPStreamItem Next();
  // Bytes kept that no item has taken yet.
  size_t Pending() const { return length_ - start_; }
  bool Failed() const { return failed_; }

 private:
  char* data_ = nullptr;
  size_t length_ = 0;    // bytes held in data_
  size_t capacity_ = 0;
  size_t start_ = 0;     // first byte not yet handed out
  size_t scan_ = 0;      // where the search for the empty line resumes
  char breaks_[2] = {};  // the first line-end bytes skipped before a message
  size_t breakCount_ = 0;
  bool failed_ = false;
};
