// Test support: a python3 http.server on 127.0.0.1 serving a scratch
// folder. The server runs as a host program beside the test (the test runs
// under Wine, which starts host programs but gives no process handle for
// them), so it stops itself: when the file "stop" appears in its folder, or
// after two minutes at the latest. Every wait here is bounded.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "file_test_support.h"

namespace httptest {

constexpr char kServerScript[] =
    "import functools, http.server, os, sys, threading, time, urllib.parse\n"
    "folder, port = sys.argv[1], int(sys.argv[2])\n"
    "class Quiet(http.server.SimpleHTTPRequestHandler):\n"
    "    def log_message(self, *args):\n"
    "        pass\n"
    "    def translate_path(self, path):\n"
    "        # A request line may carry the absolute form (GET http://host/path).\n"
    "        parts = urllib.parse.urlsplit(path)\n"
    "        return super().translate_path(parts.path or '/' if parts.scheme else path)\n"
    "server = http.server.ThreadingHTTPServer(('127.0.0.1', port), functools.partial(Quiet, directory=folder))\n"
    "threading.Thread(target=server.serve_forever, daemon=True).start()\n"
    "deadline = time.time() + 120\n"
    "while time.time() < deadline and not os.path.exists(os.path.join(folder, 'stop')):\n"
    "    time.sleep(0.05)\n"
    "server.shutdown()\n";

// The host path of a Windows path, through Wine's own export; empty when the
// process does not run under Wine.
inline std::string HostPath(const std::string& windowsPath) {
  using Proc = char*(CDECL*)(const wchar_t*);
  auto proc = reinterpret_cast<Proc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!proc) return std::string();
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
  char* host = proc(wide);
  if (!host) return std::string();
  std::string result = host;
  HeapFree(GetProcessHeap(), 0, host);
  return result;
}

inline bool CanConnect(unsigned short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  closesocket(s);
  return ok;
}

// A port that nothing listens on at the moment.
inline unsigned short FreePort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  unsigned short port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(s);
  return port;
}

class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA data;
    wsa_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~LoopbackServer() {
    Stop();
    if (wsa_) WSACleanup();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  const filetest::ScratchFolder& folder() const { return folder_; }
  // Why the server could not start; empty once it runs.
  const std::string& problem() const { return problem_; }

  bool Start() {
    const std::string python = "Z:\\usr\\bin\\python3";
    const std::string hostFolder = HostPath(folder_.path());
    const std::string script = folder_ / "server.py.txt";
    if (!wsa_) return Fail("no Winsock");
    if (hostFolder.empty()) return Fail("not running under Wine");
    if (GetFileAttributesA(python.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail("no python3 on the host");
    if (!filetest::WriteTextFile(script, kServerScript)) return Fail("cannot write the server script");
    port_ = FreePort();
    if (!port_) return Fail("no free port");
    std::string command = python + " " + HostPath(script) + " " + hostFolder + " " + std::to_string(port_);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return Fail("python3 did not start");
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    started_ = true;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 15000; Sleep(50)) {
      if (CanConnect(port_)) return true;
    }
    return Fail("the server did not answer within 15 s");
  }

  void Stop() {
    if (!started_) return;
    started_ = false;
    filetest::WriteTextFile(folder_ / "stop", "");
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000 && CanConnect(port_); Sleep(50)) {
    }
  }

  std::string Url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
  }
  unsigned short port() const { return port_; }

 private:
  bool Fail(const std::string& why) {
    problem_ = why;
    return false;
  }

  filetest::ScratchFolder folder_;
  bool wsa_ = false;
  bool started_ = false;
  unsigned short port_ = 0;
  std::string problem_;
};

}  // namespace httptest
