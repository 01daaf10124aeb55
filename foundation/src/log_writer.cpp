// One log entry: the line, its decorations and its prefix.
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/runtime_services.h"
#include "foundation/text.h"
#include "log_internal.h"

namespace {

constexpr size_t kBannerIndent = 42;
constexpr size_t kWarningDashes = 100;
constexpr size_t kClosingDashes = 112;
constexpr size_t kRuleColumn = 160;
constexpr size_t kRuleLongestText = 99;

// A run of one character after an optional lead text, as one piece.
void WriteRun(ZEQLog* log, const char* lead, char c, size_t count) {
  char run[kRuleColumn + 8];
  const size_t leadLength = std::strlen(lead);
  std::memcpy(run, lead, leadLength);
  std::memset(run + leadLength, c, count);
  run[leadLength + count] = '\0';
  LogFileWrite(log, run);
}

void WriteBanner(ZEQLog* log, bool opening) {
  WriteRun(log, "", ' ', kBannerIndent);
  if (opening) {
    LogFileWrite(log, "--- WARNING ");
    WriteRun(log, "", '-', kWarningDashes);
  } else {
    WriteRun(log, "", '-', kClosingDashes);
  }
  LogFileWrite(log, "\r\n");
}

// The entry's text in a new heap buffer with room for the growth that
// indentation and enciphering will cause.
char* MakeLine(const char* format, va_list* args, char** end) {
  char* line = args ? HeapFormatString(0, format, *args) : static_cast<char*>(MemDup(format, std::strlen(format)));
  const size_t length = std::strlen(line);
  const size_t size = length + LogLineGrowth(line) + 1;
  line = static_cast<char*>(HeapReAllocZ(line, size));
  *end = line + size;
  return line;
}

bool HasFailureWord(const char* text) {
  return StrStrNoCase(text, "failed") || StrStrNoCase(text, "error") || StrStrNoCase(text, "retry");
}

// Appends a field of the given width: the formatted value when shown, else
// blanks; then one blank.
char* AppendField(char* out, bool shown, size_t width, const char* format, ...)
    __attribute__((format(gnu_printf, 4, 5)));
char* AppendField(char* out, bool shown, size_t width, const char* format, ...) {
  if (shown) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out, 32, format, args);
    va_end(args);
    out += n > 0 ? (n < 32 ? n : 31) : 0;
  } else {
    std::memset(out, ' ', width);
    out += width;
  }
  *out++ = ' ';
  return out;
}

}  // namespace

int ZEQLogFormatPrefix(DWORD threadId, const char* text, ZEQLog* log, uint32_t flags) {
  ZEQLogLock hold(log);
  const double lap = log->profiler.Elapsed(true);
  char* out = log->prefix;

  char* column = out;
  if (text && HasFailureWord(text)) out = static_cast<char*>(std::memcpy(out, "[!]", 3)) + 3;
  if (lap > kZEQLogSilenceSeconds) out = static_cast<char*>(std::memcpy(out, "[$]", 3)) + 3;
  while (out < column + 7) *out++ = ' ';

  out = AppendField(out, flags & kZEQLogThreadField, 8, "%08lX",
                    static_cast<unsigned long>(threadId ? threadId : GetCurrentThreadId()));
  SYSTEMTIME now;
  GetLocalTime(&now);
  out = AppendField(out, flags & kZEQLogTimeField, 8, "%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
  out = AppendField(out, flags & kZEQLogLapField, 10, "%010.03f", lap);
  if (!(flags & kZEQLogElapsedField)) {
    out = AppendField(out, false, 10, "%s", "");
  } else if (log->startStamp > 0) {
    // The profiler clock counts seconds.
    out = AppendField(out, true, 10, "%010.03f", log->profiler.Now() - log->startStamp);
  } else {
    *out++ = ' ';
  }
  if (out[-1] == ' ') --out;
  std::memcpy(out, (flags & kZEQLogRawPrefix) ? "   " : " - ", 4);
  return 1;
}

bool ZEQLogWrite(const char* format, ZEQLog* log, DWORD threadId, va_list* args) {
  if (!format || !log || !log->lock) return false;
  try {
    char* end;
    char* line = MakeLine(format, args, &end);

    ZEQLogLock hold(log);
    HeapFreeZ(log->currentLine);
    log->currentLine = line;

    char* text = line;
    const bool tagged = static_cast<unsigned char>(*text) == 0xFF;
    if (tagged) ++text;
    const bool warning = *text == '!';
    if (warning) {
      ++text;
      WriteBanner(log, true);
    }
    const bool echoed = text[0] == '>' && text[1] != '>';
    if (echoed) ConsoleWriteLine(++text);
    if (*text == '@') ++text;
    const bool section = !echoed && *text == '-';
    if (section) ++text;

    IndentContinuationLines(text, end);
    if (text[0] == '\r' && text[1] == '\n') {
      LogFileWrite(log, "\r\n");
      text += 2;
    }
    if (*text == '\n') {
      LogFileWrite(log, "\n");
      ++text;
    }
    EncipherLogSpans(text, end);

    uint32_t flags = log->prefixFlags;
    if (*text == '~') {
      ++text;
      flags = (flags & ~0x3Fu) | kZEQLogRawPrefix;
    }
    const bool prefixed = *text != '.';
    if (!prefixed) ++text;
    if (prefixed) {
      ZEQLogFormatPrefix(threadId, text, log, flags);
      LogFileWrite(log, log->prefix);
      if (tagged) LogFileWrite(log, "[ZEQ] ");
    }
    if (section) LogFileWrite(log, "-- ");
    LogFileWrite(log, text);
    const size_t length = std::strlen(text);
    if (section && length <= kRuleLongestText) WriteRun(log, " ", '-', kRuleColumn - length);
    LogFileWrite(log, "\r\n");
    if (warning) WriteBanner(log, false);
    return true;
  } catch (...) {
    // Logging never ends its caller.
    return false;
  }
}
