// Small span and character helpers of the SIP text code (internal).
// Pure logic: standard headers only.
#pragma once
#include <cstddef>
#include <cstring>

struct SIPSpan {
  const char* p;
  size_t n;
};

inline bool SIPIsBlank(char c) { return c == ' ' || c == '\t'; }
inline char SIPLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline SIPSpan SIPTrim(SIPSpan s) {
  while (s.n && SIPIsBlank(s.p[0])) ++s.p, --s.n;
  while (s.n && SIPIsBlank(s.p[s.n - 1])) --s.n;
  return s;
}
inline SIPSpan SIPSpanOf(const char* text) { return {text, text ? strlen(text) : 0}; }

bool SIPSpanEqualsNoCase(SIPSpan s, const char* word);
// The same against a literal, its length known when compiled.
template <size_t N>
inline bool SIPSpanIs(SIPSpan s, const char (&word)[N]) {
  if (s.n != N - 1) return false;
  for (size_t i = 0; i < N - 1; ++i)
    if (SIPLower(s.p[i]) != SIPLower(word[i])) return false;
  return true;
}
bool SIPStartsWithNoCase(const char* text, size_t n, const char* word);
// A SIP-Version token: "SIP" (any case), "/", digits, ".", digits. Only
// "SIP/2.0" is served; the others are recognised so they can be refused
// with 505.
bool SIPIsVersionToken(SIPSpan s);
int SIPCompareNoCase(const char* a, const char* b);
// First occurrence of c outside double quotes (a backslash escapes the next
// character inside quotes); n when none.
size_t SIPFindOutsideQuotes(SIPSpan s, char c);
// Copies the span into out[size], always terminated; false when it was cut.
bool SIPCopySpan(char* out, size_t size, SIPSpan s);
// Same, with every blank and tab outside double quotes removed.
bool SIPCopyWithoutBlanks(char* out, size_t size, SIPSpan s);
// Removes one pair of enclosing double quotes.
SIPSpan SIPUnquote(SIPSpan s);
// Decimal number of a span (leading blanks skipped); false when there is no
// digit or the value does not fit 32 bits. Trailing text after the digits
// is allowed (as scanf's %d).
bool SIPSpanToInt(SIPSpan s, long* value);

// One parameter of a ";"- or ","-separated list: name and value (value empty
// and hasValue false for a name without "=").
struct SIPParam {
  SIPSpan name;
  SIPSpan value;
  bool hasValue;
};
// Splits the next parameter off `rest` (separator outside quotes); false
// when rest is empty.
bool SIPNextParam(SIPSpan* rest, char separator, SIPParam* param);
