// The log's file: one text file per process, opened empty at each start
// after checking whether the previous run closed it. Its life is marked by
// entries that repeat the application banner (where the executable lives and
// the version line):
//   "       [STARTED] dd/mm/yyyy hh:mm:ss:mmm"    when it opens
//   "       [RESTARTED] dd/mm/yyyy hh:mm:ss:mmm"  when it passed the size limit
//   "       [CLOSED] dd/mm/yyyy hh:mm:ss:mmm"     as its very last line
// so a file whose last line lacks "[CLOSED]" marks a run that did not end in
// order. Text written while no file is open waits in the log's pending queue
// (bounded) and is written by FlushPending.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/log.h"

// Log size limit of a process whose executable carries a package signature;
// otherwise there is none (kZEQLogNoSizeLimit).
constexpr uint32_t kZEQLogSignedSizeLimit = 20971520;
constexpr uint32_t kZEQLogNoSizeLimit = 0xFFFFFFFF;

// Bound of the pending queue: writes beyond either figure are dropped (and
// counted) until the queue is flushed.
constexpr int32_t kZEQLogPendingMaxWrites = 4096;
constexpr uint32_t kZEQLogPendingMaxBytes = 1024 * 1024;

// Start-up error when the log file cannot be opened.
constexpr uint32_t kZEQLogOpenError = 0x80000006;

// The version numbers the version line shows.
constexpr unsigned kKESTOVersionMajor = 3;
constexpr unsigned kKESTOVersionMinor = 7;
constexpr unsigned kKESTOVersionBuild = 121;
constexpr unsigned kZEQVersionMajor = 2;
constexpr unsigned kZEQVersionMinor = 5;

// How a log opens and closes its file. The defaults are the platform's
// calls (the missing folders of the path made one by one, CreateFileA,
// CloseHandle); the package layer installs calls that retry while another
// process holds the file and that reach the virtual file system too.
struct ZEQLogFileCalls {
  // Makes the folders of the path and opens the file for reading and
  // writing, shared read, opened always, normal attributes. The last error is
  // ERROR_ALREADY_EXISTS when the file existed. 0 or INVALID_HANDLE_VALUE on
  // failure.
  HANDLE (*open)(const char* path);
  // Closes the handle held in the slot; the slot becomes
  // INVALID_HANDLE_VALUE.
  BOOL (*close)(HANDLE* slot);
};
// Null restores the platform's calls.
void ZEQLogSetFileCalls(const ZEQLogFileCalls* calls);

// "KESTO Version: %u.%u.%u - ZEQ Version: %u.%u - Windows version:
// %d.%d.%d.%d (%s) - Code Page: %d" into the buffer (cut to its size).
void FormatVersionLine(char* buffer, size_t size);
// The application banner: "KESTO Location: \"<path>\"" CR LF, the version
// line, CR LF; kept process-wide (ZEQSetApplicationBanner) for the entries
// of every log.
void ComposeApplicationBanner(const char* executablePath);

// The process-wide log size limit, as "max size" of section "log" gives it:
// a decimal number read unsigned; a text that is not a number reads as 0.
// Null leaves the limit as it is (result 0); otherwise 1.
BOOL SetLogMaxSizeText(const char* value);

// The start-up's steps on the global log file, from the definitions'
// section "log" and what the executable is.
struct ZEQLogFileSettings {
  bool enable;                 // "enable": the file is opened only then
  const char* name;            // "name"; null or empty: the executable's path with ".log"
  bool ignoreErrors;           // "ignore errors": a file that does not open does not stop the start
  const char* executablePath;  // full path of the executable
  bool packageSignature;       // the executable carries a package signature
  const char* maxSize;         // "max size", null when the key is absent
};
// Opens the file when enabled (emptied), writes what was queued, sets the
// size limit (kZEQLogSignedSizeLimit for a signed executable, else none,
// then "max size") and logs it. Returns 0, or kZEQLogOpenError when the file
// did not open and errors are not ignored (nothing after the open was done
// then).
uint32_t ZEQLogStartFile(ZEQLog* log, const ZEQLogFileSettings& settings);

// Logs "*** <name> initialized in <seconds> seconds" with the seconds the
// start-up profiler measured since its start (it is not restarted).
void LogInitializedTime(const char* applicationName, ZEQProfiler* startup);
