#include "sip/text_out.h"

#include <cstdio>
#include <cstring>

SIPTextOut SIPTextOut::Continue(char* text, size_t size) {
  size_t used = size ? strnlen(text, size) : 0;
  char first = size ? text[0] : 0;
  SIPTextOut out(text, size);  // clears the first byte
  if (size) text[0] = first;
  if (size && used < size) {
    text[used] = 0;
    out.length = used;
  } else if (size) {
    text[size - 1] = 0;
    out.length = size - 1;
    out.overflow = true;
  }
  return out;
}

bool SIPTextOut::Append(const char* text, size_t count) {
  if (overflow) return false;
  if (count >= capacity - length) {
    overflow = true;
    return false;
  }
  memcpy(buffer + length, text, count);
  length += count;
  buffer[length] = 0;
  return true;
}

bool SIPTextOut::AppendChar(char c) { return Append(&c, 1); }

bool SIPTextOut::AppendInt(long value) {
  char number[24];
  char* end = number + sizeof number;
  char* p = end;
  unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--p = '-';
  return Append(p, static_cast<size_t>(end - p));
}

bool SIPTextOut::VPrintf(const char* format, va_list args) {
  if (overflow || capacity == 0) return false;
  size_t room = capacity - length;
  int n = vsnprintf(buffer + length, room, format, args);
  if (n < 0 || static_cast<size_t>(n) >= room) {
    buffer[length] = 0;  // keep what was there before this append
    overflow = true;
    return false;
  }
  length += static_cast<size_t>(n);
  return true;
}

bool SIPTextOut::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = VPrintf(format, args);
  va_end(args);
  return ok;
}

void SIPTextOut::Clear() {
  length = 0;
  overflow = false;
  if (capacity) buffer[0] = 0;
}

char* StrAppendInt(char* text, size_t size, int value) {
  SIPTextOut out = SIPTextOut::Continue(text, size);
  if (!out.overflow) {
    size_t before = out.length;
    if (!out.AppendInt(value)) text[before] = 0;
  }
  return text;
}
