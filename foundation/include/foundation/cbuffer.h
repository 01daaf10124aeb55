// Circular byte buffer: a fixed-capacity ring shared by a producer and a
// consumer on different threads (audio capture writes samples, a playback
// or analysis thread reads them). A write never blocks and never fails for
// lack of room: when the writer runs ahead, the oldest unread bytes are
// overwritten. Every write and read holds the buffer's named lock for its
// whole copy; nothing is allocated after initialisation.
//
// Invariant: (read position + fill count) mod capacity = write position.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/named_lock.h"
#include "foundation/records.h"

constexpr char kZEQCBufferTag[] = "+ZEQCBUFFER";

struct ZEQCBuffer {
  ZEQTypedRecord header;  // "+ZEQCBUFFER", serial 0
  int32_t writePosition;  // next byte to write, 0 <= w < capacity
  int32_t readPosition;   // oldest unread byte
  int32_t fill;           // unread bytes, 0 <= fill <= capacity
  int32_t capacity;       // fixed at initialisation
  int32_t skip;           // while positive, a read call takes no data
  uint8_t* data;          // capacity + 1 bytes
  ZEQNamedLock* lock;     // "ZEQCBUFFER", spin count 4000

  // Stamps the record, allocates the zeroed data block and the lock and
  // resets the positions. A capacity below 1 gives a buffer that keeps
  // nothing (writes are dropped, reads give zeros).
  static ZEQCBuffer* Init(ZEQCBuffer* buffer, int32_t capacity);
  // Appends length bytes; the oldest unread bytes give way when the buffer
  // is full. A write longer than the capacity keeps its last bytes.
  static void Write(ZEQCBuffer* buffer, const void* bytes, size_t length);
  // Copies up to length unread bytes into out and zero-fills the rest. While
  // the skip counter is positive the call takes nothing (the counter drops
  // by one and out is left untouched). The number of bytes taken.
  static size_t Read(ZEQCBuffer* buffer, void* out, size_t length);
  // Drops every unread byte (the data is zeroed) and the skip counter.
  static void Reset(ZEQCBuffer* buffer);
  // Frees the data block and the lock; the record's memory stays with its
  // owner (an embedded record).
  static void FreeContents(ZEQCBuffer* buffer);
  // FreeContents, then frees a heap-allocated record.
  static void Delete(ZEQCBuffer* buffer);
};

// Memory check over the record's size, then the tag.
bool IsCBuffer(const void* record);
