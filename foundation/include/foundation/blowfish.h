// Blowfish, as the package, file and signature code use it: 16 rounds, keys
// of 1 to 56 bytes (longer keys use their first 56), each 8-byte block read
// as two big-endian 32-bit words, so the cipher text is that of any standard
// Blowfish. Pure logic: no platform calls, any thread, one context per
// operation.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kBlowfishBlockBytes = 8;
constexpr size_t kBlowfishMaxKeyBytes = 56;

// Chaining modes; any other value means ECB.
constexpr int kBlowfishECB = 0;
constexpr int kBlowfishCBC = 1;
constexpr int kBlowfishCFB = 2;  // 64-bit feedback

struct BlowfishContext {
  uint32_t initial[2];      // initial block as given to the key schedule
  uint32_t initialCopy[2];
  uint32_t P[18];
  uint32_t S[4][256];
  uint32_t work[2];         // block being transformed
  uint32_t chain[2];        // carried from block to block (CBC, CFB)
  uint32_t saved[2];        // cipher block kept by CBC decryption
};

// Key schedule. An empty (or null) key is refused: the schedule takes key
// bytes cyclically and there would be none. initial may be null (all zero).
[[nodiscard]] bool BlowfishSetKey(BlowfishContext* context, const uint8_t* key, size_t keyLength,
                                  const uint32_t initial[2]);

// One block as (left, right), in place.
void BlowfishEncryptBlock(const BlowfishContext* context, uint32_t block[2]);
void BlowfishDecryptBlock(const BlowfishContext* context, uint32_t block[2]);

// Whole blocks in the given mode, chaining from the context. A length that is
// not a multiple of 8 gives false and touches nothing; 0 gives true. Input
// and output may be the same buffer.
bool BlowfishEncryptBlocks(BlowfishContext* context, const uint8_t* input, uint8_t* output,
                           size_t length, int mode);
bool BlowfishDecryptBlocks(BlowfishContext* context, const uint8_t* input, uint8_t* output,
                           size_t length, int mode);

// Key schedule with an all-zero initial block, then the blocks. False for an
// empty key, a length of 0, a length that is not a multiple of 8, or a null
// buffer. The key schedule is wiped before returning.
bool BlowfishEncryptBuffer(const uint8_t* key, size_t keyLength, const uint8_t* input, size_t length,
                           uint8_t* output, int mode);
bool BlowfishDecryptBuffer(const uint8_t* key, size_t keyLength, const uint8_t* input, size_t length,
                           uint8_t* output, int mode);
