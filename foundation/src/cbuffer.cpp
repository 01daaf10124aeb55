#include "foundation/cbuffer.h"

#include <cstring>

#include "foundation/heap.h"

namespace {

struct BufferLock {
  explicit BufferLock(ZEQNamedLock* lock) : lock_(lock) { lock_->Enter(); }
  ~BufferLock() { lock_->Leave(); }
  BufferLock(const BufferLock&) = delete;
  BufferLock& operator=(const BufferLock&) = delete;
  ZEQNamedLock* lock_;
};

// One piece that ends at or before the end of the ring; under the lock.
void WritePiece(ZEQCBuffer* buffer, const uint8_t* bytes, int32_t length) {
  std::memcpy(buffer->data + buffer->writePosition, bytes, static_cast<size_t>(length));
  buffer->writePosition += length;
  if (buffer->writePosition >= buffer->capacity) buffer->writePosition -= buffer->capacity;
  buffer->fill += length;
  if (buffer->fill > buffer->capacity) {
    // The oldest bytes were overwritten: the reader skips them.
    buffer->readPosition += buffer->fill - buffer->capacity;
    if (buffer->readPosition >= buffer->capacity) buffer->readPosition -= buffer->capacity;
    buffer->fill = buffer->capacity;
  }
}

}  // namespace

ZEQCBuffer* ZEQCBuffer::Init(ZEQCBuffer* buffer, int32_t capacity) {
  if (!buffer) return nullptr;
  ZEQStampRecord(buffer, kZEQCBufferTag, nullptr);
  buffer->capacity = capacity > 0 ? capacity : 0;
  buffer->data = static_cast<uint8_t*>(HeapAllocZ(static_cast<size_t>(buffer->capacity) + 1));
  try {
    buffer->lock = static_cast<ZEQNamedLock*>(HeapAllocZ(sizeof(ZEQNamedLock)));
  } catch (...) {
    HeapFreeZ(buffer->data);
    buffer->data = nullptr;
    throw;
  }
  buffer->lock->Init("ZEQCBUFFER");
  BufferLock guard(buffer->lock);
  std::memset(buffer->data, 0, static_cast<size_t>(buffer->capacity) + 1);
  buffer->writePosition = 0;
  buffer->readPosition = 0;
  buffer->fill = 0;
  buffer->skip = 0;
  return buffer;
}

void ZEQCBuffer::Write(ZEQCBuffer* buffer, const void* bytes, size_t length) {
  if (!buffer || !buffer->lock || !bytes || length == 0 || buffer->capacity <= 0) return;
  BufferLock guard(buffer->lock);
  auto* from = static_cast<const uint8_t*>(bytes);
  const auto capacity = static_cast<size_t>(buffer->capacity);
  // Only the last capacity bytes can survive the write; earlier ones would
  // be overwritten by it, so they are counted as written and dropped at once.
  if (length > capacity) {
    const size_t dropped = length - capacity;
    const auto advance = static_cast<int32_t>(dropped % capacity);
    buffer->writePosition = static_cast<int32_t>((buffer->writePosition + advance) % buffer->capacity);
    buffer->readPosition = buffer->writePosition;
    buffer->fill = 0;
    from += dropped;
    length = capacity;
  }
  const auto room = static_cast<size_t>(buffer->capacity - buffer->writePosition);
  if (length > room) {
    WritePiece(buffer, from, static_cast<int32_t>(room));
    WritePiece(buffer, from + room, static_cast<int32_t>(length - room));
  } else {
    WritePiece(buffer, from, static_cast<int32_t>(length));
  }
}

size_t ZEQCBuffer::Read(ZEQCBuffer* buffer, void* out, size_t length) {
  if (!buffer || !buffer->lock || !out || length == 0) return 0;
  BufferLock guard(buffer->lock);
  if (buffer->skip > 0) {
    --buffer->skip;
    return 0;
  }
  auto* to = static_cast<uint8_t*>(out);
  size_t taken = static_cast<size_t>(buffer->fill) < length ? static_cast<size_t>(buffer->fill) : length;
  size_t done = 0;
  while (done < taken) {
    size_t piece = static_cast<size_t>(buffer->capacity - buffer->readPosition);
    if (piece > taken - done) piece = taken - done;
    std::memcpy(to + done, buffer->data + buffer->readPosition, piece);
    done += piece;
    buffer->readPosition += static_cast<int32_t>(piece);
    if (buffer->readPosition >= buffer->capacity) buffer->readPosition -= buffer->capacity;
  }
  buffer->fill -= static_cast<int32_t>(taken);
  if (taken < length) std::memset(to + taken, 0, length - taken);
  return taken;
}

void ZEQCBuffer::Reset(ZEQCBuffer* buffer) {
  if (!buffer || !buffer->lock) return;
  BufferLock guard(buffer->lock);
  std::memset(buffer->data, 0, static_cast<size_t>(buffer->capacity) + 1);
  buffer->writePosition = buffer->readPosition = buffer->fill = buffer->skip = 0;
}

void ZEQCBuffer::FreeContents(ZEQCBuffer* buffer) {
  if (!buffer) return;
  HeapFreeZ(buffer->data);
  buffer->data = nullptr;
  if (buffer->lock) {
    buffer->lock->Delete();
    HeapFreeZ(buffer->lock);
    buffer->lock = nullptr;
  }
}

void ZEQCBuffer::Delete(ZEQCBuffer* buffer) {
  if (!buffer) return;
  FreeContents(buffer);
  ZEQRetireRecord(buffer);
  HeapFreeZ(buffer);
}

bool IsCBuffer(const void* record) { return IsTaggedRecord(record, sizeof(ZEQCBuffer), kZEQCBufferTag); }
