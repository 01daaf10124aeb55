// Small ASCII text tests shared by the definitions and skin readers. Only
// the ASCII letters fold; the rest of each byte is compared as it is.
#pragma once
#include <cstddef>
#include <cstring>

namespace ascii {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// text[n] equals word, ignoring case.
inline bool EqualsNoCase(const char* text, size_t n, const char* word) {
  if (strlen(word) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Lower(text[i]) != Lower(word[i])) return false;
  return true;
}
inline bool EqualsNoCase(const char* text, const char* word) {
  return EqualsNoCase(text, strlen(text), word);
}
// text begins with prefix, ignoring case.
inline bool BeginsNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (Lower(*text) != Lower(*prefix)) return false;
  return true;
}

}  // namespace ascii
