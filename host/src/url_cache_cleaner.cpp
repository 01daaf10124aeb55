// Cookie and URL-cache clean-up of the web-browser windows.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "host/browser_settings.h"

namespace {

constexpr DWORD kCookieEntry = 0x100000;  // COOKIE_CACHE_ENTRY
constexpr DWORD kHttpOnly = 0x2000;       // INTERNET_COOKIE_HTTPONLY
constexpr size_t kNameBuffer = 2049;

bool IsEmptyList(const char* list) { return !list || !*list; }

bool Matches(const char* patterns, const char* url) {
  return IsEmptyList(patterns) || WildcardMatchList(patterns, url ? url : "", 0);
}

// Expires the cookies of a cache entry's domain: the text after the last
// "@" of its source URL, less one trailing slash or backslash.
void ExpireEntryCookies(const char* source) {
  const char* at = source ? strrchr(source, '@') : nullptr;
  if (!at) return;
  char host[261] = {};
  lstrcpynA(host, at + 1, sizeof host - 10);
  const size_t length = strlen(host);
  if (length && (host[length - 1] == '/' || host[length - 1] == '\\')) host[length - 1] = 0;
  char url[300];
  snprintf(url, sizeof url, "http://%s", host);
  DeleteCookiesForUrl(url);
  snprintf(url, sizeof url, "https://%s", host);
  DeleteCookiesForUrl(url);
}

}  // namespace

void ZEQExpiredCookieText(const char* name, const char* host, char* buffer, size_t size) {
  // An expiry date in the past in the cookie date form the engine parses.
  snprintf(buffer, size, "%s=0; expires=Wed, 30-Oct-1974 00:00:00 GMT; path=/; domain=.%s; httponly", name ? name : "",
           host ? host : "");
}

int DeleteCookiesForUrl(const char* url) {
  if (!url) return 0;
  DWORD size = 0;
  if (!InternetGetCookieExA(url, nullptr, nullptr, &size, kHttpOnly, nullptr)) {
    // No cookie at all is nothing to expire.
    return GetLastError() == ERROR_NO_MORE_ITEMS ? 1 : 0;
  }
  char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  if (!InternetCrackUrlA(url, 0, 0, &parts)) return 0;
  if (size == 0) return 1;
  auto text = static_cast<char*>(HeapAllocZ(size + 1));
  if (!InternetGetCookieExA(url, nullptr, text, &size, kHttpOnly, nullptr)) {
    HeapFreeZ(text);
    return 0;
  }
  auto name = static_cast<char*>(HeapAllocZ(kNameBuffer));
  auto cookie = static_cast<char*>(HeapAllocZ(kNameBuffer + 256 + sizeof host));
  for (const char* cursor = text; *cursor;) {
    // The name up to "=" (or the end), without blanks, cut to the buffer.
    size_t used = 0;
    while (*cursor && *cursor != '=' && *cursor != ';') {
      if (*cursor != ' ' && used < kNameBuffer - 1) name[used++] = *cursor;
      ++cursor;
    }
    name[used] = 0;
    if (used) {
      ZEQExpiredCookieText(name, host, cookie, kNameBuffer + 256 + sizeof host);
      InternetSetCookieExA(url, nullptr, cookie, kHttpOnly, 0);
    }
    const char* next = strchr(cursor, ';');
    if (!next) break;
    cursor = next + 1;
  }
  HeapFreeZ(cookie);
  HeapFreeZ(name);
  HeapFreeZ(text);
  return 1;
}

int CleanUrlCache(const char* urlPatterns, const char* cookiePatterns, uint32_t flags) {
  // A call that names patterns of one kind only leaves the other kind alone;
  // a call that names none cleans both.
  const bool cleanCookies = !IsEmptyList(cookiePatterns) || IsEmptyList(urlPatterns);
  const bool cleanOthers = !IsEmptyList(urlPatterns) || IsEmptyList(cookiePatterns);
  DWORD size = 4096;
  auto entry = static_cast<INTERNET_CACHE_ENTRY_INFOA*>(HeapAllocZ(size));
  HANDLE find = nullptr;
  for (bool first = true;; first = false) {
    DWORD asked = size;
    BOOL ok = first ? ((find = FindFirstUrlCacheEntryA(nullptr, entry, &asked)) != nullptr)
                    : FindNextUrlCacheEntryA(find, entry, &asked);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      HeapFreeZ(entry);
      size = asked + 2;
      entry = static_cast<INTERNET_CACHE_ENTRY_INFOA*>(HeapAllocZ(size));
      asked = size;
      ok = first ? ((find = FindFirstUrlCacheEntryA(nullptr, entry, &asked)) != nullptr)
                 : FindNextUrlCacheEntryA(find, entry, &asked);
    }
    if (!ok) break;
    const char* source = entry->lpszSourceUrlName;
    if (entry->CacheEntryType & kCookieEntry) {
      if (!cleanCookies || !Matches(cookiePatterns, source)) continue;
      if (flags & 2) {
        ExpireEntryCookies(source);
      } else {
        DeleteUrlCacheEntryA(source);
      }
    } else if (cleanOthers && Matches(urlPatterns, source)) {
      DeleteUrlCacheEntryA(source);
    }
  }
  HeapFreeZ(entry);
  if (find) FindCloseUrlCache(find);
  return 1;
}
