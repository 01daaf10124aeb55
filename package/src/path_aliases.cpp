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

size_t CountOccurrences(const char* text, const char* part) {
  size_t count = 0;
  const size_t length = strlen(part);
  for (const char* at = strstr(text, part); at; at = strstr(at + length, part)) ++count;
  return count;
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

  strcat(name, ":");
  const size_t from = strlen(name);
  const size_t to = strlen(styled);
  const size_t occurrences = CountOccurrences(*path, name);
  EnsurePathBlock(path, strlen(*path) + occurrences * (to > from ? to - from : 0));
  StrReplaceAll(*path, name, styled, true);
  HeapFreeZ(styled);
  HeapFreeZ(name);
  // An alias followed directly by a name is brought to one path form.
  if (!separator) SmartNormalizePathInPlace(*path);
  if (prefixed) StripVirtualPrefix(*path, TRUE);
  return 1;
}
