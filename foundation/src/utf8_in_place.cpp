// UTF-8 texts read into fixed buffers, turned into the ANSI code page where
// they lie.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"

char* ConvertUTF8ToANSIInPlace(char* text) {
  if (IsEmptyString(text)) return text;
  char* converted = Utf8ToAnsiDup(text, 0);
  if (!converted) return text;
  const size_t room = strlen(text);
  size_t length = strlen(converted);
  if (length > room) length = room;
  memcpy(text, converted, length);
  text[length] = '\0';
  HeapFreeZ(converted);
  return text;
}
