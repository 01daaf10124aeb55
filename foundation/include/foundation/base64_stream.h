// Base64 over data that arrives in pieces (files read chunk by chunk): the
// encoder keeps the last one or two bytes of a piece back for the next one
// and may break its lines; the decoder keeps a partial group of characters
// back. Same alphabet and padding as Base64::Encode. Pure logic.
#pragma once
#include <cstddef>
#include <cstdint>

namespace Base64 {

// Encoder flag: CR LF after every 76 characters of output.
constexpr unsigned kEncodeLineBreaks = 0x2;
constexpr size_t kEncodeLineLength = 76;

class StreamEncoder {
 public:
  explicit StreamEncoder(unsigned flags = 0) : lineBreaks_((flags & kEncodeLineBreaks) != 0) {}

  // Room Encode may need for an input of length bytes (line breaks included).
  static constexpr size_t MaxOutput(size_t length) {
    return ((length + 4) / 3 * 4) + ((length + 4) / 3 * 4) / kEncodeLineLength * 2 + 2;
  }

  // Encodes the held bytes and the input's whole groups into output (at
  // least MaxOutput(length) characters, not terminated); what does not fill
  // a group is held. Returns the characters written.
  size_t Encode(const void* input, size_t length, char* output);
  // The held bytes as the last, padded group (at least 8 characters of
  // room); 0 when nothing is held.
  size_t Finish(char* output);

 private:
  size_t Put(char c, char* output, size_t at);

  bool lineBreaks_;
  uint8_t held_[2] = {};
  size_t heldCount_ = 0;
  size_t column_ = 0;
};

class StreamDecoder {
 public:
  // Decodes into output (at least length / 4 * 3 + 3 bytes); white space is
  // skipped, a partial group is held for the next call, '=' ends the data
  // (what follows it is ignored). False, with *written unchanged, at a
  // character outside the alphabet.
  bool Decode(const char* input, size_t length, uint8_t* output, size_t* written);
  // True when no partial group of more than one character is left over.
  bool Complete() const { return count_ == 0 || ended_; }

 private:
  uint32_t bits_ = 0;
  int count_ = 0;
  bool ended_ = false;
};

}  // namespace Base64
