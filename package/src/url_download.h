// Downloads of web paths into the system's URL cache.
#pragma once
#include <windows.h>

// Has the system's URL cache fetch the URL and writes the local copy's path
// into local[size]. TRUE only when the download succeeded and the server's
// answer, where it gave one, was a 2xx status: an error page is not the
// file. The download function is looked up in URLMON.DLL on first use.
BOOL DownloadUrlToCache(const char* url, char* local, DWORD size);
