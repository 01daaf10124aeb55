// Heap path blocks shared by the expansion routines.
#pragma once
#include <cstddef>

// Grows the block so that it holds needed characters and a terminator.
void EnsurePathBlock(char** path, size_t needed);
// Expands environment strings of the text that starts offset bytes into the
// block, growing the block as needed.
void ExpandEnvironmentInPlace(char** path, size_t offset);
