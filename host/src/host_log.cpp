#include "host/host_log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>

#include "foundation/heap.h"
#include "foundation/runtime_services.h"

static std::atomic<HostLogSink> g_sink{nullptr};

HostLogSink SetHostLogSink(HostLogSink sink) { return g_sink.exchange(sink); }

void HostLogPrintf(const char* format, ...) {
  HostLogSink sink = g_sink.load();
  if (!sink || !format) return;
  DWORD lastError = GetLastError();
  va_list args;
  va_start(args, format);
  try {
    char* line = HeapFormatString(0, format, args);
    if (line) sink(line);
    HeapFreeZ(line);
  } catch (...) {
    // Logging never ends the caller.
  }
  va_end(args);
  SetLastError(lastError);
}

void HostLogUnexpected(const char* function) { HostLogPrintf("!%s: Unexpected exception...", function); }
