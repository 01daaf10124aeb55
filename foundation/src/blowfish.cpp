#include "foundation/blowfish.h"

#include <cstring>
#include <utility>

#include "blowfish_tables.h"

namespace {

inline uint32_t F(const BlowfishContext* c, uint32_t x) {
  return ((c->S[0][x >> 24] + c->S[1][(x >> 16) & 0xFF]) ^ c->S[2][(x >> 8) & 0xFF]) + c->S[3][x & 0xFF];
}

inline uint32_t LoadBE(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void StoreBE(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

inline void LoadBlock(const uint8_t* p, uint32_t block[2]) {
  block[0] = LoadBE(p);
  block[1] = LoadBE(p + 4);
}

inline void StoreBlock(uint8_t* p, const uint32_t block[2]) {
  StoreBE(p, block[0]);
  StoreBE(p + 4, block[1]);
}

// The key schedule is key material: clear it in a way the compiler keeps.
void Wipe(void* data, size_t size) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
  while (size--) *p++ = 0;
}

bool WholeBlocks(const uint8_t* input, uint8_t* output, size_t length) {
  if (length % kBlowfishBlockBytes) return false;
  return length == 0 || (input && output);
}

}  // namespace

bool BlowfishSetKey(BlowfishContext* c, const uint8_t* key, size_t keyLength, const uint32_t initial[2]) {
  if (!c || !key || keyLength == 0) return false;
  if (keyLength > kBlowfishMaxKeyBytes) keyLength = kBlowfishMaxKeyBytes;

  c->initial[0] = c->initialCopy[0] = c->chain[0] = initial ? initial[0] : 0;
  c->initial[1] = c->initialCopy[1] = c->chain[1] = initial ? initial[1] : 0;
  c->work[0] = c->work[1] = c->saved[0] = c->saved[1] = 0;

  std::memcpy(c->P, kBlowfishInitialP, sizeof c->P);
  std::memcpy(c->S, kBlowfishInitialS, sizeof c->S);

  size_t k = 0;
  for (uint32_t& p : c->P) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) {
      word = (word << 8) | key[k];
      if (++k == keyLength) k = 0;
    }
    p ^= word;
  }

  uint32_t block[2] = {0, 0};
  for (size_t i = 0; i < 18; i += 2) {
    BlowfishEncryptBlock(c, block);
    c->P[i] = block[0];
    c->P[i + 1] = block[1];
  }
  for (auto& box : c->S) {
    for (size_t i = 0; i < 256; i += 2) {
      BlowfishEncryptBlock(c, block);
      box[i] = block[0];
      box[i + 1] = block[1];
    }
  }
  return true;
}

namespace {

// 16 rounds; decryption runs the P-array backwards.
template <bool kDecrypt>
void Rounds(const BlowfishContext* c, uint32_t block[2]) {
  uint32_t left = block[0], right = block[1];
  for (int round = 0; round < 16; ++round) {
    left ^= c->P[kDecrypt ? 17 - round : round];
    right ^= F(c, left);
    std::swap(left, right);
  }
  std::swap(left, right);  // undo the last exchange
  right ^= c->P[kDecrypt ? 1 : 16];
  left ^= c->P[kDecrypt ? 0 : 17];
  block[0] = left;
  block[1] = right;
}

}  // namespace

void BlowfishEncryptBlock(const BlowfishContext* c, uint32_t block[2]) { Rounds<false>(c, block); }

void BlowfishDecryptBlock(const BlowfishContext* c, uint32_t block[2]) { Rounds<true>(c, block); }

bool BlowfishEncryptBlocks(BlowfishContext* c, const uint8_t* input, uint8_t* output, size_t length,
                           int mode) {
  if (!c || !WholeBlocks(input, output, length)) return false;
  for (size_t at = 0; at < length; at += kBlowfishBlockBytes) {
    LoadBlock(input + at, c->work);
    if (mode == kBlowfishCBC) {
      c->work[0] ^= c->chain[0];
      c->work[1] ^= c->chain[1];
      BlowfishEncryptBlock(c, c->work);
      c->chain[0] = c->work[0];
      c->chain[1] = c->work[1];
    } else if (mode == kBlowfishCFB) {
      BlowfishEncryptBlock(c, c->chain);
      c->work[0] ^= c->chain[0];
      c->work[1] ^= c->chain[1];
      c->chain[0] = c->work[0];
      c->chain[1] = c->work[1];
    } else {
      BlowfishEncryptBlock(c, c->work);
    }
    StoreBlock(output + at, c->work);
  }
  return true;
}

bool BlowfishDecryptBlocks(BlowfishContext* c, const uint8_t* input, uint8_t* output, size_t length,
                           int mode) {
  if (!c || !WholeBlocks(input, output, length)) return false;
  for (size_t at = 0; at < length; at += kBlowfishBlockBytes) {
    LoadBlock(input + at, c->work);
    if (mode == kBlowfishCBC) {
      c->saved[0] = c->work[0];
      c->saved[1] = c->work[1];
      BlowfishDecryptBlock(c, c->work);
      c->work[0] ^= c->chain[0];
      c->work[1] ^= c->chain[1];
      c->chain[0] = c->saved[0];
      c->chain[1] = c->saved[1];
    } else if (mode == kBlowfishCFB) {
      // The key stream is E(previous cipher block); the cipher block read
      // now feeds the next one.
      BlowfishEncryptBlock(c, c->chain);
      uint32_t stream[2] = {c->chain[0], c->chain[1]};
      c->chain[0] = c->work[0];
      c->chain[1] = c->work[1];
      c->work[0] ^= stream[0];
      c->work[1] ^= stream[1];
    } else {
      BlowfishDecryptBlock(c, c->work);
    }
    StoreBlock(output + at, c->work);
  }
  return true;
}

namespace {

bool RunBuffer(bool encrypt, const uint8_t* key, size_t keyLength, const uint8_t* input, size_t length,
               uint8_t* output, int mode) {
  if (length == 0 || !input || !output) return false;
  if (length % kBlowfishBlockBytes) return false;
  BlowfishContext context;
  bool ok = BlowfishSetKey(&context, key, keyLength, nullptr) &&
            (encrypt ? BlowfishEncryptBlocks(&context, input, output, length, mode)
                     : BlowfishDecryptBlocks(&context, input, output, length, mode));
  Wipe(&context, sizeof context);
  return ok;
}

}  // namespace

bool BlowfishEncryptBuffer(const uint8_t* key, size_t keyLength, const uint8_t* input, size_t length,
                           uint8_t* output, int mode) {
  return RunBuffer(true, key, keyLength, input, length, output, mode);
}

bool BlowfishDecryptBuffer(const uint8_t* key, size_t keyLength, const uint8_t* input, size_t length,
                           uint8_t* output, int mode) {
  return RunBuffer(false, key, keyLength, input, length, output, mode);
}
