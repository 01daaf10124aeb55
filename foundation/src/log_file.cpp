// The log's file: appending with the size limit, the pending queue, opening
// with the last-session check, restarting and closing.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "foundation/records.h"
#include "foundation/text.h"
#include "log_file_internal.h"

namespace {

// A handle of the virtual file system: its files are read-only.
constexpr char kVirtualFileTag[] = "+KESTOVFSHANDLE";

// Makes every missing folder of the path, from the root down; folders that
// exist or cannot be made are passed over (the open then tells).
void MakeParentFolders(const char* path) {
  char folder[MAX_PATH + 1];
  const size_t length = std::strlen(path);
  if (length > MAX_PATH) return;
  for (size_t i = 1; i < length; ++i) {
    if (path[i] != '\\' && path[i] != '/') continue;
    if (path[i - 1] == ':' || path[i - 1] == '\\' || path[i - 1] == '/') continue;
    std::memcpy(folder, path, i);
    folder[i] = '\0';
    CreateDirectoryA(folder, nullptr);
  }
}

HANDLE PlatformOpen(const char* path) {
  MakeParentFolders(path);
  SetLastError(0);
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL PlatformClose(HANDLE* slot) {
  HANDLE handle = *slot;
  *slot = INVALID_HANDLE_VALUE;
  return CloseHandle(handle);
}

std::atomic<HANDLE (*)(const char*)> g_open{PlatformOpen};
std::atomic<BOOL (*)(HANDLE*)> g_close{PlatformClose};

bool IsVirtualFile(HANDLE handle) { return IsTaggedRecord(handle, sizeof(ZEQTypedRecord), kVirtualFileTag); }

// Writes at the end of the file, without the size check.
BOOL AppendToFile(ZEQLog* log, const char* text, size_t length) {
  if (IsVirtualFile(log->file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  SetFilePointer(log->file, 0, nullptr, FILE_END);
  DWORD written = 0;
  return WriteFile(log->file, text, DWORD(length), &written, nullptr);
}

// Queues a text while no file is open. Once the queue was full, everything
// is refused until it is flushed, so the queue always holds the earliest
// text in one piece.
BOOL QueuePending(ZEQLog* log, const char* text, size_t length) {
  ZEQList* queue = log->pending;
  if (!queue) return FALSE;
  if (log->pendingDropped || queue->count >= kZEQLogPendingMaxWrites ||
      queue->keyBytes + length + 1 > kZEQLogPendingMaxBytes) {
    const uint64_t dropped = uint64_t(log->pendingDropped) + length;
    log->pendingDropped = dropped > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(dropped);
    return FALSE;
  }
  return queue->Insert(text, uint32_t(length + 1), 0x7FFFFFFF, 0, 0, ZEQLIST_TEXT_KEY, nullptr) != nullptr;
}

// Whether the last line of the file (the bytes after its last line feed)
// holds "[CLOSED]"; leaves the flag alone when the file has no line feed or
// cannot be read. Reads backwards in chunks.
void CheckLastSession(ZEQLog* log) {
  static const char kClosed[] = "[CLOSED]";
  constexpr size_t kCarry = sizeof kClosed - 2;  // a mark may straddle two chunks
  constexpr size_t kChunk = 512;
  LARGE_INTEGER position;
  if (!SetFilePointerEx(log->file, LARGE_INTEGER{}, &position, FILE_END)) return;
  char window[kChunk + kCarry];
  size_t carry = 0;
  bool closed = false;
  for (int64_t at = position.QuadPart; at > 0;) {
    const size_t n = at < int64_t(kChunk) ? size_t(at) : kChunk;
    at -= int64_t(n);
    std::memmove(window + n, window, carry);  // the start of the later chunk follows
    LARGE_INTEGER seek;
    seek.QuadPart = at;
    DWORD got = 0;
    if (!SetFilePointerEx(log->file, seek, nullptr, FILE_BEGIN) || !ReadFile(log->file, window, DWORD(n), &got, nullptr) ||
        got != n) {
      return;
    }
    size_t lineStart = 0;
    bool feed = false;
    for (size_t i = n; i-- > 0;) {
      if (window[i] == '\n') {
        lineStart = i + 1;
        feed = true;
        break;
      }
    }
    closed = closed || ContainsBytes(window + lineStart, n + carry - lineStart, kClosed);
    if (feed) {
      log->lastSession = closed ? 0 : 1;
      return;
    }
    carry = n < kCarry ? n : kCarry;
  }
}

}  // namespace

void ZEQLogSetFileCalls(const ZEQLogFileCalls* calls) {
  g_open.store(calls && calls->open ? calls->open : PlatformOpen);
  g_close.store(calls && calls->close ? calls->close : PlatformClose);
}

BOOL LogFileWrite(ZEQLog* log, const char* text) {
  if (!log || !log->lock || IsEmptyString(text)) return FALSE;
  try {
    ZEQLockGuard hold(log->lock);
    const size_t length = std::strlen(text);
    if (!log->HasFile()) return QueuePending(log, text, length);
    const uint32_t limit = ZEQGetLogSizeLimit();
    LARGE_INTEGER size;
    if (limit != kZEQLogNoSizeLimit && !IsVirtualFile(log->file) &&
        SetFilePointerEx(log->file, LARGE_INTEGER{}, &size, FILE_END) && size.QuadPart > int64_t(limit)) {
      log->Restart();
    }
    return AppendToFile(log, text, length);
  } catch (...) {
    return FALSE;
  }
}

BOOL ZEQLog::FlushPending() {
  if (!lock) return FALSE;
  try {
    ZEQLockGuard hold(lock);
    if (!HasFile()) return FALSE;
    if (pending) {
      for (int i = 0; i < pending->count; ++i) {
        if (ZEQListItem* item = pending->GetItemAt(i)) LogFileWrite(this, item->KeyText());
      }
      pending->Clear(false);
    }
    if (pendingDropped) {
      char note[128];
      std::snprintf(note, sizeof note, "       *** %lu bytes of log text were dropped while the log had no file\r\n",
                static_cast<unsigned long>(pendingDropped));
      pendingDropped = 0;
      LogFileWrite(this, note);
    }
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

BOOL ZEQLog::Open(const char* filePath, bool truncate) {
  if (!lock || IsEmptyString(filePath)) return FALSE;
  if (std::strlen(filePath) > kZEQLogPathMax) {
    // A cut path would name another file.
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  ZEQLockGuard hold(lock);
  if (HasFile()) return FALSE;
  StrCopyN(path, filePath, kZEQLogPathMax);
  HANDLE handle = g_open.load()(path);
  const DWORD opened = GetLastError();
  if (!IsHandleSet(handle)) return FALSE;
  file = handle;
  if (opened == ERROR_ALREADY_EXISTS) {
    CheckLastSession(this);
    if (truncate) {
      SetFilePointer(file, 0, nullptr, FILE_BEGIN);
      SetEndOfFile(file);
    } else {
      LogFileWrite(this, "\r\n       ");
    }
  }
  WriteBannerEntry(this, ZEQLogBanner::Started, LogFileWrite);
  return TRUE;
}

BOOL ZEQLog::Restart() {
  if (!lock) return FALSE;
  ZEQLockGuard hold(lock);
  if (!HasFile()) return FALSE;
  if (IsVirtualFile(file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (!SetEndOfFile(file)) return FALSE;
  // Written past the size check: a limit smaller than this entry must not
  // restart the file again for each of its pieces.
  WriteBannerEntry(this, ZEQLogBanner::Restarted,
                   [](ZEQLog* log, const char* text) { return AppendToFile(log, text, std::strlen(text)); });
  return TRUE;
}

BOOL ZEQLog::Close() {
  if (!lock) return FALSE;
  ZEQLockGuard hold(lock);
  if (!HasFile()) return FALSE;
  WriteBannerEntry(this, ZEQLogBanner::Closed, LogFileWrite);
  g_close.load()(&file);
  file = INVALID_HANDLE_VALUE;
  return TRUE;
}
