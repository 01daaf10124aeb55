#include "foundation/buffers.h"

#include <windows.h>

#include <cstdint>

#include "foundation/heap.h"

namespace {

// The heap rule adds two zero bytes; one more keeps three after the content.
void* AllocCounted(int32_t n, size_t elementSize) {
  const uint64_t bytes = static_cast<uint64_t>(n) * elementSize + 1;
  if (bytes > SIZE_MAX - 2) throw ZEQOutOfMemory();
  return HeapAllocZ(static_cast<size_t>(bytes));
}

void FreeBlock(void* block, bool wipe) {
  if (!block) return;
  HeapFreeSecure(block, wipe ? HeapBlockSize(block) : 0, wipe);
}

}  // namespace

template <typename Char, bool Wipe>
ZEQCountedBuffer<Char, Wipe>* ZEQCountedBuffer<Char, Wipe>::Alloc(int32_t n) {
  Clear();
  if (n > 0) {
    data = static_cast<Char*>(AllocCounted(n, sizeof(Char)));
    count = n;
  } else {
    count = 0;
  }
  return this;
}

template <typename Char, bool Wipe>
Char* ZEQCountedBuffer<Char, Wipe>::Replace(Char* block) {
  if (block != data) FreeBlock(data, Wipe);
  data = block;
  return block;
}

template <typename Char, bool Wipe>
void ZEQCountedBuffer<Char, Wipe>::Clear() {
  FreeBlock(data, Wipe);
  data = nullptr;
}

template struct ZEQCountedBuffer<char, false>;
template struct ZEQCountedBuffer<wchar_t, false>;
template struct ZEQCountedBuffer<char, true>;
