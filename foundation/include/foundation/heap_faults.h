// Test hooks of the heap: a failure put on one chosen allocation, and the
// heap's own counts of the blocks it holds. Tests use them to walk a layer
// through every allocation it makes (each failing in turn) and to see that
// nothing is left behind. Pure logic: no platform calls.
#pragma once
#include <cstddef>

// The nth allocation or resize made by the calling thread from now on
// (1: the next one) fails as exhaustion does: ZEQOutOfMemory is thrown.
// 0 disarms. Other threads are never affected.
void HeapFailNthAllocation(size_t n);
// True while an armed failure has not been reached yet (the code under test
// made fewer allocations than the number armed).
bool HeapFailurePending();
// Blocks of the heap not yet freed, in the whole process.
long long HeapLiveBlocks();
// Blocks allocated minus blocks freed by the calling thread: unchanged across
// a call that allocates and frees on this thread leaves nothing behind.
long long HeapThreadBlockBalance();
