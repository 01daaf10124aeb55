// INI files read through the virtual file system.
#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/text.h"
#include "package/ini_text.h"
#include "package/vfs.h"

ZEQList* ParseINIText(const char* source, bool skipAtKeys, bool fromFile) {
  if (!source) return nullptr;
  if (!fromFile) return ParseINITextBuffer(source, strlen(source), skipAtKeys);
  void* data = nullptr;
  DWORD size = 0;
  if (!ReadWholeFileExt(source, &data, &size) || !data) return nullptr;
  char* text = static_cast<char*>(data);
  size_t length = size;
  TextBufferToAnsi(&text, &length);
  ZEQList* list = nullptr;
  try {
    list = ParseINITextBuffer(text, length, skipAtKeys);
  } catch (...) {
    HeapFreeZ(text);
    throw;
  }
  HeapFreeZ(text);
  return list;
}
