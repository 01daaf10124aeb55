// Whole folders and whole files: importing a folder tree into a package with
// roll-back, the MD5 digest of a file, and the icon-file reader.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "package/package.h"

// Adds a folder entry for folderPath (when the pattern list matches it) and
// every file of sourceFolder that the pattern list matches; flags bit 0
// descends into folders. All or nothing: on failure the content is cut back.
bool ZEQPackageAddFolder(ZEQPackageDATA* package, const char* folderPath, const char* sourceFolder,
                         const char* patterns, uint32_t flags);

// The digest text (33 bytes) of a file's contents.
bool GetFileMD5Ext(const char* path, char* digestText);
bool MD5OfFileHandle(HANDLE handle, char* digestText);

// Room the executable-icon writer gives for image blocks.
constexpr size_t kIconMaxImages = 64;

// Reads an icon file into one heap block per image (images[0..count)) and a
// heap icon-group block (6 + 14 * count bytes). Refuses files whose counts,
// sizes or offsets do not fit the bytes present or the slots given.
bool ReadIconFile(const char* path, uint8_t** images, size_t slots, uint8_t** group, size_t* groupSize);

// Folder trees. Entries whose names begin with '.' are left alone.
bool CopyDirectoryTree(const char* source, const char* destination, const char* patterns, uintptr_t value,
                       uint32_t flags);
bool RemoveDirectoryTreeWorker(const char* folder, const char* patterns, uintptr_t value1, uintptr_t value2);
bool RemoveDirectoryTree(const char* folder, const char* patterns, uintptr_t value);
bool GetFolderStatistics(const char* folder, double* totalBytes, uint32_t* folders, uint32_t* files,
                         uint32_t flags);

// The text-encoding switch: 1 to ANSI, 2 to UTF-8, 8 and others leave the
// buffer as it is (0). Conversions to UTF-16 are not done here (0).
uint32_t ConvertTextBuffer(uint32_t flags, char** buffer, size_t* size);

bool GetFileLastWriteTimeExt(const char* path, FILETIME* time);
bool CheckFileAccessExt(const char* path, int kind);
