// The heap's blocks come from the process heap.
#include <windows.h>

#include "../src/heap_platform.h"

// HEAP_GENERATE_EXCEPTIONS would raise a structured exception that C++ code
// built with g++ cannot catch; a null block is turned into a C++ exception
// by the caller instead, so catch-all guards see it.
static constexpr DWORD kAllocFlags = HEAP_ZERO_MEMORY;

void* PlatformHeapAlloc(size_t bytes) { return HeapAlloc(GetProcessHeap(), kAllocFlags, bytes); }

void* PlatformHeapReAlloc(void* block, size_t bytes) {
  return HeapReAlloc(GetProcessHeap(), kAllocFlags, block, bytes);
}

bool PlatformHeapFree(void* block) { return HeapFree(GetProcessHeap(), 0, block) != FALSE; }

size_t PlatformHeapSize(const void* block) {
  const SIZE_T size = HeapSize(GetProcessHeap(), 0, block);
  return size == static_cast<SIZE_T>(-1) ? static_cast<size_t>(-1) : size_t(size);
}

void PlatformSecureZero(void* block, size_t bytes) { SecureZeroMemory(block, bytes); }
