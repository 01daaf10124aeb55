#include "package/url_check.h"

#include <wininet.h>

#include "foundation/text.h"

namespace {

struct InternetHandle {
  HINTERNET handle;
  explicit InternetHandle(HINTERNET h) : handle(h) {}
  ~InternetHandle() {
    if (handle) InternetCloseHandle(handle);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
};

}  // namespace

BOOL HTTPCheckURL(const char* url) {
  if (IsEmptyString(url)) return FALSE;
  InternetHandle session(InternetOpenA("KESTO", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session.handle) return FALSE;
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                      INTERNET_FLAG_PRAGMA_NOCACHE;
  InternetHandle request(InternetOpenUrlA(session.handle, url, nullptr, 0, flags, 0));
  if (!request.handle) return FALSE;
  DWORD status = 0;
  DWORD length = sizeof status;
  if (!HttpQueryInfoA(request.handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr)) {
    return FALSE;
  }
  return status == HTTP_STATUS_OK;
}
