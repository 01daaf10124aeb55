#include "package/paths.h"
#include "package/skin_values.h"
#include "ascii_text.h"

bool IsURLOrPathValue(const char* text) {
  if (!text) return false;
  return ascii::BeginsNoCase(text, "url(") || IsFileSystemPath(text) || IsURLPath(text);
}
