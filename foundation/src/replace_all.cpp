#include "foundation/replace_all.h"

#include <cstring>

size_t TextReplaceAll(std::string& text, const char* pattern, const char* replacement) {
  if (!pattern || !*pattern) return 0;
  const size_t patternLength = strlen(pattern);
  const size_t replacementLength = replacement ? strlen(replacement) : 0;
  size_t count = 0;
  for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at)) {
    text.replace(at, patternLength, replacement ? replacement : "", replacementLength);
    at += replacementLength;
    ++count;
  }
  return count;
}
