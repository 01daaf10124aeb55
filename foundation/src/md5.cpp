// RFC 1321 MD5, written from the RFC's description of the algorithm.
#include "foundation/md5.h"

#include <cstring>

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The sine-derived constants T[i] = floor(2^32 * |sin(i + 1)|).
constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void Transform(uint32_t state[4], const unsigned char block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 |
           uint32_t(block[4 * i + 2]) << 16 | uint32_t(block[4 * i + 3]) << 24;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    int round = i / 16;
    uint32_t f;
    int k;
    switch (round) {
      case 0: f = (b & c) | (~b & d); k = i; break;
      case 1: f = (b & d) | (c & ~d); k = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
    }
    uint32_t next = b + RotateLeft(a + f + x[k] + kT[i], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void EncodeLittleEndian(unsigned char* out, const uint32_t* words, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out[4 * i] = static_cast<unsigned char>(words[i]);
    out[4 * i + 1] = static_cast<unsigned char>(words[i] >> 8);
    out[4 * i + 2] = static_cast<unsigned char>(words[i] >> 16);
    out[4 * i + 3] = static_cast<unsigned char>(words[i] >> 24);
  }
}

}  // namespace

void MD5Update(MD5Context* context, const void* data, size_t length) {
  if (length == 0) return;
  const auto* input = static_cast<const unsigned char*>(data);
  size_t used = (context->count[0] >> 3) & 0x3F;
  // The bit count is 64 bits wide and wraps as RFC 1321 says; the whole
  // length counts, however large.
  uint64_t bits = (uint64_t(context->count[1]) << 32 | context->count[0]) + (uint64_t(length) << 3);
  context->count[0] = static_cast<uint32_t>(bits);
  context->count[1] = static_cast<uint32_t>(bits >> 32);

  size_t room = 64 - used;
  size_t i = 0;
  if (length >= room) {
    memcpy(context->buffer + used, input, room);
    Transform(context->state, context->buffer);
    for (i = room; i + 64 <= length; i += 64) Transform(context->state, input + i);
    used = 0;
  }
  memcpy(context->buffer + used, input + i, length - i);
}

void MD5Final(unsigned char digest[kMD5DigestSize], MD5Context* context) {
  unsigned char length[8];
  EncodeLittleEndian(length, context->count, 2);
  static const unsigned char kPadding[64] = {0x80};
  size_t used = (context->count[0] >> 3) & 0x3F;
  size_t pad = used < 56 ? 56 - used : 120 - used;
  MD5Update(context, kPadding, pad);
  MD5Update(context, length, 8);
  EncodeLittleEndian(digest, context->state, 4);
  memset(context, 0, sizeof(*context));
}

void MD5ToHex(const unsigned char digest[kMD5DigestSize], char text[kMD5HexSize]) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < kMD5DigestSize; ++i) {
    text[2 * i] = kHex[digest[i] >> 4];
    text[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  text[2 * kMD5DigestSize] = '\0';
}

int MD5Buffer(const void* data, size_t length, char* text) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, data, length);
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, &context);
  if (text) MD5ToHex(digest, text);
  return 1;
}
