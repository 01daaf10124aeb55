// Loader-relative paths and script path arguments.
#include "package/path_expand.h"

#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "package/definitions_list.h"
#include "package/macros.h"
#include "package/paths.h"
#include "path_blocks.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Inserts text at offset of the heap block, growing it.
void InsertAt(char** path, size_t offset, const char* text) {
  const size_t length = strlen(text);
  EnsurePathBlock(path, strlen(*path) + length);
  char* at = *path + offset;
  memmove(at + length, at, strlen(at) + 1);
  memcpy(at, text, length);
}

// The loader's folder from the start-up definitions, as a heap copy.
char* CopyLoaderFolder() {
  DefinitionsList* definitions = GetStartupDefinitions();
  if (!definitions) return nullptr;
  ZEQLockGuard guard(definitions->lock);
  int found = 0;
  const char* value = DefinitionGetValue(definitions, "", "loader", nullptr, &found);
  return found && !IsEmptyString(value) ? StrDupExtra(value, 0) : nullptr;
}

}  // namespace

BOOL ExpandLoaderRelativePath(char** path, size_t capacity, const char* baseFolder) {
  if (!path || IsEmptyString(*path)) return FALSE;
  const size_t offset = StripVirtualPrefix(*path, FALSE) ? kZEQVirtualPrefixLength : 0;
  ExpandEnvironmentInPlace(path, offset);
  if (int expanded = ExpandPathAliases(path, capacity, 0)) return expanded;
  if (!IsUnresolvedRelativePath(*path + offset)) return FALSE;

  const char* text = *path + offset;
  if (IsSeparator(text[0]) && !IsSeparator(text[1])) {
    char* loader = CopyLoaderFolder();
    if (loader) {
      // One separator between folder and path, not two.
      const size_t n = strlen(loader);
      if (n && IsSeparator(loader[n - 1])) loader[n - 1] = '\0';
      InsertAt(path, offset, loader);
      HeapFreeZ(loader);
    }
    char* body = *path + offset;
    if (body[0] == '\\') {
      StrReplaceChar(body, '/', '\\');
    } else {
      StrReplaceChar(body, '\\', '/');
    }
    return TRUE;
  }
  if (IsEmptyString(baseFolder)) return FALSE;
  const size_t n = strlen(baseFolder);
  if (!IsSeparator(baseFolder[n - 1])) InsertAt(path, offset, "\\");
  InsertAt(path, offset, baseFolder);
  SmartNormalizePathInPlace(*path + offset);
  return TRUE;
}

char* VariantToExpandedPath(const VARIANT* v, size_t extra, BOOL normalise) {
  char* text = v ? VariantToStrDup(v, extra) : nullptr;
  if (IsEmptyString(text)) return text;
  text = ProcessMacros(text, nullptr, nullptr, kMacroGrow);
  ExpandLoaderRelativePath(&text, 0, nullptr);
  if (normalise) SmartNormalizePathInPlace(text);
  // The room asked for stays after the expanded text too.
  EnsurePathBlock(&text, strlen(text) + extra);
  return text;
}
