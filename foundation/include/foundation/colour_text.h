// Colour texts of the style vocabulary, read into 0xAARRGGBB (alpha in the
// top byte; 0xFF is opaque). Pure logic: no platform calls.
#pragma once
#include <cstdint>

// Accepted forms, with blanks allowed around the text and inside the
// parentheses, letters in any case:
//   "#RGB"       each digit doubled, opaque
//   "#RRGGBB"    opaque
//   "#AARRGGBB"
//   "rgb(r, g, b)"        channels 0..255 (larger values are clamped)
//   "rgba(r, g, b, a)"    alpha a from 0 to 1 (a decimal fraction, clamped)
//   the sixteen basic colour names (black, silver, gray, white, maroon, red,
//   purple, fuchsia, green, lime, olive, yellow, navy, blue, teal, aqua),
//   opaque, and "transparent".
// Anything else, and a null text, gives 0.
uint32_t ParseColorToARGB(const char* text);
