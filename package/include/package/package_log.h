// The one place where the package library writes its log lines: an entry of
// the process log (ZEQLogPrintf).
#pragma once

// Keeps the caller's last-error value, never throws.
void PackageLogPrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
