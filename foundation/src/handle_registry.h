// The handle registry as the holders use it. Enter/Leave bracket the
// registry lock (re-entrant); Find and Remove are called with it held.
#pragma once
#include <cstdint>

#include "foundation/shared_handle.h"

void ZEQRegistryEnter();
void ZEQRegistryLeave();
// Gives the block an id (once) and registers it; returns the id.
uint32_t ZEQRegistryAssignId(ZEQSharedHandleBlock* block);
ZEQSharedHandleBlock* ZEQRegistryFind(uint32_t id);
void ZEQRegistryRemove(uint32_t id);
