#include "foundation/heap.h"

#include <atomic>
#include <cstdint>

#include "foundation/heap_faults.h"
#include "heap_platform.h"

// Pure logic: the platform's blocks come through heap_platform.h only.
static constexpr size_t kSpare = 2;

static std::atomic<long long> liveBlocks{0};
static thread_local long long threadBalance = 0;
// The calling thread's armed failure: allocations still to go before the one
// that fails (0: none armed).
static thread_local size_t failCountdown = 0;

[[noreturn]] static void ThrowOutOfMemory() { throw ZEQOutOfMemory(); }

static void CountBlocks(long long delta) {
  liveBlocks.fetch_add(delta, std::memory_order_relaxed);
  threadBalance += delta;
}

// Every allocation and resize passes here first, so a test can make any one
// of them fail as exhaustion does.
static void RefuseWhenArmed() {
  if (failCountdown == 0) return;
  if (--failCountdown == 0) ThrowOutOfMemory();
}

void* HeapAllocZ(size_t size) {
  if (size > SIZE_MAX - kSpare) ThrowOutOfMemory();
  RefuseWhenArmed();
  void* block = PlatformHeapAlloc(size + kSpare);
  if (!block) ThrowOutOfMemory();
  CountBlocks(1);
  return block;
}

void* HeapReAllocZ(void* block, size_t size) {
  if (!block) return HeapAllocZ(size);
  if (size > SIZE_MAX - kSpare) ThrowOutOfMemory();
  RefuseWhenArmed();
  void* grown = PlatformHeapReAlloc(block, size + kSpare);
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
    const size_t size = PlatformHeapSize(block);
    if (size != static_cast<size_t>(-1) && length > size) length = size;
    PlatformSecureZero(block, length);
  }
  if (!PlatformHeapFree(block)) return 0;
  CountBlocks(-1);
  return 1;
}

size_t HeapBlockSize(const void* block) {
  if (!block) return 0;
  return PlatformHeapSize(block);
}

void HeapFailNthAllocation(size_t n) { failCountdown = n; }
bool HeapFailurePending() { return failCountdown != 0; }
long long HeapLiveBlocks() { return liveBlocks.load(std::memory_order_relaxed); }
long long HeapThreadBlockBalance() { return threadBalance; }

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
