// Small helpers for the texts served to the browser control: classification
// by extension, the run-time information block, byte-order marks, the loader
// block and tag search.
#include "package/served_text.h"

#include <windows.h>

#include <cstring>

#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/text.h"

namespace {

const char* const kScriptOrMarkupExtensions[] = {"js", "zeq", "htm", "html", "htc", "css", "json"};
const char* const kCommentBlockExtensions[] = {"js", "zeq", "json", "css"};
const char* const kMarkupBlockExtensions[] = {"htm", "html", "htc"};

template <size_t N>
bool HasAnyExtension(const char* fileName, const char* const (&extensions)[N]) {
  if (!fileName) return false;
  for (const char* extension : extensions) {
    if (HasExtension(fileName, extension)) return true;
  }
  return false;
}

constexpr char kFontNameMacro[] = "%zeqsystemfontname%";
constexpr char kFontSizeMacro[] = "%zeqsystemfontsize%";
constexpr char kScriptBlockOpen[] = "\r\n/**<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>";
constexpr char kScriptBlockClose[] = "</3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>**/\r\n";
constexpr char kMarkupBlockOpen[] = "\r\n<!--<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>";
constexpr char kMarkupBlockClose[] = "</3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>-->\r\n";

constexpr char kLoaderBlockOpen[] = "ZEQLOADER: {\r\n";
constexpr char kLoaderBlockClose[] = "\r\n}";

// UTF-16 little-endian form of a served text. The text normally is UTF-8
// (the pre-processor normalises every loaded text to UTF-8); bytes that are
// not valid UTF-8 are read in the ANSI code page instead.
wchar_t* ToWide(const char* text, size_t length, int* count) {
  *count = 0;
  if (!length) return static_cast<wchar_t*>(HeapAllocZ(sizeof(wchar_t)));
  if (length > 0x7FFFFFFF) return nullptr;
  UINT codePage = CP_UTF8;
  int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, int(length), nullptr, 0);
  if (n <= 0) {
    codePage = CP_ACP;
    n = MultiByteToWideChar(codePage, 0, text, int(length), nullptr, 0);
    if (n <= 0) return nullptr;
  }
  auto* wide = static_cast<wchar_t*>(HeapAllocZ((size_t(n) + 1) * sizeof(wchar_t)));
  *count = MultiByteToWideChar(codePage, 0, text, int(length), wide, n);
  return wide;
}

}  // namespace

bool IsScriptOrMarkupFile(const char* fileName) {
  return HasAnyExtension(fileName, kScriptOrMarkupExtensions);
}

bool IsQuelmDefinitionsFile(const char* fileName) { return fileName && HasExtension(fileName, "hdc"); }

bool AppendRuntimeInfoBlock(const char* fileName, char** text, size_t* length, uint32_t encoding,
                            uint32_t options) {
  if (!text || !*text || !length) return false;
  const bool fontName = ContainsBytes(*text, *length, kFontNameMacro);
  const bool fontSize = ContainsBytes(*text, *length, kFontSizeMacro);
  if (fontName || fontSize) {
    const char digits[3] = {fontName ? '1' : '0', fontSize ? '1' : '0', '\0'};
    const char* open = "";
    const char* close = "";
    if (HasAnyExtension(fileName, kCommentBlockExtensions)) {
      open = kScriptBlockOpen;
      close = kScriptBlockClose;
    } else if (HasAnyExtension(fileName, kMarkupBlockExtensions)) {
      open = kMarkupBlockOpen;
      close = kMarkupBlockClose;
    }
    const size_t openLength = strlen(open);
    const size_t closeLength = strlen(close);
    char* block = static_cast<char*>(HeapAllocZ(openLength + 2 + closeLength + 1));
    memcpy(block, open, openLength);
    memcpy(block + openLength, digits, 2);
    memcpy(block + openLength + 2, close, closeLength);
    ReplaceBufferSpan(text, length, *length, 0, block, openLength + 2 + closeLength);
    HeapFreeZ(block);
  }
  if (options & kServedTextNested) return false;
  ConvertServedTextEncoding(text, length, encoding);
  return true;
}

void ConvertServedTextEncoding(char** text, size_t* length, uint32_t encoding) {
  if (!text || !*text || !length || !(encoding & kServedTextMark)) return;
  if (encoding & kServedTextUtf16) {
    int count = 0;
    wchar_t* wide = ToWide(*text, *length, &count);
    if (!wide) return;  // left as it is rather than served half converted
    const size_t bytes = 2 + size_t(count) * 2;
    char* made = static_cast<char*>(HeapAllocZ(bytes + 2));
    made[0] = char(0xFF);
    made[1] = char(0xFE);
    for (int i = 0; i < count; ++i) {
      made[2 + 2 * i] = char(wide[i] & 0xFF);
      made[3 + 2 * i] = char((wide[i] >> 8) & 0xFF);
    }
    HeapFreeZ(wide);
    HeapFreeZ(*text);
    *text = made;
    *length = bytes;
    return;
  }
  static const char kUtf8Mark[] = "\xEF\xBB\xBF";
  ReplaceBufferSpan(text, length, 0, 0, kUtf8Mark, 3);
}

uint32_t TestByteOrderMark(const void* bytes, size_t length) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (!b) return 0;
  if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return 2;
  if (length >= 2 && b[0] == 0xFE && b[1] == 0xFF) return 8;
  if (length >= 2 && b[0] == 0xFF && b[1] == 0xFE) return 4;
  return 0;
}

bool WrapInLoaderBlock(char** text, size_t* length) {
  if (!text || !*text || !length) return false;
  ReplaceBufferSpan(text, length, 0, 0, kLoaderBlockOpen, sizeof kLoaderBlockOpen - 1);
  ReplaceBufferSpan(text, length, *length, 0, kLoaderBlockClose, sizeof kLoaderBlockClose - 1);
  return true;
}

const char* FindTagStart(const char* text, const char* tagName) {
  if (!text || IsEmptyString(tagName)) return nullptr;
  const size_t nameLength = strlen(tagName);
  const char* from = text;
  while (const char* hit = StrFindNoCaseOutsideQuotes(from, tagName, true)) {
    const char* before = hit;
    while (before > text && (before[-1] == ' ' || before[-1] == '\t')) --before;
    if (before > text && before[-1] == '<') return before - 1;
    from = hit + nameLength;
  }
  return nullptr;
}
