// Environment strings in paths, and the growth of heap path blocks.
#include "path_blocks.h"

#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"

void EnsurePathBlock(char** path, size_t needed) {
  if (HeapBlockSize(*path) < needed + 1) *path = static_cast<char*>(HeapReAllocZ(*path, needed + 1));
}

void ExpandEnvironmentInPlace(char** path, size_t offset) {
  char* text = *path + offset;
  const DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
  if (!needed) return;
  // Twice the reported size: the ANSI form of an expansion may need more
  // bytes than the count the system first gives.
  const size_t size = size_t(needed) * 2;
  char* expanded = static_cast<char*>(HeapAllocZ(size));
  const DWORD written = ExpandEnvironmentStringsA(text, expanded, DWORD(size));
  if (written && written <= size) {
    EnsurePathBlock(path, offset + strlen(expanded));
    strcpy(*path + offset, expanded);
  }
  HeapFreeZ(expanded);
}
