// The scratch bank: the memory a frame's work buffers are carved from. A
// frame takes pieces in order (the free position only moves forward) and
// gives them all back at its end, so nothing survives from one frame to
// the next and the codec allocates nothing per frame.
#pragma once
#include <cstddef>
#include <cstdint>

namespace g729 {

const int32_t kScratchBankSize = 10280;

struct ScratchBank {
  uint8_t* begin;
  uint8_t* free;
  uint8_t* end;
};

// Begin and free position at memory, the end kScratchBankSize bytes on.
inline void ScratchInit(ScratchBank* bank, void* memory) {
  bank->begin = bank->free = static_cast<uint8_t*>(memory);
  bank->end = memory ? bank->begin + kScratchBankSize : nullptr;
}

// One frame's use of the bank: pieces rounded up to their alignment, all
// handed back when the frame ends.
class ScratchFrame {
 public:
  explicit ScratchFrame(ScratchBank* bank) : bank_(bank) { bank_->free = bank_->begin; }
  ~ScratchFrame() { bank_->free = bank_->begin; }
  ScratchFrame(const ScratchFrame&) = delete;
  ScratchFrame& operator=(const ScratchFrame&) = delete;

  // count elements of T at the next multiple of align bytes. The frames'
  // needs are fixed and far below the bank's size, so running out is a
  // bug of the codec: it ends the process rather than overrun the bank.
  template <typename T>
  T* Take(int count, uintptr_t align = 32) {
    uintptr_t at = (reinterpret_cast<uintptr_t>(bank_->free) + align - 1) & ~(align - 1);
    uintptr_t next = at + sizeof(T) * (size_t)count;
    if (next > reinterpret_cast<uintptr_t>(bank_->end)) __builtin_trap();
    bank_->free = reinterpret_cast<uint8_t*>(next);
    return reinterpret_cast<T*>(at);
  }

 private:
  ScratchBank* bank_;
};

}  // namespace g729
