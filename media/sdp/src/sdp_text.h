// Bounded text scanning shared by the SDP reader and the codec choice.
#pragma once
#include <cstddef>
#include <cstring>

namespace sdptext {

struct Range {
  const char* begin;
  const char* end;
};

// The first occurrence of needle in [begin, end), or NULL.
inline const char* Find(const char* begin, const char* end, const char* needle) {
  const size_t n = strlen(needle);
  for (const char* p = begin; p < end && static_cast<size_t>(end - p) >= n; ++p)
    if (memcmp(p, needle, n) == 0) return p;
  return nullptr;
}

// The LF ending the line at line, or end.
inline const char* LineEnd(const char* line, const char* end) {
  const void* lf = memchr(line, '\n', static_cast<size_t>(end - line));
  return lf ? static_cast<const char*>(lf) : end;
}

inline const char* TrimCR(const char* begin, const char* end) { return end > begin && end[-1] == '\r' ? end - 1 : end; }

inline bool Equals(Range r, const char* word) {
  const size_t n = strlen(word);
  return static_cast<size_t>(r.end - r.begin) == n && memcmp(r.begin, word, n) == 0;
}

}  // namespace sdptext
