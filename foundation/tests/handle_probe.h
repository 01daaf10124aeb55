// Payload types for the shared-handle and marshal-packet tests: each records
// how often its deleter ran and on which thread.
#pragma once
#include <windows.h>

#include "foundation/heap.h"
#include "foundation/shared_handle.h"

// What a deleter saw; lives outside the payload, which is freed after it.
struct DeleteRecord {
  volatile LONG deletions = 0;
  volatile DWORD thread = 0;
};

struct Probe {
  DeleteRecord* record;
  int value;
};

inline void ProbeDelete(Probe* probe) {
  probe->record->thread = GetCurrentThreadId();
  InterlockedIncrement(&probe->record->deletions);
}

template <>
struct ZEQPayloadTraits<Probe> : ZEQPayloadPolicy<Probe, ProbeDelete, ZEQPayloadFree::ByRelease> {};

// A payload whose deleter frees the payload's block itself, and whose
// packets are always borrowed.
struct SelfFreedProbe {
  DeleteRecord* record;
};

inline void SelfFreedProbeDelete(SelfFreedProbe* probe) {
  probe->record->thread = GetCurrentThreadId();
  InterlockedIncrement(&probe->record->deletions);
  HeapFreeZ(probe);
}

template <>
struct ZEQPayloadTraits<SelfFreedProbe>
    : ZEQPayloadPolicy<SelfFreedProbe, SelfFreedProbeDelete, ZEQPayloadFree::ByDeleter,
                       ZEQPacketAutoFree::Never> {};

// A payload whose packets are always consumed by their receiver.
struct ConsumedProbe {
  DeleteRecord* record;
};

inline void ConsumedProbeDelete(ConsumedProbe* probe) { InterlockedIncrement(&probe->record->deletions); }

template <>
struct ZEQPayloadTraits<ConsumedProbe>
    : ZEQPayloadPolicy<ConsumedProbe, ConsumedProbeDelete, ZEQPayloadFree::ByRelease,
                       ZEQPacketAutoFree::Always> {};

template <typename T>
T* NewPayload(DeleteRecord* record) {
  auto* payload = static_cast<T*>(HeapAllocZ(sizeof(T)));
  payload->record = record;
  return payload;
}
