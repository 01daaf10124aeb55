// Which loose files, outside the application package, may be served to the
// browser control as script or markup. With an application key set, only
// files of the mounted package, files the host allows by name and
// enciphered package files are trusted; without one every file is.
#pragma once
#include <cstddef>

#include "foundation/list.h"

// The sorted list of loose file paths the host allows explicitly (keys
// compared byte for byte, terminator included); it lives for the process.
ZEQList* AllowedContentNames();
// Adds a path to the allowed names; false for a null or empty path.
bool AllowContentName(const char* path);

// true when a loose file with this path and content may be loaded: a mounted
// file, an allowed name, any file while no application key is set, or
// content that begins with a whole package header whose flags say it is
// enciphered. length is the number of content bytes present.
bool IsAllowedContentSource(const char* path, const void* content, size_t length);
