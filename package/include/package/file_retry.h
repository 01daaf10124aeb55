// Retrying file operations.
//
// Files the container touches are often held open for a moment by other
// processes (virus scanners, indexers, a second instance, the browser's
// cache), so every change to the file system goes through these wrappers:
// each validates its arguments, short-cuts the cases that need no work, then
// repeats one attempt with a fixed pause, gives up at once on errors a retry
// cannot cure, and writes a log line for every failure. Paths are narrow
// (ANSI). The thread's last-error value on return is the one the last
// attempt left.
#pragma once
#include <windows.h>

#include <cstdint>

// The standard policy: 5 attempts, 500 ms before attempts 2 to 5 (a plain
// sleep, no message pumping); ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND
// end it at once.
constexpr int kFileRetryAttempts = 5;
constexpr DWORD kFileRetryPauseMs = 500;
constexpr int kFileMappingAttempts = 21;

// The pause between attempts, kFileRetryPauseMs unless changed; returns the
// previous value. Lets tests run the policy's attempt counts quickly.
DWORD SetFileRetryPause(DWORD ms);
DWORD GetFileRetryPause();

// Either path empty: FALSE; the same path (ignoring case): TRUE untouched.
BOOL MoveDirectoryExt(const char* source, const char* destination);
// As MoveDirectoryExt; the destination's attributes are reset to normal
// before each attempt, so a read-only destination does not stop it.
BOOL MoveFileExt(const char* source, const char* destination);
// As MoveFileExt; an existing destination is overwritten.
BOOL CopyFileExt(const char* source, const char* destination);
// The path's attributes are reset to normal before each attempt. error
// (optional) receives the last-error value after every attempt.
BOOL DeleteFileExt(const char* path, DWORD* error = nullptr);
// When the process's current directory is the folder, it first moves to the
// parent. error as for DeleteFileExt.
BOOL RemoveDirectoryExt(const char* path, DWORD* error = nullptr);
// An existing folder (read without a leading "zeq:") gives TRUE at once.
BOOL CreateDirectoryExt(const char* path);
// Creates the folders of a file's parent, retried as a whole.
BOOL CreateParentDirectory(const char* path);

// Up to 5 attempts of EndUpdateResourceA(update, changes written);
// ERROR_OPEN_FAILED and ERROR_INVALID_HANDLE end it at once.
BOOL EndUpdateResourceExt(HANDLE update);
// A new named block of shared memory of size bytes backed by the paging
// file. While the name is taken by another mapping it retries (21 attempts,
// 500 ms apart), closing each handle it obtained. On failure the result is
// NULL (creation failed) or INVALID_HANDLE_VALUE (the name stayed taken).
HANDLE CreateFileMappingExt(const char* name, DWORD size);

// Folder chains (no retries of their own; each folder is made with
// CreateDirectoryExt). Neither a share nor a drive root is ever created.
BOOL CreateFolderChain(const char* path);
// The folders of a file's parent; TRUE at once when the parent is a root.
BOOL CreateParentFolderChain(const char* path);
