// Counted texts: a process-heap block and its byte count, searched and
// edited by the count (zero bytes inside do not end them). An edit may move
// the text to a new block; the caller's pointer and count are updated and
// the block always keeps a zero byte after the text.
#pragma once
#include <cstddef>

// The offset of the first occurrence of pattern in text[from, length), or
// length when there is none (also for an empty pattern). Without
// caseSensitive the ASCII letters are folded.
size_t FindBytes(const char* text, size_t length, size_t from, const char* pattern, bool caseSensitive);
// Whether n bytes of data hold the text (data need not be terminated).
bool ContainsBytes(const char* data, size_t n, const char* text);

// Replaces oldLength bytes at offset of the heap text *text (*length bytes) by
// replacement[newLength], reallocating the block when the text grows.
// Returns the offset just after the inserted text.
size_t ReplaceBufferSpan(char** text, size_t* length, size_t offset, size_t oldLength,
                         const char* replacement, size_t newLength);
// Every occurrence of pattern becomes the replacement, left to right; the
// search goes on after each inserted text. The number of replacements.
size_t ReplaceAllBytes(char** text, size_t* length, const char* pattern, const char* replacement,
                       bool caseSensitive);
