// The counted-text helpers that served texts and macros are edited with, on
// any bytes: FindBytes against a plain search written here (from any start,
// also far past the end), ReplaceAllBytes and TextReplaceAll against a plain
// left-to-right replacement, and ReplaceBufferSpan at any offset and length.
// Input: a flags byte (bit 0 case-sensitive), two bytes of start offset, a
// pattern length byte, the pattern, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/replace_all.h"

namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

size_t PlainFind(const std::string& text, size_t from, const std::string& pattern, bool caseSensitive) {
  if (pattern.empty()) return text.size();
  for (size_t at = from; at < text.size() && pattern.size() <= text.size() - at; ++at) {
    size_t i = 0;
    while (i < pattern.size() &&
           (caseSensitive ? text[at + i] == pattern[i] : Fold(text[at + i]) == Fold(pattern[i])))
      ++i;
    if (i == pattern.size()) return at;
  }
  return text.size();
}

std::string PlainReplace(const std::string& text, const std::string& pattern, const std::string& by,
                         bool caseSensitive, size_t* count) {
  std::string out;
  size_t from = 0;
  *count = 0;
  for (size_t at = PlainFind(text, 0, pattern, caseSensitive); at < text.size();
       at = PlainFind(text, from, pattern, caseSensitive)) {
    out.append(text, from, at - from);
    out += by;
    from = at + pattern.size();
    ++*count;
  }
  out.append(text, from, std::string::npos);
  return out;
}

char* HeapText(const std::string& text) {
  auto* block = static_cast<char*>(HeapAllocZ(text.size()));
  std::memcpy(block, text.data(), text.size());
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const bool caseSensitive = data[0] & 1;
  const size_t from = size_t(data[1]) | size_t(data[2]) << 8;
  size_t patternLength = data[3];
  if (patternLength > size - 4) patternLength = size - 4;
  std::string pattern(reinterpret_cast<const char*>(data + 4), patternLength);
  pattern.resize(std::strlen(pattern.c_str()));  // a C text: up to its first NUL
  const std::string text(reinterpret_cast<const char*>(data + 4 + patternLength), size - 4 - patternLength);

  for (size_t start : {from, text.size() + from, SIZE_MAX - from}) {
    const size_t expected = start > text.size() ? text.size() : PlainFind(text, start, pattern, caseSensitive);
    if (FindBytes(text.data(), text.size(), start, pattern.c_str(), caseSensitive) != expected) abort();
  }

  const std::string by = pattern.empty() ? std::string() : std::string(pattern.rbegin(), pattern.rend()) + "<>";
  size_t expectedCount = 0;
  const std::string expected = PlainReplace(text, pattern, by, caseSensitive, &expectedCount);
  char* edited = HeapText(text);
  size_t length = text.size();
  const size_t count = ReplaceAllBytes(&edited, &length, pattern.c_str(), by.c_str(), caseSensitive);
  if (count != expectedCount || std::string(edited, length) != expected || edited[length] != 0) abort();
  HeapFreeZ(edited);

  if (caseSensitive) {
    std::string copy = text;
    if (TextReplaceAll(copy, pattern.c_str(), by.c_str()) != expectedCount || copy != expected) abort();
  }

  // A span anywhere, even past the end: clamped to the text.
  char* spanned = HeapText(text);
  length = text.size();
  const size_t offset = from % (text.size() + 8);
  const size_t oldLength = patternLength;
  const size_t after = ReplaceBufferSpan(&spanned, &length, offset, oldLength, by.data(), by.size());
  const size_t at = offset > text.size() ? text.size() : offset;
  const size_t removed = oldLength > text.size() - at ? text.size() - at : oldLength;
  const std::string spanExpected = text.substr(0, at) + by + text.substr(at + removed);
  if (after != at + by.size() || std::string(spanned, length) != spanExpected || spanned[length] != 0) abort();
  HeapFreeZ(spanned);
  return 0;
}
