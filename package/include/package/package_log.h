// The one place where the package library writes its log lines: an entry of
// the process log (ZEQLogPrintf) in the Windows builds, standard error in
// the native build when ZEQ_NATIVE_LOG is set.
#pragma once

// Keeps the caller's last-error value, never throws. The native build's
// clang knows no gnu_printf format (the Windows builds' C runtime needs it).
#if defined(__MINGW32__)
void PackageLogPrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void PackageLogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// Turns the package library's lines on or off for the whole process and
// returns the previous setting (on at start). For tests that count heap
// blocks around a call: the process log keeps lines in memory while it has
// no file, which would read as blocks left behind by the call.
bool PackageLogEnable(bool on);
