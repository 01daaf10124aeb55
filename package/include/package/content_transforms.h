// The four transforms of a package body and their two combinations.
//
// Blobs: compressed = [u32 plain length][zlib stream, level 8];
// enciphered = [u32 plain length][Blowfish CBC, zero initial block, of the
// input padded with 1 to 8 zero bytes to whole blocks]. Lengths are
// little-endian.
//
// Every transform takes over its input heap buffer (HeapAllocZ): on success
// it returns that buffer resized or a new one (releasing the input) with
// *length updated, and the caller owns the result; on failure it logs why
// (the two decoding steps only when a package path is given), releases the
// input and everything it allocated, sets *length to 0 and returns null. Decoded content is always followed by one zero byte.
// packagePath only names the package in log lines (null: no package).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t ZEQPKG_COMPRESS = 0x2;
constexpr uint32_t ZEQPKG_ENCRYPT = 0x4;

uint8_t* ZEQPackageCompressData(const char* packagePath, uint8_t* buffer, size_t* length);
uint8_t* ZEQPackageDecompressData(const char* packagePath, uint8_t* buffer, size_t* length);
uint8_t* ZEQPackageEncryptData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key);
uint8_t* ZEQPackageDecryptData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key);

// Compress when flags has ZEQPKG_COMPRESS, then encipher when it has
// ZEQPKG_ENCRYPT; decoding undoes the steps in the other order.
uint8_t* ZEQPackageEncodeData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key,
                              uint32_t flags);
uint8_t* ZEQPackageDecodeData(const char* packagePath, uint8_t* buffer, size_t* length, const char* key,
                              uint32_t flags);
