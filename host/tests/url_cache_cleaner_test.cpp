// Cookie and URL-cache clean-up against the platform's own cookie store and
// cache: expired cookies are really gone, and a clean-up that names one kind
// of entry leaves the other kind alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>

#include "host/browser_settings.h"

namespace {

constexpr char kSite[] = "http://cleanup.example.invalid/";

std::string CookiesOf(const char* url) {
  char text[1024] = {};
  DWORD size = sizeof text;
  if (!InternetGetCookieExA(url, nullptr, text, &size, INTERNET_COOKIE_HTTPONLY, nullptr)) return "";
  return text;
}

TEST(CookieCleanUp, ExpiredCookiesCarryAValidCookieDate) {
  char text[512];
  ZEQExpiredCookieText("bc", "example.invalid", text, sizeof text);
  EXPECT_STREQ("bc=0; expires=Wed, 30-Oct-1974 00:00:00 GMT; path=/; domain=.example.invalid; httponly", text);
  SYSTEMTIME parsed = {};
  ASSERT_TRUE(InternetTimeToSystemTimeA("Wed, 30-Oct-1974 00:00:00 GMT", &parsed, 0));
  EXPECT_EQ(1974, parsed.wYear);
  EXPECT_EQ(10, parsed.wMonth);
  EXPECT_EQ(30, parsed.wDay);
}

TEST(CookieCleanUp, EveryCookieOfTheUrlIsExpired) {
  ASSERT_TRUE(InternetSetCookieA(kSite, "first", "1; domain=.cleanup.example.invalid; path=/"));
  ASSERT_TRUE(InternetSetCookieA(kSite, "second", "2; domain=.cleanup.example.invalid; path=/"));
  ASSERT_NE(std::string::npos, CookiesOf(kSite).find("second=2"));
  EXPECT_EQ(1, DeleteCookiesForUrl(kSite));
  EXPECT_EQ("", CookiesOf(kSite));
  // Nothing left to expire is no failure.
  EXPECT_EQ(1, DeleteCookiesForUrl(kSite));
  EXPECT_EQ(0, DeleteCookiesForUrl(nullptr));
}

bool CacheHas(const char* url) {
  char buffer[4096];
  DWORD size = sizeof buffer;
  return GetUrlCacheEntryInfoA(url, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer), &size) ||
         GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

bool AddCacheEntry(const char* url) {
  char file[MAX_PATH] = {};
  if (!CreateUrlCacheEntryA(url, 0, "txt", file, 0)) return false;
  HANDLE handle = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(handle, "cached", 6, &written, nullptr);
  CloseHandle(handle);
  FILETIME zero = {};
  return CommitUrlCacheEntryA(url, file, zero, zero, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) != FALSE;
}

TEST(UrlCacheCleanUp, OnlyTheNamedKindOfEntryIsCleaned) {
  const char* page = "http://cleanup.example.invalid/page.txt";
  const char* other = "http://keep.example.invalid/page.txt";
  if (!AddCacheEntry(page) || !AddCacheEntry(other)) GTEST_SKIP() << "the URL cache takes no entries here";
  ASSERT_TRUE(CacheHas(page));
  // Cookie patterns only: page entries stay.
  EXPECT_EQ(1, CleanUrlCache(nullptr, "*cleanup*", 1));
  EXPECT_TRUE(CacheHas(page));
  // URL patterns only: the matching page goes, the other stays.
  EXPECT_EQ(1, CleanUrlCache("*cleanup.example.invalid*", nullptr, 0));
  EXPECT_FALSE(CacheHas(page));
  EXPECT_TRUE(CacheHas(other));
  DeleteUrlCacheEntryA(other);
}

}  // namespace
