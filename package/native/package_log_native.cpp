// Natively the package library's log lines go to standard error when
// ZEQ_NATIVE_LOG is set, and nowhere otherwise (fuzzing runs make millions).
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "package/package_log.h"

static std::atomic<bool> enabled{true};

void PackageLogPrintf(const char* format, ...) {
  static const bool shown = std::getenv("ZEQ_NATIVE_LOG") != nullptr;
  if (!shown || !enabled.load(std::memory_order_relaxed)) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

bool PackageLogEnable(bool on) { return enabled.exchange(on); }
