// A heap text grown by appending, for the expansions that rebuild a text in
// one pass instead of moving its tail once per replacement.
#pragma once
#include <cstddef>
#include <cstring>

#include "foundation/heap.h"

class HeapTextBuilder {
 public:
  HeapTextBuilder() = default;
  HeapTextBuilder(const HeapTextBuilder&) = delete;
  HeapTextBuilder& operator=(const HeapTextBuilder&) = delete;
  ~HeapTextBuilder() { HeapFreeZ(data_); }

  // Room for n bytes and the terminator; grows by at least half.
  void Reserve(size_t n) {
    if (data_ && n < capacity_) return;
    size_t grown = capacity_ + capacity_ / 2;
    if (grown <= n) grown = n + 1;
    data_ = static_cast<char*>(HeapReAllocZ(data_, grown));
    capacity_ = grown;
  }
  void Append(const char* bytes, size_t n) {
    Reserve(length_ + n);
    if (n) memcpy(data_ + length_, bytes, n);
    length_ += n;
    data_[length_] = '\0';
  }
  // Empties the text and keeps the block.
  void Clear() {
    length_ = 0;
    if (data_) data_[0] = '\0';
  }
  void Swap(HeapTextBuilder& other) {
    char* d = data_;
    size_t c = capacity_, l = length_;
    data_ = other.data_, capacity_ = other.capacity_, length_ = other.length_;
    other.data_ = d, other.capacity_ = c, other.length_ = l;
  }
  // The terminated text for the caller to own (a HeapFreeZ block); the
  // builder is left empty.
  char* Detach() {
    Reserve(length_);
    char* text = data_;
    data_ = nullptr;
    capacity_ = length_ = 0;
    return text;
  }
  char* data() const { return data_; }
  size_t length() const { return length_; }

 private:
  char* data_ = nullptr;
  size_t capacity_ = 0;  // bytes of the block
  size_t length_ = 0;
};
