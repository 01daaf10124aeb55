// The icon of a file.
#include "package/file_icons.h"

#include <shellapi.h>

#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "package/macros.h"

namespace {

bool HoldsIcons(const char* path) {
  const char* dot = std::strrchr(path, '.');
  const char* slash = std::strrchr(path, '\\');
  if (!dot || (slash && dot < slash)) return false;
  return lstrcmpiA(dot, ".exe") == 0 || lstrcmpiA(dot, ".dll") == 0 || lstrcmpiA(dot, ".ico") == 0;
}

HICON IconOf(const char* path, bool small) {
  HICON icon = nullptr;
  if (HoldsIcons(path)) {
    if (small)
      ExtractIconExA(path, 0, nullptr, &icon, 1);
    else
      ExtractIconExA(path, 0, &icon, nullptr, 1);
    if (icon) return icon;
  }
  SHFILEINFOA info = {};
  UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES;
  if (small) flags |= SHGFI_SMALLICON;
  if (!SHGetFileInfoA(path, FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags)) return nullptr;
  return info.hIcon;
}

}  // namespace

HICON ExtractIconFromFile(const char* path, bool small) {
  if (!path || !*path) return nullptr;
  char* expanded = nullptr;
  HICON icon = nullptr;
  try {
    expanded = ProcessMacros(StrDupExtra(path, 0), nullptr, nullptr, 0);
    icon = IconOf(expanded, small);
  } catch (...) {
    ZEQLogUnexpected("ExtractIconFromFile");
  }
  HeapFreeZ(expanded);
  return icon;
}
