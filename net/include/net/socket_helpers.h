// Thin blocking wrappers over Winsock 2 shared by every network service.
// Each reports failure by its result and logs a line that starts with its
// own name; none throws. Addresses are IPv4 in network byte order, ports
// host-order integers.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "foundation/registered_messages.h"

// Retry flags of the buffer helpers.
constexpr int kSocketReturnFirstChunk = 1;     // receive: return after one chunk
constexpr int kSocketRetryWouldBlock = 2;      // sleep 1 ms on WSAEWOULDBLOCK and retry
constexpr int kSocketRetryTimedOut = 8;        // retry at once on WSAETIMEDOUT
constexpr int kSocketSendFailed = 0xFFFF;

// Socket events come as CMSG_WSA_SIPTCP_EVENTMESSAGE (registered with the
// other shared messages) to the process-wide window that receives them
// (the loader container's window).
void SetSocketNotificationWindow(HWND window);
HWND GetSocketNotificationWindow();

int SetSocketTimeOut(SOCKET s, int milliseconds);
int InitializeSocket(SOCKET s);
// Connects a stream socket without waiting longer than timeoutMs (the
// system's own connect time-out is far longer when a host never answers);
// the socket is blocking again afterwards. 0, or the Winsock error
// (WSAETIMEDOUT when the time ran out), also left as the last error.
int ConnectSocketBounded(SOCKET s, const sockaddr_in* to, DWORD timeoutMs);
// Resolves host[:port] (default port 25), connects a TCP socket with 10 s
// time-outs, the connect included; 0 on any failure (the socket is then
// closed).
SOCKET ConnectSocketToHost(const char* host);
// 10038 for a variable holding 0 or INVALID_SOCKET; otherwise the variable
// becomes INVALID_SOCKET before the socket is shut down and closed, so a
// second close of the same variable does nothing.
int CloseSocketExt(SOCKET* s);
// Sends every byte; 0, or kSocketSendFailed with the error left as the
// socket last-error.
int SendBuffer(SOCKET s, const void* data, int length, int flags);
int SendToBuffer(SOCKET s, const void* data, int length, const sockaddr_in* to);
// Removes the TABs of the text in place and sends the rest whole; 1 only
// when every byte was sent.
int SendTextBuffer(SOCKET s, char* text);
// In: *amount bytes wanted; out: bytes received. 0, or the Winsock error
// (WSAEDISCON when the peer closed the connection).
int ReceiveBuffer(SOCKET s, void* buffer, int* amount, int flags);
// One datagram into buffer (*length in: its size; out: the datagram's);
// 0 or the Winsock error.
int ReceiveFromBuffer(SOCKET s, void* buffer, int flags, sockaddr* from, int* fromLength, int* length);
int EnableAsyncSocket(SOCKET s);
int DisableAsyncSocket(SOCKET s, HWND window);
int DisableBlockSocket(SOCKET s);
int EnableBlockSocket(SOCKET s);
int IsConnectionLostError(int error);
