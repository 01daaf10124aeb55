// Command messages: the client side of a pipe and an endpoint's pending
// requests.
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "host/ipc_message.h"
#include "package/vfs.h"

namespace {

constexpr int kBusyRetries = 300;
constexpr DWORD kBusyWaitMs = 100;
// A pipe that stays busy in the middle of a read is given up after this
// many waits.
constexpr int kReadBusyRetries = 50;
constexpr int kPathBusyRetries = 10;

std::string PipePath(const char* name) { return std::string("\\\\.\\pipe\\") + name; }

}  // namespace

IPCEndpoint::IPCEndpoint(const char* name) : name_(name ? name : "") {}

std::string IPCEndpoint::Name() const { return name_; }

std::string IPCEndpoint::NewRequestId(uintptr_t entry) {
  const LONG order = InterlockedIncrement(&counter_);
  const std::string id = std::to_string(order);
  ZEQLockScope scope(lock_);
  pending_[id] = Pending{entry, order, GetTickCount()};
  return id;
}

bool IPCEndpoint::RemovePending(const std::string& id) {
  ZEQLockScope scope(lock_);
  return pending_.erase(id) != 0;
}

uintptr_t IPCEndpoint::FindPending(const std::string& id) {
  ZEQLockScope scope(lock_);
  auto found = pending_.find(id);
  return found == pending_.end() ? 0 : found->second.entry;
}

uintptr_t IPCEndpoint::TakePending(const std::string& id) {
  ZEQLockScope scope(lock_);
  auto found = pending_.find(id);
  if (found == pending_.end()) return 0;
  const uintptr_t entry = found->second.entry;
  pending_.erase(found);
  return entry;
}

std::vector<uintptr_t> IPCEndpoint::TakeStale(DWORD maxAgeMs, size_t keep) {
  std::vector<uintptr_t> stale;
  const DWORD now = GetTickCount();
  ZEQLockScope scope(lock_);
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (now - it->second.tick >= maxAgeMs) {
      stale.push_back(it->second.entry);
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  while (pending_.size() > keep) {
    auto oldest = pending_.begin();
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->second.order - oldest->second.order < 0) oldest = it;
    }
    stale.push_back(oldest->second.entry);
    pending_.erase(oldest);
  }
  return stale;
}

HANDLE IPCOpenPipe(const char* name) {
  if (!name || !*name) return INVALID_HANDLE_VALUE;
  const std::string path = PipePath(name);
  for (int attempt = 0; attempt < kBusyRetries; ++attempt) {
    HANDLE pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    if (GetLastError() != ERROR_PIPE_BUSY) break;
    WaitNamedPipeA(path.c_str(), kBusyWaitMs);
  }
  return INVALID_HANDLE_VALUE;
}

bool IPCPipeExists(const char* name) {
  HANDLE pipe = IPCOpenPipe(name);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(pipe);
  return true;
}

int IPCWritePipe(HANDLE pipe, const std::string& text) {
  DWORD written = 0;
  if (!WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size())
    return 4;
  return 0;
}

std::string IPCReadPipe(HANDLE pipe, size_t limit) {
  std::string text;
  char buffer[kIpcMaxMessage + 1];
  int busy = 0;
  while (text.size() < limit) {
    std::memset(buffer, 0, sizeof buffer);
    DWORD read = 0;
    const BOOL done = ReadFile(pipe, buffer, kIpcMaxMessage, &read, nullptr);
    const DWORD error = done ? 0 : GetLastError();
    if (done || error == ERROR_MORE_DATA) {
      text.append(buffer, strnlen(buffer, read));
      if (done) break;
      continue;
    }
    if (error == ERROR_PIPE_BUSY && ++busy <= kReadBusyRetries) {
      Sleep(kBusyWaitMs);
      continue;
    }
    break;  // broken pipe or any other error: what has arrived
  }
  if (text.size() > limit) text.resize(limit);
  return text;
}

int IPCSendText(const char* name, const std::string& text) {
  HANDLE pipe = IPCOpenPipe(name);
  if (pipe == INVALID_HANDLE_VALUE) return 1;
  DWORD mode = PIPE_READMODE_MESSAGE;
  int result = 0;
  if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
    result = 2;
  } else {
    result = IPCWritePipe(pipe, text);
  }
  CloseHandle(pipe);
  return result;
}

HANDLE GetPipeHandle(const char* path) {
  if (!path) path = "";
  if (_strnicmp(path, "zeq:", 4) == 0) path += 4;
  for (int attempt = 0;; ++attempt) {
    HANDLE pipe = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    const DWORD error = GetLastError();
    if (error != ERROR_PIPE_BUSY) {
      ZEQLogPrintf("GetPipeHandle: \"%s\", Error: %d", path, int(error));
      return nullptr;
    }
    if (attempt >= kPathBusyRetries) {
      ZEQLogPrintf("GetPipeHandle: \"%s\", TimeOut: %d", path, int(error));
      return nullptr;
    }
    WaitNamedPipeA(path, kBusyWaitMs);
  }
}

BOOL SendToPipe(HANDLE pipe, const char* text) {
  BOOL written = FALSE;
  if (IsVFSHandleRecord(pipe)) {
    SetLastError(ERROR_INVALID_HANDLE);
  } else {
    wchar_t* wide = AnsiToWideDup(text ? text : "", 0);
    if (!wide) throw ZEQOutOfMemory();
    const DWORD bytes = DWORD(wcslen(wide) * sizeof(wchar_t));
    DWORD done = 0;
    written = WriteFile(pipe, wide, bytes, &done, nullptr) && done == bytes;
    HeapFreeZ(wide);
  }
  if (!written) ZEQLogPrintf("SendToPipe: %08X, Error: %d", unsigned(uintptr_t(pipe)), int(GetLastError()));
  return written;
}
