// Searching in narrow and wide texts, optionally outside quoted spans.
#include "foundation/text.h"
#include "text_internal.h"

using zeqtext::FindAnyOf;
using zeqtext::FindPart;
using zeqtext::SameChar;

const char* StrStrNoCase(const char* text, const char* part) {
  return FindPart(text, part, false, 0);
}

const wchar_t* StrStrNoCaseW(const wchar_t* wide, const wchar_t* part) {
  return FindPart(wide, part, false, 0);
}

const char* StrStrSafe(const char* text, const char* part) {
  return FindPart(text, part, true, 0);
}

const char* StrFindOutsideQuotes(const char* characters, const char* text, bool caseSensitive,
                                 bool skipQuotes) {
  return FindAnyOf(characters, text, caseSensitive, skipQuotes ? kFindSkipDoubleQuotes : 0);
}

const char* StrFindNoCaseOutsideQuotes(const char* text, const char* part, bool skipQuotes) {
  return FindPart(text, part, false, skipQuotes ? kFindSkipDoubleQuotes : 0);
}

const char* StrFindOutsideQuotes2(const char* text, const char* part) {
  return FindPart(text, part, true, kFindSkipDoubleQuotes);
}

const wchar_t* StrFindOutsideQuotesW(const wchar_t* characters, const wchar_t* wide,
                                     unsigned options) {
  return FindAnyOf(characters, wide, options & kFindCaseSensitive, options);
}

const wchar_t* StrFindCharOutsideQuotesW(wchar_t character, const wchar_t* wide, unsigned options) {
  const wchar_t characters[2] = {character, 0};
  return character ? StrFindOutsideQuotesW(characters, wide, options) : nullptr;
}

const wchar_t* StrFindW(const wchar_t* wide, const wchar_t* part, unsigned options) {
  return FindPart(wide, part, options & kFindCaseSensitive, options);
}

const char* StrFindNthChar(const char* text, char character, size_t n, bool caseSensitive) {
  if (!text || !character || n == 0) return nullptr;
  for (; *text; ++text) {
    if (SameChar(*text, character, caseSensitive) && --n == 0) return text;
  }
  return nullptr;
}

const char* StrFindChar(const char* text, char character, bool caseSensitive) {
  return StrFindNthChar(text, character, 1, caseSensitive);
}

const wchar_t* StrFindCharW(const wchar_t* wide, wchar_t character, bool caseSensitive) {
  if (!wide || !character) return nullptr;
  for (; *wide; ++wide) {
    if (SameChar(*wide, character, caseSensitive)) return wide;
  }
  return nullptr;
}

size_t StrCountChar(const char* text, char character, bool caseSensitive) {
  size_t count = 0;
  if (!text || !character) return 0;
  for (; *text; ++text) count += SameChar(*text, character, caseSensitive);
  return count;
}
