#include "foundation/colour_text.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// [begin, end) compared with a lower-case word, ignoring case.
bool EqualsWord(const char* begin, const char* end, const char* word) {
  size_t n = strlen(word);
  if (size_t(end - begin) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Lower(begin[i]) != word[i]) return false;
  return true;
}

uint32_t ParseHex(const char* p, const char* end) {
  const size_t n = size_t(end - p);
  if (n != 3 && n != 6 && n != 8) return 0;
  uint32_t value = 0;
  for (const char* q = p; q < end; ++q) {
    int d = HexDigit(*q);
    if (d < 0) return 0;
    value = value << 4 | uint32_t(d);
  }
  if (n == 3) {
    // #RGB: each digit stands for itself twice.
    uint32_t r = value >> 8 & 0xF, g = value >> 4 & 0xF, b = value & 0xF;
    return kOpaque | (r * 0x11) << 16 | (g * 0x11) << 8 | b * 0x11;
  }
  return n == 6 ? kOpaque | value : value;
}

void SkipBlanks(const char** p, const char* end) {
  while (*p < end && IsBlank(**p)) ++*p;
}

// A channel: an optional sign and decimal digits, clamped to 0..255.
bool ReadChannel(const char** p, const char* end, uint32_t* out) {
  SkipBlanks(p, end);
  bool negative = false;
  if (*p < end && (**p == '-' || **p == '+')) negative = *(*p)++ == '-';
  const char* digits = *p;
  uint32_t value = 0;
  while (*p < end && **p >= '0' && **p <= '9') {
    if (value < 256) value = value * 10 + uint32_t(**p - '0');
    ++*p;
  }
  if (*p == digits) return false;
  *out = negative ? 0 : value > 255 ? 255 : value;
  SkipBlanks(p, end);
  return true;
}

// An alpha fraction from 0 to 1 ("0", "1", "0.5", ".25"), as 0..255.
bool ReadAlpha(const char** p, const char* end, uint32_t* out) {
  SkipBlanks(p, end);
  bool negative = false;
  if (*p < end && (**p == '-' || **p == '+')) negative = *(*p)++ == '-';
  double value = 0;
  bool any = false;
  while (*p < end && **p >= '0' && **p <= '9') {
    if (value < 10) value = value * 10 + (**p - '0');
    ++*p;
    any = true;
  }
  if (*p < end && **p == '.') {
    ++*p;
    double scale = 0.1;
    while (*p < end && **p >= '0' && **p <= '9') {
      value += (**p - '0') * scale;
      scale /= 10;
      ++*p;
      any = true;
    }
  }
  if (!any) return false;
  if (negative) value = 0;
  if (value > 1) value = 1;
  *out = uint32_t(value * 255 + 0.5);
  SkipBlanks(p, end);
  return true;
}

// "rgb(" or "rgba(" has been read; p is after the parenthesis.
uint32_t ParseFunction(const char* p, const char* end, bool withAlpha) {
  uint32_t r = 0, g = 0, b = 0, a = 255;
  if (!ReadChannel(&p, end, &r) || p == end || *p++ != ',') return 0;
  if (!ReadChannel(&p, end, &g) || p == end || *p++ != ',') return 0;
  if (!ReadChannel(&p, end, &b)) return 0;
  if (withAlpha && (p == end || *p++ != ',' || !ReadAlpha(&p, end, &a))) return 0;
  if (p == end || *p++ != ')' || p != end) return 0;
  return a << 24 | r << 16 | g << 8 | b;
}

struct NamedColour {
  const char* name;
  uint32_t argb;
};

constexpr NamedColour kNames[] = {
    {"black", 0xFF000000},  {"silver", 0xFFC0C0C0}, {"gray", 0xFF808080},
    {"white", 0xFFFFFFFF},  {"maroon", 0xFF800000}, {"red", 0xFFFF0000},
    {"purple", 0xFF800080}, {"fuchsia", 0xFFFF00FF}, {"green", 0xFF008000},
    {"lime", 0xFF00FF00},   {"olive", 0xFF808000},  {"yellow", 0xFFFFFF00},
    {"navy", 0xFF000080},   {"blue", 0xFF0000FF},   {"teal", 0xFF008080},
    {"aqua", 0xFF00FFFF},   {"transparent", 0x00000000},
};

}  // namespace

uint32_t ParseColorToARGB(const char* text) {
  if (!text) return 0;
  const char* p = text;
  const char* end = text + strlen(text);
  while (p < end && IsBlank(*p)) ++p;
  while (end > p && IsBlank(end[-1])) --end;
  if (p == end) return 0;
  if (*p == '#') return ParseHex(p + 1, end);
  const char* paren = static_cast<const char*>(memchr(p, '(', size_t(end - p)));
  if (paren) {
    const char* name = p;
    const char* nameEnd = paren;
    while (nameEnd > name && IsBlank(nameEnd[-1])) --nameEnd;
    if (EqualsWord(name, nameEnd, "rgb")) return ParseFunction(paren + 1, end, false);
    if (EqualsWord(name, nameEnd, "rgba")) return ParseFunction(paren + 1, end, true);
    return 0;
  }
  for (const auto& named : kNames)
    if (EqualsWord(p, end, named.name)) return named.argb;
  return 0;
}
