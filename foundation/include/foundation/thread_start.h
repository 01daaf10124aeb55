// Thread start block: for a worker thread that needs its own handle and an
// end event besides its starter's context word and the marshal packet of the
// shared record it works on. The starter allocates and fills the block and
// starts the thread with it; from then on the new thread owns the block and
// frees it at its end.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/records.h"

struct KESTOMarshalPacket;

constexpr char kZEQBeginThreadParamTag[] = "+BEGINTHREADEXPARAM";

using ZEQThreadProc = unsigned(__stdcall*)(void* block);

struct ZEQBeginThreadParam {
  ZEQTypedRecord header;       // kZEQBeginThreadParamTag, word 0
  HANDLE thread;               // the thread's handle, set before it runs
  HANDLE endEvent;             // manual reset, signalled as the thread ends
  uintptr_t context;           // the starter's own value
  KESTOMarshalPacket* packet;  // the shared record the thread works on

  // Writes the tag (word 0) and creates the end event, non-signalled; a
  // failed creation leaves it 0.
  ZEQBeginThreadParam* Init();
  // A new zero-filled, initialised block with the context and the packet.
  static ZEQBeginThreadParam* Create(uintptr_t context, KESTOMarshalPacket* packet);
  // A thread argument that is a start block, or null.
  static ZEQBeginThreadParam* FromArgument(void* argument);

  // Starts proc with the block as its argument (C runtime thread, default
  // stack). The thread is released only after its handle is in the block,
  // so it can neither see the field unset nor free the block before the
  // starter's write. Returns the thread's handle, which the block owns: it
  // is valid until the end event is signalled. 0 when the thread could not
  // be made; the block then is still the starter's (Free).
  HANDLE Start(ZEQThreadProc proc);
  // The thread's last act: signals the end event, closes it and the thread
  // handle and frees the block. The packet is the thread's business.
  void Finish();
  // Frees a block whose thread did not start (the end event is closed).
  void Free();
};
