// The entry points callers use: they keep the caller's last error and never
// let an exception out.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/records.h"
#include "foundation/registered_messages.h"
#include "foundation/runtime_services.h"

namespace {

constexpr char kPostedLineTag[] = "+KESTOASYNCHLOG";

// The record a posted entry travels in; the main window's thread frees it.
struct PostedLine {
  ZEQTypedRecord header;
  DWORD threadId;
  ZEQLog* log;
  size_t length;
  char* text;
};

class KeepLastError {
 public:
  KeepLastError() : error_(GetLastError()) {}
  ~KeepLastError() { SetLastError(error_); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  DWORD error_;
};

void FreePostedLine(PostedLine* record) {
  HeapFreeZ(record->text);
  ZEQRetireRecord(record);
  HeapFreeZ(record);
}

// Posts the formatted entry to the main window; false when there is none or
// the post failed (nothing is left allocated then).
bool PostToMainWindow(ZEQLog* log, const char* format, va_list args) {
  HWND window = ZEQGetMainWindow();
  if (!window || !IsWindow(window)) return false;
  PostedLine* record = nullptr;
  try {
    record = HeapAllocArray<PostedLine>(1);
    ZEQStampRecord(record, kPostedLineTag, nullptr);
    record->threadId = GetCurrentThreadId();
    record->log = log;
    record->text = HeapFormatString(0, format, args);
    record->length = std::strlen(record->text);
  } catch (...) {
    if (record) FreePostedLine(record);
    return false;
  }
  if (PostMessageA(window, CMSG_KESTOASYNCHLOG, 0, reinterpret_cast<LPARAM>(record))) return true;
  FreePostedLine(record);
  return false;
}

}  // namespace

void ZEQLogVPrintf(const char* format, va_list args) {
  KeepLastError keep;
  ZEQLogWrite(format, ZEQGlobalLog(), 0, &args);
}

void ZEQLogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ZEQLogVPrintf(format, args);
  va_end(args);
}

BOOL ZEQLogPrintfTo(ZEQLog* log, const char* format, ...) {
  KeepLastError keep;
  if (!log || !log->HasFile()) return FALSE;
  va_list args;
  va_start(args, format);
  const bool written = ZEQLogWrite(format, log, 0, &args);
  va_end(args);
  return written;
}

void ZEQLogPost(ZEQLog* log, const char* format, ...) {
  KeepLastError keep;
  if (!format) return;
  if (!log) log = ZEQGlobalLog();
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  if (!PostToMainWindow(log, format, args)) ZEQLogWrite(format, log, 0, &again);
  va_end(again);
  va_end(args);
}

LRESULT ZEQLogHandlePostedLine(LPARAM lParam) {
  auto* record = reinterpret_cast<PostedLine*>(lParam);
  if (!IsTaggedRecord(record, sizeof *record, kPostedLineTag)) return 0;
  ZEQLogWrite(record->text, record->log, record->threadId, nullptr);
  FreePostedLine(record);
  return 0;
}

void ZEQLogUnexpected(const char* name) { ZEQLogPrintf("!%s: Unexpected exception...", name ? name : ""); }
