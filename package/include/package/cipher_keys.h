// Key texts of packages and of the file cipher:
//  - password keys: the MD5 digest of the password as 32 lower-case
//    hexadecimal characters (the text, not the 16 digest bytes);
//  - the built-in key and the application key (foundation/builtin_key.h);
//  - ready keys: a text used as it is (the application key, a key stored in a
//    signature descriptor, a raw key given with kPackageKeyIsRaw).
#pragma once
#include <cstdint>

#include "foundation/blowfish.h"
#include "foundation/builtin_key.h"

// The password handed to a package is already its key.
constexpr uint32_t kPackageKeyIsRaw = 0x80000000u;

// PrepareCipherKey options.
constexpr uint32_t kCipherKeyOptionECB = 0x1;
constexpr uint32_t kCipherKeyOptionBuiltIn = 0x2;

// Password rules: null leaves keyOut unchanged, an empty password gives the
// built-in key (without force), any other its MD5 text.
void DerivePackageKey(const char* password, char* keyOut);

// A package's key field (kCipherKeyBufferSize bytes): with kPackageKeyIsRaw
// in flags the password becomes the key as it is (at most 64 characters),
// otherwise DerivePackageKey's rules.
void SetPackageKey(char* keyField, const char* password, uint32_t flags);

// Prepares a key buffer (kCipherKeyBufferSize bytes) for the file cipher.
// False, and nothing changed, when the text in it is longer than 56
// characters. Otherwise modeOut is CBC, or ECB with kCipherKeyOptionECB;
// kCipherKeyOptionBuiltIn puts the built-in key in the buffer (never the
// application key); an empty buffer then receives GetBuiltInCipherKey
// without force.
bool PrepareCipherKey(char* keyBuffer, int* modeOut, uint32_t options);
