// MD5 message digests (RFC 1321): SIP digest authentication, tags and branch
// identifiers, package passwords and signatures, media file checks.
// Pure logic: no platform calls.
#pragma once
#include <cstddef>
#include <cstdint>

struct MD5Context {
  uint32_t state[4];
  uint32_t count[2];  // message length in bits, low word first
  unsigned char buffer[64];
};

constexpr size_t kMD5DigestSize = 16;
constexpr size_t kMD5HexSize = 33;  // 32 lower-case hex digits and a NUL

// Puts the RFC 1321 initial state and a zero length into the context.
inline void MD5Init(MD5Context* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xEFCDAB89;
  context->state[2] = 0x98BADCFE;
  context->state[3] = 0x10325476;
  context->count[0] = context->count[1] = 0;
}

// Adds length bytes to the digest; any length, in any number of calls.
void MD5Update(MD5Context* context, const void* data, size_t length);
// Pads, appends the bit length, writes the 16-byte digest and zeroes the
// whole context.
void MD5Final(unsigned char digest[kMD5DigestSize], MD5Context* context);
// Writes the digest as 32 lower-case hex digits and a NUL (33 bytes).
void MD5ToHex(const unsigned char digest[kMD5DigestSize], char text[kMD5HexSize]);
// Digest of one buffer, written as hex text when text is given. Returns 1.
int MD5Buffer(const void* data, size_t length, char* text);
