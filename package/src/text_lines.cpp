#include "package/text_lines.h"

bool NextTextLine(const char* text, size_t length, size_t* position, const char** line,
                  size_t* lineLength) {
  const size_t at = *position;
  if (!text || at >= length) return false;
  size_t end = at;
  while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
  *line = text + at;
  *lineLength = end - at;
  if (end < length && text[end++] == '\r' && end < length && text[end] == '\n') ++end;
  *position = end;
  return true;
}
