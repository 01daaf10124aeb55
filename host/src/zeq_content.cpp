// The content of a "zeq:" address as the browser receives it: read from an
// in-memory loader text, the mounted package or a loose file, decoded when
// it is a package-encoded file, pre-processed when it is script or markup,
// and given the loader style sheet, the loader block and the system font
// values where they belong.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "foundation/builtin_key.h"
#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "host/containers.h"
#include "host/core_script.h"
#include "host/loader_page.h"
#include "host/zeq_protocol.h"
#include "package/content_source.h"
#include "package/definitions_defaults.h"
#include "package/package.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/served_text.h"
#include "package/vfs.h"

namespace {

constexpr char kLoaderMedia[] = "\\load\\mm";
constexpr size_t kLoaderMediaLength = 8;
constexpr size_t kMagicLength = 10;
// The key buffer holds up to 128 characters and its terminator.
constexpr size_t kKeyBufferSize = 129;

constexpr char kStyleOpen[] = "\r\n<STYLE id=\"ZEQLoaderCSS\">\r\n";
constexpr char kStyleClose[] = "\r\n</STYLE>\r\n";

// The closing tag of the run-time information block and what follows it to
// the end of the text ("-->\r\n" or "**/\r\n").
constexpr char kRuntimeCloseTag[] = "</3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>";
constexpr size_t kRuntimeCloseLength = sizeof(kRuntimeCloseTag) - 1;  // 46
constexpr size_t kRuntimeTail = kRuntimeCloseLength + 5;             // 51
constexpr char kFontNameMacro[] = "%zeqsystemfontname%";
constexpr char kFontSizeMacro[] = "%zeqsystemfontsize%";

// A content being built: a process-heap block, zero-terminated, and its
// length.
struct Content {
  uint8_t* bytes = nullptr;
  size_t length = 0;

  char* Text() { return reinterpret_cast<char*>(bytes); }
  char** TextAddress() { return reinterpret_cast<char**>(&bytes); }
  void Free() {
    HeapFreeZ(bytes);
    bytes = nullptr;
    length = 0;
  }
};

bool HasHtmlExtension(const char* url) { return HasExtension(url, "htm") || HasExtension(url, "html"); }

// An in-memory loader text. Only texts the program issued a number for are
// found; nothing is read from an address taken from the URL.
bool ReadLoaderMediaText(const char* url, Content* content) {
  char* text = CopyLoaderMediaText(url);
  if (!text) return false;
  content->bytes = reinterpret_cast<uint8_t*>(text);
  content->length = strlen(text);
  return true;
}

// Script, markup and layered-image definitions are served pre-processed as
// loaded documents: statements, imports, the initialisation tag, references,
// macros and the run-time block. Other files (pictures...) pass untouched.
// The pre-processor's answer is not consulted: a text it could not finish
// (a missing import) is served as far as it got.
void PreprocessDocument(const char* url, Content* content) {
  if (!IsScriptOrMarkupFile(url) && !IsQuelmDefinitionsFile(url)) return;
  char* text = content->Text();
  size_t length = content->length;
  content->bytes = nullptr;
  content->length = 0;
  ZEQPreprocessContent(url, &text, &length, kPreprocessDocument);
  content->bytes = reinterpret_cast<uint8_t*>(text);
  content->length = text ? length : 0;
}

bool ReadContent(const char* url, Content* content) {
  void* data = nullptr;
  DWORD size = 0;
  if (!ReadMountedFile(url, &data, &size) && !ReadWholeFileExt(url, &data, &size)) return false;
  content->bytes = static_cast<uint8_t*>(data);
  content->length = size;
  return true;
}

bool IsPackageEncoded(const Content& content) {
  return content.length >= kMagicLength && _strnicmp(reinterpret_cast<const char*>(content.bytes), kPackageMagic,
                                                     kMagicLength) == 0;
}

void LogCheckFailed(const char* url) {
  ZEQLogPrintf("KESTOPreParseData - ZEQPackageCheckHeader has FAILED - File: \"%s\"", url);
}

// Replaces a package-encoded file by its decoded body; false (content
// freed) when its header is refused or the body gives nothing.
bool DecodePackageFile(const char* url, Content* content) {
  if (content->length < kPackageHeaderSize) {
    // Too short to hold a header at all.
    LogCheckFailed(url);
    content->Free();
    return false;
  }
  char* key = static_cast<char*>(HeapAllocZ(kKeyBufferSize + 1));
  GetBuiltInCipherKey(key, false);
  ZEQPackageDATA* package = nullptr;
  bool ok = false;
  try {
    package = ZEQPackageNew(ZEQPKG_TYPE_SINGLE, 0);
    lstrcpynA(package->path, url, sizeof(package->path));
    std::memcpy(&package->header, content->bytes, kPackageHeaderSize);
    if (!ZEQPackageCheckHeader(package, key)) {
      LogCheckFailed(url);
      content->Free();
    } else {
      size_t length = content->length - kPackageHeaderSize;
      std::memmove(content->bytes, content->bytes + kPackageHeaderSize, length);
      std::memset(content->bytes + length, 0, kPackageHeaderSize);
      const uint32_t flags = package->header.Flags;
      // The transform takes the block over (and releases it on failure).
      uint8_t* body = content->bytes;
      content->bytes = nullptr;
      content->length = 0;
      uint8_t* decoded = ZEQPackageDecodeData(url, body, &length, key, flags);
      content->bytes = decoded;
      content->length = decoded ? length : 0;
      if (!decoded || !length) {
        ZEQLogPrintf("KESTOPreParseData - Contents is empty - File: \"%s\"", url);
        content->Free();
      } else {
        ok = true;
      }
    }
  } catch (...) {
    ZEQPackageRelease(package);
    HeapFreeSecure(key, kKeyBufferSize, true);
    throw;
  }
  ZEQPackageRelease(package);
  HeapFreeSecure(key, kKeyBufferSize, true);
  return ok;
}

// The first page of a container after a top-level navigation receives the
// container's loader style sheet right after its head tag.
void InsertLoaderStyleSheet(IInternetProtocolSink* sink, Content* content) {
  HWND container = ZEQFindDownloadContainer(sink);
  if (!container) return;
  char path[MAX_PATH + 1] = {};
  if (!ZEQGetWindowContainerLoaderCSS(container, path, sizeof path) || !path[0]) return;
  uint32_t before = 0;
  // The bit is set first: a style sheet that cannot be read counts as given.
  if (!ZEQSetWindowContainerStateBits(container, kContainerStateLoaderCSS, &before) ||
      (before & kContainerStateLoaderCSS)) {
    return;
  }
  char* sheet = nullptr;
  size_t sheetLength = 0;
  if (!ZEQPreprocessContent(path, &sheet, &sheetLength, kPreprocessNested)) {
    HeapFreeZ(sheet);
    return;
  }
  const char* head = FindTagStart(content->Text(), "head");
  const char* close = head ? StrFindOutsideQuotes(">", head, true, true) : nullptr;
  if (close) {
    const size_t at = static_cast<size_t>(close - content->Text()) + 1;
    const size_t openLength = sizeof(kStyleOpen) - 1;
    const size_t closeLength = sizeof(kStyleClose) - 1;
    const size_t count = openLength + sheetLength + closeLength;
    char* block = static_cast<char*>(HeapAllocZ(count + 1));
    std::memcpy(block, kStyleOpen, openLength);
    if (sheetLength) std::memcpy(block + openLength, sheet, sheetLength);
    std::memcpy(block + openLength + sheetLength, kStyleClose, closeLength);
    ReplaceBufferSpan(content->TextAddress(), &content->length, at, 0, block, count);
    HeapFreeZ(block);
  }
  HeapFreeZ(sheet);
}

// A text that ends with the run-time information block receives the system
// font face and size in place of the macros the block says it uses.
void ApplyFontVariables(const char* url, Content* content) {
  if (!IsScriptOrMarkupFile(url) || content->length < kRuntimeTail) return;
  const char* text = content->Text();
  const char* close = text + content->length - kRuntimeTail;
  if (std::memcmp(close, kRuntimeCloseTag, kRuntimeCloseLength) != 0) return;
  const char* digits = close;
  while (digits > text && digits[-1] != '>') --digits;
  if (digits == text || close - digits < 2) return;
  const bool name = digits[0] != '0';
  const bool size = digits[1] != '0';
  const SystemFontDefaults font = CurrentSystemFontDefaults();
  if (name) ReplaceAllBytes(content->TextAddress(), &content->length, kFontNameMacro, font.face, true);
  if (size) {
    char value[16];
    std::snprintf(value, sizeof value, "%d", atoi(font.height));
    ReplaceAllBytes(content->TextAddress(), &content->length, kFontSizeMacro, value, true);
  }
}

// Content of this machine or of the application (the local-content rule,
// with or without the "zeq:" prefix). Text that came from the network is
// never pre-processed: an import in it could pull the application's files
// into it, and its macros would hand out the application's values.
bool IsLocalContent(const char* url) {
  const char* body = SkipVirtualPrefix(url);
  wchar_t* wide = AnsiToWideDup(body, 4);
  if (!wide) return false;
  const size_t n = wcslen(wide);
  wmemmove(wide + 4, wide, n + 1);
  wmemcpy(wide, L"zeq:", 4);
  const bool local = ZEQAddressIsLocalContent(wide);
  HeapFreeZ(wide);
  return local;
}

bool PreParse(const char* url, IInternetProtocolSink* sink, Content* content) {
  const char* relative = GetPackageRelativePath(url);
  if (relative && _strnicmp(relative, kLoaderMedia, kLoaderMediaLength) == 0) {
    if (!ReadLoaderMediaText(url, content)) return false;
    // A loader page runs on top of the core script: it is made ready
    // before the page is served (a failed load serves the page without it).
    KESTOLoadCoreScript();
  } else if (!ReadContent(url, content)) {
    return false;
  }
  // Loose script and markup follow the content policy.
  if (!relative && IsScriptOrMarkupFile(url) && !IsAllowedContentSource(url, content->bytes, content->length)) {
    content->Free();
    return false;
  }
  if (IsPackageEncoded(*content) && !DecodePackageFile(url, content)) return false;
  if (!IsLocalContent(url)) return true;
  PreprocessDocument(url, content);
  if (HasHtmlExtension(url)) InsertLoaderStyleSheet(sink, content);
  if (relative && TakeLastLoaderScriptIfMatches(url)) {
    WrapInLoaderBlock(content->TextAddress(), &content->length);
  }
  ApplyFontVariables(url, content);
  return true;
}

}  // namespace

BOOL KESTOPreParseData(uint32_t* size, uint8_t** content, IInternetProtocolSink* sink, const char* url) {
  if (!size || !content || IsEmptyString(url)) return FALSE;
  Content built;
  try {
    if (!PreParse(url, sink, &built)) return FALSE;
  } catch (...) {
    built.Free();
    ZEQLogPrintf("!KESTOPreParseData: Unexpected exception...");
    return FALSE;
  }
  if (built.length > 0xFFFFFFFFu) {
    built.Free();
    return FALSE;
  }
  *content = built.bytes;
  *size = static_cast<uint32_t>(built.length);
  return TRUE;
}
