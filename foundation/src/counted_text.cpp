// Searching and editing counted heap texts.
#include "foundation/counted_text.h"

#include <cstring>

#include "foundation/heap.h"

namespace {

inline unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

bool MatchesAt(const char* at, const char* pattern, size_t n, bool caseSensitive) {
  if (caseSensitive) return std::memcmp(at, pattern, n) == 0;
  for (size_t i = 0; i < n; ++i) {
    if (Fold(static_cast<unsigned char>(at[i])) != Fold(static_cast<unsigned char>(pattern[i]))) return false;
  }
  return true;
}

}  // namespace

size_t FindBytes(const char* text, size_t length, size_t from, const char* pattern, bool caseSensitive) {
  const size_t n = pattern ? std::strlen(pattern) : 0;
  // from is compared with the last start that fits, never added to: a start
  // near SIZE_MAX would wrap and read before the text.
  if (!text || !n || n > length || from > length - n) return length;
  for (size_t at = from; at <= length - n; ++at) {
    if (MatchesAt(text + at, pattern, n, caseSensitive)) return at;
  }
  return length;
}

bool ContainsBytes(const char* data, size_t n, const char* text) {
  return text && *text && FindBytes(data, n, 0, text, true) < n;
}

size_t ReplaceBufferSpan(char** text, size_t* length, size_t offset, size_t oldLength,
                         const char* replacement, size_t newLength) {
  size_t n = *length;
  if (offset > n) offset = n;
  if (oldLength > n - offset) oldLength = n - offset;
  const size_t tail = n - offset - oldLength;
  if (newLength > oldLength) {
    *text = static_cast<char*>(HeapReAllocZ(*text, n + (newLength - oldLength) + 3));
  }
  char* t = *text;
  std::memmove(t + offset + newLength, t + offset + oldLength, tail);
  if (newLength) std::memcpy(t + offset, replacement, newLength);
  n = n - oldLength + newLength;
  t[n] = '\0';
  *length = n;
  return offset + newLength;
}

size_t ReplaceAllBytes(char** text, size_t* length, const char* pattern, const char* replacement,
                       bool caseSensitive) {
  const size_t patternLength = pattern ? std::strlen(pattern) : 0;
  if (!text || !*text || !patternLength) return 0;
  const size_t replacementLength = replacement ? std::strlen(replacement) : 0;
  // Counted first, so the text is built once whatever the number of hits.
  size_t count = 0;
  for (size_t at = FindBytes(*text, *length, 0, pattern, caseSensitive); at < *length;
       at = FindBytes(*text, *length, at + patternLength, pattern, caseSensitive)) {
    ++count;
  }
  if (!count) return 0;
  const size_t made = *length - count * patternLength + count * replacementLength;
  char* out = static_cast<char*>(HeapAllocZ(made + 1));
  size_t o = 0;
  size_t from = 0;
  for (size_t at = FindBytes(*text, *length, 0, pattern, caseSensitive); at < *length;
       at = FindBytes(*text, *length, from, pattern, caseSensitive)) {
    std::memcpy(out + o, *text + from, at - from);
    o += at - from;
    if (replacementLength) std::memcpy(out + o, replacement, replacementLength);
    o += replacementLength;
    from = at + patternLength;
  }
  std::memcpy(out + o, *text + from, *length - from);
  HeapFreeZ(*text);
  *text = out;
  *length = made;
  return count;
}
