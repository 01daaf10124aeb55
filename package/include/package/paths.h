// Paths and zeq addresses.
//
// A path that reaches the container may be a Windows path, a "file:" URL, a
// web URL, a path inside the mounted application package or a path relative
// to the loader, and any of them may carry the prefix "zeq:" (any case),
// which marks an address of the container's own URL scheme. The routines
// here tell the forms apart and bring a path to the one canonical text that
// keys the virtual file system's mount list. Texts are narrow (ANSI) and
// NUL-terminated; new texts come from the process heap and the caller frees
// them with HeapFreeZ. Comparisons that ignore case fold ASCII letters only.
//
// The form tests, the normalisers and the parent/file-name helpers are pure
// text logic: they call no platform API.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdint>

constexpr char kZEQVirtualPrefix[] = "zeq:";
constexpr size_t kZEQVirtualPrefixLength = 4;
// Buffers of path routines that take a fixed buffer hold MAX_PATH bytes.
constexpr size_t kZEQPathBufferSize = MAX_PATH;

// File-system form: after an optional "zeq:", two backslashes, two forward
// slashes, an ASCII letter and a colon, or "file:" (any case). FALSE for
// NULL or empty.
BOOL IsFileSystemPath(const char* path);
// URL form: after an optional "zeq:", two forward slashes, "http:", "https:"
// or "www." (any case). A text that begins with two forward slashes is in
// both forms; the file-system form is always tried first.
BOOL IsURLPath(const char* path);

// The text after a leading "zeq:", or the whole text (NULL stays NULL).
const char* SkipVirtualPrefix(const char* path);
inline char* SkipVirtualPrefix(char* path) {
  return const_cast<char*>(SkipVirtualPrefix(static_cast<const char*>(path)));
}
// TRUE when the path begins with "zeq:"; with remove set the four
// characters are taken out in place.
BOOL StripVirtualPrefix(char* path, BOOL remove);

// In place: '/' becomes '\'; a "file:" URL is unescaped (the part after '?'
// or '#' stays escaped), loses "file:" and its leading backslashes, and a
// host name becomes a UNC path ("\\host\..."), while a drive letter written
// "C:" or "C|" stays as it is. TRUE when the path was in file-system form.
// A leading "zeq:" is not removed here: callers remove it first.
BOOL NormalizePathToFSFormat(char* path);
// In place: '\' becomes '/'; a text that begins with two slashes (also in
// file-system form) becomes a "file://" URL of its UNC form. TRUE when the
// path was in URL form.
BOOL NormalizePathToURLFormat(char* path);

// The canonical form of a path as a new heap text: "zeq:" removed, the
// file-system form (or else the URL form) applied, "." and ".." segments
// resolved. NULL when the canonical text would not fit MAX_PATH characters;
// callers treat that as a path that does not exist.
char* SmartNormalizePath(const char* path);
// The same without resolving segments, on the caller's buffer.
void SmartNormalizePathInPlace(char* path);

// Resolves "." and ".." segments between backslashes, as the shell's path
// canonicaliser does: a drive root ("C:\"), a UNC server ("\\server\") or a
// leading backslash is never climbed out of, empty segments are kept, a
// trailing separator stays, and ".." segments of a relative path that have
// nothing to remove stay. Forward slashes are ordinary characters. Writes
// into output[size] and returns TRUE; FALSE (output emptied) when the result
// and its terminator do not fit.
BOOL CanonicalizePathSegments(const char* path, char* output, size_t size);

// UrlUnescape in place: every '%' followed by two hexadecimal digits
// becomes that byte; the part from the first '?' or '#' is left alone.
void UnescapeUrlInPlace(char* text);
// UrlEscape of spaces only: every blank becomes "%20" into output[size];
// FALSE (output emptied) when it does not fit.
BOOL EscapeUrlSpaces(const char* text, char* output, size_t size);

// Parent and file name. Both normalise a copy to file-system form
// (separator '\') or, failing that, URL form (separator '/').
// The text up to and including the last separator, into destination of
// capacity bytes; FALSE when the path is in neither form, has no separator
// or the result (with its terminator) does not fit.
BOOL GetParentPath(const char* path, char* destination, size_t capacity);
// The last component into a buffer of kZEQPathBufferSize bytes; a name too
// long for it is shortened before its extension, which stays whole. FALSE
// when the path has no separator. A path in neither form gives TRUE and
// leaves the destination alone.
BOOL GetPathFileName(const char* path, char* destination);
// Removes at most one trailing backslash; TRUE.
BOOL RemoveTrailingBackslash(char* path);
// Cuts a text at its last backslash when that lies after its first '#' (or
// there is no '#'), then removes a "#{...}" anchor. FALSE for an empty text.
BOOL CutPathAtAnchor(char* text);

// TRUE when two paths name the same object (long names compared after
// normalisation, ignoring case); two empty paths are the same.
BOOL IsSameFullPath(const char* a, const char* b);

// The virtual root, "%sZEQCVFS\PID.%X" on the drive of the Windows
// directory, written into buffer (at least MAX_PATH bytes) when it is empty;
// a non-empty buffer is kept. Always TRUE.
BOOL GetVirtualRootFolder(char* buffer);

// The virtual path under which an in-memory text is served:
// "zeq:<package root>\load\mm\<number>.<extension>", spaces escaped, into
// destination[size]. A copy of the text is kept for the reader of that path
// for the rest of the process; each call issues a new number. TRUE.
BOOL MakeLoaderMediaPath(const char* text, char* destination, const char* extension,
                         size_t size = kZEQPathBufferSize);
// The reader's side: a new heap copy of the text that MakeLoaderMediaPath
// made the path for, found by the number after "\load\mm\"; NULL for a path
// without one or a number that was not issued (NULL text included).
char* CopyLoaderMediaText(const char* path);

// The windows headers map GetTempFileName to GetTempFileNameA; this name is
// the container's own routine, which calls GetTempFileNameA by its full name.
#ifdef GetTempFileName
#undef GetTempFileName
#endif
// The full name of a new empty file "KES*.tmp" in the user's temporary
// folder, into a buffer of kZEQPathBufferSize bytes; FALSE after logging.
BOOL GetTempFileName(char* destination);
// The path of a new empty folder named like a temporary file, into a buffer
// of kZEQPathBufferSize bytes; FALSE when no temporary name can be had.
BOOL GetTemporaryFolderName(char* destination);

// TRUE when the path is none of the known forms (file system, URL, package
// root, mounted file) and so needs loader-relative expansion.
BOOL IsUnresolvedRelativePath(const char* path);
