#include "start_paths.h"

#include <windows.h>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "kesto/startup.h"
#include "package/paths.h"

namespace kesto {

void CopyStartPath(char* buffer, const char* text) { StrCopyN(buffer, text ? text : "", kStartPathMax + 1); }

void NormalizeStartPath(char* path) {
  if (!*path) {
    ZEQLogPrintf("@SmartNormalizePath: Path Is Empty");
    return;
  }
  char* normal = SmartNormalizePath(path);
  if (normal) CopyStartPath(path, normal);
  HeapFreeZ(normal);
}

void ShortenStartPath(char* path) {
  char shortened[kStartPathMax + 1];
  const DWORD length = GetShortPathNameA(path, shortened, sizeof shortened);
  if (length && length < sizeof shortened) CopyStartPath(path, shortened);
}

}  // namespace kesto
