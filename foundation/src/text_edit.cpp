// In-place editing of texts: trimming, replacing, prepending, escaping for
// script literals and accent folding.
#include <cstring>

#include "foundation/text.h"
#include "text_internal.h"

using zeqtext::FindPart;
using zeqtext::TrimBlanksIn;

char* TrimBlanks(char* text) { return TrimBlanksIn(text); }

wchar_t* TrimBlanksW(wchar_t* wide) { return TrimBlanksIn(wide); }

static bool IsQuote(char c) { return c == '"' || c == '\''; }

char* TrimAndUnquote(char* text) {
  if (!TrimBlanksIn(text)) return text;
  size_t n = strlen(text);
  if (n >= 2 && IsQuote(text[0]) && IsQuote(text[n - 1])) {
    memmove(text, text + 1, n - 2);
    text[n - 2] = '\0';
  }
  return text;
}

wchar_t* TrimAndUnquoteW(wchar_t* wide) {
  if (!TrimBlanksIn(wide)) return wide;
  size_t start = 0;
  if (wide[start] == L'"') ++start;
  if (wide[start] == L'\'') ++start;
  size_t end = wcslen(wide);
  if (end > start && wide[end - 1] == L'"') --end;
  if (end > start && wide[end - 1] == L'\'') --end;
  memmove(wide, wide + start, (end - start) * sizeof(wchar_t));
  wide[end - start] = L'\0';
  return wide;
}

char* TrimChar(char* text, char character) {
  if (!text || !character) return text;
  char* start = text;
  while (*start == character) ++start;
  size_t n = strlen(start);
  while (n && start[n - 1] == character) --n;
  memmove(text, start, n);
  text[n] = '\0';
  return text;
}

size_t StrReplaceAll(char* text, const char* from, const char* to, bool caseSensitive) {
  if (!text || IsEmptyString(from) || !to || strcmp(from, to) == 0) return 0;
  const size_t fromLength = strlen(from);
  const size_t toLength = strlen(to);
  size_t count = 0;
  for (char* p = text; (p = const_cast<char*>(FindPart<char>(p, from, caseSensitive, 0)));) {
    memmove(p + toLength, p + fromLength, strlen(p + fromLength) + 1);
    memcpy(p, to, toLength);
    p += toLength;
    ++count;
  }
  return count;
}

char* StrReplaceChar(char* text, char from, char to) {
  if (!text || !from) return text;
  char* out = text;
  for (const char* in = text; *in; ++in) {
    if (*in != from) {
      *out++ = *in;
    } else if (to) {
      *out++ = to;
    }
  }
  *out = '\0';
  return text;
}

char* StrCollapseDoubledChar(char* text, char character) {
  if (!text || !character) return text;
  char* out = text;
  for (const char* in = text; *in; ++in) {
    *out++ = *in;
    if (*in == character && in[1] == character) ++in;
  }
  *out = '\0';
  return text;
}

char* StrDeleteFirstChar(char* text) {
  if (text && *text) memmove(text, text + 1, strlen(text));
  return text;
}

char* StrPrepend(const char* prefix, char* text) {
  if (!text || IsEmptyString(prefix)) return text;
  size_t n = strlen(prefix);
  memmove(text + n, text, strlen(text) + 1);
  memmove(text, prefix, n);
  return text;
}

static char ScriptEscape(char c) {
  switch (c) {
    case '\\': return '\\';
    case '\r': return 'r';
    case '\n': return 'n';
    case '\t': return 't';
    case '"': return '"';
    case '\'': return '\'';
    default: return 0;
  }
}

size_t EscapeScriptString(char* text, bool countOnly) {
  if (!text) return 0;
  size_t length = 0, growth = 0;
  for (; text[length]; ++length) growth += ScriptEscape(text[length]) != 0;
  if (countOnly) return growth;
  // Filled from the end so every character moves once.
  char* out = text + length + growth;
  *out = '\0';
  for (size_t i = length; i-- > 0;) {
    char escaped = ScriptEscape(text[i]);
    if (escaped) {
      *--out = escaped;
      *--out = '\\';
    } else {
      *--out = text[i];
    }
  }
  return 0;
}

// Base letter of each accented code page 1252 letter, 0 for the others.
static char BaseLetter(unsigned char c) {
  static const struct {
    const char* bytes;
    char base;
  } kFolds[] = {
      {"\xC0\xC1\xC2\xC3\xC4\xC5", 'A'}, {"\xE0\xE1\xE2\xE3\xE4\xE5", 'a'},
      {"\xD2\xD3\xD4\xD5\xD6\xD8", 'O'}, {"\xF2\xF3\xF4\xF5\xF6\xF8", 'o'},
      {"\xC8\xC9\xCA\xCB", 'E'},         {"\xE8\xE9\xEA\xEB\xF0", 'e'},
      {"\xC7", 'C'},                     {"\xE7", 'c'},
      {"\xD0", 'D'},                     {"\xCC\xCD\xCE\xCF", 'I'},
      {"\xEC\xED\xEE\xEF", 'i'},         {"\xD9\xDA\xDB\xDC", 'U'},
      {"\xF9\xFA\xFB\xFC", 'u'},         {"\xD1", 'N'},
      {"\xF1", 'n'},                     {"\xFF\xFD", 'y'},
  };
  if (c < 0xC0) return 0;
  for (const auto& fold : kFolds) {
    if (strchr(fold.bytes, static_cast<char>(c))) return fold.base;
  }
  return 0;
}

char* RemoveAccents(char* text) {
  if (!text) return text;
  for (char* p = text; *p; ++p) {
    char base = BaseLetter(static_cast<unsigned char>(*p));
    if (base) *p = base;
  }
  return text;
}
