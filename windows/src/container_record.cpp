// Container records and the window properties that carry them.
#include "foundation/heap.h"
#include "foundation/records.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

constexpr char kContainerTag[] = "+ZEQBASECONTAINER";

void FreeText(char** slot) {
  HeapFreeZ(*slot);
  *slot = nullptr;
}

}  // namespace

void ZEQBaseContainerInit(ZEQContainerHolder* holder, HWND hostWindow) {
  if (!holder) return;
  ZEQBASECONTAINER* record = nullptr;
  try {
    record = static_cast<ZEQBASECONTAINER*>(HeapAllocZ(sizeof(ZEQBASECONTAINER)));
  } catch (const std::bad_alloc&) {
    return;  // the holder stays empty
  }
  ZEQStampRecord(record, kContainerTag, ZEQSerialCounter(ZEQSerialKind::BaseContainer));
  record->id = ZEQRecordSerial(record);
  new (&record->caller) ZEQContainerHolder();
  new (&record->parent) ZEQContainerHolder();
  new (&record->attached) ZEQContainerHolder();
  new (&record->skin) SKINHolder();
  record->hostWindow = hostWindow;
  record->eventWindow = hostWindow;
  record->zoom = 100;
  for (int32_t& word : record->windowState) word = -2;
  for (int32_t& word : record->browserFlags) word = -2;
  try {
    ZEQList::Create(&record->childWindows);
    for (ZEQList*& list : record->functionLists) ZEQList::Create(&list);
    ZEQList::Create(&record->navigationList);
  } catch (const std::bad_alloc&) {
    ZEQBaseContainerDelete(record);
    HeapFreeZ(record);
    return;
  }
  holder->AttachNewPayload(record);
}

void ZEQBaseContainerDelete(ZEQBASECONTAINER* record) {
  if (!record) return;
  if (record->aliveEvent) {
    SetEvent(record->aliveEvent);
    CloseHandle(record->aliveEvent);
    record->aliveEvent = nullptr;
  }
  for (ZEQList*& list : record->functionLists) ZEQList::DeleteAt(&list);
  ZEQMarshaledVariant::Free(record->arguments);
  ZEQMarshaledVariant::Free(record->closeArguments);
  record->arguments = record->closeArguments = nullptr;
  FreeText(&record->name);
  FreeText(&record->statusText);
  FreeText(&record->title);
  record->attached.~ZEQContainerHolder();
  ZEQList::DeleteAt(&record->childWindows);
  ZEQList::DeleteAt(&record->navigationList);
  record->skin.~SKINHolder();
  FreeText(&record->defaultStateSet);
  FreeText(&record->maximizedStateSet);
  FreeText(&record->loaderStyleSheet);
  FreeText(&record->loaderExtra);
  FreeText(&record->hostStyle);
  FreeText(&record->hostNamespaces);
  FreeText(&record->startDocument);
  record->parent.~ZEQContainerHolder();
  record->caller.~ZEQContainerHolder();
  ZEQRetireRecord(record);
}

void ZEQSetContainerProperty(HWND window, const char* name, const ZEQContainerHolder& container) {
  if (!IsProcessWindow(window) || !name) return;
  auto old = static_cast<KESTOMarshalPacket*>(RemovePropA(window, name));
  if (old && KESTOMarshal::IsLocal(old)) FreeMarshalPacket(old);
  if (!container.IsSet()) return;
  KESTOMarshalPacket* packet = container.Marshal(false);
  if (packet && !SetPropA(window, name, packet)) FreeMarshalPacket(packet);
}

void ZEQSetContainerArguments(const ZEQContainerHolder& container, ZEQMarshaledVariant* arguments) {
  ZEQBASECONTAINER* record = container.Get();
  if (!record) {
    ZEQMarshaledVariant::Free(arguments);
    return;
  }
  ZEQMarshaledVariant::Free(record->arguments);
  record->arguments = arguments;
}

void ZEQSetContainerCloseArguments(const ZEQContainerHolder& container, ZEQMarshaledVariant* arguments) {
  ZEQBASECONTAINER* record = container.Get();
  if (!record) {
    ZEQMarshaledVariant::Free(arguments);
    return;
  }
  ZEQMarshaledVariant* old =
      static_cast<ZEQMarshaledVariant*>(InterlockedExchangePointer(reinterpret_cast<PVOID*>(&record->closeArguments),
                                                                   arguments));
  ZEQMarshaledVariant::Free(old);
}

bool ZEQIsValidContainer(ZEQContainerHolder container) { return container.IsSet(); }

bool ZEQIsContainerReady(ZEQContainerHolder container) {
  return container.IsSet() && container->ready != 0;
}

int ZEQContainerListItemFree(ZEQListItem* item, uintptr_t) {
  if (!IsTaggedRecord(item, sizeof *item, kZEQListItemTag)) return 0;
  auto packet = ZEQPacketFromValue(item->value1);
  if (packet && KESTOMarshal::IsLocal(packet)) FreeMarshalPacket(packet);
  item->value1 = 0;
  return 1;
}
