#include "foundation/variant_blocks.h"

#include <oleauto.h>

#include "foundation/heap.h"

void ZEQVariantArray16::Clear() {
  // A count above the block's size never reaches past the slots.
  const int32_t used = count < kZEQVariantSlots ? count : kZEQVariantSlots;
  for (int32_t i = 0; i < used; ++i) VariantClear(&slots[i]);
  count = 0;
}

void ZEQVariantVector::FreeItems() {
  if (!data) return;
  for (int32_t i = 0; i < count; ++i) VariantClear(&data[i]);
  HeapFreeZ(data);
  data = nullptr;
}
