#include "foundation/marshal_packet.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/records.h"

namespace {

void FormatLocalTag(char (&tag)[kKESTOMarshalTagSize]) {
  memset(tag, 0, sizeof(tag));
  snprintf(tag, sizeof(tag), "+KESTOMARSHAL%08X", static_cast<unsigned>(GetCurrentProcessId()));
}

}  // namespace

bool KESTOMarshal::IsLocal(const KESTOMarshalPacket* packet) {
  if (!packet) return false;
  // The memory is queried before the compare, so a stray value cannot fault.
  if (!IsWritableMemory(packet, sizeof(KESTOMarshalPacket))) return false;
  char expected[kKESTOMarshalTagSize];
  FormatLocalTag(expected);
  return memcmp(packet->tag, expected, strlen(expected) + 1) == 0;
}

KESTOMarshalPacket* FillMarshalPacket(KESTOMarshalPacket* packet, const ZEQSharedHandleBase& holder) {
  char tag[kKESTOMarshalTagSize];
  FormatLocalTag(tag);
  auto* own = new ZEQSharedHandleBase();
  own->ShareFrom(holder);
  memcpy(packet->tag, tag, sizeof(tag));
  packet->holder = own;
  packet->autoFree = 0;
  return packet;
}

KESTOMarshalPacket* ZEQNewMarshalPacket(const ZEQSharedHandleBase& holder, bool autoFree) {
  auto* packet = static_cast<KESTOMarshalPacket*>(HeapAllocZ(sizeof(KESTOMarshalPacket)));
  try {
    FillMarshalPacket(packet, holder);
  } catch (...) {
    HeapFreeZ(packet);
    throw;
  }
  packet->autoFree = autoFree ? 1 : 0;
  return packet;
}

KESTOMarshalPacket* FreeMarshalPacket(KESTOMarshalPacket* packet) {
  if (!KESTOMarshal::IsLocal(packet)) return packet;
  // Retired before anything else, so that no later look at this memory
  // takes it for a live packet.
  ZEQRetireRecord(packet);
  ZEQSharedHandleBase* holder = packet->holder;
  packet->holder = nullptr;
  HeapFreeZ(packet);
  delete holder;
  return packet;
}

void ZEQSharedHandleBase::AssignFromMarshal(KESTOMarshalPacket* packet) {
  ZEQLockGuard guard(&lock_);
  if (!packet) {
    if (source_) Release();
    packet_ = nullptr;
    return;
  }
  if (!KESTOMarshal::IsLocal(packet)) {
    packet_ = nullptr;
    return;
  }
  // The packet's holder is used by no other thread, so taking its lock
  // inside this holder's lock cannot deadlock.
  if (packet->holder) {
    ShareFrom(*packet->holder);
  } else {
    Release();
  }
  if (packet->autoFree) {
    FreeMarshalPacket(packet);
    packet_ = nullptr;
  } else {
    packet_ = packet;
  }
}

void ZEQSharedHandleBase::DropPacket() {
  ZEQLockGuard guard(&lock_);
  KESTOMarshalPacket* packet = packet_;
  packet_ = nullptr;
  if (packet) FreeMarshalPacket(packet);
}
