// Tagged records: a record reachable from outside its owner starts with a
// 65-byte NUL-padded text tag ("+" and its kind) and a 32-bit serial. Any
// pointer that arrives from a list, message, property, timer or script
// argument is validated (IsWritableMemory, then HasTypeTag) before use.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kZEQTagSize = 65;
constexpr size_t kZEQTagMax = 64;

struct ZEQTypedRecord {
  char tag[kZEQTagSize];
  int32_t serial;
};

// Process-wide serial counters of the numbered kinds (first record gets 1).
enum class ZEQSerialKind { ApcItem, BaseSkin, BaseContainer, BaseWindow, SIP, Count };
volatile long* ZEQSerialCounter(ZEQSerialKind kind);

// Copies the tag (at most 64 characters); with a counter, takes the next
// serial from it atomically.
void ZEQStampRecord(void* record, const char* tag, volatile long* counter);
int32_t ZEQRecordSerial(const void* record);

// TRUE when [address, address+size) lies in one committed, writable region.
bool IsWritableMemory(const void* address, size_t size);
// TRUE when [address, address+size) is committed and readable.
bool IsReadableMemory(const void* address, size_t size);
// Prefix compare of the tag (capped at 64 characters) against the record's
// first bytes; never faults: unreadable memory gives false.
bool HasTypeTag(const char* tag, const void* record);

// Validation of a record pointer of a given tag and size.
inline bool IsTaggedRecord(const void* record, size_t size, const char* tag) {
  return record && IsWritableMemory(record, size) && HasTypeTag(tag, record);
}

// Makes a consumed record unrecognisable before it is freed.
inline void ZEQRetireRecord(void* record) {
  if (record) static_cast<char*>(record)[0] = '-';
}
