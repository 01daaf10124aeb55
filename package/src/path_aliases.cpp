// Path aliases in paths: "alias:rest" becomes the alias's folder and rest.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "path_blocks.h"

namespace {

// A heap copy of the alias's folder, or NULL when the name is no alias.
char* CopyAliasFolder(const char* name) {
  ZEQList* aliases = PathAliases();
  if (!aliases) return nullptr;
  ZEQLockGuard guard(aliases->lock);
  const int at = aliases->FindSortedByName(name, ZEQLIST_BYTES, 0);
  if (at < 0) return nullptr;
  const char* folder = reinterpret_cast<const char*>(aliases->GetValueAt(at));
  return StrDupExtra(folder, 0);
}

// The folder with the separators the path uses after the alias.
char* StyledFolder(const char* folder, char separator, bool doubled) {
  char* styled = StrDupExtra(folder, strlen(folder));  // room for doubling
  if (separator == '\\') {
    StrReplaceChar(styled, '/', '\\');
    if (doubled) StrReplaceAll(styled, "\\", "\\\\", true);
  } else if (separator == '/') {
    StrReplaceChar(styled, '\\', '/');
    if (doubled) StrReplaceAll(styled, "/", "//", true);
  }
  return styled;
}

}  // namespace

int ExpandPathAliases(char** path, size_t capacity, int expandEnvironment) {
  (void)capacity;  // the block grows to what the expansion needs
  if (!path || IsEmptyString(*path)) return 0;
  const bool prefixed = StripVirtualPrefix(*path, FALSE) != 0;
  const size_t offset = prefixed ? kZEQVirtualPrefixLength : 0;
  if (expandEnvironment) ExpandEnvironmentInPlace(path, offset);
  const char* body = *path + offset;
  const char* colon = strchr(body, ':');
  if (!colon || colon == body) return 0;
  char* name = StrDupExtra(body, 1);
  name[colon - body] = '\0';
  char* folder = CopyAliasFolder(name);
  if (!folder) {
    HeapFreeZ(name);
    return 0;
  }
  const char first = colon[1];
  const char separator = (first == '\\' || first == '/') ? first : '\0';
  const bool doubled = separator && (colon[2] == '\\' || colon[2] == '/');
  char* styled = StyledFolder(folder, separator, doubled);
  HeapFreeZ(folder);

  // Only the leading alias is replaced: the same letters later in the path
  // belong to its rest ("data:\\old-data:x" keeps its second "data:").
  const size_t aliasEnd = static_cast<size_t>(colon + 1 - *path);
  const size_t rest = strlen(*path + aliasEnd);
  const size_t to = strlen(styled);
  EnsurePathBlock(path, offset + to + rest);
  memmove(*path + offset + to, *path + aliasEnd, rest + 1);
  memcpy(*path + offset, styled, to);
  HeapFreeZ(styled);
  HeapFreeZ(name);
  // An alias followed directly by a name is brought to one path form.
  if (!separator) SmartNormalizePathInPlace(*path);
  if (prefixed) StripVirtualPrefix(*path, TRUE);
  return 1;
}
