// Command messages: the client side of a pipe and an endpoint's pending
// requests.
#include <cstdio>
#include <cstring>

#include "host/ipc_message.h"

namespace {

constexpr int kBusyRetries = 300;
constexpr DWORD kBusyWaitMs = 100;
// A pipe that stays busy in the middle of a read is given up after this
// many waits.
constexpr int kReadBusyRetries = 50;

std::string PipePath(const char* name) { return std::string("\\\\.\\pipe\\") + name; }

}  // namespace

IPCEndpoint::IPCEndpoint(const char* name) : name_(name ? name : "") {}

std::string IPCEndpoint::Name() const { return name_; }

std::string IPCEndpoint::NewRequestId(uintptr_t entry) {
  const std::string id = std::to_string(InterlockedIncrement(&counter_));
  ZEQLockScope scope(lock_);
  pending_[id] = entry;
  return id;
}

bool IPCEndpoint::RemovePending(const std::string& id) {
  ZEQLockScope scope(lock_);
  return pending_.erase(id) != 0;
}

uintptr_t IPCEndpoint::FindPending(const std::string& id) {
  ZEQLockScope scope(lock_);
  auto found = pending_.find(id);
  return found == pending_.end() ? 0 : found->second;
}

uintptr_t IPCEndpoint::TakePending(const std::string& id) {
  ZEQLockScope scope(lock_);
  auto found = pending_.find(id);
  if (found == pending_.end()) return 0;
  const uintptr_t entry = found->second;
  pending_.erase(found);
  return entry;
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
