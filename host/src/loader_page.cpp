// The loader page: the address a container navigates to first, and the
// record of the last loader script wrapped into a generated page.
#include "host/loader_page.h"

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/runtime_services.h"
#include "foundation/text.h"
#include "host/containers.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace {

// Room kept after an address so that "zeq:" can be put in front in place.
constexpr size_t kAddressSpare = 261;
// Generous room for the virtual address of an in-memory page: the package
// root is a full path and spaces are escaped.
constexpr size_t kMediaPathSize = 4 * MAX_PATH;

constexpr char kPageHead[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<html><ZEQ:Initialize "
    "/>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" "
    "content=\"text/html;charset=UTF-8\">\r\n<title>%s</title>\r\n</head><body "
    "onload=\"window.external.KESTOExit( 0 );\">\r\n";
constexpr char kScriptOpen[] =
    "<script language=\"javascript\" type=\"text/javascript\" defer=\"false\">\r\n";
constexpr char kLoaderBlockOpen[] = "ZEQLOADER: {\r\n";
constexpr char kLoaderBlockClose[] = "\r\n}";
constexpr char kScriptClose[] = "\r\n</script>\r\n";
constexpr char kPageTail[] = "</body></html>";

// The last loader script path, any length. Loaders are prepared one at a
// time, but the content routine may read it from another container's thread.
SRWLOCK gLastLoaderLock = SRWLOCK_INIT;
char* gLastLoaderScript = nullptr;

// The virtual address of an in-memory copy of the page, with room for a
// prefix; NULL when the address does not fit.
char* RegisterPage(const char* page) {
  char address[kMediaPathSize] = {};
  if (!MakeLoaderMediaPath(page, address, "html", sizeof address) || !*address) return nullptr;
  return StrDupExtra(address, kAddressSpare);
}

std::string BuildLoaderPage(const char* loader, const char* script, size_t scriptLength) {
  const std::string title = loader;
  std::string page;
  page.reserve(scriptLength + 1025 + title.size());
  std::string head = kPageHead;
  head.replace(head.find("%s"), 2, title);
  page += head;
  page += kScriptOpen;
  page += kLoaderBlockOpen;
  page.append(script, scriptLength);
  page += kLoaderBlockClose;
  page += kScriptClose;
  page += kPageTail;
  return page;
}

}  // namespace

char* ZEQPrepareLoaderDocument(const char* loader, uint32_t options, HWND container) {
  if (!loader) return nullptr;
  char* result = nullptr;
  if (options & WB_USEADDRESSASCODE) {
    result = RegisterPage(loader);
  } else {
    char extension[kZEQExtensionBufferSize] = {};
    GetFileExtension(loader, extension);
    if (_stricmp(extension, "js") != 0 && _stricmp(extension, "zeq") != 0) {
      result = StrDupExtra(loader, kAddressSpare);
    } else {
      void* data = nullptr;
      DWORD size = 0;
      if (!ReadWholeFileExt(loader, &data, &size) || !data) return nullptr;
      char* script = static_cast<char*>(data);
      size_t length = size;
      TextBufferToUtf8(&script, &length);
      // The page is text: a zero byte inside the script would end it.
      const size_t textLength = strnlen(script, length);
      const std::string page = BuildLoaderPage(loader, script, textLength);
      HeapFreeZ(script);
      SetLastLoaderScriptPath(loader);
      result = RegisterPage(page.c_str());
    }
  }
  if (result && container) {
    ZEQWindowContainer own = {};
    if (ZEQGetWindowContainer(container, &own) && (own.options & WB_ZEQLOADERWINDOW) &&
        _strnicmp(result, "zeq:", 4) != 0) {
      StrPrepend("zeq:", result);
    }
  }
  return result;
}

void SetLastLoaderScriptPath(const char* path) {
  char* copy = path ? StrDupExtra(path, 0) : nullptr;
  AcquireSRWLockExclusive(&gLastLoaderLock);
  char* old = gLastLoaderScript;
  gLastLoaderScript = copy;
  ReleaseSRWLockExclusive(&gLastLoaderLock);
  HeapFreeZ(old);
}

bool TakeLastLoaderScriptIfMatches(const char* path) {
  if (!path) return false;
  char* taken = nullptr;
  AcquireSRWLockExclusive(&gLastLoaderLock);
  if (gLastLoaderScript && *gLastLoaderScript && _stricmp(gLastLoaderScript, path) == 0) {
    taken = gLastLoaderScript;
    gLastLoaderScript = nullptr;
  }
  ReleaseSRWLockExclusive(&gLastLoaderLock);
  const bool matched = taken != nullptr;
  HeapFreeZ(taken);
  return matched;
}
