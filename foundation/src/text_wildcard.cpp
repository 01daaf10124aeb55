// Wildcard patterns ('?' one character, '*' any run) and pattern lists with
// exclusions.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "text_internal.h"

using zeqtext::SameChar;
using zeqtext::ScanOutsideQuotes;

BOOL WildcardMatch(char* pattern, const char* text, unsigned flags, const char** end) {
  if (end) *end = nullptr;
  if (!pattern || !text) return FALSE;
  while (strstr(pattern, "**")) StrCollapseDoubledChar(pattern, '*');
  const bool caseSensitive = flags & kWildcardCaseSensitive;
  const bool textWildcards = flags & kWildcardInText;
  const size_t m = strlen(pattern);
  const size_t n = strlen(text);

  // matches(i, j): pattern from i matches text from j. Computed from the
  // ends backwards one pattern row at a time (next = row i + 1), so the cost
  // is m x n steps and 2 x (n + 1) bytes, with no backtracking blow-up.
  auto* rows = static_cast<unsigned char*>(HeapAllocZ(2 * (n + 1)));
  unsigned char* next = rows;
  unsigned char* row = rows + n + 1;
  next[n] = 1;
  for (size_t j = n; j-- > 0;) next[j] = textWildcards && text[j] == '*' && next[j + 1];
  for (size_t i = m; i-- > 0;) {
    const char p = pattern[i];
    row[n] = p == '*' ? next[n] : 0;
    for (size_t j = n; j-- > 0;) {
      const char t = text[j];
      bool match;
      if (p == '*') {
        match = next[j] || row[j + 1];
      } else {
        match = (p == '?' || (textWildcards && t == '?') || SameChar(p, t, caseSensitive)) &&
                next[j + 1];
        if (textWildcards && t == '*') match = match || row[j + 1] || next[j];
      }
      row[j] = match;
    }
    unsigned char* swap = next;
    next = row;
    row = swap;
  }
  BOOL result = next[0] ? TRUE : FALSE;
  HeapFreeZ(rows);
  if (result && end) *end = text + n;
  return result;
}

BOOL WildcardMatchList(const char* patterns, const char* text, unsigned flags) {
  if (IsEmptyString(patterns) || strcmp(patterns, "*") == 0) return TRUE;
  if (!text) return FALSE;
  char* list = StrDupExtra(patterns, 0);
  bool lastWasExclusion = false;
  int decided = -1;
  for (char* item = list; item && decided == -1;) {
    char* comma = const_cast<char*>(
        ScanOutsideQuotes<char>(item, kFindSkipDoubleQuotes, [](const char* p) { return *p == ','; }));
    if (comma) *comma = '\0';
    TrimAndUnquote(item);
    lastWasExclusion = item[0] == '-';
    if (WildcardMatch(item + (lastWasExclusion ? 1 : 0), text, flags, nullptr)) {
      decided = lastWasExclusion ? FALSE : TRUE;
    }
    item = comma ? comma + 1 : nullptr;
  }
  HeapFreeZ(list);
  if (decided != -1) return decided;
  return lastWasExclusion ? TRUE : FALSE;
}
