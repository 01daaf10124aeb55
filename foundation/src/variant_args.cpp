// Argument arrays: copies of a call's arguments and their release.
#include "foundation/heap.h"
#include "foundation/variant.h"
#include "variant_internal.h"

ZEQVariantVector* CopyDispParamsArgs(const DISPPARAMS* params) {
  auto* vector = static_cast<ZEQVariantVector*>(HeapAllocZ(sizeof(ZEQVariantVector)));
  if (!params || !params->rgvarg || params->cArgs <= params->cNamedArgs) return vector;
  const UINT count = params->cArgs - params->cNamedArgs;
  try {
    // Zero-filled elements are VT_EMPTY, so a copy that fails half-way
    // leaves a vector that can be deleted as it is.
    vector->data = HeapAllocArray<VARIANT>(count);
    vector->count = static_cast<int32_t>(count);
    for (UINT i = 0; i < count; ++i)
      zeqvariant::CheckMemory(VariantCopy(&vector->data[i], &params->rgvarg[params->cNamedArgs + i]));
  } catch (...) {
    ZEQVariantVectorDelete(vector);
    throw;
  }
  return vector;
}

void ZEQVariantVectorDelete(ZEQVariantVector* vector) {
  if (!vector) return;
  vector->FreeItems();
  HeapFreeZ(vector);
}

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
