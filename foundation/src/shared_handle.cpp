#include "foundation/shared_handle.h"

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "handle_registry.h"

namespace {

// Brackets the registry lock; also left when an exception passes.
class RegistryScope {
 public:
  RegistryScope() { ZEQRegistryEnter(); }
  ~RegistryScope() { Leave(); }
  void Leave() {
    if (held_) ZEQRegistryLeave();
    held_ = false;
  }

 private:
  bool held_ = true;
};

}  // namespace

ZEQSharedHandleBase::ZEQSharedHandleBase() { InitializeCriticalSection(&lock_); }

ZEQSharedHandleBase::~ZEQSharedHandleBase() {
  Release();
  DeleteCriticalSection(&lock_);
}

void ZEQSharedHandleBase::Release() {
  ZEQLockGuard guard(&lock_);
  ZEQSharedHandleBlock* block = block_;
  // The holder is cleared first, so a deleter that raises leaves no
  // reference behind to be released twice.
  source_ = nullptr;
  packet_ = nullptr;
  block_ = nullptr;
  payload_ = nullptr;
  if (!block) return;
  {
    // Decrements happen only under the registry lock, so an id look-up
    // never revives a block whose count has reached zero.
    RegistryScope registry;
    if (InterlockedDecrement(&block->count) != 0) return;
    if (block->id) ZEQRegistryRemove(block->id);
  }
  void* payload = block->payload;
  const ZEQPayloadType* type = block->type;
  HeapFreeZ(block);
  if (payload && type) type->destroy(payload);
}

void ZEQSharedHandleBase::Reset() {
  ZEQLockGuard guard(&lock_);
  if (source_) Release();
  packet_ = nullptr;
}

bool ZEQSharedHandleBase::IsSet() const {
  ZEQLockGuard guard(&lock_);
  return payload_ != nullptr;
}

LONG ZEQSharedHandleBase::ShareCount() const {
  ZEQLockGuard guard(&lock_);
  return block_ ? block_->count : 0;
}

uint32_t ZEQSharedHandleBase::GetId() {
  // The caller's own reference keeps the block alive; the holder's lock is
  // not needed.
  if (!block_ || !payload_) return 0;
  return ZEQRegistryAssignId(block_);
}

void ZEQSharedHandleBase::AttachPayload(void* payload, ZEQSharedHandleBlock* block,
                                        const ZEQPayloadType* type) {
  ZEQSharedHandleBlock* fresh = nullptr;
  if (!block) {
    fresh = static_cast<ZEQSharedHandleBlock*>(HeapAllocZ(sizeof(ZEQSharedHandleBlock)));
    fresh->count = 1;
    fresh->payload = payload;
    fresh->type = type;
  }
  ZEQLockGuard guard(&lock_);
  Release();
  if (block) InterlockedIncrement(&block->count);
  block_ = block ? block : fresh;
  payload_ = payload;
}

void ZEQSharedHandleBase::TakeShareOf(const ZEQSharedHandleBase& source) {
  if (!source.block_) return;
  payload_ = source.payload_;
  block_ = source.block_;
  source_ = &source;
  InterlockedIncrement(&block_->count);
}

void ZEQSharedHandleBase::CopyFrom(const ZEQSharedHandleBase& source) {
  ZEQLockGuard sourceGuard(&source.lock_);
  TakeShareOf(source);
}

void ZEQSharedHandleBase::ShareFrom(const ZEQSharedHandleBase& source) {
  if (&source == this) return;
  ZEQLockGuard sourceGuard(&source.lock_);
  ZEQLockGuard targetGuard(&lock_);
  Release();
  TakeShareOf(source);
}

void ZEQSharedHandleBase::ShareRegistered(uint32_t id, const ZEQPayloadType* type, int* found) {
  bool registered = false;
  {
    RegistryScope registry;
    ZEQSharedHandleBlock* block = id ? ZEQRegistryFind(id) : nullptr;
    // A block registered for another payload type is not this type's id.
    if (block && block->type == type && block->payload) {
      // Counted under the registry lock: the block cannot reach zero meanwhile.
      InterlockedIncrement(&block->count);
      block_ = block;
      payload_ = block->payload;
      registered = true;
    }
  }
  heapAllocated_ = 1;
  if (found) *found = registered || id == 0 ? 1 : 0;
}

void ZEQVariantPayloadClear(VARIANT* payload) { VariantClear(payload); }
