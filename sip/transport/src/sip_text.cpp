#include "sip_text.h"

#include <cstring>

#include <climits>

bool SIPSpanEqualsNoCase(SIPSpan s, const char* word) {
  size_t n = strlen(word);
  if (n != s.n) return false;
  for (size_t i = 0; i < n; ++i)
    if (SIPLower(s.p[i]) != SIPLower(word[i])) return false;
  return true;
}

bool SIPStartsWithNoCase(const char* text, size_t n, const char* word) {
  size_t w = strlen(word);
  if (w > n) return false;
  for (size_t i = 0; i < w; ++i)
    if (SIPLower(text[i]) != SIPLower(word[i])) return false;
  return true;
}

int SIPCompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = SIPLower(*a), y = SIPLower(*b);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    if (!x) return 0;
  }
}

size_t SIPFindOutsideQuotes(SIPSpan s, char c) {
  // Most texts hold no quote before the character looked for: two
  // library scans answer them.
  const char* hit = static_cast<const char*>(memchr(s.p, c, s.n));
  const size_t before = hit ? static_cast<size_t>(hit - s.p) : s.n;
  const char* quote = static_cast<const char*>(memchr(s.p, '"', before));
  if (!quote) return before;
  size_t i = static_cast<size_t>(quote - s.p);
  bool quoted = false;
  for (; i < s.n; ++i) {
    char ch = s.p[i];
    if (quoted) {
      if (ch == '\\' && i + 1 < s.n) ++i;
      else if (ch == '"') quoted = false;
    } else if (ch == '"') {
      quoted = true;
    } else if (ch == c) {
      return i;
    }
  }
  return s.n;
}

bool SIPCopySpan(char* out, size_t size, SIPSpan s) {
  if (!size) return s.n == 0;
  size_t n = s.n < size - 1 ? s.n : size - 1;
  if (n) memcpy(out, s.p, n);
  out[n] = 0;
  return n == s.n;
}

bool SIPCopyWithoutBlanks(char* out, size_t size, SIPSpan s) {
  if (!size) return false;
  size_t o = 0;
  bool quoted = false, cut = false;
  for (size_t i = 0; i < s.n; ++i) {
    char ch = s.p[i];
    if (!quoted && SIPIsBlank(ch)) continue;
    if (quoted && ch == '\\' && i + 1 < s.n) {
      if (o + 2 >= size) { cut = true; break; }
      out[o++] = ch;
      out[o++] = s.p[++i];
      continue;
    }
    if (ch == '"') quoted = !quoted;
    if (o + 1 >= size) { cut = true; break; }
    out[o++] = ch;
  }
  out[o] = 0;
  return !cut;
}

SIPSpan SIPUnquote(SIPSpan s) {
  s = SIPTrim(s);
  if (s.n >= 2 && s.p[0] == '"' && s.p[s.n - 1] == '"') return {s.p + 1, s.n - 2};
  return s;
}

bool SIPSpanToInt(SIPSpan s, long* value) {
  s = SIPTrim(s);
  size_t i = 0;
  bool negative = false;
  if (i < s.n && (s.p[i] == '-' || s.p[i] == '+')) negative = s.p[i++] == '-';
  if (i >= s.n || s.p[i] < '0' || s.p[i] > '9') return false;
  long long v = 0;
  for (; i < s.n && s.p[i] >= '0' && s.p[i] <= '9'; ++i) {
    v = v * 10 + (s.p[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  *value = static_cast<long>(v);
  return true;
}

bool SIPNextParam(SIPSpan* rest, char separator, SIPParam* param) {
  while (rest->n) {
    size_t end = SIPFindOutsideQuotes(*rest, separator);
    SIPSpan piece = SIPTrim({rest->p, end});
    if (end < rest->n) {
      rest->p += end + 1;
      rest->n -= end + 1;
    } else {
      rest->p += rest->n;
      rest->n = 0;
    }
    if (!piece.n) continue;
    size_t eq = SIPFindOutsideQuotes(piece, '=');
    if (eq < piece.n) {
      param->name = SIPTrim({piece.p, eq});
      param->value = SIPTrim({piece.p + eq + 1, piece.n - eq - 1});
      param->hasValue = true;
    } else {
      param->name = piece;
      param->value = {piece.p + piece.n, 0};
      param->hasValue = false;
    }
    return true;
  }
  return false;
}

bool SIPIsVersionToken(SIPSpan s) {
  if (s.n < 7 || !SIPStartsWithNoCase(s.p, s.n, "SIP/")) return false;
  size_t i = 4;
  size_t major = 0, minor = 0;
  while (i < s.n && s.p[i] >= '0' && s.p[i] <= '9') ++i, ++major;
  if (!major || i >= s.n || s.p[i] != '.') return false;
  ++i;
  while (i < s.n && s.p[i] >= '0' && s.p[i] <= '9') ++i, ++minor;
  return minor && i == s.n;
}
