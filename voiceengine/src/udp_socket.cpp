#include "udp_socket.h"

namespace voe {

bool ParseIpv4(const char* text, in_addr* address) {
  if (!text) return false;
  unsigned parts[4];
  int index = 0;
  const char* p = text;
  for (; index < 4; ++index) {
    if (*p < '0' || *p > '9') return false;
    unsigned value = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + static_cast<unsigned>(*p++ - '0');
      if (++digits > 3 || value > 255) return false;
    }
    parts[index] = value;
    if (index < 3) {
      if (*p != '.') return false;
      ++p;
    }
  }
  if (*p) return false;
  address->s_addr = htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
  return true;
}

bool UdpSocket::Bind(const in_addr& address, int port) {
  Close();
  socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_ == INVALID_SOCKET) return false;
  // Two channels must never share a port.
  BOOL exclusive = TRUE;
  setsockopt(socket_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  int buffer = 256 * 1024;
  setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  local.sin_port = htons(static_cast<u_short>(port));
  if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Close();
    return false;
  }
  int length = sizeof local;
  if (getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    Close();
    return false;
  }
  port_ = ntohs(local.sin_port);
  u_long nonBlocking = 1;
  ioctlsocket(socket_, FIONBIO, &nonBlocking);
  return true;
}

void UdpSocket::Close() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
  port_ = 0;
}

bool UdpSocket::SendTo(const uint8_t* data, size_t size, const sockaddr_in& to) {
  if (socket_ == INVALID_SOCKET) return false;
  return sendto(socket_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof to) == static_cast<int>(size);
}

int UdpSocket::Receive(uint8_t* buffer, size_t capacity, sockaddr_in* from) {
  if (socket_ == INVALID_SOCKET) return -1;
  int length = sizeof *from;
  const int got = recvfrom(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                           reinterpret_cast<sockaddr*>(from), &length);
  if (got >= 0) return got;
  const int error = WSAGetLastError();
  // A datagram larger than the buffer is dropped; an ICMP "port unreachable"
  // from an earlier send is no reason to stop receiving.
  if (error == WSAEWOULDBLOCK) return 0;
  if (error == WSAEMSGSIZE || error == WSAECONNRESET) return -2;
  return -1;
}

void WaitReadable(const UdpSocket& a, const UdpSocket& b, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  if (a.open()) FD_SET(a.handle(), &set);
  if (b.open()) FD_SET(b.handle(), &set);
  if (!set.fd_count) {
    Sleep(static_cast<DWORD>(timeoutMs));
    return;
  }
  timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  select(0, &set, nullptr, nullptr, &timeout);
}

}  // namespace voe
