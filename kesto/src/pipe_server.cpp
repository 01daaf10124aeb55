// The instance's command channel: its server thread and the dispatch of the
// messages it receives.
#include "kesto/pipe_server.h"

#include <ole2.h>
#include <ntsecapi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "foundation/lock.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "ipc_script_events.h"

namespace {

// How long the server waits for a client's text, and for the answer to a
// synchronous request, before it gives the connection up.
constexpr DWORD kReadTimeoutMs = 10000;
constexpr DWORD kReplyTimeoutMs = 30000;
// How long an answer waits on the connection for its client to read it.
constexpr DWORD kDrainTimeoutMs = 5000;
constexpr DWORD kStartTimeoutMs = 5000;
constexpr DWORD kStopTimeoutMs = 5000;
// A request's reply is awaited this long, and at most this many at once;
// after that its entry is let go (a late reply then finds nothing).
constexpr DWORD kPendingReplyLifetimeMs = 10 * 60 * 1000;
constexpr size_t kPendingReplyLimit = 1024;

struct PendingReply {
  IPCReplyRoutine routine;
  uint64_t callbackId;
};

struct Channel {
  std::string name;
  std::string stopToken;
  HANDLE thread = nullptr;
  HANDLE started = nullptr;
  HANDLE stop = nullptr;   // manual reset: the stop flag
  HANDLE reply = nullptr;  // auto reset: a synchronous request was answered
  DWORD error = 0;
  volatile LONG running = 0;
  WPARAM number = 0;  // this start's number, the wParam of posted messages
  ZEQLock lock;
  // Messages posted to the main window and not yet dispatched, by number.
  std::map<LPARAM, std::unique_ptr<IPCMessage>> posted;
  LPARAM lastPosted = 0;
  // The synchronous request the server thread waits for (0: none) and its
  // answer's text.
  LPARAM waitingFor = 0;
  bool answered = false;
  std::string answer;
  IPCEndpoint* endpoint = nullptr;  // request keys and their pending replies
};

Channel* channel = nullptr;
WPARAM startCount = 0;

std::string NewStopToken(const std::string& name) {
  unsigned char bytes[16] = {};
  // Without randomness only this process can stop the server.
  if (!RtlGenRandom(bytes, sizeof bytes)) return std::string();
  std::string token = name + ":";
  char hex[3];
  for (unsigned char byte : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    token += hex;
  }
  return token;
}

// Waits for an overlapped operation, the stop flag or the time-out; true
// when the operation completed (transferred receives its byte count).
bool AwaitOverlapped(HANDLE pipe, OVERLAPPED* overlapped, DWORD timeout, DWORD* transferred, DWORD* error) {
  HANDLE waits[2] = {overlapped->hEvent, channel->stop};
  const DWORD wait = WaitForMultipleObjects(2, waits, FALSE, timeout);
  if (wait != WAIT_OBJECT_0) {
    CancelIo(pipe);
    GetOverlappedResult(pipe, overlapped, transferred, TRUE);
    *error = ERROR_OPERATION_ABORTED;
    return false;
  }
  if (GetOverlappedResult(pipe, overlapped, transferred, FALSE)) return true;
  *error = GetLastError();
  return false;
}

bool ConnectClient(HANDLE pipe, OVERLAPPED* overlapped) {
  ResetEvent(overlapped->hEvent);
  if (ConnectNamedPipe(pipe, overlapped)) return true;
  DWORD error = GetLastError();
  if (error == ERROR_PIPE_CONNECTED) return true;
  if (error != ERROR_IO_PENDING) return false;
  DWORD transferred = 0;
  return AwaitOverlapped(pipe, overlapped, INFINITE, &transferred, &error);
}

// One whole message of at most kIpcMaxMessage bytes; false for a failed,
// empty, overlong or late one.
bool ReadClient(HANDLE pipe, OVERLAPPED* overlapped, std::string* text) {
  std::string buffer(kIpcMaxMessage + 1, '\0');
  ResetEvent(overlapped->hEvent);
  DWORD read = 0;
  DWORD error = 0;
  bool done = ReadFile(pipe, &buffer[0], kIpcMaxMessage, &read, overlapped) != 0;
  if (!done) {
    error = GetLastError();
    if (error != ERROR_IO_PENDING) return false;
    done = AwaitOverlapped(pipe, overlapped, kReadTimeoutMs, &read, &error);
  }
  if (!done || read == 0) return false;
  buffer.resize(strnlen(buffer.c_str(), read));
  *text = std::move(buffer);
  return !text->empty();
}

// Writes the answer and waits (bounded) until the client has read it and
// closed its end, so disconnecting does not throw the answer away.
void AnswerClient(HANDLE pipe, OVERLAPPED* overlapped, const std::string& text) {
  ResetEvent(overlapped->hEvent);
  DWORD count = 0;
  DWORD error = 0;
  if (!WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &count, overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING ||
        !AwaitOverlapped(pipe, overlapped, kDrainTimeoutMs, &count, &error))
      return;
  }
  char ignored[64];
  ResetEvent(overlapped->hEvent);
  for (int reads = 0; reads < 16; ++reads) {
    if (ReadFile(pipe, ignored, sizeof ignored, &count, overlapped)) continue;
    if (GetLastError() != ERROR_IO_PENDING ||
        !AwaitOverlapped(pipe, overlapped, kDrainTimeoutMs, &count, &error))
      return;
  }
}

bool IsStopText(HANDLE pipe, const std::string& text) {
  if (!channel->stopToken.empty() && text == channel->stopToken) return true;
  if (text != channel->name) return false;
  ULONG client = 0;
  if (GetNamedPipeClientProcessId(pipe, &client) && client == GetCurrentProcessId()) return true;
  ZEQLogPrintf("PipeServer: \"%s\" - a stop request of process %lu was refused", channel->name.c_str(),
               static_cast<unsigned long>(client));
  return false;
}

bool IsSynchronous(const IPCMessage& message) {
  return !(message.kind & kIpcAsync) && message.callbackName.empty() &&
         (message.kind & kIpcKindMask) != kIpcReply;
}

// Hands a message to the main window's thread, or dispatches it here when
// the window is gone. For a synchronous request, waits (bounded, and
// watching the stop flag) for its answer and writes it to the client.
void Serve(HANDLE pipe, OVERLAPPED* overlapped, std::unique_ptr<IPCMessage> message) {
  const bool synchronous = IsSynchronous(*message);
  LPARAM number = 0;
  {
    ZEQLockScope scope(channel->lock);
    number = ++channel->lastPosted;
    if (synchronous) {
      channel->waitingFor = number;
      channel->answered = false;
      channel->answer.clear();
    }
    channel->posted[number] = std::move(message);
  }
  HWND owner = ZEQGetMainWindow();
  if (!IsWindow(owner) || !PostMessageA(owner, CIPCMsgBaseOnCommand, channel->number, number)) {
    PipeServerDispatch(channel->number, number);
  }
  if (!synchronous) return;
  HANDLE waits[2] = {channel->reply, channel->stop};
  const DWORD deadline = GetTickCount() + kReplyTimeoutMs;
  std::string answer;
  bool answered = false;
  for (;;) {
    {
      ZEQLockScope scope(channel->lock);
      if (channel->answered) {
        answered = true;
        answer.swap(channel->answer);
        break;
      }
    }
    const DWORD now = GetTickCount();
    const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
    if (!left || WaitForMultipleObjects(2, waits, FALSE, left) != WAIT_OBJECT_0) break;
  }
  {
    ZEQLockScope scope(channel->lock);
    channel->waitingFor = 0;
    channel->answered = false;
  }
  if (answered && !answer.empty()) AnswerClient(pipe, overlapped, answer);
}

void ServeConnection(HANDLE pipe, OVERLAPPED* overlapped) {
  std::string text;
  if (!ReadClient(pipe, overlapped, &text)) return;
  if (IsStopText(pipe, text)) {
    SetEvent(channel->stop);
    return;
  }
  std::unique_ptr<IPCMessage> message(new IPCMessage);
  if (!IPCMessageFromText(text.c_str(), message.get()) || !(message->kind & kIpcKindMask)) return;
  Serve(pipe, overlapped, std::move(message));
}

DWORD WINAPI ServerThread(void*) {
  OleInitialize(nullptr);
  const std::string path = "\\\\.\\pipe\\" + channel->name;
  HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kIpcMaxMessage,
                                 kIpcMaxMessage, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    channel->error = GetLastError();
    // Another process may serve the name already: then the pipe exists.
    if (WaitNamedPipeA(path.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT) channel->error = 0;
    ZEQLogPrintf("PipeServer: [FAILED] CreateNamedPipe \"%s\" - LastError: %d", path.c_str(),
                 int(channel->error));
    SetEvent(channel->started);
    OleUninitialize();
    return 0;
  }
  InterlockedExchange(&channel->running, 1);
  SetEvent(channel->started);
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  while (WaitForSingleObject(channel->stop, 0) != WAIT_OBJECT_0) {
    if (!ConnectClient(pipe, &overlapped)) {
      if (WaitForSingleObject(channel->stop, 100) == WAIT_OBJECT_0) break;
      continue;
    }
    try {
      ServeConnection(pipe, &overlapped);
    } catch (...) {
      ZEQLogUnexpected("IPCChannel::ServerThread");
    }
    DisconnectNamedPipe(pipe);
  }
  InterlockedExchange(&channel->running, 0);
  CancelIo(pipe);
  CloseHandle(pipe);
  CloseHandle(overlapped.hEvent);
  OleUninitialize();
  return 0;
}

// A request's answer: the unhandled marker when script did not take it.
void AnswerRequest(LPARAM number, const IPCMessage& request) {
  IPCMessage reply = IPCMessageConstruct(kIpcReply, "");
  reply.callbackName = request.callbackName;
  reply.callbackValue = request.callbackValue;
  if (!IPCDeliverToScript(request, &reply, channel->name.c_str())) reply.kind |= kIpcUnhandled;
  std::string text = IPCMessageToText(reply);
  if (!request.callbackName.empty()) {
    if (!request.sender.empty()) IPCSendText(request.sender.c_str(), text);
    text.clear();
  } else if (request.kind & kIpcAsync) {
    text.clear();
  }
  ZEQLockScope scope(channel->lock);
  if (channel->waitingFor == number) {
    channel->answer = std::move(text);
    channel->answered = true;
    SetEvent(channel->reply);
  }
}

void CompleteReply(const IPCMessage& reply) {
  const uintptr_t entry = channel->endpoint->TakePending(reply.callbackName);
  if (!entry) return;
  std::unique_ptr<PendingReply> pending(reinterpret_cast<PendingReply*>(entry));
  pending->routine(reply, pending->callbackId);
}

}  // namespace

bool StartPipeServer(const char* identifier) {
  if (channel) return channel->running || channel->error == 0;
  if (!identifier || !*identifier) return false;
  std::unique_ptr<Channel> made(new Channel);
  made->name = identifier;
  made->stopToken = NewStopToken(made->name);
  made->number = ++startCount;
  made->started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  made->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  made->reply = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  made->endpoint = new IPCEndpoint(identifier);
  if (!made->started || !made->stop || !made->reply) return false;
  channel = made.release();
  channel->thread = CreateThread(nullptr, 0, ServerThread, nullptr, 0, nullptr);
  if (!channel->thread) {
    channel->error = GetLastError();
    return false;
  }
  if (WaitForSingleObject(channel->started, kStartTimeoutMs) != WAIT_OBJECT_0) {
    ZEQLogPrintf("PipeServer: the server thread did not start within %u ms", unsigned(kStartTimeoutMs));
    return false;
  }
  return channel->running || channel->error == 0;
}

void StopPipeServer() {
  if (!channel) return;
  SetEvent(channel->stop);
  if (channel->thread && WaitForSingleObject(channel->thread, kStopTimeoutMs) != WAIT_OBJECT_0) {
    // The thread still uses the record: it is left to the process's end.
    ZEQLogPrintf("PipeServer: the server thread did not end within %u ms", unsigned(kStopTimeoutMs));
    channel = nullptr;
    return;
  }
  if (channel->thread) CloseHandle(channel->thread);
  CloseHandle(channel->started);
  CloseHandle(channel->stop);
  CloseHandle(channel->reply);
  delete channel->endpoint;  // pending replies that never came are dropped with it
  delete channel;
  channel = nullptr;
}

bool PipeServerRunning() { return channel && channel->running; }

std::string PipeServerStopToken() { return channel ? channel->stopToken : std::string(); }

void PipeServerDispatch(WPARAM number, LPARAM messageNumber) {
  if (!channel || number != channel->number) return;
  std::unique_ptr<IPCMessage> message;
  {
    ZEQLockScope scope(channel->lock);
    auto found = channel->posted.find(messageNumber);
    if (found == channel->posted.end()) return;
    message = std::move(found->second);
    channel->posted.erase(found);
  }
  try {
    if ((message->kind & kIpcKindMask) == kIpcReply) {
      CompleteReply(*message);
    } else {
      AnswerRequest(messageNumber, *message);
    }
  } catch (...) {
    ZEQLogUnexpected("IPCChannel::Dispatch");
  }
}

int PipeServerSendMessage(const char* pipe, IPCMessage& message) {
  if ((message.kind & kIpcKindMask) != kIpcReply) message.kind |= kIpcAsync;
  std::string text = IPCMessageToText(message);
  IPCMessageSetSender(channel ? channel->name.c_str() : "", &text);
  return IPCSendText(pipe, text);
}

int PipeServerSendRequest(IPCMessage& message, const char* pipe, uint64_t callbackId, IPCReplyRoutine routine) {
  if (!channel || !channel->running || !routine) return 1;
  // Replies that never came are given up before another one is awaited.
  for (uintptr_t stale : channel->endpoint->TakeStale(kPendingReplyLifetimeMs, kPendingReplyLimit - 1)) {
    delete reinterpret_cast<PendingReply*>(stale);
  }
  std::unique_ptr<PendingReply> pending(new PendingReply{routine, callbackId});
  const std::string key = channel->endpoint->NewRequestId(reinterpret_cast<uintptr_t>(pending.get()));
  pending.release();
  message.callbackName = key;
  message.callbackValue = callbackId;
  const int result = PipeServerSendMessage(pipe, message);
  if (result != 0) {
    // Nothing will answer a request that did not go out.
    delete reinterpret_cast<PendingReply*>(channel->endpoint->TakePending(key));
  }
  return result;
}
