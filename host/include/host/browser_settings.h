// How the browser engine behaves for this executable, fixed at start-up
// before the first window: the engine version tests, the per-executable
// feature-control values, the container's own option keys (the ones the
// site names as its option key path), the "zeq" scheme, the dynamically
// bound system entry points, and the cookie and URL-cache cleaners.
//
// Only values that belong to this executable or to this container are
// written: the per-executable value under each feature key and the
// container's keys under "SOFTWARE\Orvane\<instance>\MSHTML". User-wide
// browser settings that other programs read are left alone.
#pragma once
#include <windows.h>

#include <cstdint>

// 1 on success; 0 when no internet session can be had (the scheme is then
// not registered and no settings are written).
int InitializeBrowserEngine();
// The major version of the installed engine: the registry's "Version" of
// "Software\Microsoft\Internet Explorer" (9.10 and 9.11 stand for 10 and
// 11), else by Windows version (5, 6 from XP, 7 from Vista).
int GetBrowserVersion();
BOOL IsBrowserVersionAtLeast(int version);
// FALSE for an engine older than 5.50; TRUE also when the version is
// unknown.
BOOL IsBrowserVersionSupported();
// The version arithmetic of the two tests on a "Version" text (null: none).
int BrowserVersionFromText(const char* text, int systemDefault);
BOOL BrowserVersionSupportedFromText(const char* text);

// Writes the settings below HKEY_CURRENT_USER; always 1 (failures are
// skipped key by key and value by value).
int ApplyBrowserFeatureSettings();
int WriteScriptDebuggerSettings(HKEY key);
// The engine features whose per-executable value start-up removes.
extern const char* const kZEQResetFeatures[20];
// "UseSWRender" follows this switch (set from the application's options).
void ZEQSetSoftwareRendering(bool on);
// The executable's file name without its folder.
const char* ZEQExecutableFileName();

// Binds the system entry points other parts call through pointers; FALSE
// at the first module or entry point that cannot be bound.
BOOL KESTOLoadDynamicAPIs();
void KESTOFreeDynamicAPIs();
// A bound entry point by name, or null.
FARPROC ZEQDynamicAPI(const char* name);

// Expires every cookie the URL carries; 0 when they cannot be read.
int DeleteCookiesForUrl(const char* url);
// Deletes (or, for cookies with flag bit 2, expires) the cache entries whose
// source URL matches the patterns; a null or empty list matches every entry
// of its kind, but a call that names only one kind touches no entry of the
// other. Always 1.
int CleanUrlCache(const char* urlPatterns, const char* cookiePatterns, uint32_t flags);
// The text passed to InternetSetCookieExA to expire one cookie.
void ZEQExpiredCookieText(const char* name, const char* host, char* buffer, size_t size);
