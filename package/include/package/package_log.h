// The one place where the package library writes its log lines.
//
// The process log writer is not linked into this library yet: until it is,
// PackageLogPrintf formats the line and hands it to the sink installed with
// SetPackageLogSink (none by default, so lines are dropped). When the log
// writer exists, PackageLogPrintf's body forwards to it and nothing else in
// the library changes.
#pragma once

using PackageLogSink = void (*)(const char* line);

// Keeps the caller's last-error value, never throws.
void PackageLogPrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Installs a sink (null removes it) and returns the previous one.
PackageLogSink SetPackageLogSink(PackageLogSink sink);
