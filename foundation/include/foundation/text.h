// Text helpers shared by every subsystem.
//
// Narrow texts are NUL-terminated bytes in the ANSI code page unless UTF-8 is
// named; wide texts are NUL-terminated UTF-16. A routine that returns a new
// text allocates it zero-filled from the process heap (HeapAllocZ); the
// caller frees it with HeapFreeZ. "Room for n extra" means n more zero bytes
// (or characters) after the terminator, so the caller can append in place.
// Unless stated, a null input text gives a null or 0 result and allocates
// nothing. Blanks are the space and the horizontal tab. Case-insensitive
// comparisons fold only the ASCII letters, except the wide routines, which
// use towupper.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "foundation/records.h"

// ---------------------------------------------------------------------------
// Code-page conversions (MultiByteToWideChar / WideCharToMultiByte).

// UTF-16 -> ANSI into a caller's buffer of size bytes, always terminated when
// size > 0. A null or empty wide text gives "". Returns TRUE when the whole
// text fitted; otherwise the buffer holds the longest whole-character prefix
// that fits.
BOOL WideToAnsiBuf(const wchar_t* wide, char* buffer, size_t size);
// ANSI -> UTF-16 in a zeroed CoTaskMemAlloc block; free with CoTaskMemFree.
wchar_t* AnsiToWideCoTaskMem(const char* text);
// ANSI -> new BSTR (SysFreeString).
BSTR AnsiToBSTR(const char* text);
wchar_t* AnsiToWideDup(const char* text, size_t extra);
// length (optional) receives the characters without the terminator.
wchar_t* Utf8ToWideDup(const char* text, size_t* length);
char* WideToAnsiDup(const wchar_t* wide, size_t extra);
// length (optional) receives the text length plus extra.
char* WideToAnsiDupLen(const wchar_t* wide, size_t* length, size_t extra);
char* WideToUtf8DupLen(const wchar_t* wide, size_t* length, size_t extra);
char* Utf8ToAnsiDup(const char* text, size_t extra);
char* AnsiToUtf8Dup(const char* text, size_t* length, size_t extra);

// Loaded text files: *buffer (a process-heap block of *size bytes, not
// necessarily terminated) is normalised by its byte-order mark. When a new
// text is made the old block is freed and *buffer / *size replaced (size
// without the terminator). Result bits: 0x80000000 a mark was found, 2 UTF-8,
// 4 UTF-16.
constexpr uint32_t kTextHadMark = 0x80000000u;
constexpr uint32_t kTextUtf8 = 2;
constexpr uint32_t kTextUtf16 = 4;
uint32_t TextBufferToUtf8(char** buffer, size_t* size);
uint32_t TextBufferToAnsi(char** buffer, size_t* size);
// The same buffer turned into UTF-16 text (terminated): after a UTF-8 mark
// converted from UTF-8, after FF FE the mark removed, unmarked UTF-16 left
// as it is, big-endian UTF-16 left unchanged (0), anything else converted
// from the ANSI code page (0). *size becomes the text's size in bytes.
uint32_t DecodeTextBuffer(char** buffer, size_t* size);

// ---------------------------------------------------------------------------
// Parameter texts and specifications.

// Flags of GetParameterValue.
constexpr unsigned kParamCaseSensitive = 0x01;
constexpr unsigned kParamCut = 0x02;          // remove what is read from the text
constexpr unsigned kParamWholeToken = 0x04;
constexpr unsigned kParamQuoteAware = 0x08;   // double-quoted spans are opaque
constexpr unsigned kParamEatSeparators = 0x10;
// Found flags.
constexpr unsigned kParamFound = 0x01;
constexpr unsigned kParamValueCut = 0x02;     // the value did not fit the buffer

// Reads a name=value parameter of text (a header's parameters, an option
// list...). Character sets: a text of characters; a leading '^' stands for
// every character except those that follow. With a name, finds it (see the
// flags), then passes over characters that do not match skipSet, then takes
// the value: the run of characters that match endSet (a null or empty set
// matches all), plus anything inside double quotes with kParamQuoteAware.
// The value is copied into value[valueSize] (always terminated when
// valueSize > 0, cut short with kParamValueCut when it does not fit; the text
// is consumed in full either way). kParamCut deletes the name, the skipped
// characters and the value from the text; kParamEatSeparators also passes
// (deletes) the separators after the value. Returns the position reached,
// the text start when the name is not found, and text itself for a null or
// empty text.
char* GetParameterValue(char* text, const char* name, char* value, size_t valueSize,
                        const char* skipSet, const char* endSet, unsigned flags,
                        unsigned* found);
// TRUE when c (not NUL) matches the character set (see above).
bool CharInSet(char c, const char* set);

// Position just after word when its first occurrence outside double quotes
// stands alone (start of text or after ' ', ',' or ';'; followed by the end
// or ' ', ',', ';', '=' or ':'), else null. Only the first occurrence counts.
const char* FindOptionWord(const char* text, const char* word, bool caseSensitive);
// Four comma-separated integers x, y, w, h (missing ones 0). With a
// reference rectangle a field holding '%' is a percentage of its right (x, w)
// or bottom (y, h) edge; below 1 it counts back from 100. Returns the
// position after the fourth field (after its comma when one follows), null
// when there are fewer fields; a null out gives back the text.
const char* ParseRectSpec(const char* text, int out[4], const RECT* reference);
// Two comma-separated integers; returns the position after the second comma
// or null. Both are 0 for a null or empty text.
const char* ParseIntPair(const char* text, int out[2]);

// ---------------------------------------------------------------------------
// Searching. Const in, const out; the overloads below keep a writable text
// writable.

const char* StrStrNoCase(const char* text, const char* part);
const wchar_t* StrStrNoCaseW(const wchar_t* wide, const wchar_t* part);
const char* StrStrSafe(const char* text, const char* part);
// First character of text that is one of characters; with skipQuotes,
// characters inside double-quoted spans are passed over (a quote preceded by
// a backslash neither opens nor closes a span).
const char* StrFindOutsideQuotes(const char* characters, const char* text, bool caseSensitive,
                                 bool skipQuotes);
const char* StrFindNoCaseOutsideQuotes(const char* text, const char* part, bool skipQuotes);
// Case-sensitive search outside double-quoted spans.
const char* StrFindOutsideQuotes2(const char* text, const char* part);

// Options of the wide searches.
constexpr unsigned kFindCaseSensitive = 0x1;
constexpr unsigned kFindSkipDoubleQuotes = 0x2;
constexpr unsigned kFindSkipSingleQuotes = 0x4;
const wchar_t* StrFindOutsideQuotesW(const wchar_t* characters, const wchar_t* wide,
                                     unsigned options);
const wchar_t* StrFindCharOutsideQuotesW(wchar_t character, const wchar_t* wide, unsigned options);
const wchar_t* StrFindW(const wchar_t* wide, const wchar_t* part, unsigned options);

size_t StrCountChar(const char* text, char character, bool caseSensitive);
const char* StrFindChar(const char* text, char character, bool caseSensitive);
const wchar_t* StrFindCharW(const wchar_t* wide, wchar_t character, bool caseSensitive);
// The n-th occurrence (from 1), or null.
const char* StrFindNthChar(const char* text, char character, size_t n, bool caseSensitive);

// Writable forms, as templates so that a plain nullptr argument still picks
// the const form.
template <typename C, typename = std::enable_if_t<std::is_same_v<C, char>>>
inline C* StrStrNoCase(C* text, const char* part) {
  return const_cast<C*>(StrStrNoCase(static_cast<const C*>(text), part));
}
template <typename C, typename = std::enable_if_t<std::is_same_v<C, char>>>
inline C* StrStrSafe(C* text, const char* part) {
  return const_cast<C*>(StrStrSafe(static_cast<const C*>(text), part));
}
template <typename C, typename = std::enable_if_t<std::is_same_v<C, char>>>
inline C* StrFindOutsideQuotes(const char* characters, C* text, bool caseSensitive,
                               bool skipQuotes) {
  return const_cast<C*>(
      StrFindOutsideQuotes(characters, static_cast<const C*>(text), caseSensitive, skipQuotes));
}
template <typename C, typename = std::enable_if_t<std::is_same_v<C, char>>>
inline C* StrFindChar(C* text, char character, bool caseSensitive) {
  return const_cast<C*>(StrFindChar(static_cast<const C*>(text), character, caseSensitive));
}
template <typename C, typename = std::enable_if_t<std::is_same_v<C, wchar_t>>>
inline C* StrFindW(C* wide, const wchar_t* part, unsigned options) {
  return const_cast<C*>(StrFindW(static_cast<const C*>(wide), part, options));
}

// ---------------------------------------------------------------------------
// In-place editing; each returns its text unless stated.

char* TrimBlanks(char* text);
wchar_t* TrimBlanksW(wchar_t* wide);
// Trims; then, when it starts and ends with a double or single quote (not
// necessarily the same kind), removes both.
char* TrimAndUnquote(char* text);
// Trims; removes a leading '"' then a leading '\'', a trailing '"' then a
// trailing '\'', each on its own.
wchar_t* TrimAndUnquoteW(wchar_t* wide);
// Removes the character from both ends, repeatedly.
char* TrimChar(char* text, char character);
// Replaces every occurrence of from by to, left to right, and returns the
// count. The caller guarantees room for the growth.
size_t StrReplaceAll(char* text, const char* from, const char* to, bool caseSensitive);
// Replaces every from by to; with to == NUL the occurrences are deleted.
char* StrReplaceChar(char* text, char from, char to);
// Every doubled occurrence of the character becomes a single one.
char* StrCollapseDoubledChar(char* text, char character);
char* StrDeleteFirstChar(char* text);
// Moves text right and copies prefix in front; the caller guarantees room.
char* StrPrepend(const char* prefix, char* text);
inline char* StrPrependRaw(const char* prefix, char* text) { return StrPrepend(prefix, text); }
// Escapes backslash, CR, LF, TAB, '"' and '\'' for a script string literal,
// in place (the caller guarantees room) and returns 0; with countOnly the text
// is left alone and the growth is returned.
size_t EscapeScriptString(char* text, bool countOnly);
// Folds the accented letters of code page 1252 onto their base letters.
char* RemoveAccents(char* text);

// ---------------------------------------------------------------------------
// Copies, splitting and allocation.

// A null text copies "".
char* StrDupExtra(const char* text, size_t extra);
// Copies at most n characters into buffer[n + 1] and terminates; a null text
// zero-fills the buffer; the same pointer is left alone.
char* StrCopyN(char* buffer, const char* text, size_t n);
void* MemDup(const void* data, size_t n);
wchar_t* WideStrDupEx(const wchar_t* wide, size_t extra);
wchar_t* HeapAllocWide(size_t count);
char* HeapPrintf(size_t extra, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
// New heap copy of the line around position (bounded by CR, LF or the ends of
// the text that starts at start); with bit 0 of trim, blanks are trimmed.
char* GetLineAt(const char* position, const char* start, unsigned trim);
// Splits text at the separator outside double-quoted spans into up to n new
// heap texts, trimmed of blanks; the last part takes the rest. Returns how
// many parts were made; the other entries of parts are set to null.
size_t StrSplitToParts(const char* text, char separator, size_t n, char** parts);
// Copies one field of a delimited wide text (CSV-like: a field that starts
// with '"' may hold separators and line ends, "" inside it is one quote) into
// *field, a heap buffer of *capacity characters grown as needed (allocated
// when null). Returns the character that ended the field (separator, CR or
// LF), or null at the end of the text.
const wchar_t* ReadDelimitedFieldW(wchar_t** field, const wchar_t* wide, wchar_t separator,
                                   size_t* capacity);

// ---------------------------------------------------------------------------
// Checks.

inline bool IsEmptyString(const char* text) { return !text || !*text; }
inline bool IsEmptyStringW(const wchar_t* wide) { return !wide || !*wide; }
inline bool IsHandleSet(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }
template <typename T>
inline bool InRange(T value, T low, T high) { return low <= value && value <= high; }
// TRUE when the text after the last '.' equals extension, ignoring case.
bool HasExtension(const char* fileName, const char* extension);
// Copies into a 512-character buffer; on overflow terminates it at the last
// character and returns HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER).
HRESULT CopyWide512(const wchar_t* source, wchar_t* destination);
inline bool IsReadableRecord(const void* record, size_t size) {
  return record && IsWritableMemory(record, size);
}

// ---------------------------------------------------------------------------
// Formatting. Each writes into buffer[size] and always terminates it.

// "%02d hr", "%02d min", "%02d seg" for the parts that are not 0, joined by
// one blank. Zero seconds write "" and return FALSE.
BOOL FormatDuration(int seconds, char* buffer, size_t size);
// Brazilian grouping: 1234567.8 gives "1.234.568".
void FormatNumberGrouped(double value, char* buffer, size_t size);
void FormatByteSize(LONGLONG value, char* buffer, size_t size);
// value x 100 / total, truncated; 0 when either is 0 or the result is negative.
int PercentRatio(int64_t value, int64_t total);
// base x percent / 100, truncated; 0 when base is 0 or the result is negative.
int PercentOf(int percent, int base);
// The date text: "dd/mm/yyyy hh:mm:ss" (day first), or "00/00/0000 00:00:00"
// for an unset time (0, or 1 January 1800). Converted to local time when
// toLocal is set. Needs size >= 20 for the whole text.
void FormatFileTime(char* buffer, size_t size, const FILETIME* time, bool toLocal);
// Milliseconds from earlier to later.
double SystemTimeDiffMs(const SYSTEMTIME* earlier, const SYSTEMTIME* later);

// Pseudo-random 32-bit number from the tick count, the seed text and the
// process id; also seeds the C run-time generator.
uint32_t MakeRandomNumber(const char* seed);

// ---------------------------------------------------------------------------
// Wildcards: '?' one character, '*' any run (ASCII case-insensitive).

constexpr unsigned kWildcardCaseSensitive = 0x1;
constexpr unsigned kWildcardInText = 0x2;  // '?' and '*' in the text match too
// The whole text must match. Collapses "**" in the pattern to "*" in place.
// end (optional) receives the end of the text on a match, null otherwise.
BOOL WildcardMatch(char* pattern, const char* text, unsigned flags, const char** end);
// Comma-separated list (quotes respected); "-pattern" excludes. The first
// pattern that matches decides; when none does, TRUE exactly when the last
// one was an exclusion. A null or empty list and "*" match everything.
BOOL WildcardMatchList(const char* patterns, const char* text, unsigned flags);

// ---------------------------------------------------------------------------
// In-place conversion.

// Converts a NUL-terminated UTF-8 text to the ANSI code page over itself and
// returns it. The ANSI text never needs more bytes than its UTF-8 source;
// should a conversion ever come out longer, it is cut to the source's length,
// so the caller's buffer is never overrun. Bytes that are not UTF-8 become
// the code page's default character. A null or empty text is left alone.
char* ConvertUTF8ToANSIInPlace(char* text);
