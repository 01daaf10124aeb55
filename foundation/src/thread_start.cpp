#include "foundation/thread_start.h"

#include <process.h>

#include "foundation/heap.h"
#include "foundation/text.h"

namespace {

void CloseSlot(HANDLE* slot) {
  if (IsHandleSet(*slot)) CloseHandle(*slot);
  *slot = nullptr;
}

}  // namespace

ZEQBeginThreadParam* ZEQBeginThreadParam::Init() {
  ZEQStampRecord(this, kZEQBeginThreadParamTag, nullptr);
  header.serial = 0;
  endEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return this;
}

ZEQBeginThreadParam* ZEQBeginThreadParam::Create(uintptr_t context, KESTOMarshalPacket* packet) {
  auto* block = HeapAllocArray<ZEQBeginThreadParam>(1)->Init();
  block->context = context;
  block->packet = packet;
  return block;
}

ZEQBeginThreadParam* ZEQBeginThreadParam::FromArgument(void* argument) {
  return IsTaggedRecord(argument, sizeof(ZEQBeginThreadParam), kZEQBeginThreadParamTag)
             ? static_cast<ZEQBeginThreadParam*>(argument)
             : nullptr;
}

HANDLE ZEQBeginThreadParam::Start(ZEQThreadProc proc) {
  HANDLE handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, proc, this, CREATE_SUSPENDED, nullptr));
  if (!handle) return nullptr;
  thread = handle;
  // From here on the block may be gone at any moment.
  ResumeThread(handle);
  return handle;
}

void ZEQBeginThreadParam::Finish() {
  if (endEvent) SetEvent(endEvent);
  Free();
}

void ZEQBeginThreadParam::Free() {
  CloseSlot(&endEvent);
  CloseSlot(&thread);
  ZEQRetireRecord(this);
  HeapFreeZ(this);
}
