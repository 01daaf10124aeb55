// The one place where the container host writes its log lines.
//
// The process log writer is not linked into this library yet: until it is,
// HostLogPrintf formats the line and hands it to the sink installed with
// SetHostLogSink (none by default, so lines are dropped). When the log writer
// exists, HostLogPrintf's body forwards to it and its callers stay as they
// are.
#pragma once

using HostLogSink = void (*)(const char* line);

// Keeps the caller's last-error value, never throws.
void HostLogPrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Installs a sink (null removes it) and returns the previous one.
HostLogSink SetHostLogSink(HostLogSink sink);

// The catch-all guard's entry: "!" + the guarded function's name + ": Unexpected exception...".
void HostLogUnexpected(const char* function);
