// The package object: the one in-memory form of a package for every reader
// and writer. A memory package keeps its content stream in a heap buffer; a
// file-backed package (ZEQPKG_FILE_BACKED at creation) appends its entries
// straight into its file. Every operation reports through its result, logs
// its "[OK]"/"[FAILED]" line and never lets an exception out.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "package/cipher_keys.h"
#include "package/content_transforms.h"
#include "package/package_format.h"

struct ZEQPackageDATA;
class ZEQList;
typedef int (*ZEQPackageProgress)(ZEQPackageDATA* package, const char* text, uintptr_t reserved);

struct ZEQPackageDATA {
  char path[MAX_PATH + 1];
  ZEQPackageHeader header;
  HANDLE handle;              // file-backed packages; INVALID_HANDLE_VALUE otherwise
  uint8_t* content;           // at least one spare zero byte after the content
  uint32_t length;
  uint32_t position;
  size_t capacity;            // bytes of content usable before the buffer grows
  ZEQPackageProgress progress;
  void* owner;
  char key[kCipherKeyBufferSize];
  char custom[kPackageTextField + 1];
  uint8_t* extracted;
  uint32_t extractedLength;
  uint32_t errorHandlerCookie;
  uint32_t changed;
  // Paths that extraction wrote provisionally (created with the package;
  // the list's own lock guards it): deleted again when the package closes.
  ZEQList* temporaryFiles;
};

// Seek origins of ZEQPackageSeek.
constexpr int kPackageSeekBegin = 0;
constexpr int kPackageSeekCurrent = 1;
constexpr int kPackageSeekEnd = 2;

// Result of ZEQPackageChangeEntry on a file-backed package.
constexpr int ZEQPKG_CHANGE_FILE_BACKED = 21;

// Records a file or folder written provisionally, deleted at close (a
// leading "zeq:" is skipped then).
bool ZEQPackageAddTemporaryFile(ZEQPackageDATA* package, const char* path);

// Making, opening and releasing.
ZEQPackageDATA* ZEQPackageNew(uint32_t type, uint32_t flags);
ZEQPackageDATA* ZEQPackageCreate(uint32_t flags, const char* path, uint32_t type, const char* password);
ZEQPackageDATA* ZEQPackageOpen(const char* path, const char* password, ZEQPackageProgress progress,
                               uint32_t keyFlags);
void ZEQPackageFree(ZEQPackageDATA* package);
void ZEQPackageRelease(ZEQPackageDATA* package);
void ZEQPackageUnload(ZEQPackageDATA* package);

// The running application's package (set by the start-up).
ZEQPackageDATA* ZEQGetApplicationPackage();
void ZEQSetApplicationPackage(ZEQPackageDATA* package);

// Header and content.
bool ZEQPackageCheckHeader(ZEQPackageDATA* package, const char* key);
bool ZEQPackagePrepareContents(ZEQPackageDATA* package, HANDLE handle, uint32_t length, const uint8_t* bytes,
                               uint32_t flags);
// Accepts a Custom text under the same rule as the password test, and marks
// the package changed so that the text is written at close.
bool ZEQPackageSetCustom(ZEQPackageDATA* package, const char* text);

// Stream primitives.
bool ZEQPackageReadFile(ZEQPackageDATA* package, uint32_t count, void* destination, uint32_t* countRead);
bool ZEQPackageWriteFile(ZEQPackageDATA* package, uint32_t count, const void* bytes);
bool ZEQPackageSkip(ZEQPackageDATA* package, uint32_t count);
bool ZEQPackageSeek(ZEQPackageDATA* package, int64_t offset, int origin);
bool ZEQPackageSetEnd(ZEQPackageDATA* package);

// Writing entries.
bool ZEQPackageAddRelativePath(ZEQPackageDATA* package, const char* path, char type);
bool ZEQPackageAddData(ZEQPackageDATA* package, const char* path, const char* type, const void* bytes,
                       uint32_t length);
bool ZEQPackageAddFile(ZEQPackageDATA* package, const char* path, const char* source);

// Closing.
bool ZEQPackageWriteHeader(ZEQPackageDATA* package, uint32_t plainLength, const char* key, uint32_t flags);
bool ZEQPackageClose(ZEQPackageDATA* package, HANDLE handle, uint32_t flags);
// Turns a memory package's content into its whole image, the bytes that
// ZEQPackageClose writes: the body encoded by the header's flags, the header
// in front. False for a file-backed package or when encoding fails.
bool ZEQPackageMakeImage(ZEQPackageDATA* package);

// Changing entries of a memory package: the first entry matching path (a
// wildcard list) is removed and, when bytes are given, a file entry with the
// path and the bytes is appended. With ZEQPKG_CHANGE_NESTED in options, a
// path that reaches into a nested package changes the entry inside it.
constexpr uint32_t ZEQPKG_CHANGE_NESTED = 0x80;
int ZEQPackageChangeEntry(ZEQPackageDATA* package, const char* path, const void* bytes, uint32_t length,
                          uint32_t options);
