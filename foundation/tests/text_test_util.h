// Test helpers for the text routines.
#pragma once
#include <windows.h>

#include <cstring>

#include "foundation/heap.h"

// A text whose terminator is the last readable byte: the next page is
// inaccessible, so any read past the terminator crashes the test.
class GuardedText {
 public:
  explicit GuardedText(const char* text) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    size_t n = strlen(text) + 1;
    text_ = base_ + page_ - n;
    memcpy(text_, text, n);
  }
  ~GuardedText() { VirtualFree(base_, 0, MEM_RELEASE); }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;
  char* get() { return text_; }

 private:
  size_t page_ = 0;
  char* base_ = nullptr;
  char* text_ = nullptr;
};

// Frees a heap text at the end of a scope.
template <typename T>
class HeapText {
 public:
  explicit HeapText(T* text = nullptr) : text_(text) {}
  ~HeapText() { HeapFreeZ(text_); }
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
  T* get() const { return text_; }
  T** out() { return &text_; }

 private:
  T* text_;
};
