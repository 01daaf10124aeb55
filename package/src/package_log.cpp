#include "package/package_log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

static std::atomic<PackageLogSink> g_sink{nullptr};

PackageLogSink SetPackageLogSink(PackageLogSink sink) { return g_sink.exchange(sink); }

void PackageLogPrintf(const char* format, ...) {
  PackageLogSink sink = g_sink.load();
  if (!sink || !format) return;
  DWORD lastError = GetLastError();
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  try {
    int size = std::vsnprintf(nullptr, 0, format, args);
    if (size >= 0) {
      std::string line(size_t(size) + 1, '\0');
      std::vsnprintf(&line[0], line.size(), format, again);
      line.resize(size_t(size));
      sink(line.c_str());
    }
  } catch (...) {
    // Logging never ends the caller.
  }
  va_end(again);
  va_end(args);
  SetLastError(lastError);
}
