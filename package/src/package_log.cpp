#include "package/package_log.h"

#include <cstdarg>

#include "foundation/log.h"

void PackageLogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ZEQLogVPrintf(format, args);
  va_end(args);
}
