// The heap's blocks come from the C library's allocator, which the
// sanitizers watch (every overrun and leak of a heap block is reported).
#include <malloc.h>
#include <string.h>

#include <cstdlib>

#include "../src/heap_platform.h"

void* PlatformHeapAlloc(size_t bytes) { return calloc(1, bytes); }

// A new zeroed block and a copy: realloc would leave growth after a shrink
// holding old bytes, where the rule wants zeros.
void* PlatformHeapReAlloc(void* block, size_t bytes) {
  void* grown = calloc(1, bytes);
  if (!grown) return nullptr;
  const size_t old = malloc_usable_size(block);
  memcpy(grown, block, old < bytes ? old : bytes);
  free(block);
  return grown;
}

bool PlatformHeapFree(void* block) {
  free(block);
  return true;
}

// Under AddressSanitizer the usable size is exactly the size asked for.
size_t PlatformHeapSize(const void* block) { return malloc_usable_size(const_cast<void*>(block)); }

void PlatformSecureZero(void* block, size_t bytes) { explicit_bzero(block, bytes); }

// A request larger than memory must reach the heap's caller as exhaustion
// (ZEQOutOfMemory), as on the platform, not end the program inside the
// sanitizer's allocator.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
