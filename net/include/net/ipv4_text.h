// Dotted IPv4 texts. Addresses are 32-bit values in network byte order: the
// first dotted number sits in the lowest byte.
#pragma once
#include <cstddef>
#include <cstdint>

// 1 when the text is exactly four dot-separated groups of one to three
// decimal digits, each at most 255; else 0.
int IsDottedIPv4(const char* text);
// The address of the first four dotted numbers (the last part is read up to
// its first non-digit); 0 when a part is missing, empty or above 255. Only
// the first 63 characters are looked at.
uint32_t ParseIPv4(const char* text);
// Writes "%d.%d.%d.%d" from the lowest byte up into buffer (at least 16
// characters) and returns it.
char* FormatIPv4(uint32_t address, char* buffer);
