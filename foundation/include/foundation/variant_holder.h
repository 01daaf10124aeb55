// Argument vectors in shared holders: the last release clears the copied
// arguments and frees the elements and the vector.
#pragma once
#include "foundation/shared_handle.h"
#include "foundation/variant.h"

template <>
struct ZEQPayloadTraits<ZEQVariantVector>
    : ZEQPayloadPolicy<ZEQVariantVector, ZEQVariantVectorDelete, ZEQPayloadFree::ByDeleter> {};
