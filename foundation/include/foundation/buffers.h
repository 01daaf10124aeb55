// Counted heap buffers: a by-value pair {count, data} that owns one block.
// The block always holds at least three zero bytes after the counted content
// (narrow: count + 3 bytes, wide: 2 x count + 3 bytes), so text written up to
// the count is terminated without a second allocation.
#pragma once
#include <cstdint>

// Shared implementation; Wipe selects the secure form, which overwrites the
// whole block with zeros before it is freed.
template <typename Char, bool Wipe>
struct ZEQCountedBuffer {
  int32_t count = 0;
  Char* data = nullptr;

  ZEQCountedBuffer() = default;
  ZEQCountedBuffer(const ZEQCountedBuffer&) = delete;
  ZEQCountedBuffer& operator=(const ZEQCountedBuffer&) = delete;
  ~ZEQCountedBuffer() { Clear(); }

  // n > 0: a new zeroed block for n elements (the previous block is freed);
  // n <= 0: no block and count 0.
  ZEQCountedBuffer* Alloc(int32_t n);
  // Frees the current block and keeps the given one; count is unchanged.
  Char* Replace(Char* block);
  // Free the block and set data to NULL; count is unchanged.
  void Clear();
  void Destroy() { Clear(); }
  Char** FreeData() {
    Clear();
    return &data;
  }
};

extern template struct ZEQCountedBuffer<char, false>;
extern template struct ZEQCountedBuffer<wchar_t, false>;
extern template struct ZEQCountedBuffer<char, true>;

using ZEQBuffer = ZEQCountedBuffer<char, false>;
using ZEQWideBuffer = ZEQCountedBuffer<wchar_t, false>;

// A buffer seen by its users as a text slot.
struct ZEQStringPair : ZEQBuffer {
  // Forgets the block without freeing it (for slots in raw records).
  void Init() {
    count = 0;
    data = nullptr;
  }
};

struct ZEQStringQuad {
  ZEQStringPair first;
  ZEQStringPair second;
  void Init() {
    first.Init();
    second.Init();
  }
  void FreeSecond() { second.Clear(); }
};

// Buffer for passwords and keys: the content never reaches the free list.
struct ZEQSecureBuffer : ZEQCountedBuffer<char, true> {
  void Free() { Clear(); }
  char* Assign(char* block) { return Replace(block); }
};
