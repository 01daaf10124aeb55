// Copies into new heap texts, bounded copies, splitting, delimited fields
// and the small checks on texts.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "text_internal.h"

using zeqtext::ScanOutsideQuotes;
using zeqtext::SameText;

// New heap copy of [start, start + n) with room for extra bytes.
static char* DupRange(const char* start, size_t n, size_t extra) {
  auto* copy = static_cast<char*>(HeapAllocZ(n + 1 + extra));
  memcpy(copy, start, n);
  return copy;
}

char* StrDupExtra(const char* text, size_t extra) {
  return text ? DupRange(text, strlen(text), extra) : DupRange("", 0, extra);
}

char* StrCopyN(char* buffer, const char* text, size_t n) {
  if (!buffer || buffer == text) return buffer;
  if (!text) {
    memset(buffer, 0, n + 1);
    return buffer;
  }
  size_t length = strnlen(text, n);
  memmove(buffer, text, length);
  buffer[length] = '\0';
  return buffer;
}

void* MemDup(const void* data, size_t n) {
  if (!data) return nullptr;
  void* copy = HeapAllocZ(n);
  memcpy(copy, data, n);
  return copy;
}

wchar_t* WideStrDupEx(const wchar_t* wide, size_t extra) {
  if (!wide) return nullptr;
  size_t n = wcslen(wide);
  wchar_t* copy = HeapAllocWide(n + 1 + extra);
  memcpy(copy, wide, n * sizeof(wchar_t));
  return copy;
}

wchar_t* HeapAllocWide(size_t count) {
  return static_cast<wchar_t*>(HeapAllocZ(count * sizeof(wchar_t)));
}

char* HeapPrintf(size_t extra, const char* format, ...) {
  if (!format) return nullptr;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  char* text = nullptr;
  if (length >= 0) {
    text = static_cast<char*>(HeapAllocZ(size_t(length) + 1 + extra));
    vsnprintf(text, size_t(length) + 1, format, again);
  }
  va_end(again);
  return text;
}

char* GetLineAt(const char* position, const char* start, unsigned trim) {
  if (!position || !start || position < start) return nullptr;
  const char* begin = position;
  while (begin > start && begin[-1] != '\r' && begin[-1] != '\n') --begin;
  const char* end = position;
  while (*end && *end != '\r' && *end != '\n') ++end;
  char* line = DupRange(begin, size_t(end - begin), 0);
  return (trim & 1) ? TrimBlanks(line) : line;
}

size_t StrSplitToParts(const char* text, char separator, size_t n, char** parts) {
  if (!parts) return 0;
  for (size_t i = 0; i < n; ++i) parts[i] = nullptr;
  if (!text) return 0;
  size_t made = 0;
  const char* part = text;
  while (made < n) {
    const char* end = nullptr;
    if (made + 1 < n && separator) {
      end = ScanOutsideQuotes(part, kFindSkipDoubleQuotes,
                              [separator](const char* p) { return *p == separator; });
    }
    if (!end) end = part + strlen(part);
    parts[made++] = TrimBlanks(DupRange(part, size_t(end - part), 0));
    if (!*end) break;
    part = end + 1;
  }
  return made;
}

const wchar_t* ReadDelimitedFieldW(wchar_t** field, const wchar_t* wide, wchar_t separator,
                                   size_t* capacity) {
  if (!field || !capacity) return nullptr;
  constexpr size_t kStep = 1024;
  if (!*field || *capacity == 0) {
    HeapFreeZ(*field);
    *capacity = kStep;
    *field = HeapAllocWide(kStep);
  }
  size_t length = 0;
  (*field)[0] = L'\0';
  auto append = [&](wchar_t c) {
    if (length + 1 >= *capacity) {
      *capacity += kStep;
      *field = static_cast<wchar_t*>(HeapReAllocZ(*field, *capacity * sizeof(wchar_t)));
    }
    (*field)[length++] = c;
    (*field)[length] = L'\0';
  };
  if (!wide) return nullptr;
  const wchar_t* p = wide;
  if (*p == L'"') {
    for (++p;; ++p) {
      if (!*p) return nullptr;
      if (*p == L'"') {
        if (p[1] != L'"') {
          ++p;
          break;
        }
        ++p;  // a doubled quote stands for one
      }
      append(*p);
    }
  }
  while (*p && *p != separator && *p != L'\r' && *p != L'\n') append(*p++);
  return *p ? p : nullptr;
}

bool HasExtension(const char* fileName, const char* extension) {
  if (!fileName || !extension) return false;
  const char* dot = strrchr(fileName, '.');
  if (!dot) return false;
  size_t n = strlen(extension);
  return strlen(dot + 1) == n && SameText(dot + 1, extension, n, false);
}

HRESULT CopyWide512(const wchar_t* source, wchar_t* destination) {
  constexpr size_t kChars = 512;
  if (!destination) return E_POINTER;
  if (!source) source = L"";
  size_t n = wcsnlen(source, kChars);
  if (n == kChars) {
    memcpy(destination, source, (kChars - 1) * sizeof(wchar_t));
    destination[kChars - 1] = L'\0';
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(destination, source, (n + 1) * sizeof(wchar_t));
  return S_OK;
}
