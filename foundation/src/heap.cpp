#include "foundation/heap.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

// HEAP_GENERATE_EXCEPTIONS would raise a structured exception that C++ code
// built with g++ cannot catch; failure is turned into a C++ exception here
// instead, so catch-all guards see it.
static constexpr DWORD kAllocFlags = HEAP_ZERO_MEMORY;
static constexpr size_t kSpare = 2;

[[noreturn]] static void ThrowOutOfMemory() { throw ZEQOutOfMemory(); }

void* HeapAllocZ(size_t size) {
  if (size > SIZE_MAX - kSpare) ThrowOutOfMemory();
  void* block = HeapAlloc(GetProcessHeap(), kAllocFlags, size + kSpare);
  if (!block) ThrowOutOfMemory();
  return block;
}

void* HeapReAllocZ(void* block, size_t size) {
  if (!block) return HeapAllocZ(size);
  if (size > SIZE_MAX - kSpare) ThrowOutOfMemory();
  void* grown = HeapReAlloc(GetProcessHeap(), kAllocFlags, block, size + kSpare);
  if (!grown) ThrowOutOfMemory();
  // A shrink keeps the old bytes past the new end: restore the two zero
  // terminators the rule promises.
  static_cast<unsigned char*>(grown)[size] = 0;
  static_cast<unsigned char*>(grown)[size + 1] = 0;
  return grown;
}

int HeapFreeSecure(void* block, size_t length, bool wipe) {
  if (!block) return 0;
  if (wipe && length) {
    // Never wipe past the block, whatever length the caller believes it has.
    const SIZE_T size = HeapSize(GetProcessHeap(), 0, block);
    if (size != static_cast<SIZE_T>(-1) && length > size) length = size;
    SecureZeroMemory(block, length);
  }
  return HeapFree(GetProcessHeap(), 0, block) ? 1 : 0;
}

size_t HeapBlockSize(const void* block) {
  if (!block) return 0;
  return HeapSize(GetProcessHeap(), 0, block);
}

// Every object and array of the process, the linked libraries' included,
// follows the same rule.
void* operator new(size_t size) { return HeapAllocZ(size); }
void* operator new[](size_t size) { return HeapAllocZ(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try { return HeapAllocZ(size); } catch (...) { return nullptr; }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try { return HeapAllocZ(size); } catch (...) { return nullptr; }
}
void operator delete(void* block) noexcept { HeapFreeZ(block); }
void operator delete[](void* block) noexcept { HeapFreeZ(block); }
void operator delete(void* block, size_t) noexcept { HeapFreeZ(block); }
void operator delete[](void* block, size_t) noexcept { HeapFreeZ(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { HeapFreeZ(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { HeapFreeZ(block); }
