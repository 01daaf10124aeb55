// The process log. Every subsystem reports through one printf-style call,
// ZEQLogPrintf, which appends one entry to the log: each line of the entry
// gets a fixed-width prefix (marker column, thread, time of day, lap since the
// previous line, elapsed time), continuation lines are indented by 7 blanks,
// and the text's first character may ask for a decoration:
//   0xFF  script output: the line is tagged "[ZEQ] " after the prefix
//   '!'   warning: the entry is framed by two banner lines
//   '>'   echoed to the console as well ('>>' is neither echoed nor changed)
//   '@'   dropped, nothing else
//   '-'   section line: "-- ", the text and a rule of '-' up to column 160
//   '~'   the prefix keeps its width and marker column but its fields are blank
//   '.'   raw line without prefix
// in that order, each looked for once. Spans written "{{\text/}}" or
// "{{\text,key/}}" are enciphered (Blowfish CBC, Base64) before they reach
// the file; a span without a key uses GetBuiltInCipherKey (without force).
//
// The marker column (7 characters) shows "[!]" when the text contains
// "failed", "error" or "retry" in any case, then "[$]" when the line comes
// more than 0.25 s after the previous prefixed line of the same log.
//
// Every entry is written whole under the log's lock, so entries of
// concurrent writers never interleave.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "foundation/profiler.h"

struct ZEQList;

// Prefix flags.
constexpr uint32_t kZEQLogThreadField = 0x01;
constexpr uint32_t kZEQLogTimeField = 0x04;
constexpr uint32_t kZEQLogLapField = 0x10;
constexpr uint32_t kZEQLogElapsedField = 0x20;
constexpr uint32_t kZEQLogRawPrefix = 0x40;  // ends in three blanks, not " - "
constexpr uint32_t kZEQLogDefaultFlags = 0x35;

constexpr size_t kZEQLogPathMax = 260;
constexpr size_t kZEQLogPrefixMax = 128;
// Width of every prefix, the marker column included (10 characters less
// while the log's start stamp is not above 0: the elapsed field is left out).
constexpr size_t kZEQLogPrefixWidth = 49;
// Longest key of an enciphered span; a longer one is cut.
constexpr size_t kZEQLogSpanKeyMax = 129;
// Lines that come later than this after the previous one are marked "[$]".
constexpr double kZEQLogSilenceSeconds = 0.25;

struct ZEQLog {
  HANDLE file;                // 0 or INVALID_HANDLE_VALUE while there is none
  CRITICAL_SECTION* lock;     // serialises entries, file writes and the prefix
  ZEQProfiler profiler;       // "KESTOLOG Profiler": the lap between lines
  double startStamp;          // profiler clock when the log was made
  ZEQList* pending;           // lines written before a file was open
  char path[kZEQLogPathMax + 1];
  char* currentLine;          // heap text of the latest entry
  char prefix[kZEQLogPrefixMax + 1];
  uint32_t lastSession;       // 1: the file's previous run did not close it
  uint32_t prefixFlags;
  uint32_t pendingDropped;    // bytes refused while the pending queue was full

  // Makes the log in place (any previous content is forgotten): its lock,
  // its profiler on the given clock (null: the system's), the start stamp,
  // the default prefix flags and an empty pending queue. No file is open.
  ZEQLog* Init(const ZEQProfilerClock* clock = nullptr);
  // Releases what Init made, the pending queue and the current line; the
  // file stays open.
  void Free();
  // The log file (see foundation/log_file.h). Open: 0 when a file is
  // already open or the file cannot be opened; otherwise notes whether the
  // file's previous run closed it (lastSession), empties the file (truncate)
  // or appends, and writes the "[STARTED]" entry. FlushPending writes the
  // queued text; 0 without a file. Restart empties the file and writes the
  // "[RESTARTED]" entry. Close writes the "[CLOSED]" entry and closes the
  // file; 0 without a file.
  BOOL Open(const char* path, bool truncate);
  BOOL FlushPending();
  BOOL Restart();
  BOOL Close();
  // Hands the log a file to append to (0 or INVALID_HANDLE_VALUE: none) and
  // returns the previous one, which the caller owns again.
  HANDLE SetFile(HANDLE handle);
  bool HasFile() const;
};

// The process-wide log, made on first use; its file is set by the start-up.
ZEQLog* ZEQGlobalLog();

// One entry to the global log. Keeps the caller's last-error value and never
// throws.
void ZEQLogPrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void ZEQLogVPrintf(const char* format, va_list args);
// One entry to the given log, only while it has a file; non-zero when the
// entry was written. Keeps the last error, never throws.
BOOL ZEQLogPrintfTo(ZEQLog* log, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
// One entry written by the main window's thread: while the main window
// exists, the formatted text is posted to it (CMSG_KESTOASYNCHLOG) with the
// calling thread's id; otherwise, or when the post fails, it is written at
// once. A null log is the global log. Keeps the last error, never throws.
void ZEQLogPost(ZEQLog* log, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
// The main window's handling of CMSG_KESTOASYNCHLOG: writes the posted entry
// (its percent signs are not interpreted again) and frees the record. A
// value that is not such a record is ignored. Returns 0.
LRESULT ZEQLogHandlePostedLine(LPARAM lParam);
// The entry of a catch-all guard: "!name: Unexpected exception...".
void ZEQLogUnexpected(const char* name);

// The writer. With an argument list the format is expanded; without one it
// is written as it is. Thread id 0 is the calling thread. Returns false when
// the entry could not be made (no log, no memory); it never throws.
bool ZEQLogWrite(const char* format, ZEQLog* log, DWORD threadId, va_list* args);
// Builds the prefix of one line into log->prefix (restarting the lap) and
// returns 1.
int ZEQLogFormatPrefix(DWORD threadId, const char* text, ZEQLog* log, uint32_t flags);
// The text padded with 1 to 8 zero bytes to whole blocks, enciphered with
// Blowfish CBC (zero initial block) under the key's characters, as a new
// Base64 heap text; null when either is null or the key is empty.
char* EncipherToBase64(const char* text, const char* key);

// Appends a text to the log's file, restarting the file first when it has
// grown past the log size limit. Without a file the text is queued (result
// 1, or 0 when the queue is full); a null or empty text writes nothing.
BOOL LogFileWrite(ZEQLog* log, const char* text);
// Echoes a text to the process's console (made when the process has no
// standard output) with a line feed unless the text ends with one; 0 when
// there is no output to write to.
BOOL ConsoleWriteLine(const char* text);
