// The instance's named pipe.
#include "kesto/pipe_server.h"

#include <cstdio>

#include "foundation/log.h"

namespace {

char pipeName[MAX_PATH + 16];
HANDLE serverThread = nullptr;
HANDLE readyEvent = nullptr;
HANDLE stopEvent = nullptr;
volatile LONG serverUp = 0;

HANDLE NewPipeInstance() {
  return CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 4096, 4096,
                          0, nullptr);
}

// One listening instance exists at every moment: the next one is made
// before a served one is closed, so a client never finds the name missing
// while this process lives.
DWORD WINAPI ServePipe(void*) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE pipe = NewPipeInstance();
  if (pipe == INVALID_HANDLE_VALUE) {
    ZEQLogPrintf("PipeServer: [FAILED] CreateNamedPipe \"%s\" - LastError: %d", pipeName, int(GetLastError()));
  } else {
    InterlockedExchange(&serverUp, 1);
  }
  SetEvent(readyEvent);
  while (pipe != INVALID_HANDLE_VALUE) {
    ResetEvent(overlapped.hEvent);
    bool connected = ConnectNamedPipe(pipe, &overlapped) != 0 || GetLastError() == ERROR_PIPE_CONNECTED;
    if (!connected && GetLastError() == ERROR_IO_PENDING) {
      HANDLE waits[2] = {overlapped.hEvent, stopEvent};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
      connected = true;
    }
    HANDLE next = NewPipeInstance();
    if (connected) {
      ZEQLogPrintf("PipeServer: \"%s\" - a client connected; pipe commands are not served, the connection is closed",
                   pipeName);
    }
    DisconnectNamedPipe(pipe);
    if (next == INVALID_HANDLE_VALUE) continue;  // keep serving on this instance
    CloseHandle(pipe);
    pipe = next;
  }
  if (pipe != INVALID_HANDLE_VALUE) {
    CancelIo(pipe);
    CloseHandle(pipe);
  }
  CloseHandle(overlapped.hEvent);
  return 0;
}

}  // namespace

bool StartPipeServer(const char* identifier) {
  if (serverThread || !identifier || !*identifier) return serverUp != 0;
  std::snprintf(pipeName, sizeof pipeName, "\\\\.\\pipe\\%s", identifier);
  readyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!readyEvent || !stopEvent) return false;
  serverThread = CreateThread(nullptr, 0, ServePipe, nullptr, 0, nullptr);
  if (!serverThread) return false;
  WaitForSingleObject(readyEvent, 5000);
  return serverUp != 0;
}

void StopPipeServer() {
  if (!serverThread) return;
  SetEvent(stopEvent);
  if (WaitForSingleObject(serverThread, 2000) != WAIT_OBJECT_0) {
    ZEQLogPrintf("PipeServer: the server thread did not end within 2000 ms");
  }
  CloseHandle(serverThread);
  serverThread = nullptr;
}
