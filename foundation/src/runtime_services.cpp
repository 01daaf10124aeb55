#include "foundation/runtime_services.h"

#include <objbase.h>
#include <rpc.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"

char* HeapFormatString(size_t extra, const char* format, va_list args) {
  if (!format) format = "";
  va_list measure;
  va_copy(measure, args);
  int n = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  // A format the C runtime cannot render gives an empty text rather than a
  // block sized by a negative length.
  size_t length = n > 0 ? static_cast<size_t>(n) : 0;
  auto* text = static_cast<char*>(HeapAllocZ(length + 1 + extra + 3));
  if (n > 0) vsnprintf(text, length + 1, format, args);
  return text;
}

int StrRemoveUnquotedChar(char* text, char ch, bool pairsOnly) {
  if (!text || !ch) return 0;
  bool quoted = false;
  char* out = text;
  for (const char* in = text; *in; ++in) {
    char c = *in;
    // The character before a quote is the one already kept, as if the
    // removals had been made one by one in place.
    if (c == '"' && (out == text || out[-1] != '\\')) {
      quoted = !quoted;
    } else if (!quoted && c == ch && (!pairsOnly || in[1] == ch)) {
      continue;
    }
    *out++ = c;
  }
  *out = 0;
  return 0;
}

BOOL GetFileExtension(const char* path, char* buffer) {
  if (!path) return FALSE;
  // Only the file name counts: a dot in a folder name is no extension.
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  const char* dot = strrchr(name, '.');
  if (!dot) return FALSE;
  if (buffer) {
    size_t n = strnlen(dot + 1, kZEQExtensionBufferSize - 1);
    memcpy(buffer, dot + 1, n);
    buffer[n] = 0;
  }
  return TRUE;
}

BOOL TestBit(uint32_t value, unsigned bit) {
  return bit < 32 && ((value >> bit) & 1u) ? TRUE : FALSE;
}

BOOL CreateGuidText(char* buffer) {
  if (!buffer) return FALSE;
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return FALSE;
  RPC_CSTR text = nullptr;
  if (UuidToStringA(&guid, &text) != RPC_S_OK || !text) return FALSE;
  lstrcpynA(buffer, reinterpret_cast<const char*>(text), kZEQGuidTextSize);
  RpcStringFreeA(&text);
  return TRUE;
}

void NullCallback() {}

ZEQThunkData* ZEQThunkData::Create(BOOL manualReset, const char* name) {
  auto* block = static_cast<ZEQThunkData*>(HeapAllocZ(sizeof(ZEQThunkData)));
  ZEQStampRecord(block, kZEQThunkDataTag, nullptr);
  block->event = CreateEventA(nullptr, manualReset, FALSE, name);
  if (!block->event) {
    DWORD error = GetLastError();
    HeapFreeZ(block);
    SetLastError(error);
    return nullptr;
  }
  return block;
}
