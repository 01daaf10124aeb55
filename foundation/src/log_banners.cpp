// What the log file's entries say, and the start-up's steps on the file.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "foundation/text.h"
#include "log_file_internal.h"

namespace {

constexpr char kIndent[] = "       ";

void FormatStamp(char* buffer, size_t size) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::snprintf(buffer, size, "%02d/%02d/%04d %02d:%02d:%02d:%03d", now.wDay, now.wMonth, now.wYear, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
}

// The application banner with 7 blanks after every line feed, as a new
// heap text.
char* IndentedBanner() {
  const char* banner = ZEQGetApplicationBanner();
  const size_t feeds = StrCountChar(banner, '\n', true);
  char* copy = static_cast<char*>(HeapAllocZ(std::strlen(banner) + feeds * (sizeof kIndent - 1) + 1));
  char* out = copy;
  for (const char* in = banner; *in; ++in) {
    *out++ = *in;
    if (*in == '\n') out = static_cast<char*>(std::memcpy(out, kIndent, sizeof kIndent - 1)) + sizeof kIndent - 1;
  }
  return copy;
}

// The executable's path with its extension (if any) replaced by ".log".
char* DefaultLogName(const char* executablePath) {
  const char* base = executablePath;
  for (const char* at = executablePath; *at; ++at) {
    if (*at == '\\' || *at == '/') base = at + 1;
  }
  const char* dot = std::strrchr(base, '.');
  const size_t stem = dot ? size_t(dot - executablePath) : std::strlen(executablePath);
  return HeapPrintf(0, "%.*s.log", int(stem), executablePath);
}

// One entry to the given log, queued while it has no file.
void LogTo(ZEQLog* log, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void LogTo(ZEQLog* log, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ZEQLogWrite(format, log, 0, &args);
  va_end(args);
}

}  // namespace

void WriteBannerEntry(ZEQLog* log, ZEQLogBanner which, int (*writer)(ZEQLog*, const char*)) {
  char stamp[32];
  FormatStamp(stamp, sizeof stamp);
  char* banner = IndentedBanner();
  char* entry = nullptr;
  switch (which) {
    case ZEQLogBanner::Started:
      entry = HeapPrintf(0, "%s[STARTED] %s\r\n%s%s\r\n", kIndent, stamp, kIndent, banner);
      break;
    case ZEQLogBanner::Restarted:
      entry = HeapPrintf(0, "%s[RESTARTED] %s\r\n%s%s\r\n", kIndent, stamp, kIndent, banner);
      break;
    case ZEQLogBanner::Closed:
      entry = HeapPrintf(0, "\r\n%s%s[CLOSED] %s", kIndent, banner, stamp);
      break;
  }
  HeapFreeZ(banner);
  writer(log, entry);
  HeapFreeZ(entry);
}

void FormatVersionLine(char* buffer, size_t size) {
  if (!buffer || !size) return;
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  std::snprintf(buffer, size,
                "KESTO Version: %u.%u.%u - ZEQ Version: %u.%u - Windows version: %d.%d.%d.%d (%s) - Code Page: %d",
                kKESTOVersionMajor, kKESTOVersionMinor, kKESTOVersionBuild, kZEQVersionMajor, kZEQVersionMinor,
                int(version.dwMajorVersion), int(version.dwMinorVersion), int(version.dwBuildNumber),
                int(version.dwPlatformId), version.szCSDVersion, int(GetACP()));
}

void ComposeApplicationBanner(const char* executablePath) {
  char version[512];
  FormatVersionLine(version, sizeof version);
  char* banner = HeapPrintf(0, "KESTO Location: \"%s\"\r\n%s\r\n", executablePath ? executablePath : "", version);
  ZEQSetApplicationBanner(banner);
  HeapFreeZ(banner);
}

BOOL SetLogMaxSizeText(const char* value) {
  if (!value) return FALSE;
  // Decimal, read unsigned: "-1" is no limit, a text without digits is 0.
  ZEQSetLogSizeLimit(uint32_t(std::strtoul(value, nullptr, 10)));
  return TRUE;
}

uint32_t ZEQLogStartFile(ZEQLog* log, const ZEQLogFileSettings& settings) {
  if (settings.enable) {
    char* name = StrDupExtra(settings.name, 0);
    TrimAndUnquote(name);
    if (!*name) {
      HeapFreeZ(name);
      name = DefaultLogName(settings.executablePath ? settings.executablePath : "");
    }
    const BOOL opened = log->Open(name, true);
    HeapFreeZ(name);
    if (!opened && !settings.ignoreErrors) return kZEQLogOpenError;
  }
  log->FlushPending();
  ZEQSetLogSizeLimit(settings.packageSignature ? kZEQLogSignedSizeLimit : kZEQLogNoSizeLimit);
  SetLogMaxSizeText(settings.maxSize);
  const uint32_t limit = ZEQGetLogSizeLimit();
  if (limit == kZEQLogNoSizeLimit) {
    LogTo(log, "Log Size Limit: INFINITE");
  } else {
    LogTo(log, "Log Size Limit: %u Bytes", limit);
  }
  return 0;
}

void LogInitializedTime(const char* applicationName, ZEQProfiler* startup) {
  ZEQLogPrintf("*** %s initialized in %.03f seconds", applicationName ? applicationName : "",
               startup ? startup->Elapsed(false) : 0.0);
}
