#include "net/ipv4_text.h"

#include <cstdio>

int IsDottedIPv4(const char* text) {
  if (!text) return 0;
  int groups = 0;
  int digits = 0;
  int value = 0;
  for (const char* p = text;; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      // A fourth digit can never make a group of at most 255.
      if (++digits > 3) return 0;
      value = value * 10 + (c - '0');
      continue;
    }
    if (c != '.' && c != '\0') return 0;
    if (digits == 0 || value > 255) return 0;
    ++groups;
    digits = 0;
    value = 0;
    if (c == '\0') break;
    if (groups == 4) return 0;
  }
  return groups == 4 ? 1 : 0;
}

uint32_t ParseIPv4(const char* text) {
  if (!text) return 0;
  constexpr size_t kLimit = 63;
  uint32_t address = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    int digits = 0;
    uint32_t value = 0;
    while (i < kLimit && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (value > 255) return 0;
      ++digits;
      ++i;
    }
    if (digits == 0) return 0;
    address |= value << (8 * part);
    if (part < 3) {
      if (i >= kLimit || text[i] != '.') return 0;
      ++i;
    }
  }
  return address;
}

char* FormatIPv4(uint32_t address, char* buffer) {
  std::snprintf(buffer, 16, "%u.%u.%u.%u", address & 0xFF, (address >> 8) & 0xFF, (address >> 16) & 0xFF,
                (address >> 24) & 0xFF);
  return buffer;
}
