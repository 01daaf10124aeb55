// A plain Winsock UDP socket on 127.0.0.1 for tests that play the network
// or the far end, and a relay that drops and reorders what it forwards.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace voicetest {

class UdpPeer {
 public:
  explicit UdpPeer(int port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = Address(port);
    bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~UdpPeer() {
    closesocket(socket_);
    WSACleanup();
  }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  static sockaddr_in Address(int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }
  bool bound() const { return bound_; }
  void SendTo(const uint8_t* data, size_t size, int port) {
    const sockaddr_in to = Address(port);
    sendto(socket_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  // One datagram within timeoutMs; empty when none came.
  std::vector<uint8_t> Receive(int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket_, &set);
    timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &set, nullptr, nullptr, &timeout) <= 0) return {};
    std::vector<uint8_t> data(2048);
    const int got = recv(socket_, reinterpret_cast<char*>(data.data()), static_cast<int>(data.size()), 0);
    data.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return data;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool bound_ = false;
};

// Forwards datagrams from its port to another, dropping every dropEvery-th
// and swapping every swapEvery-th with the one after it.
class LossyRelay {
 public:
  LossyRelay(int listenPort, int toPort, int dropEvery, int swapEvery)
      : peer_(listenPort), to_(toPort), dropEvery_(dropEvery), swapEvery_(swapEvery) {
    thread_ = std::thread([this] { Run(); });
  }
  ~LossyRelay() {
    stop_ = true;
    thread_.join();
  }
  int forwarded() const { return forwarded_; }
  int dropped() const { return dropped_; }
  int swapped() const { return swapped_; }

 private:
  void Run() {
    int count = 0;
    std::vector<uint8_t> held;
    while (!stop_) {
      std::vector<uint8_t> packet = peer_.Receive(20);
      if (packet.empty()) continue;
      ++count;
      if (dropEvery_ && count % dropEvery_ == 0) {
        ++dropped_;
        continue;
      }
      if (held.empty() && swapEvery_ && count % swapEvery_ == 0) {
        held = packet;  // goes out after the next one
        continue;
      }
      peer_.SendTo(packet.data(), packet.size(), to_);
      ++forwarded_;
      if (!held.empty()) {
        peer_.SendTo(held.data(), held.size(), to_);
        held.clear();
        ++forwarded_;
        ++swapped_;
      }
    }
  }
  UdpPeer peer_;
  int to_, dropEvery_, swapEvery_;
  std::atomic<bool> stop_{false};
  std::atomic<int> forwarded_{0}, dropped_{0}, swapped_{0};
  std::thread thread_;
};

}  // namespace voicetest
