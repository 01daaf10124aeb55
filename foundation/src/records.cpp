#include "foundation/records.h"

#include <windows.h>

#include <cstring>

static volatile long g_serials[static_cast<int>(ZEQSerialKind::Count)];

volatile long* ZEQSerialCounter(ZEQSerialKind kind) {
  return &g_serials[static_cast<int>(kind)];
}

void ZEQStampRecord(void* record, const char* tag, volatile long* counter) {
  auto* header = static_cast<ZEQTypedRecord*>(record);
  size_t n = tag ? strnlen(tag, kZEQTagMax) : 0;
  memcpy(header->tag, tag, n);
  memset(header->tag + n, 0, kZEQTagSize - n);
  if (counter) header->serial = InterlockedIncrement(counter);
}

int32_t ZEQRecordSerial(const void* record) {
  return static_cast<const ZEQTypedRecord*>(record)->serial;
}

static bool RegionCovers(const void* address, size_t size, DWORD protectMask) {
  if (!address) return false;
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof(info)) != sizeof(info)) return false;
  if (info.State != MEM_COMMIT) return false;
  if ((info.Protect & protectMask) == 0 || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
  auto offset = static_cast<size_t>(static_cast<const char*>(address) -
                                    static_cast<const char*>(info.BaseAddress));
  return info.RegionSize >= size && info.RegionSize - size >= offset;
}

bool IsWritableMemory(const void* address, size_t size) {
  return RegionCovers(address, size,
                      PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
}

bool IsReadableMemory(const void* address, size_t size) {
  return RegionCovers(address, size,
                      PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                          PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
}

// The compare reads only bytes that the memory query has shown readable, so
// it cannot fault (a C++ handler could not catch an access violation).
bool HasTypeTag(const char* tag, const void* record) {
  if (!tag || !record) return false;
  size_t n = strnlen(tag, kZEQTagMax);
  if (n == 0) return IsReadableMemory(record, 1);
  if (!IsReadableMemory(record, n)) return false;
  return memcmp(record, tag, n) == 0;
}
