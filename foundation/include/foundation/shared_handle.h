// Shared handles: the thread-safe, reference-counted holders through which
// records are shared between owners, threads, timers, window messages and
// script. All holders of one payload share a control block {count, payload,
// id}; the last release runs the payload type's deleter on the releasing
// thread. An id, given on request and kept in the handle registry, works as
// a weak reference: it yields a holder while the payload lives and an empty
// one afterwards.
//
// Lock order: a source holder's lock, then the target holder's lock, then
// the registry lock. The registry lock is innermost and held only around
// count decrements, registry changes and id look-ups; no deleter runs under
// it and no holder lock is entered while it is held.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <new>
#include <type_traits>

#include "foundation/heap.h"

struct KESTOMarshalPacket;

// What the last release does with a payload of one type; its address also
// tells the payload types apart in the registry.
struct ZEQPayloadType {
  void (*destroy)(void* payload);
};

struct ZEQSharedHandleBlock {
  volatile LONG count;
  void* payload;
  uint32_t id;  // 0 until the first GetId
  const ZEQPayloadType* type;
};

// Who frees the payload's own heap block after its deleter: the release
// (the deleter only frees what the payload owns) or the deleter itself.
enum class ZEQPayloadFree { ByRelease, ByDeleter };

// The auto-free flag that Marshal writes for a payload type: the caller's
// value, always 0 (the receiver borrows) or always 1 (the receiver frees).
enum class ZEQPacketAutoFree { AsAsked, Never, Always };

// The per-type deleter slot. Every payload type fills it once, beside its
// own declaration, for example:
//   template <> struct ZEQPayloadTraits<SIPDialog>
//       : ZEQPayloadPolicy<SIPDialog, SIPDialogDelete, ZEQPayloadFree::ByRelease,
//                          ZEQPacketAutoFree::Never> {};
// A holder of a type whose slot is not filled does not compile.
template <typename T>
struct ZEQPayloadTraits;

template <typename T, void (*Deleter)(T*), ZEQPayloadFree Free,
          ZEQPacketAutoFree AutoFree = ZEQPacketAutoFree::AsAsked>
struct ZEQPayloadPolicy {
  static void Delete(T* payload) {
    if constexpr (Deleter != nullptr) Deleter(payload);
    (void)payload;
  }
  static constexpr ZEQPayloadFree kFree = Free;
  static constexpr ZEQPacketAutoFree kAutoFree = AutoFree;
};

template <typename T>
struct ZEQPayloadTypeOf {
  static void Destroy(void* payload) {
    ZEQPayloadTraits<T>::Delete(static_cast<T*>(payload));
    if constexpr (ZEQPayloadTraits<T>::kFree == ZEQPayloadFree::ByRelease) HeapFreeZ(payload);
  }
  static inline const ZEQPayloadType kType{&Destroy};
};

// The untyped holder: every operation is implemented once here; the typed
// template below only adds the payload type. A packet's own holder is one
// of these.
class ZEQSharedHandleBase {
 public:
  ZEQSharedHandleBase();   // an empty holder with its own lock
  ~ZEQSharedHandleBase();  // Release, then the lock is deleted
  ZEQSharedHandleBase(const ZEQSharedHandleBase&) = delete;
  ZEQSharedHandleBase& operator=(const ZEQSharedHandleBase&) = delete;

  // Drops this holder's reference; the last one destroys the payload on
  // this thread. The holder is empty afterwards.
  void Release();
  // Releases a holder that was copied or assigned from another one; a holder
  // made around its payload keeps its reference. Forgets the remembered
  // packet (without freeing it).
  void Reset();
  bool IsSet() const;
  bool IsEmpty() const { return block_ == nullptr; }
  // The block's id, assigned and registered on first use; 0 for a holder
  // that is not set.
  uint32_t GetId();
  // The number of holders sharing the block (0 for an empty holder).
  LONG ShareCount() const;

  // Takes over the payload of a live packet of this process (see
  // marshal_packet.h); frees the packet when it says so, else remembers it.
  void AssignFromMarshal(KESTOMarshalPacket* packet);
  // Consumes the remembered packet, if any.
  void DropPacket();
  KESTOMarshalPacket* RememberedPacket() const { return packet_; }

 protected:
  void* RawPayload() const { return payload_; }
  void AttachPayload(void* payload, ZEQSharedHandleBlock* block, const ZEQPayloadType* type);
  void CopyFrom(const ZEQSharedHandleBase& source);
  void ShareFrom(const ZEQSharedHandleBase& source);
  bool IsHeapAllocated() const { return heapAllocated_ != 0; }
  // Fills an empty heap holder from the registry: shares the block of `id`
  // when it is registered for `type` and its payload lives.
  void ShareRegistered(uint32_t id, const ZEQPayloadType* type, int* found);

 private:
  void TakeShareOf(const ZEQSharedHandleBase& source);

  mutable CRITICAL_SECTION lock_;
  const ZEQSharedHandleBase* source_ = nullptr;  // only its being set is used
  KESTOMarshalPacket* packet_ = nullptr;
  ZEQSharedHandleBlock* block_ = nullptr;
  void* payload_ = nullptr;
  uint32_t heapAllocated_ = 0;

  friend KESTOMarshalPacket* FillMarshalPacket(KESTOMarshalPacket* packet,
                                               const ZEQSharedHandleBase& holder);
};

// The marshal-packet operations every instance shares (marshal_packet.h).
KESTOMarshalPacket* ZEQNewMarshalPacket(const ZEQSharedHandleBase& holder, bool autoFree);
KESTOMarshalPacket* FreeMarshalPacket(KESTOMarshalPacket* packet);

template <typename T>
class ZEQSharedHandle : public ZEQSharedHandleBase {
 public:
  using Traits = ZEQPayloadTraits<T>;

  ZEQSharedHandle() = default;
  // Made around a new payload: a new block with count 1.
  explicit ZEQSharedHandle(T* payload) { AttachNewPayload(payload); }
  // Receives a marshal packet (a holder built this way stays empty when the
  // value is no live packet of this process).
  explicit ZEQSharedHandle(KESTOMarshalPacket* packet) { AssignFromMarshal(packet); }
  ZEQSharedHandle(const ZEQSharedHandle& source) : ZEQSharedHandleBase() { CopyFrom(source); }
  ZEQSharedHandle& operator=(const ZEQSharedHandle& source) {
    Assign(source);
    return *this;
  }

  T* Get() const { return static_cast<T*>(RawPayload()); }
  T* operator->() const { return Get(); }

  void AttachNewPayload(T* payload) { AttachPayload(payload, nullptr); }
  // With a block, shares it (count + 1); without, makes a new one.
  void AttachPayload(T* payload, ZEQSharedHandleBlock* block) {
    ZEQSharedHandleBase::AttachPayload(payload, block, &ZEQPayloadTypeOf<T>::kType);
  }
  void Assign(const ZEQSharedHandle& source) { ShareFrom(source); }
  void ShareFrom(const ZEQSharedHandle& source) { ZEQSharedHandleBase::ShareFrom(source); }

  // Takes over a heap holder made by NewFromId and deletes it.
  void AssignAndDeleteSource(ZEQSharedHandle* heapHolder) {
    if (!heapHolder || heapHolder == this) return;
    ShareFrom(*heapHolder);
    if (heapHolder->IsHeapAllocated()) DeleteHeapHolder(heapHolder);
  }
  static void DeleteHeapHolder(ZEQSharedHandle* heapHolder) { delete heapHolder; }

  // A new heap holder sharing the payload registered under `id` (of this
  // payload type), or an empty one. `found` is 1 when the id was found or is
  // 0, and 0 when a non-zero id is not registered for this type.
  static ZEQSharedHandle* NewFromId(uint32_t id, int* found = nullptr) {
    auto* holder = new ZEQSharedHandle();
    holder->ShareRegistered(id, &ZEQPayloadTypeOf<T>::kType, found);
    return holder;
  }

  // Initialises a holder in place (in a zero-filled record) as empty; the
  // record's owner ends it with ~ZEQSharedHandle.
  static ZEQSharedHandle* InitEmpty(void* where) { return new (where) ZEQSharedHandle(); }

  // A temporary VARIANT: a new empty VARIANT as the payload.
  void InitVariant();

  // A packet that carries one more reference; the auto-free flag follows
  // the payload type's rule (the argument counts only where it is asked).
  KESTOMarshalPacket* Marshal(bool autoFree = false) const {
    constexpr ZEQPacketAutoFree rule = Traits::kAutoFree;
    bool flag = rule == ZEQPacketAutoFree::Always ? true
                : rule == ZEQPacketAutoFree::Never ? false
                                                   : autoFree;
    return ZEQNewMarshalPacket(*this, flag);
  }
};

// A VARIANT payload is cleared (VariantClear) before its block is freed.
void ZEQVariantPayloadClear(VARIANT* payload);
template <>
struct ZEQPayloadTraits<VARIANT> : ZEQPayloadPolicy<VARIANT, ZEQVariantPayloadClear,
                                                    ZEQPayloadFree::ByRelease,
                                                    ZEQPacketAutoFree::Never> {};

template <typename T>
void ZEQSharedHandle<T>::InitVariant() {
  static_assert(std::is_same_v<T, VARIANT>, "InitVariant makes VARIANT holders only");
  auto* variant = static_cast<VARIANT*>(HeapAllocZ(sizeof(VARIANT)));
  VariantInit(variant);
  AttachNewPayload(variant);
}

// Process-wide registry of handle ids (a keyed list). Created before the
// main routine by the first translation unit that includes this header and
// deleted at exit after the last one's static objects.
struct ZEQHandleRegistryInit {
  ZEQHandleRegistryInit();
  ~ZEQHandleRegistryInit();
};
static ZEQHandleRegistryInit zeqHandleRegistryInit;

// TRUE while `id` is registered.
bool ZEQHandleRegistryContains(uint32_t id);
