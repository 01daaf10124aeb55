// Shared by the log file's sources.
#pragma once
#include <cstddef>

struct ZEQLog;

enum class ZEQLogBanner { Started, Restarted, Closed };

// Composes the entry (its time stamp and the application banner with every
// continuation line indented) and hands it to the writer whole.
void WriteBannerEntry(ZEQLog* log, ZEQLogBanner which, int (*writer)(ZEQLog*, const char*));
