// Pieces shared by the text_*.cpp files: character folding, the quote-aware
// scanner every search is built on, and the code-page conversion cores.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cwctype>

#include "foundation/text.h"

namespace zeqtext {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Narrow texts fold the ASCII letters only; wide texts use towupper.
inline char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline wchar_t Fold(wchar_t c) { return static_cast<wchar_t>(towupper(c)); }

template <typename C>
inline bool SameChar(C a, C b, bool caseSensitive) {
  return caseSensitive ? a == b : Fold(a) == Fold(b);
}

// TRUE when the first n characters of a and b are equal; stops at a NUL of a.
template <typename C>
inline bool SameText(const C* a, const C* b, size_t n, bool caseSensitive) {
  for (size_t i = 0; i < n; ++i) {
    if (!a[i] || !SameChar(a[i], b[i], caseSensitive)) return false;
  }
  return true;
}

template <typename C>
inline size_t Length(const C* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Walks the text and returns the first position outside the quoted spans
// named by quotes (kFindSkipDoubleQuotes, kFindSkipSingleQuotes) at which
// at(position) holds. A quote preceded by a backslash neither opens nor
// closes a span; inside a span the other kind of quote is ordinary.
template <typename C, typename Predicate>
const C* ScanOutsideQuotes(const C* text, unsigned quotes, Predicate at) {
  if (!text) return nullptr;
  C open = 0;
  for (const C* p = text; *p; ++p) {
    if (!open && at(p)) return p;
    if (p > text && p[-1] == '\\') continue;
    if (open) {
      if (*p == open) open = 0;
    } else if ((*p == '"' && (quotes & kFindSkipDoubleQuotes)) ||
               (*p == '\'' && (quotes & kFindSkipSingleQuotes))) {
      open = *p;
    }
  }
  return nullptr;
}

// First occurrence of part (outside the named quoted spans); an empty part
// is found at the text start.
template <typename C>
const C* FindPart(const C* text, const C* part, bool caseSensitive, unsigned quotes) {
  if (!text || !part) return nullptr;
  size_t n = Length(part);
  return ScanOutsideQuotes(text, quotes,
                           [&](const C* p) { return SameText(p, part, n, caseSensitive); });
}

// First character of text that is one of characters.
template <typename C>
const C* FindAnyOf(const C* characters, const C* text, bool caseSensitive, unsigned quotes) {
  if (!characters || !text) return nullptr;
  return ScanOutsideQuotes(text, quotes, [&](const C* p) {
    for (const C* c = characters; *c; ++c) {
      if (SameChar(*p, *c, caseSensitive)) return true;
    }
    return false;
  });
}

// Removes leading and trailing blanks in place.
template <typename C>
C* TrimBlanksIn(C* text) {
  if (!text) return text;
  C* start = text;
  while (IsBlank(*start)) ++start;
  size_t n = Length(start);
  while (n && IsBlank(start[n - 1])) --n;
  for (size_t i = 0; i < n; ++i) text[i] = start[i];
  text[n] = 0;
  return text;
}

// Code-page conversion of length units (-1: up to and with the terminator)
// into a new heap text with room for extra units; out length (optional) is
// the converted units without the terminator. Null when the platform
// refuses the conversion.
wchar_t* MultiToWide(UINT codePage, const char* text, ptrdiff_t length, size_t extra,
                     size_t* outLength);
char* WideToMulti(UINT codePage, const wchar_t* wide, ptrdiff_t length, size_t extra,
                  size_t* outLength);

}  // namespace zeqtext
