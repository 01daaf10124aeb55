// Bounded text output for the SIP writers: every writer appends through one
// of these, so no text is ever written past its buffer. Once an append does
// not fit, the output is marked overflowed, keeps what it had before that
// append and refuses every later append; the caller decides what an
// overflowed text means (a build that overflows is refused).
// Pure logic: standard headers only.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstring>

struct SIPTextOut {
  char* buffer;
  size_t capacity;  // bytes, the terminator included
  size_t length;
  bool overflow;

  SIPTextOut(char* text, size_t size) : buffer(text), capacity(size), length(0), overflow(false) {
    if (capacity) buffer[0] = 0;
  }
  // Continues a text that already holds a NUL-terminated string.
  static SIPTextOut Continue(char* text, size_t size);

  // Inline, so that the length of a literal is known where it is written.
  bool Append(const char* text) { return text ? Append(text, strlen(text)) : Append("", 0); }
  bool Append(const char* text, size_t count);
  bool AppendChar(char c);
  bool AppendInt(long value);
  bool Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool VPrintf(const char* format, va_list args);
  void Clear();
  const char* Text() const { return buffer; }
  bool Empty() const { return length == 0; }
};

// Appends the decimal form of value to a NUL-terminated text of size bytes;
// returns the text (unchanged when the number does not fit).
char* StrAppendInt(char* text, size_t size, int value);
