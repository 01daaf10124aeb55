// Small services shared by the network, SIP, window and host code: heap
// formatting, quote-aware character removal, file extensions, bit tests,
// GUID text, the do-nothing callback and the named-event block of script
// event objects.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstdint>

#include "foundation/records.h"

// Formats into a new zero-filled process-heap text with `extra` spare bytes
// (and the terminators of the heap rule) after it; the caller frees it.
char* HeapFormatString(size_t extra, const char* format, va_list args);

// Deletes `ch` in place wherever it stands outside double quotes (a quote
// after a backslash neither opens nor closes a quoted stretch). With
// pairsOnly, only doubled occurrences are thinned, so a run of `ch` outside
// quotes shrinks to one. Always returns 0; a NULL text does nothing.
int StrRemoveUnquotedChar(char* text, char ch, bool pairsOnly);

// Size of the buffer GetFileExtension writes: up to 260 characters and the
// terminator after them.
constexpr size_t kZEQExtensionBufferSize = 261;

// TRUE when the file name (the last component of the path) has a '.'; the
// text after its last '.' goes into `buffer` (kZEQExtensionBufferSize bytes)
// when one is given. FALSE leaves the buffer untouched.
BOOL GetFileExtension(const char* path, char* buffer);

// Whether bit `bit` of `value` is set (bits 32 and up never are).
BOOL TestBit(uint32_t value, unsigned bit);

// Size of a GUID text: 36 characters without braces and the terminator.
constexpr size_t kZEQGuidTextSize = 37;

// A new GUID in its lower-case text form, in `buffer` (kZEQGuidTextSize
// bytes); FALSE when no GUID could be made.
BOOL CreateGuidText(char* buffer);

// Default of optional callback slots: does nothing. It uses the caller-pops
// convention, so a slot may call it with any arguments.
void NullCallback();

// Named-event block that the host object's script event objects own.
struct ZEQThunkData {
  ZEQTypedRecord header;  // "+ZEQTHUNKDATA"
  HANDLE event;
  uintptr_t bookkeeping[4];  // the owning event object's words

  // A new block with a new unsignalled event (CreateEventA, default
  // security, the given reset mode and name); NULL when the event cannot
  // be created.
  static ZEQThunkData* Create(BOOL manualReset, const char* name);
};

constexpr const char kZEQThunkDataTag[] = "+ZEQTHUNKDATA";
