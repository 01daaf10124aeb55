// Window records and the parameter block that ties a window to its record.
#include <set>

#include "foundation/heap.h"
#include "foundation/records.h"
#include "foundation/text.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

// The parameter blocks alive in the process. A block is found through a
// window property, which another thread may read while the window's own
// thread frees the block; a block counts only while it is registered here,
// and it is shared and freed under the same lock, never judged by probing
// its memory.
struct LiveBlocks {
  CRITICAL_SECTION lock;
  std::set<const ZEQWINDOWPARAM*> blocks;
  LiveBlocks() { InitializeCriticalSection(&lock); }
};
LiveBlocks& Live() {
  static LiveBlocks* live = new LiveBlocks();
  return *live;
}
struct LiveScope {
  LiveScope() { EnterCriticalSection(&Live().lock); }
  ~LiveScope() { LeaveCriticalSection(&Live().lock); }
  LiveScope(const LiveScope&) = delete;
  LiveScope& operator=(const LiveScope&) = delete;
};

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
  record->dragStart = POINT{-1, -1};
  record->contextPoint = POINT{-1, -1};
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
  LiveScope hold;
  auto block = static_cast<ZEQWINDOWPARAM*>(GetPropA(window, kParamProperty));
  if (block && Live().blocks.count(block)) return block;
  block = new ZEQWINDOWPARAM();
  try {
    Live().blocks.insert(block);
  } catch (...) {
    delete block;
    throw;
  }
  if (!SetPropA(window, kParamProperty, block)) {
    Live().blocks.erase(block);
    delete block;
    return nullptr;
  }
  return block;
}

void ZEQFreeWindowParamBlock(HWND window) {
  if (!IsProcessWindow(window)) return;
  ZEQWINDOWPARAM* block = nullptr;
  {
    LiveScope hold;
    block = static_cast<ZEQWINDOWPARAM*>(RemovePropA(window, kParamProperty));
    if (!block || !Live().blocks.erase(block)) return;
  }
  delete block;  // releases the record holder
}

bool ZEQIsLiveWindowParamBlock(const ZEQWINDOWPARAM* block) {
  LiveScope hold;
  return block && Live().blocks.count(block) != 0;
}

void ZEQSetWindowParam(HWND window, const ZEQWindowHolder& record) {
  ZEQWINDOWPARAM* block = ZEQEnsureWindowParamBlock(window);
  if (block) block->window.ShareFrom(record);
}

ZEQWindowHolder ZEQGetWindowParam(HWND window) {
  ZEQWindowHolder result;
  HWND top = GetTopLevelWindowExt(window);
  if (!IsProcessWindow(top)) return result;
  LiveScope hold;
  auto block = static_cast<ZEQWINDOWPARAM*>(GetPropA(top, kParamProperty));
  if (block && Live().blocks.count(block)) result.ShareFrom(block->window);
  return result;
}

bool ZEQIsValidWindowParam(ZEQWindowHolder record) { return record.IsSet(); }
