// The platform's side of the heap: raw zero-filled blocks. Everything the
// rule adds (the spare bytes, exhaustion as an exception, the counters and
// the test hook) is done once, in heap.cpp, for every build.
#pragma once
#include <cstddef>

// A zero-filled block of at least bytes bytes, or null.
void* PlatformHeapAlloc(size_t bytes);
// The block resized to bytes, growth zero-filled and the content kept, or
// null with the block untouched.
void* PlatformHeapReAlloc(void* block, size_t bytes);
// Frees a non-null block; false when the platform refused it.
bool PlatformHeapFree(void* block);
// The usable bytes of a block; (size_t)-1 when it is not a block of the heap.
size_t PlatformHeapSize(const void* block);
// Zeroes bytes in a way the compiler may not leave out.
void PlatformSecureZero(void* block, size_t bytes);
