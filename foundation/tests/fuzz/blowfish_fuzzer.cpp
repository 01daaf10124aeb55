// Blowfish on any key and bytes: the first input byte is the key length
// (1 to 56 used, longer keys use their first 56 bytes), then the key, the
// rest is the message. In every mode, enciphering and deciphering whole
// blocks gives the message back, in place or between buffers; a length that
// is not whole blocks is refused and touches nothing; an empty key is refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/blowfish.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t keyLength = data[0] % 64;
  if (keyLength > size - 1) keyLength = size - 1;
  const uint8_t* key = data + 1;
  const uint8_t* message = key + keyLength;
  const size_t length = size - 1 - keyLength;
  const size_t whole = length / 8 * 8;

  std::vector<uint8_t> cipher(length + 8, 0xA5), plain(length + 8, 0x5A);
  for (int mode : {kBlowfishECB, kBlowfishCBC, kBlowfishCFB, 7}) {
    const bool accepted = BlowfishEncryptBuffer(key, keyLength, message, length, cipher.data(), mode);
    const bool usable = keyLength > 0 && length > 0 && length % 8 == 0;
    if (accepted != usable) abort();
    if (!accepted) {
      for (uint8_t b : cipher) if (b != 0xA5) abort();  // a refused call wrote nothing
      continue;
    }
    if (cipher[length] != 0xA5) abort();  // nothing past the blocks
    if (!BlowfishDecryptBuffer(key, keyLength, cipher.data(), length, plain.data(), mode)) abort();
    if (std::memcmp(plain.data(), message, length) != 0) abort();
    // In place gives the same cipher text.
    std::vector<uint8_t> inPlace(message, message + length);
    if (!BlowfishEncryptBuffer(key, keyLength, inPlace.data(), length, inPlace.data(), mode)) abort();
    if (std::memcmp(inPlace.data(), cipher.data(), length) != 0) abort();
  }

  // Block by block through one context equals the whole buffer at once.
  BlowfishContext context;
  if (keyLength == 0) {
    if (BlowfishSetKey(&context, key, keyLength, nullptr)) abort();
    return 0;
  }
  if (!BlowfishSetKey(&context, key, keyLength, nullptr)) abort();
  std::vector<uint8_t> chained(whole);
  for (size_t at = 0; at < whole; at += 8) {
    if (!BlowfishEncryptBlocks(&context, message + at, chained.data() + at, 8, kBlowfishCBC)) abort();
  }
  if (whole) {
    std::vector<uint8_t> once(whole);
    if (!BlowfishEncryptBuffer(key, keyLength, message, whole, once.data(), kBlowfishCBC)) abort();
    if (once != chained) abort();
  }
  return 0;
}
