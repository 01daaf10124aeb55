// The handle table, the named-handle table and the close-by-type rules.
#include "host/handle_table.h"

#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "foundation/buffers.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/marshal_packet.h"
#include "foundation/pointer_token.h"
#include "foundation/profiler.h"
#include "foundation/text.h"
#include "host/plugin_record.h"
#include "package/vfs.h"

namespace {

constexpr size_t kTypeCount = 32;
ZEQHandleCloseAction volatile g_installed[kTypeCount] = {};

// One entry of the handle table: the table's packet of the record's holder
// and the number of script objects that refer to the record.
struct TableEntry {
  KESTOMarshalPacket* packet;
  LONG count;
};

ZEQList* NewList() {
  ZEQList* list = nullptr;
  ZEQList::Create(&list);
  return list;
}

// Both tables live for the whole process (script objects may be destroyed
// while static objects of other units end).
ZEQList* HandleTable() {
  static ZEQList* const table = NewList();
  return table;
}

ZEQList* NamedTable() {
  static ZEQList* const table = NewList();
  return table;
}

void TableKey(char (&key)[24], const ZEQHandleRecord* record) {
  std::snprintf(key, sizeof key, "%08X.%08X", static_cast<unsigned>(record->type), static_cast<unsigned>(record->id));
}

int ZEQHandleTableItemFree(ZEQListItem* item, uintptr_t) {
  auto* entry = reinterpret_cast<TableEntry*>(item->value1);
  item->value1 = 0;
  if (entry) {
    FreeMarshalPacket(entry->packet);
    HeapFreeZ(entry);
  }
  return 1;
}

void CloseWinHandle(ZEQHandleRecord* record) {
  HANDLE handle = reinterpret_cast<HANDLE>(record->payload);
  CloseHandleExt(&handle);
  record->payload = 0;
}

void BuiltInClose(ZEQHandleRecord* record) {
  switch (record->type) {
    case ZEQHANDLE_SOCKET:
      closesocket(static_cast<SOCKET>(record->payload));
      break;
    case ZEQHANDLE_WINHANDLE:
    case ZEQHANDLE_WINHANDLE2:
      CloseWinHandle(record);
      break;
    case ZEQHANDLE_PLUGIN:
      ZEQPluginClose(reinterpret_cast<ZEQPLUGIN*>(record->payload));
      record->payload = 0;
      break;
    case ZEQHANDLE_WINDOW:
      DestroyWindow(reinterpret_cast<HWND>(record->payload));
      break;
    case ZEQHANDLE_PROFILER:
      if (auto* profiler = reinterpret_cast<ZEQProfiler*>(record->payload)) {
        profiler->Free();
        HeapFreeZ(profiler);
        record->payload = 0;
      }
      break;
    case ZEQHANDLE_HANDLEVARIABLE:
      if (record->handleSlot) CloseHandleExt(record->handleSlot);
      break;
    case ZEQHANDLE_SECUREBUFFER:
      if (auto* buffer = reinterpret_cast<ZEQSecureBuffer*>(record->payload)) {
        buffer->Free();
        HeapFreeZ(buffer);
        record->payload = 0;
      }
      break;
    case ZEQHANDLE_COMOBJECT:
      if (auto* object = reinterpret_cast<IUnknown*>(record->payload)) {
        record->payload = 0;
        object->Release();
      }
      break;
    default:
      break;
  }
}

void RunCloseAction(ZEQHandleRecord* record) {
  ZEQHandleCloseAction action = record->type < kTypeCount ? g_installed[record->type] : nullptr;
  if (action)
    action(record);
  else
    BuiltInClose(record);
}

void CloseOwnHandle(HANDLE* slot) {
  if (*slot && *slot != INVALID_HANDLE_VALUE) CloseHandleExt(slot);
  *slot = INVALID_HANDLE_VALUE;
}

// Forgets the record's name when the named table maps it to this record
// (a record that lost the race for a name leaves the winner's entry alone).
void RemoveOwnName(ZEQHandleRecord* record, uint32_t registryId) {
  if (!record->name || !record->name[0]) return;
  ZEQList* named = NamedTable();
  ZEQLockGuard guard(named->lock);
  const int index = named->FindByName(record->name);
  if (index >= 0 && static_cast<uint32_t>(named->GetValueAt(index)) == registryId) named->RemoveAt(index);
}

TableEntry* EntryAt(ZEQList* table, int index) {
  ZEQListItem* item = table->GetItemAt(index);
  return item ? reinterpret_cast<TableEntry*>(item->value1) : nullptr;
}

}  // namespace

ZEQHandleRecord* ZEQHandleRecord::Construct(ZEQHandleRecord* record) {
  if (!record) return nullptr;
  ZEQStampRecord(record, kZEQHandleTag, nullptr);
  record->header.serial = 0;
  record->name = nullptr;
  record->extraBuffer = nullptr;
  record->type = 0;
  return record;
}

void* ZEQHandleRecord::InitHeader(void* block, uintptr_t ownerValue) {
  if (!block) return nullptr;
  auto* bytes = static_cast<char*>(block);
  std::memcpy(bytes, kZEQHandleTag, sizeof kZEQHandleTag);
  const uint32_t type = ZEQHANDLE_PLUGIN;
  const uint32_t owner = ZEQPointerToToken(reinterpret_cast<void*>(ownerValue));
  std::memcpy(bytes + 580, &type, sizeof type);
  std::memcpy(bytes + 584, &owner, sizeof owner);
  return block;
}

void ZEQHandleRecordFreeContents(ZEQHandleRecord* record) {
  if (!record) return;
  CloseOwnHandle(&record->firstHandle);
  CloseOwnHandle(&record->secondHandle);
  HeapFreeZ(record->buffer);
  record->buffer = nullptr;
  if (record->ownsPayload && record->payload) {
    FreeMarshalPacket(ZEQPacketFromValue(record->payload));
    record->ownsPayload = 0;
  }
  if (record->lock) {
    record->lock->Delete();
    HeapFreeZ(record->lock);
    record->lock = nullptr;
  }
  record->type = 0;
  record->payload = 0;
  record->id = 0;
}

void ZEQHandleRecordDelete(ZEQHandleRecord* record) {
  if (!record) return;
  ZEQHandleRecordFreeContents(record);
  HeapFreeZ(record->extraBuffer);
  record->extraBuffer = nullptr;
  HeapFreeZ(record->name);
  record->name = nullptr;
  ZEQRetireRecord(record);
}

void ZEQHandleNewHolder(ZEQHandleHolder* holder) {
  auto* record = ZEQHandleRecord::Construct(static_cast<ZEQHandleRecord*>(HeapAllocZ(sizeof(ZEQHandleRecord))));
  record->firstHandle = record->secondHandle = INVALID_HANDLE_VALUE;
  holder->AttachNewPayload(record);
}

bool ZEQHandleIsType(const ZEQHandleHolder& holder, uint32_t type) {
  return holder.IsSet() && holder.Get()->type == type && !holder.Get()->closed;
}

ZEQHandleCloseAction ZEQSetHandleCloseAction(uint32_t type, ZEQHandleCloseAction action) {
  if (type >= kTypeCount) return nullptr;
  return reinterpret_cast<ZEQHandleCloseAction>(InterlockedExchangePointer(
      reinterpret_cast<void* volatile*>(const_cast<ZEQHandleCloseAction*>(&g_installed[type])),
      reinterpret_cast<void*>(action)));
}

namespace ZEQHandleTable {

LONG AddRef(LONG delta, uint32_t* registryId, ZEQHandleHolder holder) {
  if (!holder.IsSet()) return 0;
  ZEQHandleRecord* record = holder.Get();
  ZEQList* table = HandleTable();
  ZEQLockGuard guard(table->lock);
  if (record->closed) return 0;
  char key[24];
  TableKey(key, record);
  const uint32_t id = holder.GetId();
  if (registryId) *registryId = id;
  int index = table->FindByName(key);
  if (index < 0) {
    if (delta <= 0) return 0;
    auto* entry = static_cast<TableEntry*>(HeapAllocZ(sizeof(TableEntry)));
    ZEQListItem* item = nullptr;
    try {
      entry->packet = holder.Marshal(false);
      item = table->InsertNamed(key, -1, reinterpret_cast<uintptr_t>(entry), id, 0);
    } catch (...) {
      FreeMarshalPacket(entry->packet);
      HeapFreeZ(entry);
      throw;
    }
    if (!item) {
      FreeMarshalPacket(entry->packet);
      HeapFreeZ(entry);
      return 0;
    }
    item->freeCallback = ZEQHandleTableItemFree;
    index = table->FindByName(key);
  }
  TableEntry* entry = EntryAt(table, index);
  if (!entry) return 0;
  entry->count += delta;
  return entry->count;
}

LONG ReferenceCount(const ZEQHandleHolder& holder) {
  if (!holder.IsSet()) return 0;
  ZEQList* table = HandleTable();
  ZEQLockGuard guard(table->lock);
  if (holder.Get()->closed) return 0;
  char key[24];
  TableKey(key, holder.Get());
  const int index = table->FindByName(key);
  TableEntry* entry = index >= 0 ? EntryAt(table, index) : nullptr;
  return entry ? entry->count : 0;
}

BOOL CloseHandle(bool force, ZEQHandleHolder holder) {
  ZEQList* table = HandleTable();
  ZEQLockGuard guard(table->lock);
  try {
    if (!holder.IsSet()) return FALSE;
    ZEQHandleRecord* record = holder.Get();
    // A record is closed once; later calls find nothing to do.
    if (record->closed) return FALSE;
    if (!force && AddRef(-1, nullptr, holder) > 0) return FALSE;
    record->closed = 1;
    RemoveOwnName(record, holder.GetId());
    RunCloseAction(record);
    char key[24];
    TableKey(key, record);
    const int index = table->FindByName(key);
    if (index >= 0) table->RemoveAt(index);
    ZEQHandleRecordFreeContents(record);
    return TRUE;
  } catch (...) {
    ZEQLogUnexpected("ZEQHandleTable::CloseHandle");
    return FALSE;
  }
}

}  // namespace ZEQHandleTable

namespace ZEQNamedHandle {

void Find(const char* name, ZEQHandleHolder* holder) {
  if (!holder) return;
  holder->Release();
  if (!name || !name[0]) return;
  uint32_t id = 0;
  {
    ZEQList* named = NamedTable();
    ZEQLockGuard guard(named->lock);
    const int index = named->FindByName(name);
    if (index < 0) return;
    id = static_cast<uint32_t>(named->GetValueAt(index));
  }
  holder->AssignAndDeleteSource(ZEQHandleHolder::NewFromId(id));
  if (holder->IsSet() && holder->Get()->closed) holder->Release();
}

void Register(const char* name, ZEQHandleHolder holder) {
  if (!name || !name[0] || !holder.IsSet()) return;
  ZEQHandleRecord* record = holder.Get();
  char* copy = StrDupExtra(name, 0);
  HeapFreeZ(record->name);
  record->name = copy;
  const uint32_t id = holder.GetId();
  ZEQList* named = NamedTable();
  ZEQLockGuard guard(named->lock);
  const int index = named->FindByName(name);
  if (index >= 0) {
    ZEQHandleHolder current;
    current.AssignAndDeleteSource(ZEQHandleHolder::NewFromId(static_cast<uint32_t>(named->GetValueAt(index))));
    if (current.IsSet() && !current.Get()->closed) return;  // the first live registration wins
    named->RemoveAt(index);
  }
  named->InsertNamed(name, -1, id, 0, 0);
}

}  // namespace ZEQNamedHandle

int ZEQNamedObjectRemove(const char* name) {
  if (!name || !name[0]) return 0;
  ZEQList* named = NamedTable();
  ZEQLockGuard guard(named->lock);
  const int index = named->FindByName(name);
  if (index < 0) return 0;
  named->RemoveAt(index);
  return 1;
}
