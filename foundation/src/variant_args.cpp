// Argument arrays: copies of a call's arguments and their release.
#include "foundation/heap.h"
#include "foundation/variant.h"

int VariantClearCallback(VARIANT* v) {
  if (v) VariantClear(v);
  return 1;
}

void ZEQVariantArray::Delete(DISPPARAMS* record) {
  if (!record) return;
  if (record->rgvarg)
    for (UINT i = record->cArgs; i > 0; --i) VariantClear(&record->rgvarg[i - 1]);
  HeapFreeZ(record->rgvarg);
  HeapFreeZ(record);
}
