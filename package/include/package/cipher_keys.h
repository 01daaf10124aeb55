// Key texts for the cipher. Every key is a NUL-terminated 8-bit text whose
// bytes (without the NUL) are the Blowfish key:
//  - password keys: the MD5 digest of the password as 32 lower-case
//    hexadecimal characters (the text, not the 16 digest bytes);
//  - the built-in key: 48 characters assembled at run time;
//  - ready keys: a text used as it is (the application key, a key stored in a
//    signature descriptor, a raw key given with kPackageKeyIsRaw).
#pragma once
#include <cstddef>
#include <cstdint>

// Longest key text kept by a package or produced here, and the buffer size
// every key output below needs (the text and its NUL).
constexpr size_t kCipherKeyTextMax = 64;
constexpr size_t kCipherKeyBufferSize = kCipherKeyTextMax + 1;
constexpr size_t kBuiltInCipherKeyLength = 48;

// The password handed to a package is already its key.
constexpr uint32_t kPackageKeyIsRaw = 0x80000000u;

// PrepareCipherKey options.
constexpr uint32_t kCipherKeyOptionECB = 0x1;
constexpr uint32_t kCipherKeyOptionBuiltIn = 0x2;

// The process-wide application key: empty at start; set once at start-up
// (at most 64 bytes are kept) before other threads read it; wiped at exit.
// When not empty it stands in for the built-in key wherever that is asked
// for without force (and package readers accept only enciphered packages).
void SetApplicationKey(const char* text);
bool HasApplicationKey();
void WipeApplicationKey();

// Without force and with an application key set: the application key;
// otherwise the built-in key.
void GetBuiltInCipherKey(char* keyOut, bool force);

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
