// VARIANT blocks embedded in records: a fixed block of 16 slots with a count
// of slots in use, and a heap vector {data, count}.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstdint>

constexpr int32_t kZEQVariantSlots = 16;

struct ZEQVariantArray16 {
  VARIANT slots[kZEQVariantSlots];
  int32_t count;

  // VariantClear on the slots in use, first to last; count becomes 0.
  void Clear();
};

struct ZEQVariantVector {
  VARIANT* data;
  int32_t count;

  // VariantClear on each element, first to last, then frees the data block.
  // data becomes NULL so that a second call frees nothing; the owner frees
  // the vector record itself.
  void FreeItems();
};
