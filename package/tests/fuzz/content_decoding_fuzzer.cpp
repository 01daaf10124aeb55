// Content decoding (decipher, then inflate) on any bytes, as a package body
// or a mounted file arrives: the first input byte chooses the steps (bit 0
// inflate, bit 1 decipher), the rest is the blob. A decoded result is
// followed by a zero byte and its length is what the blob announced; a
// failure gives null and a zero length. Then the rest is encoded with the
// same steps and must decode back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "package/content_transforms.h"

namespace {

const char kKey[] = "0123456789abcdef0123456789abcdef";

uint8_t* HeapCopy(const uint8_t* data, size_t size) {
  auto* buffer = static_cast<uint8_t*>(HeapAllocZ(size));
  if (size) std::memcpy(buffer, data, size);
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t flags = (data[0] & 1 ? ZEQPKG_COMPRESS : 0) | (data[0] & 2 ? ZEQPKG_ENCRYPT : 0);
  const uint8_t* blob = data + 1;
  const size_t n = size - 1;

  size_t length = n;
  uint8_t* decoded = ZEQPackageDecodeData(nullptr, HeapCopy(blob, n), &length, kKey, flags);
  if (decoded) {
    if (decoded[length] != 0) abort();
    if (flags && n >= 4) {
      const uint32_t announced = uint32_t(blob[0]) | uint32_t(blob[1]) << 8 | uint32_t(blob[2]) << 16 |
                                 uint32_t(blob[3]) << 24;
      // Deciphering alone gives exactly the announced length.
      if (flags == ZEQPKG_ENCRYPT && length != announced) abort();
    }
    HeapFreeZ(decoded);
  } else if (length != 0) {
    abort();
  }

  length = n;
  uint8_t* encoded = ZEQPackageEncodeData(nullptr, HeapCopy(blob, n), &length, kKey, flags);
  if (!encoded) abort();
  uint8_t* back = ZEQPackageDecodeData(nullptr, encoded, &length, kKey, flags);
  if (!back || length != n || (n && std::memcmp(back, blob, n) != 0) || back[n] != 0) abort();
  HeapFreeZ(back);
  return 0;
}
