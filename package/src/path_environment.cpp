// Adding a folder to the process's PATH and taking it out again.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/system_queries.h"

namespace {

// Whether the entry [entry, entry + length) names the folder.
bool IsEntry(const char* entry, size_t length, const char* folder, size_t folderLength) {
  return length == folderLength && _strnicmp(entry, folder, length) == 0;
}

// The process's PATH as a new heap text ("" when it is not set).
char* ReadPath() {
  const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  char* path = static_cast<char*>(HeapAllocZ(size + 1));
  if (size) GetEnvironmentVariableA("PATH", path, size);
  return path;
}

bool HasEntry(const char* path, const char* folder, size_t folderLength) {
  for (const char* entry = path;;) {
    const char* end = std::strchr(entry, ';');
    const size_t length = end ? size_t(end - entry) : std::strlen(entry);
    if (IsEntry(entry, length, folder, folderLength)) return true;
    if (!end) return false;
    entry = end + 1;
  }
}

void AddEntry(const char* path, const char* folder) {
  const size_t length = std::strlen(path);
  const bool separate = length && path[length - 1] != ';';
  char* updated = HeapPrintf(0, "%s%s%s", path, separate ? ";" : "", folder);
  SetEnvironmentVariableA("PATH", updated);
  HeapFreeZ(updated);
}

// Every entry that names the folder goes, with one separator; the other
// entries stay as they stand.
void RemoveEntries(const char* path, const char* folder, size_t folderLength) {
  char* updated = static_cast<char*>(HeapAllocZ(std::strlen(path) + 1));
  char* out = updated;
  bool removed = false;
  bool first = true;
  for (const char* entry = path;;) {
    const char* end = std::strchr(entry, ';');
    const size_t length = end ? size_t(end - entry) : std::strlen(entry);
    if (IsEntry(entry, length, folder, folderLength)) {
      removed = true;
    } else {
      if (!first) *out++ = ';';
      out = static_cast<char*>(std::memcpy(out, entry, length)) + length;
      first = false;
    }
    if (!end) break;
    entry = end + 1;
  }
  *out = '\0';
  if (removed) SetEnvironmentVariableA("PATH", updated);
  HeapFreeZ(updated);
}

}  // namespace

BOOL UpdatePathEnvironment(const char* filePath, BOOL add) {
  if (IsEmptyString(filePath)) return TRUE;
  const char* slash = std::strrchr(filePath, '\\');
  if (!slash || slash == filePath) return TRUE;  // no folder to name
  const size_t folderLength = size_t(slash - filePath);
  char* folder = nullptr;
  char* path = nullptr;
  try {
    folder = StrDupExtra(filePath, 0);
    folder[folderLength] = '\0';
    path = ReadPath();
    if (!add) {
      RemoveEntries(path, folder, folderLength);
    } else if (!HasEntry(path, folder, folderLength)) {
      AddEntry(path, folder);
    }
  } catch (...) {
    // Out of memory: PATH stays as it was.
  }
  HeapFreeZ(path);
  HeapFreeZ(folder);
  return TRUE;
}
