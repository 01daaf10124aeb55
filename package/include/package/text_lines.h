// Lines of definitions and INI texts. A line ends at a CR, a LF or a CR LF
// pair; the terminator is not part of the line. Texts saved with LF-only line
// ends are therefore read whole.
#pragma once
#include <cstddef>

// The line that starts at *position of text[length]: *line and *lineLength
// receive it and *position moves past its terminator. False at the end of
// the text (a text that ends with a terminator has no empty last line).
bool NextTextLine(const char* text, size_t length, size_t* position, const char** line,
                  size_t* lineLength);
