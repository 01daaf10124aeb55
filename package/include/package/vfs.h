// The virtual file system.
//
// The application package is not unpacked to disk: its files are mounted
// into one process-wide sorted list in memory (VFSMountList), keyed by the
// canonical virtual path (SmartNormalizePath, ignoring case). Every file
// access goes through the "Ext" operations below, which take a real path, a
// "zeq:" path, a web URL or a mounted path alike, and any handle: a mounted
// file opens as a KESTOVFSHANDLE record that every handle operation
// recognises; any other handle goes to the system call of the same name.
//
// Mounted data is shared, never copied on open: each mounted file's bytes
// live in a reference-counted block that the list item and every handle on
// it hold. Replacing or clearing a mount drops the list's reference only, so
// an open handle keeps reading the data it was opened on until it is closed.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/list.h"
#include "foundation/records.h"

// Attributes reported for a mounted file: normal, system and read-only.
constexpr DWORD kVFSMountedAttributes = FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

constexpr char kVFSHandleTag[] = "+KESTOVFSHANDLE";

// The shared bytes of one mounted file: a reference count and the length,
// followed by the data and two zero bytes.
struct VFSMountedData {
  volatile LONG references;
  uint32_t length;

  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// A handle to a mounted file, made only by CreateFileExt and freed by
// CloseHandleExt. It is read-only: writes and truncation are refused.
struct KESTOVFSHANDLE {
  ZEQTypedRecord header;  // "+KESTOVFSHANDLE"
  uint32_t reserved;      // zero
  VFSMountedData* data;   // one reference, released at closing
  uint32_t position;      // byte offset, zero at opening
};

// Not NULL, a whole record of writable memory and tagged "+KESTOVFSHANDLE".
bool IsVFSHandleRecord(const void* pointer);

// The process-wide mount list, made before any caller runs. Items: key = the
// canonical virtual path, first value = the data bytes (VFSMountedData's
// Bytes()), second value = the length. Items are released through their
// free callback, which drops the list's reference on the data.
ZEQList* VFSMountList();

// The key of a path in the mount list as a new heap text, or NULL when the
// path has none (empty, or too long to be canonical).
char* MakeMountKey(const char* path);

// Mounts a copy of length bytes under the path's key, replacing a file of
// the same key. FALSE when the path gives no key.
BOOL VFSMountFile(const char* path, const void* data, uint32_t length);
// Empties the mount list (before another application package is mounted).
void VFSClearMounts();

// The mount-list item of the path, or NULL. The item belongs to the list:
// it stays valid only while the mount is not replaced or cleared.
ZEQListItem* FindMountedFile(const char* path);
// TRUE when the path's key is in the list; FALSE for NULL or empty.
BOOL IsMountedFile(const char* path);
// Copies a mounted file's data into a new zero-filled heap block (two zero
// bytes after it; the caller frees it). *size in: the bytes wanted (0: the
// whole file), at most the data length; out: the bytes copied. FALSE when
// the path is not mounted.
BOOL ReadMountedFile(const char* path, void** data, DWORD* size);

// Queries.
// kVFSMountedAttributes for a mounted file; GetFileAttributesA of the path
// without "zeq:" for a file-system path; INVALID_FILE_ATTRIBUTES otherwise.
DWORD GetFileAttributesExt(const char* path);
BOOL PathIsDirectoryExt(const char* path);
// A mounted file; an existing file-system path that is not a folder; a URL
// whose HTTP GET answers 200. FALSE otherwise.
BOOL PathFileExistsExt(const char* path);
// A mounted path is copied (cut to the buffer); other paths go to
// GetShortPathNameA without "zeq:".
DWORD GetShortPathNameExt(const char* path, char* buffer, DWORD size);

// Opening. Flags bit 0 of retry asks for the retry policy of the file
// wrappers (five attempts, 500 ms apart); without it one attempt is made.
// Looks in the mount list first, then downloads a URL into the system's URL
// cache and opens the cache copy, then opens the real path. The access,
// share mode and disposition do not apply to mounted files (always
// read-only records).
constexpr DWORD kCreateFileRetry = 0x1;
HANDLE CreateFileExt(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                     DWORD flagsAndAttributes, DWORD retry);

// Handle operations: on a system handle the system call of the same name.
DWORD GetFileSizeExt(HANDLE handle);
// Method FILE_BEGIN, FILE_CURRENT or FILE_END; the distance is signed. On a
// mounted file the position moves as SetFilePointer moves it (from the end:
// length plus distance) and the new position is returned with last error 0;
// a position before the start, or an unknown method, gives
// INVALID_SET_FILE_POINTER with ERROR_NEGATIVE_SEEK or ERROR_INVALID_PARAMETER
// and leaves the position.
DWORD SetFilePointerExt(HANDLE handle, DWORD method, LONG distance);
// On a mounted file: copies up to count bytes from the position and advances
// it; at or past the end nothing; always TRUE with last error 0.
BOOL ReadFileExt(HANDLE handle, DWORD count, void* buffer, DWORD* read);
// On a mounted file: FALSE with ERROR_INVALID_HANDLE, *written untouched.
BOOL WriteFileExt(HANDLE handle, const void* buffer, DWORD count, DWORD* written);
BOOL SetEndOfFileExt(HANDLE handle);
// Sets the variable to INVALID_HANDLE_VALUE and then closes what it held; a
// NULL address or a variable holding 0 or INVALID_HANDLE_VALUE gives FALSE.
BOOL CloseHandleExt(HANDLE* handle);

// Reads a whole file (any path form) into a new zero-filled heap block with
// 516 spare bytes after the data (the caller frees it). *size (optional)
// receives the byte count. FALSE when the file cannot be opened, its size
// cannot be read (data NULL, size 0xFFFFFFFF) or a read fails (data NULL,
// size 0).
BOOL ReadWholeFileExt(const char* path, void** data, DWORD* size);
constexpr size_t kReadWholeFileSpare = 516;

// The MIME type of a file name into destination[size]: the system's answer
// when it has one, else by extension (js and zeq "text/javascript", htm and
// html "text/html", css "text/css", htc "text/x-component", hdc
// "text/x-quelmdefs", anything else "text/plain"). FALSE for an empty name.
BOOL GetMimeTypeByExtension(char* destination, const char* fileName, size_t size = 128);
// The fallback table alone (pure): the type for a file name's extension.
const char* MimeTypeFromExtensionTable(const char* fileName);
