#include "package/package_log.h"

#include <atomic>
#include <cstdarg>

#include "foundation/log.h"

static std::atomic<bool> enabled{true};

void PackageLogPrintf(const char* format, ...) {
  if (!enabled.load(std::memory_order_relaxed)) return;
  va_list args;
  va_start(args, format);
  ZEQLogVPrintf(format, args);
  va_end(args);
}

bool PackageLogEnable(bool on) { return enabled.exchange(on); }
