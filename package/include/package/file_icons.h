// The icon of a file: the first icon inside a program, library or icon
// file, else the shell's icon for a file of that kind. It lives beside the
// macros its paths may hold, so that the window layer, which the package
// library builds on, needs no path expansion of its own.
#pragma once
#include <windows.h>

// The small (or large) icon of the file the path names once its macros are
// expanded; the caller destroys it. 0 for a null or empty path, or when no
// icon can be had.
HICON ExtractIconFromFile(const char* path, bool small);
