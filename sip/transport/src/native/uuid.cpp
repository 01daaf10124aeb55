// UUIDs of the native build: random version-4 UUIDs.
#include <cstdio>
#include <random>

#include "sip/identifiers.h"

bool SIPNewUuidText(char text[37]) {
  static thread_local std::random_device device;
  static thread_local std::mt19937_64 generator(device());
  unsigned char b[16];
  for (int i = 0; i < 16; i += 8) {
    unsigned long long v = generator();
    for (int j = 0; j < 8; ++j) b[i + j] = static_cast<unsigned char>(v >> (8 * j));
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  snprintf(text, 37, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2],
           b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return true;
}
