// Conversions between the ANSI code page, UTF-8 and UTF-16, and the
// normalisation of loaded text files by their byte-order marks.
#include <objbase.h>

#include <climits>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "text_internal.h"

namespace zeqtext {

wchar_t* MultiToWide(UINT codePage, const char* text, ptrdiff_t length, size_t extra,
                     size_t* outLength) {
  if (outLength) *outLength = 0;
  if (!text || length < -1 || length > INT_MAX) return nullptr;
  int count = 0;
  if (length != 0) {
    count = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (count <= 0) return nullptr;
  }
  auto* wide = static_cast<wchar_t*>(HeapAllocZ((size_t(count) + 1 + extra) * sizeof(wchar_t)));
  if (count && MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), wide, count) != count) {
    HeapFreeZ(wide);
    return nullptr;
  }
  if (outLength) *outLength = length == -1 ? size_t(count) - 1 : size_t(count);
  return wide;
}

char* WideToMulti(UINT codePage, const wchar_t* wide, ptrdiff_t length, size_t extra,
                  size_t* outLength) {
  if (outLength) *outLength = 0;
  if (!wide || length < -1 || length > INT_MAX) return nullptr;
  int count = 0;
  if (length != 0) {
    count = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(length), nullptr, 0, nullptr,
                                nullptr);
    if (count <= 0) return nullptr;
  }
  auto* text = static_cast<char*>(HeapAllocZ(size_t(count) + 1 + extra));
  if (count && WideCharToMultiByte(codePage, 0, wide, static_cast<int>(length), text, count,
                                   nullptr, nullptr) != count) {
    HeapFreeZ(text);
    return nullptr;
  }
  if (outLength) *outLength = length == -1 ? size_t(count) - 1 : size_t(count);
  return text;
}

}  // namespace zeqtext

using zeqtext::MultiToWide;
using zeqtext::WideToMulti;

// One code page to another through a temporary wide text.
static char* Recode(UINT from, UINT to, const char* text, ptrdiff_t length, size_t extra,
                    size_t* outLength) {
  if (outLength) *outLength = 0;
  size_t units = 0;
  wchar_t* wide = MultiToWide(from, text, length, 0, &units);
  if (!wide) return nullptr;
  char* result = WideToMulti(to, wide, ptrdiff_t(units), extra, outLength);
  HeapFreeZ(wide);
  return result;
}

BOOL WideToAnsiBuf(const wchar_t* wide, char* buffer, size_t size) {
  if (!buffer || !size) return FALSE;
  memset(buffer, 0, size);
  if (IsEmptyStringW(wide)) return TRUE;
  int room = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, room, nullptr, nullptr) > 0) return TRUE;
  // Too long: keep the longest prefix of whole characters that fits.
  memset(buffer, 0, size);
  char* whole = WideToMulti(CP_ACP, wide, -1, 0, nullptr);
  if (!whole) return FALSE;
  size_t kept = 0;
  while (whole[kept]) {
    size_t step = IsDBCSLeadByte(static_cast<BYTE>(whole[kept])) && whole[kept + 1] ? 2 : 1;
    if (kept + step >= size) break;
    kept += step;
  }
  memcpy(buffer, whole, kept);
  HeapFreeZ(whole);
  return FALSE;
}

wchar_t* AnsiToWideCoTaskMem(const char* text) {
  if (!text) return nullptr;
  int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (count <= 0) return nullptr;
  size_t bytes = size_t(count) * sizeof(wchar_t);
  auto* wide = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!wide) return nullptr;
  memset(wide, 0, bytes);
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide, count);
  return wide;
}

BSTR AnsiToBSTR(const char* text) {
  wchar_t* wide = MultiToWide(CP_ACP, text, -1, 0, nullptr);
  if (!wide) return nullptr;
  BSTR result = SysAllocString(wide);
  HeapFreeZ(wide);
  return result;
}

wchar_t* AnsiToWideDup(const char* text, size_t extra) {
  return MultiToWide(CP_ACP, text, -1, extra, nullptr);
}

wchar_t* Utf8ToWideDup(const char* text, size_t* length) {
  return MultiToWide(CP_UTF8, text, -1, 0, length);
}

char* WideToAnsiDup(const wchar_t* wide, size_t extra) {
  return WideToMulti(CP_ACP, wide, -1, extra, nullptr);
}

char* WideToAnsiDupLen(const wchar_t* wide, size_t* length, size_t extra) {
  char* text = WideToMulti(CP_ACP, wide, -1, extra, length);
  if (text && length) *length += extra;
  return text;
}

char* WideToUtf8DupLen(const wchar_t* wide, size_t* length, size_t extra) {
  char* text = WideToMulti(CP_UTF8, wide, -1, extra, length);
  if (text && length) *length += extra;
  return text;
}

char* Utf8ToAnsiDup(const char* text, size_t extra) {
  return Recode(CP_UTF8, CP_ACP, text, -1, extra, nullptr);
}

char* AnsiToUtf8Dup(const char* text, size_t* length, size_t extra) {
  char* result = Recode(CP_ACP, CP_UTF8, text, -1, extra, length);
  if (result && length) *length += extra;
  return result;
}

// Both loaded-file normalisers: target is CP_UTF8 or CP_ACP.
static uint32_t NormaliseTextBuffer(char** buffer, size_t* size, UINT target) {
  if (!buffer || !*buffer || !size) return 0;
  auto* bytes = reinterpret_cast<unsigned char*>(*buffer);
  const size_t n = *size;
  char* made = nullptr;
  size_t madeSize = 0;
  uint32_t result = 0;
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    result = kTextHadMark | kTextUtf8;
    if (target == CP_UTF8) {
      memmove(bytes, bytes + 3, n - 3);
      memset(bytes + n - 3, 0, 3);
      *size = n - 3;
      return result;
    }
    made = Recode(CP_UTF8, target, *buffer + 3, ptrdiff_t(n - 3), 0, &madeSize);
  } else if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    return 0;  // big-endian UTF-16 is left as it is
  } else if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    result = kTextHadMark | kTextUtf16;
    made = WideToMulti(target, reinterpret_cast<const wchar_t*>(bytes + 2), ptrdiff_t((n - 2) / 2),
                       0, &madeSize);
  } else if (n >= 2 && n <= INT_MAX && IsTextUnicode(bytes, static_cast<int>(n), nullptr)) {
    result = kTextUtf16;
    made = WideToMulti(target, reinterpret_cast<const wchar_t*>(bytes), ptrdiff_t(n / 2), 0,
                       &madeSize);
  } else if (target == CP_UTF8) {
    made = Recode(CP_ACP, CP_UTF8, *buffer, ptrdiff_t(n), 0, &madeSize);
  }
  if (made) {
    HeapFreeZ(*buffer);
    *buffer = made;
    *size = madeSize;
  }
  return result;
}

uint32_t TextBufferToUtf8(char** buffer, size_t* size) {
  return NormaliseTextBuffer(buffer, size, CP_UTF8);
}

uint32_t TextBufferToAnsi(char** buffer, size_t* size) {
  return NormaliseTextBuffer(buffer, size, CP_ACP);
}

uint32_t DecodeTextBuffer(char** buffer, size_t* size) {
  if (!buffer || !*buffer || !size) return 0;
  auto* bytes = reinterpret_cast<unsigned char*>(*buffer);
  const size_t n = *size;
  wchar_t* made = nullptr;
  size_t characters = 0;
  uint32_t result = 0;
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    result = kTextHadMark | kTextUtf8;
    made = zeqtext::MultiToWide(CP_UTF8, *buffer + 3, ptrdiff_t(n - 3), 0, &characters);
  } else if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    return 0;  // big-endian UTF-16 is left as it is
  } else if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    memmove(bytes, bytes + 2, n - 2);
    memset(bytes + n - 2, 0, 2);
    *size = n - 2;
    return kTextHadMark | kTextUtf16;
  } else if (n >= 2 && n <= INT_MAX && IsTextUnicode(bytes, static_cast<int>(n), nullptr)) {
    return kTextUtf16;
  } else {
    made = zeqtext::MultiToWide(CP_ACP, *buffer, ptrdiff_t(n), 0, &characters);
  }
  if (made) {
    HeapFreeZ(*buffer);
    *buffer = reinterpret_cast<char*>(made);
    *size = characters * sizeof(wchar_t);
  }
  return result;
}
