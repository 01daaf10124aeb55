// Sockets in the SIP platform tests: Winsock started, a main window whose
// procedure hands socket notifications to the stack (and runs timers), an
// account record on loopback, and small blocking peers of the test's own.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "net/socket_helpers.h"
#include "sip/connections.h"
#include "sip/transaction.h"
#include "sip_runtime_support.h"

class SIPSocketRuntime {
 public:
  SIPSocketRuntime() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Message() = CMSG_WSA_SIPTCP_EVENTMESSAGE;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SIPSocketRuntimeTest";
    RegisterClassA(&wc);
    window_ = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    previous_ = ZEQGetMainWindow();
    ZEQSetMainWindow(window_);
    previousNotify_ = GetSocketNotificationWindow();
    SetSocketNotificationWindow(window_);
    timers_ = StartTimerThread() != 0;
  }
  ~SIPSocketRuntime() {
    StopTimerThread(10000);
    SetSocketNotificationWindow(previousNotify_);
    ZEQSetMainWindow(previous_);
    DestroyWindow(window_);
    WSACleanup();
  }
  SIPSocketRuntime(const SIPSocketRuntime&) = delete;
  SIPSocketRuntime& operator=(const SIPSocketRuntime&) = delete;
  bool Started() const { return window_ && timers_; }

 private:
  static UINT& Message() {
    static UINT message = 0;
    return message;
  }
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CMSG_ZEQTIMER) return ZEQReceiveTimerMessage(lParam);
    if (message == Message() && message) {
      SIPHandleSocketEvent(wParam, lParam);
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  HWND previousNotify_ = nullptr;
  HWND previous_ = nullptr;
  bool timers_ = false;
};

inline uint32_t SIPLoopback() { return htonl(INADDR_LOOPBACK); }

// An account record alice@127.0.0.1 on the transport, whose server is
// 127.0.0.1:serverPort.
inline SIPTransactionHolder SIPLoopbackAccount(int32_t transport, int serverPort) {
  SIPTransactionHolder root = SIPTransactionCreate(SIPTransactionHolder());
  SIPRecord* r = &root->record;
  snprintf(r->account.user, sizeof r->account.user, "alice");
  snprintf(r->account.domain, sizeof r->account.domain, "127.0.0.1");
  snprintf(r->msg.from.uri.user, sizeof r->msg.from.uri.user, "alice");
  snprintf(r->msg.from.uri.host, sizeof r->msg.from.uri.host, "127.0.0.1");
  r->connection.transport = transport;
  snprintf(r->connection.serverHost, sizeof r->connection.serverHost, "127.0.0.1");
  snprintf(r->connection.serverAddressText, sizeof r->connection.serverAddressText, "127.0.0.1");
  r->connection.serverAddress = SIPLoopback();
  r->connection.serverPort = serverPort;
  return root;
}

// A blocking peer socket of the test (never registered with the stack).
struct SIPTestPeer {
  SOCKET socket = INVALID_SOCKET;
  explicit SIPTestPeer(int type) {
    socket = ::socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
    DWORD timeout = 3000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  }
  ~SIPTestPeer() {
    if (socket != INVALID_SOCKET) closesocket(socket);
  }
  SIPTestPeer(const SIPTestPeer&) = delete;
  SIPTestPeer& operator=(const SIPTestPeer&) = delete;
  static sockaddr_in Address(int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = SIPLoopback();
    a.sin_port = htons(static_cast<u_short>(port));
    return a;
  }
  bool Bind(int port) {
    sockaddr_in a = Address(port);
    return bind(socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  bool Connect(int port) {
    sockaddr_in a = Address(port);
    return connect(socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  bool Send(const std::string& text) {
    return ::send(socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
  }
  bool SendTo(const std::string& text, int port) {
    sockaddr_in a = Address(port);
    return sendto(socket, text.data(), static_cast<int>(text.size()), 0, reinterpret_cast<sockaddr*>(&a),
                  sizeof a) == static_cast<int>(text.size());
  }
  // What arrives within the receive time-out (one recv); empty on none.
  std::string Receive() {
    char buffer[8192];
    int got = recv(socket, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
  }
  // Whether the stack closed the connection within 3 s (recv sees its end);
  // the thread's messages run meanwhile, so the stack can act.
  bool ClosedByPeer() {
    return SIPTimerRuntime::PumpUntil(
        [this] {
          fd_set readable;
          FD_ZERO(&readable);
          FD_SET(socket, &readable);
          timeval none = {0, 0};
          if (select(0, &readable, nullptr, nullptr, &none) != 1) return false;
          char byte;
          int got = recv(socket, &byte, 1, 0);
          return got == 0 || got == SOCKET_ERROR;
        },
        3000);
  }
};
