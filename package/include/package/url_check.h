// The existence test of web paths: an HTTP GET of the URL through WinINet.
#pragma once
#include <windows.h>

// TRUE when an HTTP GET of the URL answers with status 200 (redirects
// followed, no cached answer used).
BOOL HTTPCheckURL(const char* url);
