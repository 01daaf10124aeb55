// Readers of parameter texts: name=value parameters (SIP header
// parameters, settings lists), option words, position specifications and
// integer pairs. They read untrusted input: every read stops at the text's
// terminator and every copy respects the caller's buffer size.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "foundation/text.h"
#include "text_internal.h"

using zeqtext::FindPart;
using zeqtext::IsBlank;
using zeqtext::SameText;

bool CharInSet(char c, const char* set) {
  if (!c || !set) return false;
  bool negated = *set == '^';
  if (negated) ++set;
  bool listed = strchr(set, c) != nullptr;
  return negated ? !listed : listed;
}

// A missing or empty value set takes every character.
static bool InValueSet(char c, const char* endSet) {
  return !endSet || !*endSet || CharInSet(c, endSet);
}

// The name matched at match is a whole token when the run of value-set
// characters before it, together with the name and trimmed of blanks, is the
// name itself (so "tag" inside "to-tag" is not).
static bool IsWholeToken(const char* text, const char* match, const char* name, size_t nameLength,
                         const char* endSet, bool caseSensitive) {
  const char* start = match;
  while (start > text && CharInSet(start[-1], endSet)) --start;
  const char* end = match + nameLength;
  while (start < end && IsBlank(*start)) ++start;
  while (end > start && IsBlank(end[-1])) --end;
  return size_t(end - start) == nameLength && SameText(start, name, nameLength, caseSensitive);
}

char* GetParameterValue(char* text, const char* name, char* value, size_t valueSize,
                        const char* skipSet, const char* endSet, unsigned flags,
                        unsigned* found) {
  if (found) *found = 0;
  if (value && valueSize) value[0] = '\0';
  if (!text || !*text) return text;
  const bool caseSensitive = flags & kParamCaseSensitive;
  const bool quoteAware = flags & kParamQuoteAware;
  const bool hasEndSet = endSet && *endSet;
  unsigned foundFlags = 0;

  // [cutFrom, position) is what cut mode removes: it is always one run.
  char* cutFrom = text;
  char* position = text;
  if (name && *name) {
    const size_t nameLength = strlen(name);
    const unsigned quotes = quoteAware ? kFindSkipDoubleQuotes : 0;
    const char* match = FindPart<char>(text, name, caseSensitive, quotes);
    while (match && (flags & kParamWholeToken) && match != text && hasEndSet &&
           !IsWholeToken(text, match, name, nameLength, endSet, caseSensitive)) {
      match = FindPart<char>(match + nameLength, name, caseSensitive, quotes);
    }
    if (!match) return text;
    foundFlags |= kParamFound;
    cutFrom = const_cast<char*>(match);
    position = cutFrom + nameLength;
  }
  if (skipSet && *skipSet) {
    while (*position && !CharInSet(*position, skipSet)) ++position;
  }

  size_t copied = 0;
  bool inQuotes = false;
  char previous = position > text ? position[-1] : '\0';
  for (; *position; previous = *position++) {
    const char c = *position;
    const bool quote = quoteAware && c == '"' && previous != '\\';
    if (!inQuotes && !quote && !InValueSet(c, endSet)) break;
    if (quote) inQuotes = !inQuotes;
    if (value) {
      if (copied + 1 < valueSize) {
        value[copied++] = c;
      } else {
        foundFlags |= kParamValueCut;
      }
    }
  }
  if (value && valueSize) value[copied] = '\0';

  if ((flags & kParamEatSeparators) && hasEndSet) {
    if (*position) {
      while (*position && !CharInSet(*position, endSet)) ++position;
    } else if (flags & kParamCut) {
      // The value ended the text: take the separators before it too, so none
      // is left dangling at the end.
      while (cutFrom > text && !CharInSet(cutFrom[-1], endSet)) --cutFrom;
    } else {
      while (position > text && !CharInSet(position[-1], endSet)) --position;
    }
  }
  if (found) *found = foundFlags;
  if (!(flags & kParamCut)) return position;
  memmove(cutFrom, position, strlen(position) + 1);
  return cutFrom;
}

const char* FindOptionWord(const char* text, const char* word, bool caseSensitive) {
  if (IsEmptyString(text) || IsEmptyString(word)) return nullptr;
  const char* match = FindPart<char>(text, word, caseSensitive, kFindSkipDoubleQuotes);
  if (!match) return nullptr;
  if (match != text && !strchr(" ,;", match[-1])) return nullptr;
  const char* after = match + strlen(word);
  if (*after && !strchr(" ,;=:", *after)) return nullptr;
  return after;
}

// atoi without its undefined overflow: clamped to the int range.
static int ReadInt(const char* text) {
  long long n = strtoll(text, nullptr, 10);
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

const char* ParseRectSpec(const char* text, int out[4], const RECT* reference) {
  if (!out) return text;
  out[0] = out[1] = out[2] = out[3] = 0;
  if (!text) return nullptr;
  const char* field = text;
  for (int i = 0; i < 4; ++i) {
    const char* comma = strchr(field, ',');
    const char* end = comma ? comma : field + strlen(field);
    int n = ReadInt(field);
    const void* percent = memchr(field, '%', size_t(end - field));
    if (percent && reference) {
      // x and w are shares of the right edge, y and h of the bottom edge.
      int base = (i % 2 == 0) ? reference->right : reference->bottom;
      out[i] = PercentOf(n < 1 ? 100 + n : n, base);
    } else {
      out[i] = n;
    }
    if (!comma) return i == 3 ? end : nullptr;
    field = comma + 1;
  }
  return field;
}

const char* ParseIntPair(const char* text, int out[2]) {
  if (!out) return nullptr;
  out[0] = out[1] = 0;
  if (IsEmptyString(text)) return nullptr;
  out[0] = ReadInt(text);
  const char* comma = strchr(text, ',');
  if (!comma) return nullptr;
  out[1] = ReadInt(comma + 1);
  comma = strchr(comma + 1, ',');
  return comma ? comma + 1 : nullptr;
}
