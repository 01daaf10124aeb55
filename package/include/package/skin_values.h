// Colour and layout words of skins, style values and definitions files.
// Pure logic.
//
// Colours are 0xAARRGGBB; alpha 0xFF is opaque and the value 0 transparent.
// A colour text is "#RRGGBB" or "0xRRGGBB" (text before the '#' is ignored),
// "AARRGGBB" with an alpha byte, or a name (black, white, red, green, blue,
// pink, gray, yellow, cyan, transparent; any case), optionally followed by
// modifiers separated by blanks, each at most once and applied in this order:
//   a<n>   alpha byte n (decimal, 0x hexadecimal or 0-prefixed octal)
//   l<n>   lightness plus n percent, in the HSL model
//   g      grey: (30 red + 59 green + 11 blue) / 100
#pragma once
#include <cstdint>

// The colour of a text, 0 for anything that is not a colour; modifiers are
// applied only with the flag.
uint32_t SKINParseColor(const char* text, bool modifiers);

struct SKINColorPair {
  uint32_t hasFirst;
  uint32_t first;
  uint32_t hasSecond;
  uint32_t second;
};
// "first second" (split at the first blank) sets both colours and flags; a
// text without a blank sets only the first (the second is left as it was).
// Returns 1.
int SKINParseColorPair(const char* text, SKINColorPair* pair);

// Layout keywords (exact lower-case words) as codes with bit 31 set:
// "hidden" 0xFFFFFFFF, "center" 0x81E00000, "lefttop" 0x80700000 ... An
// unknown word gives 0.
uint32_t SKINParseLayout(const char* keyword);

// True for a text that begins with "url(" (any case), or is a file-system
// path or a URL path.
bool IsURLOrPathValue(const char* text);
