// Process-heap rule: every block comes from the process heap, zero-filled,
// two bytes larger than asked (room for a narrow and a wide terminator).
// Exhaustion throws ZEQOutOfMemory; no caller ever sees a NULL block.
#pragma once
#include <cstddef>
#include <new>

class ZEQOutOfMemory : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "process heap exhausted"; }
};

void* HeapAllocZ(size_t size);
void* HeapReAllocZ(void* block, size_t size);
// Frees a block; a NULL block is ignored (0 is returned). With wipe set the
// first length bytes (at most the whole block) are overwritten with zeros first.
int HeapFreeSecure(void* block, size_t length, bool wipe);
inline int HeapFreeZ(void* block) { return HeapFreeSecure(block, 0, false); }
size_t HeapBlockSize(const void* block);

// Typed convenience over HeapAllocZ for arrays of plain records.
template <typename T>
inline T* HeapAllocArray(size_t count) {
  return static_cast<T*>(HeapAllocZ(sizeof(T) * count));
}
