// The log object, the global log, and the console echo.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "log_internal.h"

namespace {

ZEQLog g_globalLog;

}  // namespace

ZEQLog* ZEQLog::Init(const ZEQProfilerClock* clock) {
  std::memset(static_cast<void*>(this), 0, sizeof *this);
  lock = HeapAllocArray<CRITICAL_SECTION>(1);
  InitializeCriticalSection(lock);
  profiler.Init("KESTOLOG Profiler", clock);
  startStamp = profiler.Now();
  prefixFlags = kZEQLogDefaultFlags;
  ZEQList::Create(&pending);
  return this;
}

void ZEQLog::Free() {
  if (lock) {
    DeleteCriticalSection(lock);
    HeapFreeZ(lock);
    lock = nullptr;
  }
  profiler.Free();
  ZEQList::DeleteAt(&pending);
  HeapFreeZ(currentLine);
  currentLine = nullptr;
}

HANDLE ZEQLog::SetFile(HANDLE handle) {
  ZEQLockGuard hold(lock);
  HANDLE previous = file;
  file = handle;
  return previous;
}

bool ZEQLog::HasFile() const { return IsHandleSet(file); }

ZEQLog* ZEQGlobalLog() {
  // Made on first use, once, whichever thread logs first.
  static ZEQLog* const log = g_globalLog.Init();
  return log;
}

BOOL ConsoleWriteLine(const char* text) {
  if (!text) return FALSE;
  if (_fileno(stdout) < 0) {
    // A program without a console gets one for its echo.
    AllocConsole();
    if (freopen("CONOUT$", "w", stdout)) setvbuf(stdout, nullptr, _IONBF, 0);
  }
  if (_fileno(stdout) < 0) return FALSE;
  const size_t length = std::strlen(text);
  std::fputs(text, stdout);
  const bool endsWithFeed = (length >= 1 && text[length - 1] == '\n') || (length >= 2 && text[length - 2] == '\n');
  if (!endsWithFeed) std::fputc('\n', stdout);
  std::fflush(stdout);
  return TRUE;
}
