#include "net/socket_helpers.h"

#include "foundation/log.h"
#include "net/name_resolution.h"

namespace {

HWND volatile notificationWindow = nullptr;

constexpr int kDefaultTimeOut = 10000;
constexpr u_short kLingerSeconds = 60;

// Whether a failed call is tried again under these retry flags.
bool RetryAfter(int error, int flags) {
  if (error == WSAETIMEDOUT && (flags & kSocketRetryTimedOut)) return true;
  if (error == WSAEWOULDBLOCK && (flags & kSocketRetryWouldBlock)) {
    Sleep(1);
    return true;
  }
  return false;
}

int SetBlocking(SOCKET s, bool blocking, const char* name) {
  u_long mode = blocking ? 0 : 1;
  if (ioctlsocket(s, FIONBIO, &mode) == SOCKET_ERROR)
    ZEQLogPrintf("%s: Id: %d - Error: %d", name, static_cast<int>(s), WSAGetLastError());
  return 1;
}

}  // namespace

void SetSocketNotificationWindow(HWND window) { notificationWindow = window; }
HWND GetSocketNotificationWindow() { return notificationWindow; }

int SetSocketTimeOut(SOCKET s, int milliseconds) {
  const DWORD value = static_cast<DWORD>(milliseconds);
  const char* option = reinterpret_cast<const char*>(&value);
  if (setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, option, sizeof(value)) == SOCKET_ERROR)
    ZEQLogPrintf("SetSocketTimeOut: Id: %d (SO_SNDTIMEO) - Error: %d", static_cast<int>(s), WSAGetLastError());
  if (setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, option, sizeof(value)) == SOCKET_ERROR)
    ZEQLogPrintf("SetSocketTimeOut: Id: %d (SO_RCVTIMEO) - Error: %d", static_cast<int>(s), WSAGetLastError());
  return 0;
}

int InitializeSocket(SOCKET s) {
  SetSocketTimeOut(s, kDefaultTimeOut);
  linger value{1, kLingerSeconds};
  if (setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value), sizeof(value)) == SOCKET_ERROR)
    ZEQLogPrintf("InitializeSocket: Id: %d (SO_LINGER) - Error: %d", static_cast<int>(s), WSAGetLastError());
  return 0;
}

int ConnectSocketBounded(SOCKET s, const sockaddr_in* to, DWORD timeoutMs) {
  u_long on = 1, off = 0;
  if (ioctlsocket(s, FIONBIO, &on) == SOCKET_ERROR) return WSAGetLastError();
  int error = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(to), sizeof(*to)) == SOCKET_ERROR) {
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval wait{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
      const int ready = select(0, nullptr, &writable, &failed, &wait);
      if (ready == SOCKET_ERROR) {
        error = WSAGetLastError();
      } else if (ready == 0) {
        error = WSAETIMEDOUT;
      } else if (FD_ISSET(s, &failed)) {
        int code = 0;
        int length = sizeof(code);
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length);
        error = code ? code : WSAECONNREFUSED;
      } else {
        error = 0;
      }
    }
  }
  ioctlsocket(s, FIONBIO, &off);
  WSASetLastError(error);
  return error;
}

SOCKET ConnectSocketToHost(const char* host) {
  int port = 25;
  const uint32_t address = GetHostIP(host, true, &port);
  if (address == INADDR_NONE) return 0;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return 0;
  SetSocketTimeOut(s, kDefaultTimeOut);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(static_cast<u_short>(port));
  if (const int error = ConnectSocketBounded(s, &to, kDefaultTimeOut)) {
    closesocket(s);
    WSASetLastError(error);
    return 0;
  }
  SetSocketTimeOut(s, kDefaultTimeOut);
  return s;
}

int CloseSocketExt(SOCKET* s) {
  if (!s || *s == 0 || *s == INVALID_SOCKET) return WSAENOTSOCK;
  const SOCKET target = *s;
  *s = INVALID_SOCKET;
  shutdown(target, SD_BOTH);
  const int result = closesocket(target);
  if (result == SOCKET_ERROR)
    ZEQLogPrintf("CloseSocketExt: Id: %d - Error: %d", static_cast<int>(target), WSAGetLastError());
  else
    ZEQLogPrintf("@CloseSocketExt: Id: %d [OK]: %d", static_cast<int>(target), result);
  return result;
}

int SendBuffer(SOCKET s, const void* data, int length, int flags) {
  const char* bytes = static_cast<const char*>(data);
  int sent = 0;
  while (sent < length) {
    const int result = send(s, bytes + sent, length - sent, 0);
    if (result != SOCKET_ERROR) {
      sent += result;
      continue;
    }
    const int error = WSAGetLastError();
    if (RetryAfter(error, flags)) continue;
    ZEQLogPrintf("SendBuffer: Id: %d - #1 Error: %d", static_cast<int>(s), error);
    WSASetLastError(error);
    return kSocketSendFailed;
  }
  return 0;
}

int SendToBuffer(SOCKET s, const void* data, int length, const sockaddr_in* to) {
  const int result = sendto(s, static_cast<const char*>(data), length, 0, reinterpret_cast<const sockaddr*>(to),
                            sizeof(sockaddr_in));
  // A datagram goes whole or not at all; a short count is a failure too.
  if (result == SOCKET_ERROR || result != length) {
    const int error = result == SOCKET_ERROR ? WSAGetLastError() : WSAEMSGSIZE;
    ZEQLogPrintf("SendToBuffer: Id: %d - #1 Error: %d", static_cast<int>(s), error);
    WSASetLastError(error);
    return kSocketSendFailed;
  }
  return 0;
}

int SendTextBuffer(SOCKET s, char* text) {
  if (!text) return 0;
  char* out = text;
  for (const char* in = text; *in; ++in)
    if (*in != '\t') *out++ = *in;
  *out = '\0';
  // A short send is finished here rather than reported as success.
  return SendBuffer(s, text, static_cast<int>(out - text), kSocketRetryTimedOut) == 0 ? 1 : 0;
}

int ReceiveBuffer(SOCKET s, void* buffer, int* amount, int flags) {
  char* bytes = static_cast<char*>(buffer);
  const int wanted = *amount > 0 ? *amount : 0;
  ZeroMemory(bytes, wanted);
  int received = 0;
  *amount = 0;
  while (received < wanted) {
    const int result = recv(s, bytes + received, wanted - received, 0);
    if (result == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (RetryAfter(error, flags)) continue;
      ZEQLogPrintf("ReceiveBuffer: Id: %d - Error: %d, Total Amount: %d, Current Received: %d", static_cast<int>(s),
                   error, wanted, -1);
      return error;
    }
    if (result == 0) {
      ZEQLogPrintf("ReceiveBuffer: Id: %d - Connection Closed,  Last Error: %d, Total Amount: %d, Current Received: %d",
                   static_cast<int>(s), WSAGetLastError(), wanted, 0);
      return WSAEDISCON;
    }
    received += result;
    *amount = received;
    if (flags & kSocketReturnFirstChunk) break;
  }
  return 0;
}

int ReceiveFromBuffer(SOCKET s, void* buffer, int flags, sockaddr* from, int* fromLength, int* length) {
  const int size = *length > 0 ? *length : 0;
  ZeroMemory(buffer, size);
  for (;;) {
    const int result = recvfrom(s, static_cast<char*>(buffer), size, 0, from, fromLength);
    if (result != SOCKET_ERROR) {
      *length = result;
      return 0;
    }
    const int error = WSAGetLastError();
    if (RetryAfter(error, flags)) continue;
    ZEQLogPrintf("ReceiveFromBuffer: Id: %d - Get Header - Error: %d", static_cast<int>(s), error);
    return error;
  }
}

int EnableAsyncSocket(SOCKET s) {
  if (WSAAsyncSelect(s, GetSocketNotificationWindow(), CMSG_WSA_SIPTCP_EVENTMESSAGE, FD_READ | FD_CLOSE) ==
      SOCKET_ERROR)
    ZEQLogPrintf("EnableAsyncSocket: Id: %d - Error: %d", static_cast<int>(s), WSAGetLastError());
  return 0;
}

int DisableAsyncSocket(SOCKET s, HWND window) {
  if (!window) return 0;
  if (WSAAsyncSelect(s, window, 0, 0) == SOCKET_ERROR)
    ZEQLogPrintf("DisableAsyncSocket: Id: %d - Error: %d", static_cast<int>(s), WSAGetLastError());
  SetBlocking(s, true, "EnableBlockSocket");
  return 0;
}

int DisableBlockSocket(SOCKET s) { return SetBlocking(s, false, "DisableBlockSocket"); }
int EnableBlockSocket(SOCKET s) { return SetBlocking(s, true, "EnableBlockSocket"); }

int IsConnectionLostError(int error) {
  switch (error) {
    case WSAENOTSOCK:
    case WSAENETDOWN:
    case WSAENETUNREACH:
    case WSAENETRESET:
    case WSAECONNABORTED:
    case WSAECONNRESET:
    case WSAENOTCONN:
    case WSAEDISCON:
      return 1;
    default:
      return 0;
  }
}
