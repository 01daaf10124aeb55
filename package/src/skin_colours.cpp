// Colour words of skins and their modifiers.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/skin_values.h"
#include "ascii_text.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

using ascii::EqualsNoCase;
using ascii::IsBlank;

struct NamedColour {
  const char* name;
  uint32_t argb;
};

constexpr NamedColour kNamedColours[] = {
    {"black", 0xFF000000}, {"white", 0xFFFFFFFF}, {"red", 0xFFFF0000},
    {"green", 0xFF00FF00}, {"blue", 0xFF0000BB},  {"pink", 0xFFFF00FF},
    {"gray", 0xFF808080},  {"yellow", 0xFFFFFF00}, {"cyan", 0xFF00FFFF},
};

// The number after a modifier's letter (strtol base 0); false without digits.
bool ReadModifier(const char* from, const char* name, long* value) {
  const char* at = strstr(from, name);
  if (!at) return false;
  const char* digits = at + strlen(name);
  char* end = nullptr;
  *value = strtol(digits, &end, 0);
  return end != digits;
}

double Channel(uint32_t colour, int shift) { return ((colour >> shift) & 0xFF) / 255.0; }

uint32_t ToByte(double value) { return static_cast<uint32_t>(std::floor(value * 255.0 + 0.5)); }

double HueToChannel(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 1.0 / 2) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

// The colour with its HSL lightness moved by delta (clamped to 0..1).
uint32_t AddLightness(uint32_t colour, double delta) {
  const double r = Channel(colour, 16), g = Channel(colour, 8), b = Channel(colour, 0);
  const double high = std::fmax(r, std::fmax(g, b)), low = std::fmin(r, std::fmin(g, b));
  double h = 0, s = 0, l = (high + low) / 2;
  if (high != low) {
    const double d = high - low;
    s = l > 0.5 ? d / (2 - high - low) : d / (high + low);
    if (high == r) {
      h = (g - b) / d + (g < b ? 6 : 0);
    } else if (high == g) {
      h = (b - r) / d + 2;
    } else {
      h = (r - g) / d + 4;
    }
    h /= 6;
  }
  l = std::fmin(1.0, std::fmax(0.0, l + delta));
  double nr = l, ng = l, nb = l;
  if (s != 0) {
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double p = 2 * l - q;
    nr = HueToChannel(p, q, h + 1.0 / 3);
    ng = HueToChannel(p, q, h);
    nb = HueToChannel(p, q, h - 1.0 / 3);
  }
  return (colour & 0xFF000000u) | ToByte(nr) << 16 | ToByte(ng) << 8 | ToByte(nb);
}

uint32_t Grey(uint32_t colour) {
  const uint32_t r = colour >> 16 & 0xFF, g = colour >> 8 & 0xFF, b = colour & 0xFF;
  const uint32_t y = (30 * r + 59 * g + 11 * b) / 100;
  return (colour & 0xFF000000u) | y << 16 | y << 8 | y;
}

}  // namespace

uint32_t SKINParseColor(const char* text, bool modifiers) {
  if (!text) return 0;
  if (const char* hash = strchr(text, '#')) text = hash + 1;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  const size_t rest = strlen(text);
  if (rest < 3) return 0;
  const char* tokenEnd = text;
  while (*tokenEnd && !IsBlank(*tokenEnd)) ++tokenEnd;
  const size_t token = size_t(tokenEnd - text);

  uint32_t colour = 0;
  if (IsHexDigit(text[0]) && IsHexDigit(text[1]) && IsHexDigit(text[2])) {
    if (rest < 6) return 0;
    const uint32_t number = static_cast<uint32_t>(strtoul(text, nullptr, 16));
    colour = token <= 7 ? 0xFF000000u | (number & 0xFFFFFFu) : number;
  } else if (EqualsNoCase(text, token, "transparent")) {
    return 0;
  } else {
    const NamedColour* named = nullptr;
    for (const auto& candidate : kNamedColours)
      if (EqualsNoCase(text, token, candidate.name)) named = &candidate;
    if (!named) return 0;
    colour = named->argb;
  }
  if (!modifiers) return colour;
  long value;
  if (ReadModifier(tokenEnd, " a", &value))
    colour = (colour & 0x00FFFFFFu) | (static_cast<uint32_t>(value) & 0xFF) << 24;
  if (ReadModifier(tokenEnd, " l", &value)) colour = AddLightness(colour, value / 100.0);
  if (strstr(tokenEnd, " g")) colour = Grey(colour);
  return colour;
}

int SKINParseColorPair(const char* text, SKINColorPair* pair) {
  if (!pair) return 1;
  const char* blank = text ? strchr(text, ' ') : nullptr;
  if (!blank) {
    pair->first = SKINParseColor(text, true);
    pair->hasFirst = 1;
    return 1;
  }
  pair->first = SKINParseColor(std::string(text, blank).c_str(), true);
  pair->second = SKINParseColor(blank + 1, true);
  pair->hasFirst = pair->hasSecond = 1;
  return 1;
}
