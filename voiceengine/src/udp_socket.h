// A Winsock UDP socket of a channel (IPv4).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <cstdint>

namespace voe {

// Parses dotted IPv4 text; false for anything else.
bool ParseIpv4(const char* text, in_addr* address);

class UdpSocket {
 public:
  UdpSocket() {}
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Binds to address:port (port 0: the system's choice). False on failure,
  // with the socket closed.
  bool Bind(const in_addr& address, int port);
  void Close();
  bool open() const { return socket_ != INVALID_SOCKET; }
  SOCKET handle() const { return socket_; }
  int localPort() const { return port_; }

  bool SendTo(const uint8_t* data, size_t size, const sockaddr_in& to);
  // One datagram; its length, 0 when none is waiting, -1 on error.
  int Receive(uint8_t* buffer, size_t capacity, sockaddr_in* from);

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

// Waits up to timeoutMs for data on either socket (either may be closed).
void WaitReadable(const UdpSocket& a, const UdpSocket& b, int timeoutMs);

}  // namespace voe
