// Marshal packets: one reference of a shared handle carried through a single
// pointer-sized value (a posted message's lParam, a new thread's argument, a
// window property, a timer's context, a list item's value word). The tag
// holds the process id, so a receiver rejects, without touching it, a value
// that is no live packet of this process: a foreign pointer, a number, or a
// packet already consumed (its first tag character is then '-').
//
// Auto-free 1: the receiver frees the packet as it takes the payload over.
// Auto-free 0: the receiver borrows it and remembers it; the packet's keeper
// (or DropPacket) frees it later. Either way a packet is freed exactly once
// by FreeMarshalPacket, which retires its tag first.
#pragma once
#include <cstdint>

#include "foundation/shared_handle.h"

constexpr size_t kKESTOMarshalTagSize = 24;

struct KESTOMarshalPacket {
  char tag[kKESTOMarshalTagSize];  // "+KESTOMARSHAL%08X" with the process id
  ZEQSharedHandleBase* holder;     // owned by the packet
  uint32_t autoFree;
};

namespace KESTOMarshal {
// TRUE for a live packet of this process; never faults and only reads.
bool IsLocal(const KESTOMarshalPacket* packet);
}  // namespace KESTOMarshal

// Writes the tag, a new heap holder sharing `holder`'s payload and
// auto-free 0 into `packet`; returns it.
KESTOMarshalPacket* FillMarshalPacket(KESTOMarshalPacket* packet, const ZEQSharedHandleBase& holder);

// Converts a pointer-sized message, thread or list value back to a packet
// pointer (validated by whoever receives it).
inline KESTOMarshalPacket* ZEQPacketFromValue(uintptr_t value) {
  return reinterpret_cast<KESTOMarshalPacket*>(value);
}
