#include "foundation/text_decode.h"

#include <climits>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "text_internal.h"

uint32_t DecodeTextBuffer(char** buffer, size_t* size) {
  if (!buffer || !*buffer || !size) return 0;
  auto* bytes = reinterpret_cast<unsigned char*>(*buffer);
  const size_t n = *size;
  wchar_t* made = nullptr;
  size_t units = 0;
  uint32_t result = 0;
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    result = kTextHadMark | kTextUtf8;
    made = zeqtext::MultiToWide(CP_UTF8, *buffer + 3, ptrdiff_t(n - 3), 0, &units);
  } else if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    return 0;
  } else if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    // The text moves two bytes to the front; the two bytes freed at the end
    // terminate it.
    memmove(bytes, bytes + 2, n - 2);
    bytes[n - 2] = 0;
    bytes[n - 1] = 0;
    *size = (n - 2) & ~size_t(1);
    return kTextHadMark | kTextUtf16;
  } else if (n >= 2 && n <= INT_MAX && IsTextUnicode(bytes, static_cast<int>(n), nullptr)) {
    return kTextUtf16;
  } else {
    made = zeqtext::MultiToWide(CP_ACP, *buffer, ptrdiff_t(n), 0, &units);
  }
  if (made) {
    HeapFreeZ(*buffer);
    *buffer = reinterpret_cast<char*>(made);
    *size = units * sizeof(wchar_t);
  }
  return result;
}
