// Base64 with the standard alphabet (A-Z a-z 0-9 + /) and "=" padding of the
// last group. Pure logic.
#pragma once
#include <cstddef>

namespace Base64 {

// Where Encode writes: output must hold EncodedSize(length) + 1 characters
// (the text and its terminator); written receives the characters written.
struct State {
  char* output;
  size_t written;
};

// 4 characters per started group of 3 bytes.
constexpr size_t EncodedSize(size_t length) { return (length + 2) / 3 * 4; }

// Writes the whole Base64 form of the input in one piece and terminates it.
// Flags 0 is the only form: no line breaks, no bytes kept back for a later
// call. False, with nothing written, for other flags or a null output (or a
// null input with a length).
bool Encode(State* state, const void* input, size_t length, unsigned flags);

}  // namespace Base64
