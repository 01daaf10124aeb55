// The colour and layout words of skins, style values and definitions: any
// text (the input up to its first NUL) is read by every parser without a
// fault, with and without modifiers, and the parsers' own rules hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/colour_text.h"
#include "package/skin_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* c = text.c_str();

  const uint32_t plain = SKINParseColor(c, false);
  SKINParseColor(c, true);
  // Modifiers only ever follow a blank: a text without one reads the same.
  if (text.find(' ') == std::string::npos && SKINParseColor(c, true) != plain) abort();

  SKINColorPair pair{7, 0x11111111, 7, 0x22222222};
  if (SKINParseColorPair(c, &pair) != 1) abort();
  if (text.find(' ') == std::string::npos && (pair.hasSecond != 7 || pair.second != 0x22222222)) abort();

  const uint32_t layout = SKINParseLayout(c);
  if (layout != 0 && !(layout & 0x80000000u)) abort();

  ParseColorToARGB(c);
  return 0;
}
