#define _CRT_RAND_S
#include "host/access_tokens.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"

namespace {

// id -> record (pointer keys).
ZEQList* TokenTable() {
  static ZEQList* const table = [] {
    ZEQList* list = nullptr;
    ZEQList::Create(&list);
    return list;
  }();
  return table;
}

int FreeTokenRecord(ZEQListItem* item, uintptr_t) {
  auto* record = reinterpret_cast<ZEQIBCAccessToken*>(item->value1);
  item->value1 = 0;
  if (record) {
    ZEQRetireRecord(record);
    HeapFreeZ(record);
  }
  return 1;
}

uint32_t RandomId() {
  unsigned int value = 0;
  if (rand_s(&value) != 0) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    value = static_cast<unsigned int>(now.LowPart * 2654435761u) ^ GetCurrentThreadId();
  }
  return static_cast<uint32_t>(value);
}

int Find(ZEQList* table, uint32_t id) {
  return table->Find(reinterpret_cast<const void*>(static_cast<uintptr_t>(id)), 0, ZEQLIST_BYTES);
}

}  // namespace

ZEQIBCAccessToken* ZEQIBCAccessToken::Init(ZEQIBCAccessToken* record, uint32_t relateToThread, uint32_t value,
                                           uint32_t containerId, const char* text) {
  if (!record) return nullptr;
  ZEQStampRecord(record, kZEQAccessTokenTag, nullptr);
  record->header.serial = 0;
  record->relateToThread = relateToThread;
  record->value = value;
  record->containerId = containerId;
  StrCopyN(record->text, text ? text : "", kZEQAccessTokenTextSize - 1);
  return record;
}

uint32_t ZEQAccessTokenCreate(const char* options, uint32_t value, uint32_t containerId, const char* text) {
  const uint32_t relate = options && StrStrNoCase(options, "relatetothread") ? 1 : 0;
  auto* record = static_cast<ZEQIBCAccessToken*>(HeapAllocZ(sizeof(ZEQIBCAccessToken)));
  ZEQIBCAccessToken::Init(record, relate, value, containerId, text);
  ZEQList* table = TokenTable();
  ZEQLockGuard guard(table->lock);
  uint32_t id;
  do {
    id = RandomId();
  } while (id == 0 || Find(table, id) >= 0);
  ZEQListItem* item = nullptr;
  try {
    item = ZEQList::InsertByPointer(&table, id, table->count,
                                    reinterpret_cast<uintptr_t>(record), 0, 0);
  } catch (...) {
    HeapFreeZ(record);
    throw;
  }
  if (!item) {
    HeapFreeZ(record);
    return 0;
  }
  item->freeCallback = FreeTokenRecord;
  return id;
}

bool ZEQAccessTokenLookup(uint32_t id, ZEQIBCAccessToken* copy) {
  if (!id) return false;
  ZEQList* table = TokenTable();
  ZEQLockGuard guard(table->lock);
  const int index = Find(table, id);
  if (index < 0) return false;
  const auto* record = reinterpret_cast<const ZEQIBCAccessToken*>(table->GetValueAt(index));
  if (!record) return false;
  if (copy) std::memcpy(copy, record, sizeof *copy);
  return true;
}

bool ZEQAccessTokenRelease(uint32_t id) {
  if (!id) return false;
  ZEQList* table = TokenTable();
  ZEQLockGuard guard(table->lock);
  const int index = Find(table, id);
  return index >= 0 && table->RemoveAt(index);
}

int ZEQAccessTokenReleaseContainer(uint32_t containerId) {
  ZEQList* table = TokenTable();
  ZEQLockGuard guard(table->lock);
  int released = 0;
  for (int i = table->count - 1; i >= 0; --i) {
    const auto* record = reinterpret_cast<const ZEQIBCAccessToken*>(table->GetValueAt(i));
    if (record && record->containerId == containerId && table->RemoveAt(i)) ++released;
  }
  return released;
}

bool IsAccessToken(const void* pointer) {
  if (!pointer) return false;
  ZEQList* table = TokenTable();
  ZEQLockGuard guard(table->lock);
  for (int i = 0; i < table->count; ++i) {
    if (reinterpret_cast<const void*>(table->GetValueAt(i)) == pointer)
      return IsTaggedRecord(pointer, sizeof(ZEQIBCAccessToken), kZEQAccessTokenTag);
  }
  return false;
}
