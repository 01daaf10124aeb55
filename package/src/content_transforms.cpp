#include "package/content_transforms.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/blowfish.h"
#include "package/package_log.h"

namespace {

constexpr int kCompressionLevel = 8;
constexpr size_t kLengthBytes = 4;
// First output block of an inflation; it doubles while the stream goes on.
constexpr uint64_t kInitialInflateBlock = 64 * 1024;
// Largest block a transform asks for: lengths travel in 32 bits, and a few
// bytes of room above the content must not wrap on a 32-bit build.
constexpr uint64_t kMaxBlock = 0xFFFFFFFFu - 64;

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

const char* Shown(const char* path) { return path ? path : ""; }

uint8_t* Fail(uint8_t* buffer, size_t* length, uint8_t* other = nullptr) {
  HeapFreeZ(buffer);
  HeapFreeZ(other);
  *length = 0;
  return nullptr;
}

size_t KeyLength(const char* key) { return key ? std::strlen(key) : 0; }

}  // namespace

uint8_t* ZEQPackageCompressData(const char* packagePath, uint8_t* buffer, size_t* length) {
  const size_t n = *length;
  // The blob records the plain length in 32 bits and zlib counts in 32 bits.
  const uint64_t capacity = uint64_t(n) + n / 100 + 12;
  uint8_t* out = nullptr;
  try {
    if (capacity > kMaxBlock) throw ZEQOutOfMemory();
    out = static_cast<uint8_t*>(HeapAllocZ(kLengthBytes + size_t(capacity)));
  } catch (...) {
    PackageLogPrintf("ZEQPackageCompressData: [FAILED] \"%s\" - Invalid size", Shown(packagePath));
    return Fail(buffer, length);
  }
  uLongf produced = uLongf(capacity);
  if ((n && !buffer) ||
      compress2(out + kLengthBytes, &produced, buffer, uLong(n), kCompressionLevel) != Z_OK) {
    PackageLogPrintf("ZEQPackageCompressData: [FAILED] \"%s\" - Unable to compress", Shown(packagePath));
    return Fail(buffer, length, out);
  }
  StoreLE32(out, uint32_t(n));
  HeapFreeZ(buffer);
  *length = kLengthBytes + produced;
  return out;
}

uint8_t* ZEQPackageDecompressData(const char* packagePath, uint8_t* buffer, size_t* length) {
  const size_t n = *length;
  if (!buffer || n < kLengthBytes || uint64_t(n - kLengthBytes) > kMaxBlock) {
    if (packagePath)
      PackageLogPrintf("ZEQPackageDecompressData: [FAILED] \"%s\" - Unable to decompress", packagePath);
    return Fail(buffer, length);
  }
  const uint32_t announced = LoadLE32(buffer);
  // The announced length comes from the data: the output starts small and
  // grows with what the stream really produces, never past the announced
  // length (a stream that makes more is refused, as it always was).
  // The block never passes the largest one a transform asks for, so its
  // size plus the terminator cannot wrap on a 32-bit build.
  const uint64_t limit = std::min<uint64_t>(announced, kMaxBlock);
  uint64_t capacity = std::min<uint64_t>(limit, kInitialInflateBlock);
  uint8_t* out = nullptr;
  z_stream stream{};
  stream.next_in = buffer + kLengthBytes;
  stream.avail_in = uInt(n - kLengthBytes);
  bool ok = inflateInit(&stream) == Z_OK;
  int status = Z_OK;
  try {
    while (ok) {
      out = static_cast<uint8_t*>(out ? HeapReAllocZ(out, size_t(capacity) + 1) : HeapAllocZ(size_t(capacity) + 1));
      stream.next_out = out + stream.total_out;
      stream.avail_out = uInt(capacity - stream.total_out);
      status = inflate(&stream, Z_FINISH);
      if (status == Z_STREAM_END) break;
      // More output than the room: grow unless the announced length is
      // reached; anything else is a damaged stream.
      ok = (status == Z_BUF_ERROR || status == Z_OK) && stream.avail_out == 0 && capacity < limit;
      capacity = std::min<uint64_t>(limit, capacity * 2);
    }
  } catch (...) {
    ok = false;
  }
  const size_t produced = stream.total_out;
  inflateEnd(&stream);
  if (!ok) {
    if (packagePath)
      PackageLogPrintf("ZEQPackageDecompressData: [FAILED] \"%s\" - Unable to decompress", packagePath);
    return Fail(buffer, length, out);
  }
  HeapFreeZ(buffer);
  *length = produced;
  return out;
}

uint8_t* ZEQPackageEncryptData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key) {
  const size_t n = *length;
  const size_t padded = n - n % kBlowfishBlockBytes + kBlowfishBlockBytes;
  bool ok = (buffer || n == 0) && n <= kMaxBlock;
  if (ok) {
    try {
      buffer = static_cast<uint8_t*>(HeapReAllocZ(buffer, kLengthBytes + padded));
    } catch (...) {
      ok = false;  // the old block is still the caller's data: freed below
    }
  }
  if (ok) {
    std::memset(buffer + n, 0, kLengthBytes + padded - n);
    ok = BlowfishEncryptBuffer(reinterpret_cast<const uint8_t*>(key), KeyLength(key), buffer, padded, buffer,
                               kBlowfishCBC);
  }
  if (!ok) {
    PackageLogPrintf("ZEQPackageEncryptData: [FAILED] \"%s\" - Unable to encrypt", Shown(packagePath));
    return Fail(buffer, length);
  }
  std::memmove(buffer + kLengthBytes, buffer, padded);
  StoreLE32(buffer, uint32_t(n));
  *length = kLengthBytes + padded;
  return buffer;
}

uint8_t* ZEQPackageDecryptData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key) {
  const size_t n = *length;
  bool ok = buffer && n >= kLengthBytes;
  uint32_t plain = 0;
  size_t cipher = 0;
  if (ok) {
    plain = LoadLE32(buffer);
    cipher = n - kLengthBytes;
    std::memmove(buffer, buffer + kLengthBytes, cipher);
    ok = BlowfishDecryptBuffer(reinterpret_cast<const uint8_t*>(key), KeyLength(key), buffer, cipher, buffer,
                               kBlowfishCBC);
    // The plain length comes from the data: it may not reach past what was
    // deciphered.
    ok = ok && plain <= cipher;
  }
  if (!ok) {
    // The line carries the decompression step's name: log readers know it so.
    if (packagePath)
      PackageLogPrintf("ZEQPackageDecompressData: [FAILED] \"%s\" - Unable to decrypt", packagePath);
    return Fail(buffer, length);
  }
  std::memset(buffer + plain, 0, n - plain);
  *length = plain;
  return buffer;
}

uint8_t* ZEQPackageEncodeData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key,
                              uint32_t flags) {
  if (flags & ZEQPKG_COMPRESS) buffer = ZEQPackageCompressData(packagePath, buffer, length);
  if (buffer && (flags & ZEQPKG_ENCRYPT)) buffer = ZEQPackageEncryptData(packagePath, buffer, length, key);
  return buffer;
}

uint8_t* ZEQPackageDecodeData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key,
                              uint32_t flags) {
  if (flags & ZEQPKG_ENCRYPT) buffer = ZEQPackageDecryptData(packagePath, buffer, length, key);
  if (buffer && (flags & ZEQPKG_COMPRESS)) buffer = ZEQPackageDecompressData(packagePath, buffer, length);
  return buffer;
}
