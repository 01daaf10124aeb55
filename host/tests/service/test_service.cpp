// A small service for the tests of the service script object: run by the
// platform's service manager, it serves the pipe named after its own file
// name (without extension, blanks made '_') in message mode and answers
// each UTF-16 request with one UTF-16 reply:
//   "fail, ..."    -> "5,32"  (a failure code and a system error)
//   "hangup, ..."  -> nothing: the pipe is closed unanswered
//   anything else  -> "0,echo:<request>"
#include <windows.h>

#include <string>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
std::wstring g_pipePath;

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stop);
    // Wakes the server from its wait for a client.
    HANDLE wake = CreateFileW(g_pipePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (wake != INVALID_HANDLE_VALUE) CloseHandle(wake);
  }
  return NO_ERROR;
}

void Answer(HANDLE pipe) {
  wchar_t request[4096] = {};
  DWORD read = 0;
  if (!ReadFile(pipe, request, sizeof(request) - sizeof(wchar_t), &read, nullptr)) return;
  const std::wstring text(request, read / sizeof(wchar_t));
  if (text.compare(0, 6, L"hangup") == 0) return;
  const std::wstring reply = text.compare(0, 4, L"fail") == 0 ? L"5,32" : L"0,echo:" + text;
  DWORD written = 0;
  WriteFile(pipe, reply.data(), DWORD(reply.size() * sizeof(wchar_t)), &written, nullptr);
  FlushFileBuffers(pipe);
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  g_status = RegisterServiceCtrlHandlerExW(L"", Control, nullptr);
  if (!g_status) return;
  Report(SERVICE_RUNNING);
  // The next instance is made before the current client is served, so a
  // client that comes right after another always finds one listening.
  const auto listen = [] {
    return CreateNamedPipeW(g_pipePath.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                            2, 65536, 65536, 0, nullptr);
  };
  HANDLE pipe = listen();
  while (pipe != INVALID_HANDLE_VALUE && WaitForSingleObject(g_stop, 0) != WAIT_OBJECT_0) {
    const bool connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
    HANDLE next = listen();
    if (connected && WaitForSingleObject(g_stop, 0) != WAIT_OBJECT_0) Answer(pipe);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    pipe = next;
  }
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  name = name.substr(0, name.rfind(L'.'));
  for (wchar_t& c : name) {
    if (c == L' ') c = L'_';
  }
  g_pipePath = L"\\\\.\\pipe\\" + name;
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t empty[1] = {};
  SERVICE_TABLE_ENTRYW table[] = {{empty, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
