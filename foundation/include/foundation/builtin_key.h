// The built-in cipher key and the application key that may stand in for it.
// Every key is a NUL-terminated 8-bit text whose bytes (without the NUL) are
// the Blowfish key. The built-in key is 48 characters assembled at run time,
// never stored whole; the application key is set once at start-up.
#pragma once
#include <cstddef>

// Longest key text kept or produced here, and the buffer size every key
// output needs (the text and its NUL).
constexpr size_t kCipherKeyTextMax = 64;
constexpr size_t kCipherKeyBufferSize = kCipherKeyTextMax + 1;
constexpr size_t kBuiltInCipherKeyLength = 48;

// The process-wide application key: empty at start; set once at start-up
// (at most 64 bytes are kept) before other threads read it; wiped at exit.
// When not empty it stands in for the built-in key wherever that is asked
// for without force (and package readers accept only enciphered packages).
void SetApplicationKey(const char* text);
bool HasApplicationKey();
void WipeApplicationKey();

// Without force and with an application key set: the application key;
// otherwise the built-in key. keyOut holds kCipherKeyBufferSize bytes.
void GetBuiltInCipherKey(char* keyOut, bool force);
