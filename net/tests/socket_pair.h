// Test helpers: Winsock started for the test program, and a connected pair
// of TCP sockets on loopback (the listening port is the system's choice).
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nettest {

inline void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  ASSERT_TRUE(started);
}

struct SocketPair {
  SOCKET client = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;

  SocketPair() {
    StartWinsock();
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(at);
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0 && listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
      client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      if (connect(client, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0) server = accept(listener, nullptr, nullptr);
    }
    closesocket(listener);
    // Every receive of the tests ends within 5 s, whatever happens.
    const DWORD limit = 5000;
    setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof(limit));
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof(limit));
  }
  ~SocketPair() {
    if (client != INVALID_SOCKET) closesocket(client);
    if (server != INVALID_SOCKET) closesocket(server);
  }
  bool Ready() const { return client != INVALID_SOCKET && server != INVALID_SOCKET; }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;
};

// Sends text in pieces from a thread of its own, with a pause between
// them, so that a reader sees them arrive one at a time.
class PacedSender {
 public:
  PacedSender(SOCKET s, std::vector<std::string> pieces, DWORD pauseMs, bool closeAfter = false)
      : socket_(s), pieces_(std::move(pieces)), pause_(pauseMs), close_(closeAfter) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~PacedSender() {
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  PacedSender(const PacedSender&) = delete;
  PacedSender& operator=(const PacedSender&) = delete;

 private:
  static DWORD WINAPI Run(void* self) {
    auto* sender = static_cast<PacedSender*>(self);
    for (const std::string& piece : sender->pieces_) {
      Sleep(sender->pause_);
      send(sender->socket_, piece.data(), static_cast<int>(piece.size()), 0);
    }
    if (sender->close_) shutdown(sender->socket_, SD_SEND);
    return 0;
  }
  SOCKET socket_;
  std::vector<std::string> pieces_;
  DWORD pause_;
  bool close_;
  HANDLE thread_ = nullptr;
};

}  // namespace nettest
