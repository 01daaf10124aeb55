// Window records and the parameter block that ties a window to its record.
#include "foundation/heap.h"
#include "foundation/records.h"
#include "foundation/text.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

constexpr char kWindowTag[] = "+ZEQBASEWINDOW";
constexpr char kParamProperty[] = "ZEQWINDOWPARAM";

void FreeText(char** slot) {
  HeapFreeZ(*slot);
  *slot = nullptr;
}

}  // namespace

uint32_t ZEQWindowFlagsToFrameFlags(uint32_t flags) {
  static const struct {
    uint32_t from, to;
  } table[] = {
      {WB_ALLOWSMINIMIZE, 0x10},   {WB_ALLOWSMAXIMIZE, 0x20},     {WB_ALLOWSFULLSCREEN, 0x4000},
      {WB_ALLOWSTITLEICON, 0x200}, {WB_DENYCLOSE, 0x40},          {WB_DONTMOVEFRAME, 0x8},
      {WB_ALLOWSRESIZEGRIP, 0x400000}, {WB_MODAL, 0x2000000},     {WB_SYSTEMAPPWINDOW, 0x80000},
  };
  uint32_t frame = 0;
  for (const auto& entry : table) {
    if (flags & entry.from) frame |= entry.to;
  }
  return frame;
}

void ZEQNewWindowRecord(ZEQWindowHolder* holder, HWND window, const char* className, uint32_t frameFlags) {
  auto record = static_cast<ZEQBASEWINDOW*>(HeapAllocZ(sizeof(ZEQBASEWINDOW)));
  ZEQStampRecord(record, kWindowTag, ZEQSerialCounter(ZEQSerialKind::BaseWindow));
  record->id = ZEQRecordSerial(record);
  new (&record->container) ZEQContainerHolder();
  new (&record->skin) SKINHolder();
  try {
    ZEQList::Create(&record->closeWaiters);
    ZEQList::Create(&record->zOrderDependents);
    ZEQList::Create(&record->showDependents);
    ZEQList::Create(&record->moveDependents);
    ZEQList::Create(&record->modalDependents);
    record->className = StrDupExtra(className, 0);
  } catch (...) {
    ZEQBaseWindowDelete(record);
    HeapFreeZ(record);
    throw;
  }
  record->window = window;
  record->frameFlags = frameFlags;
  holder->AttachNewPayload(record);
}

void ZEQBaseWindowDelete(ZEQBASEWINDOW* record) {
  if (!record) return;
  ZEQList::DeleteAt(&record->closeWaiters);
  ZEQList::DeleteAt(&record->zOrderDependents);
  ZEQList::DeleteAt(&record->showDependents);
  ZEQList::DeleteAt(&record->moveDependents);
  ZEQList::DeleteAt(&record->modalDependents);
  FreeText(&record->className);
  if (record->uiThread) CloseHandle(record->uiThread);
  record->uiThread = nullptr;
  if (record->largeIcon) DestroyIcon(record->largeIcon);
  if (record->smallIcon) DestroyIcon(record->smallIcon);
  record->largeIcon = record->smallIcon = nullptr;
  FreeText(&record->alignment);
  record->skin.~SKINHolder();
  record->container.~ZEQContainerHolder();
  FreeText(&record->title);
  ZEQRetireRecord(record);
}

ZEQWINDOWPARAM* ZEQEnsureWindowParamBlock(HWND window) {
  if (!IsProcessWindow(window)) return nullptr;
  auto block = static_cast<ZEQWINDOWPARAM*>(GetPropA(window, kParamProperty));
  if (block) return block;
  block = new ZEQWINDOWPARAM();
  if (!SetPropA(window, kParamProperty, block)) {
    delete block;
    return nullptr;
  }
  return block;
}

void ZEQFreeWindowParamBlock(HWND window) {
  if (!IsProcessWindow(window)) return;
  auto block = static_cast<ZEQWINDOWPARAM*>(RemovePropA(window, kParamProperty));
  delete block;  // releases the record holder
}

void ZEQSetWindowParam(HWND window, const ZEQWindowHolder& record) {
  ZEQWINDOWPARAM* block = ZEQEnsureWindowParamBlock(window);
  if (block) block->window.ShareFrom(record);
}

ZEQWindowHolder ZEQGetWindowParam(HWND window) {
  ZEQWindowHolder result;
  HWND top = GetTopLevelWindowExt(window);
  if (!IsProcessWindow(top)) return result;
  auto block = static_cast<ZEQWINDOWPARAM*>(GetPropA(top, kParamProperty));
  if (block && IsWritableMemory(block, sizeof *block)) result.ShareFrom(block->window);
  return result;
}

bool ZEQIsValidWindowParam(ZEQWindowHolder record) { return record.IsSet(); }
