#include <gtest/gtest.h>

#include <string>

#include "net/socket_helpers.h"
#include "socket_pair.h"
#include "log_capture.h"

namespace {

using nettest::PacedSender;
using nettest::SocketPair;

TEST(SocketReceive, WithTheFirstChunkFlagReturnsWhatOnePieceBrought) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  PacedSender sender(pair.client, {"abc", "defgh"}, 50);
  char buffer[16];
  int amount = 8;
  EXPECT_EQ(0, ReceiveBuffer(pair.server, buffer, &amount, kSocketReturnFirstChunk | kSocketRetryWouldBlock));
  EXPECT_EQ(3, amount);
  EXPECT_EQ("abc", std::string(buffer, amount));
}

TEST(SocketReceive, WithoutItWaitsForTheWholeAmountAcrossPieces) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  PacedSender sender(pair.client, {"abc", "de", "fgh"}, 50);
  char buffer[16];
  int amount = 8;
  EXPECT_EQ(0, ReceiveBuffer(pair.server, buffer, &amount, kSocketRetryTimedOut | kSocketRetryWouldBlock));
  EXPECT_EQ(8, amount);
  EXPECT_EQ("abcdefgh", std::string(buffer, amount));
}

TEST(SocketReceive, APeerThatClosesEarlyEndsTheReceiveWithDisconnected) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  PacedSender sender(pair.client, {"abc"}, 20, true);
  char buffer[16];
  int amount = 8;
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(WSAEDISCON, ReceiveBuffer(pair.server, buffer, &amount, kSocketRetryTimedOut | kSocketRetryWouldBlock));
  EXPECT_EQ(3, amount);
  EXPECT_NE(std::string::npos, log.Contents().find("Connection Closed,  Last Error:"));
}

TEST(SocketReceive, ANonBlockingSocketWithoutDataRidesOutWouldBlockOnlyWhenAsked) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  DisableBlockSocket(pair.server);
  char buffer[4];
  int amount = 4;
  EXPECT_EQ(WSAEWOULDBLOCK, ReceiveBuffer(pair.server, buffer, &amount, 0));
  PacedSender sender(pair.client, {"wxyz"}, 50);
  amount = 4;
  EXPECT_EQ(0, ReceiveBuffer(pair.server, buffer, &amount, kSocketRetryWouldBlock));
  EXPECT_EQ("wxyz", std::string(buffer, amount));
}

TEST(SocketReceive, ADatagramComesWholeWithItsSender) {
  nettest::StartWinsock();
  SOCKET a = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKET b = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(at);
  ASSERT_EQ(0, bind(b, reinterpret_cast<sockaddr*>(&at), sizeof(at)));
  ASSERT_EQ(0, getsockname(b, reinterpret_cast<sockaddr*>(&at), &length));
  SetSocketTimeOut(b, 5000);
  ASSERT_EQ(0, SendToBuffer(a, "OPTIONS", 7, &at));
  char buffer[32];
  int size = sizeof(buffer);
  sockaddr_in from{};
  int fromLength = sizeof(from);
  EXPECT_EQ(0, ReceiveFromBuffer(b, buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength, &size));
  EXPECT_EQ("OPTIONS", std::string(buffer, size));
  EXPECT_EQ(htonl(INADDR_LOOPBACK), from.sin_addr.s_addr);
  closesocket(a);
  closesocket(b);
}

DWORD WINAPI ReadUntilClosed(void* context) {
  auto* args = static_cast<std::pair<SOCKET, std::string*>*>(context);
  char chunk[65536];
  int got;
  while ((got = recv(args->first, chunk, sizeof(chunk), 0)) > 0) args->second->append(chunk, got);
  delete args;
  return 0;
}

TEST(SocketSend, SendsEveryByteOfALargeBufferOnANonBlockingSocket) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  DisableBlockSocket(pair.client);
  // Far more than the socket buffers hold: the sender must ride out
  // would-block until the reader has taken it all.
  std::string data(4 * 1024 * 1024, 'x');
  for (size_t i = 0; i < data.size(); i += 4096) data[i] = static_cast<char>('a' + (i / 4096) % 26);
  std::string received;
  auto* args = new std::pair<SOCKET, std::string*>(pair.server, &received);
  HANDLE reader = CreateThread(nullptr, 0, ReadUntilClosed, args, 0, nullptr);
  EXPECT_EQ(0, SendBuffer(pair.client, data.data(), static_cast<int>(data.size()), kSocketRetryWouldBlock));
  shutdown(pair.client, SD_SEND);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reader, 20000));
  CloseHandle(reader);
  EXPECT_EQ(data.size(), received.size());
  EXPECT_TRUE(data == received);
}

TEST(SocketSend, AFailedSendReportsFailureAndKeepsTheError) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  SOCKET gone = pair.client;
  closesocket(gone);
  pair.client = INVALID_SOCKET;
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(kSocketSendFailed, SendBuffer(gone, "x", 1, 0));
  EXPECT_EQ(WSAENOTSOCK, WSAGetLastError());
  EXPECT_NE(std::string::npos, log.Contents().find("SendBuffer: Id: " + std::to_string(gone) + " - #1 Error: 10038"));
  char text[] = "a";
  EXPECT_EQ(0, SendTextBuffer(gone, text));
}

TEST(SocketSend, TextIsSentWithoutItsTabs) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  char text[] = "GET\t/index.html \tHTTP/1.0\t\r\n";
  EXPECT_EQ(1, SendTextBuffer(pair.client, text));
  EXPECT_STREQ("GET/index.html HTTP/1.0\r\n", text);
  char buffer[64];
  int amount = 25;
  EXPECT_EQ(0, ReceiveBuffer(pair.server, buffer, &amount, kSocketRetryTimedOut));
  EXPECT_EQ("GET/index.html HTTP/1.0\r\n", std::string(buffer, amount));
}

TEST(SocketClose, ClosesOnceAndLeavesTheVariableInvalid) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  logtest::CapturedGlobalLog log;
  SOCKET s = pair.client;
  pair.client = INVALID_SOCKET;
  EXPECT_EQ(0, CloseSocketExt(&s));
  EXPECT_EQ(INVALID_SOCKET, s);
  // A second close of the same variable (a deleter after an explicit
  // close) finds nothing to close and logs nothing.
  const std::string before = log.Contents();
  EXPECT_EQ(WSAENOTSOCK, CloseSocketExt(&s));
  SOCKET zero = 0;
  EXPECT_EQ(WSAENOTSOCK, CloseSocketExt(&zero));
  EXPECT_EQ(WSAENOTSOCK, CloseSocketExt(nullptr));
  EXPECT_EQ(before, log.Contents());
  // The peer sees the connection end.
  char byte;
  EXPECT_EQ(0, recv(pair.server, &byte, 1, 0));
}

TEST(SocketErrors, OnlyTheConnectionLostSetCountsAsALostConnection) {
  for (int error : {WSAENOTSOCK, WSAENETDOWN, WSAENETUNREACH, WSAENETRESET, WSAECONNABORTED, WSAECONNRESET,
                    WSAENOTCONN, WSAEDISCON})
    EXPECT_EQ(1, IsConnectionLostError(error)) << error;
  for (int error : {0, WSAEWOULDBLOCK, WSAETIMEDOUT, WSAECONNREFUSED, WSAEINVAL, WSAEMSGSIZE})
    EXPECT_EQ(0, IsConnectionLostError(error)) << error;
}

TEST(SocketNotifications, ReadAndCloseEventsReachTheNotificationWindow) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  SetSocketNotificationWindow(window);
  EnableAsyncSocket(pair.server);
  send(pair.client, "ping", 4, 0);
  shutdown(pair.client, SD_SEND);
  int events = 0;
  const DWORD deadline = GetTickCount() + 5000;
  MSG msg;
  while (events != (FD_READ | FD_CLOSE) && static_cast<LONG>(deadline - GetTickCount()) > 0) {
    if (!PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if (msg.message == CMSG_WSA_SIPTCP_EVENTMESSAGE && msg.wParam == pair.server) {
      events |= WSAGETSELECTEVENT(msg.lParam);
      if (WSAGETSELECTEVENT(msg.lParam) == FD_READ) {
        char buffer[8];
        recv(pair.server, buffer, sizeof(buffer), 0);
      }
    }
  }
  EXPECT_EQ(FD_READ | FD_CLOSE, events);
  // Cancelled notifications leave a blocking socket.
  DisableAsyncSocket(pair.server, window);
  char byte;
  EXPECT_EQ(0, recv(pair.server, &byte, 1, 0));
  SetSocketNotificationWindow(nullptr);
  DestroyWindow(window);
}

}  // namespace
