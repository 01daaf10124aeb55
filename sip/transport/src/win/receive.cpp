// Receiving SIP messages. See sip/receive.h.
#include "sip/receive.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "net/ipv4_text.h"
#include "net/socket_helpers.h"
#include "sip/connections.h"
#include "sip/dispatch.h"
#include "sip/parser.h"
#include "sip/trace.h"
#include "sip/transaction_list.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

struct Source {
  char host[16];
  int port;
  uint32_t address;
};

Source SourceOf(const sockaddr_in& from) {
  Source s;
  s.address = from.sin_addr.s_addr;
  FormatIPv4(s.address, s.host);
  s.port = ntohs(from.sin_port);
  return s;
}

// The REGISTER probe's answer: the server's view of our address becomes
// the account's contact; the waiting start-up thread is woken.
void TakeProbeAnswer(const SIPTransactionHolder& owner, const std::string& text, const Source& from) {
  SIPTransactionHolder parsed = SIPCreateParsed(text.data(), text.size(), nullptr, 0, SIPTransactionHolder(),
                                                nullptr, SIPTransactionHolder());
  SIPRecord* root = SIPGetRootRecord(&owner->record);
  if (SIPTransactionHolderIsValid(parsed)) {
    SIPWriteTraceRecord("SIP:Message", text.c_str(), "", 0, "", "Direction=\"IN\"", from.host, from.port, 0, parsed);
    SIPGetViaAddress(parsed, root->account.contactAddress, sizeof root->account.contactAddress,
                     &root->account.contactPort);
  }
  if (root->connection.receiveEvent) SetEvent(reinterpret_cast<HANDLE>(root->connection.receiveEvent));
}

// One message text (line ends before it already removed or not): logged,
// checked, split and dispatched. 1 when the dispatch accepted it.
int Deliver(const SIPTransactionHolder& owner, const SIPSocketHolder& socket, const char* text, size_t length,
            const Source& from, bool stream) {
  while (length && (*text == '\r' || *text == '\n')) ++text, --length;
  int socketNumber = static_cast<int>(socket->socket);
  bool response = SIPIsStatusLine(text, length);
  if (!response && !SIPIsRequestLine(text, length)) {
    ZEQLogPrintf("Error %d Receiving SIP: %08X, Socket: %d - (%d Bytes) from %s:%d", WSAGetLastError(),
                 LogId(owner.Get()), socketNumber, static_cast<int>(length), from.host, from.port);
    return 0;
  }
  ZEQLogPrintf("Received SIP: %08X, Socket: %d - %s (%d Bytes) from %s:%d", LogId(owner.Get()), socketNumber,
               response ? "Response" : "Request", static_cast<int>(length), from.host, from.port);
  std::string message(text, length);
  if (owner->record.kind == 0) {
    TakeProbeAnswer(owner, message, from);
    return 0;
  }
  size_t end = message.find("\r\n\r\n");
  size_t lfEnd = message.find("\n\n");
  std::string header, body;
  if (end != std::string::npos && (lfEnd == std::string::npos || end < lfEnd)) {
    header = message.substr(0, end + 2);
    body = message.substr(end + 4);
  } else if (lfEnd != std::string::npos) {
    header = message.substr(0, lfEnd + 1);
    body = message.substr(lfEnd + 2);
  } else {
    header = message;
  }
  return SIPListenerProcessMessage(header.c_str(), body.c_str(), from.host, from.port, owner,
                                   stream ? socket : SIPSocketHolder())
             ? 1
             : 0;
}

// A lost connection before the registration succeeded ends it.
void ConnectionLost(const SIPTransactionHolder& owner, int error) {
  ZEQLogPrintf("Error %d Receiving Packet", error);
  SIPPopTransaction(owner);
  SIPTransactionHolder root = SIPGetRootTransaction(owner);
  if (SIPTransactionHolderIsValid(root) && !root->record.connection.listening) {
    SIPSetEndReason(root, kSIPEndRefused, false);
    root->record.connection.resultCode = 503;
  }
}

int ReadDatagram(const SIPTransactionHolder& owner, const SIPSocketHolder& socket) {
  std::vector<char> buffer(kSIPStreamMaxMessage + 1);
  sockaddr_in from = {};
  int fromLength = sizeof from;
  int got = recvfrom(socket->socket, buffer.data(), static_cast<int>(buffer.size()), 0,
                     reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (got == SOCKET_ERROR) {
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return 0;
    if (IsConnectionLostError(error))
      ConnectionLost(owner, error);
    else
      ZEQLogPrintf("Error %d Receiving Packet", error);
    return 0;
  }
  InterlockedExchange(&socket->lastReceiveTick, static_cast<LONG>(GetTickCount()));
  return Deliver(owner, socket, buffer.data(), static_cast<size_t>(got), SourceOf(from), false);
}

int ReadStream(const SIPTransactionHolder& owner, const SIPSocketHolder& socket) {
  sockaddr_in peer = {};
  int peerLength = sizeof peer;
  getpeername(socket->socket, reinterpret_cast<sockaddr*>(&peer), &peerLength);
  Source from = SourceOf(peer);
  char chunk[4096];
  bool closed = false;
  for (;;) {
    int got = recv(socket->socket, chunk, sizeof chunk, 0);
    if (got > 0) {
      socket->framer.Append(chunk, static_cast<size_t>(got));
      if (got < static_cast<int>(sizeof chunk)) break;
      continue;
    }
    if (got == 0) closed = true;
    else if (WSAGetLastError() != WSAEWOULDBLOCK) closed = true;
    break;
  }
  uint32_t now = GetTickCount();
  SIPNoteConnectionActivity(socket->socket, now);
  int accepted = 0;
  for (;;) {
    SIPStreamItem item = socket->framer.Next();
    if (item.event == SIPStreamEvent::kNeedMore) break;
    InterlockedExchange(&socket->lastReceiveTick, static_cast<LONG>(now));
    if (item.event == SIPStreamEvent::kKeepAliveAnswer) {
      ZEQLogPrintf("SIPKeepAlive: Socket: %d - Received PONG", static_cast<int>(socket->socket));
      continue;
    }
    if (item.event == SIPStreamEvent::kFramingError) {
      ZEQLogPrintf("Error %d Receiving SIP: %08X, Socket: %d - stream cannot be framed, closed", WSAEMSGSIZE,
                   LogId(owner.Get()), static_cast<int>(socket->socket));
      closed = true;
      break;
    }
    std::string text(item.header, item.headerLength);
    text += "\r\n";
    text.append(item.body, item.bodyLength);
    accepted |= Deliver(owner, socket, text.data(), text.size(), from, true);
  }
  if (closed) SIPCloseAllConnectionsRelated(socket->socket);
  return accepted;
}

}  // namespace

int SIPGetViaAddress(const SIPTransactionHolder& record, char* host, size_t hostSize, int* port) {
  if (!SIPTransactionHolderIsValid(record)) return 0;
  const SIPVia& via = record->record.msg.via[0];
  if (!via.used) return 0;
  const char* sentBy = via.sentBy;
  const char* colon = strrchr(sentBy, ':');
  if (sentBy[0] == '[') colon = strstr(sentBy, "]:") ? strstr(sentBy, "]:") + 1 : nullptr;
  if (via.received[0]) {
    snprintf(host, hostSize, "%s", via.received);
  } else {
    size_t n = colon ? static_cast<size_t>(colon - sentBy) : strlen(sentBy);
    snprintf(host, hostSize, "%.*s", static_cast<int>(n), sentBy);
  }
  if (via.rport > 0)
    *port = via.rport;
  else if (colon && atoi(colon + 1) > 0)
    *port = atoi(colon + 1);
  return host[0] ? 1 : 0;
}

int SIPListenerOnSocketEvent(SOCKET socket) {
  try {
    SIPTransactionHolder owner;
    SIPSocketHolder holder;
    if (!SIPLookupConnection(socket, &owner, &holder, nullptr)) return 0;
    if (!SIPTransactionHolderIsValid(owner) || !holder.IsSet()) return 0;
    if (SIPGetRootAccount(&owner->record)->testOptions & 0x1) return 0;  // left unread
    SIPCloseIdleAcceptedConnections(GetTickCount(), kSIPAcceptedIdleMs);
    bool stream = SIPGetRootConnection(&owner->record)->transport == kSIPTransportTCP;
    return stream ? ReadStream(owner, holder) : ReadDatagram(owner, holder);
  } catch (...) {
    ZEQLogPrintf("!SIPListenerOnSocketEvent: Unexpected exception...");
    return 0;
  }
}
