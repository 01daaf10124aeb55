// Sending SIP messages. See sip/send.h.
#include "sip/send.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "net/ipv4_text.h"
#include "net/name_resolution.h"
#include "net/socket_helpers.h"
#include "sip/agent_services.h"
#include "sip/parser.h"
#include "sip/trace.h"
#include "sip/transaction_states.h"
#include "sip/uri.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

constexpr char kOut[] = "Direction=\"OUT\"";
constexpr size_t kDestinationSize = 513;  // 512 characters and the terminator

// Every occurrence of pattern, compared ignoring case.
void ReplaceNoCase(std::string& text, const char* pattern, const std::string& value) {
  size_t n = strlen(pattern);
  for (size_t at = 0; at + n <= text.size();) {
    if (_strnicmp(text.c_str() + at, pattern, n) == 0) {
      text.replace(at, n, value);
      at += value.size();
    } else {
      ++at;
    }
  }
}

void HostPort(const SIPURI& uri, char* out) {
  if (uri.port[0])
    snprintf(out, kDestinationSize, "%s:%s", uri.host, uri.port);
  else
    snprintf(out, kDestinationSize, "%s", uri.host);
}

// The destination text of a request or a response; false when none.
bool DestinationText(SIPRecord* r, char* out) {
  out[0] = 0;
  SIPAccountSettings* account = SIPGetRootAccount(r);
  SIPConnectionSettings* connection = SIPGetRootConnection(r);
  const SIPMessageFields& m = r->msg;
  if (SIPIsRequestMode(r->messageMode)) {
    if (_stricmp(m.version, "SIP/2.0") != 0) return false;
    bool hasRoute = m.routes.entries[0].used != 0;
    if (account->outboundMode == 1) {
      bool cancel = _stricmp(m.method, "CANCEL") == 0;
      bool dialogCore = !_stricmp(m.method, "INVITE") || !_stricmp(m.method, "ACK") || !_stricmp(m.method, "BYE");
      if (cancel)
        HostPort(m.requestURI, out);
      else if ((account->routeOptions & 1) && dialogCore && hasRoute)
        snprintf(out, kDestinationSize, "%s", connection->serverHost);
      else if ((account->routeOptions & 1) && dialogCore)
        HostPort(m.requestURI, out);
      else if (hasRoute && m.routes.entries[0].uri.looseRoute)
        HostPort(m.routes.entries[0].uri, out);
      else
        HostPort(m.requestURI, out);
    } else if (account->outboundMode == 2) {
      snprintf(out, kDestinationSize, "%s", connection->serverHost);
    } else {
      return false;
    }
  } else if (SIPIsResponseMode(r->messageMode)) {
    const SIPVia& via = m.via[0];
    if (!via.used || !via.sentBy[0]) return false;
    const char* colon = strrchr(via.sentBy, ':');
    if (via.sentBy[0] == '[') colon = strstr(via.sentBy, "]:") ? strstr(via.sentBy, "]:") + 1 : nullptr;
    if (via.received[0] && via.rport > 0)
      snprintf(out, kDestinationSize, "%s:%d", via.received, via.rport);
    else if (via.received[0])
      snprintf(out, kDestinationSize, "%s%s", via.received, colon ? colon : ":5060");
    else
      snprintf(out, kDestinationSize, "%s", via.sentBy);
  }
  return out[0] != 0;
}

void Trace(const SIPTransactionHolder& record, const std::string& text, uint32_t code, const char* message,
           const char* host, int port) {
  SIPWriteTraceRecord("SIP:Message", text.c_str(), "", code, message, kOut, host, port, 0, record);
}

// The record's connection slot while its socket is still open.
SIPSocketHolder SlotSocket(const SIPTransactionHolder& record) {
  SIPSocketHolder socket = record->connectionSocket;
  if (socket.IsSet() && socket->closed) return SIPSocketHolder();
  return socket;
}

}  // namespace

void SIPStripURIScheme(char* text) {
  std::string s(text);
  for (const char* scheme : {"sips:", "sip:"}) ReplaceNoCase(s, scheme, "");
  bool quoted = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (s[i] == '@' && !quoted) {
      s.erase(0, i + 1);
      break;
    }
  }
  memcpy(text, s.c_str(), s.size() + 1);
}

int SIPComputeDestination(const SIPTransactionHolder& record, uint32_t* address, int* port) {
  if (!SIPTransactionHolderIsValid(record)) return 0;
  SIPRecord* r = &record->record;
  char destination[kDestinationSize];
  if (!DestinationText(r, destination)) return 0;
  SIPStripURIScheme(destination);
  const char* colon = destination[0] == '[' ? strstr(destination, "]:") : strchr(destination, ':');
  if (colon && destination[0] == '[') ++colon;
  int destinationPort = SIPGetRootConnection(r)->serverPort;
  if (colon) {
    destinationPort = atoi(colon + 1);
    destination[colon - destination] = 0;
  }
  if (destinationPort <= 0 || destinationPort > 65535) return 0;
  // The records the matching of the answer reads: the request as sent.
  if (SIPGetUAMode(record) == 1 && !SIPTransactionHolderIsValid(record->companion))
    record->companion = SIPCreateTransaction(record);
  SIPTransactionSetRequest(record.Get(), SIPCreateTransaction(record));
  uint32_t resolved = GetHostIP(destination, true, nullptr);
  if (resolved == INADDR_NONE) return 0;
  *address = resolved;
  *port = destinationPort;
  char text[600], dotted[16];
  snprintf(text, sizeof text, "Outbound=%X, Destination=\"%s\"", SIPGetRootAccount(r)->outboundMode, destination);
  SIPWriteTraceRecord("SIP:GetDestination", text, "", 0, "", kOut, FormatIPv4(resolved, dotted), destinationPort, 0,
                      record);
  return 1;
}

int SendSIPMessage(const SIPTransactionHolder& record, uint32_t flags, SIPSocketHolder* socketOut) {
  if (!SIPTransactionHolderIsValid(record)) {
    ZEQLogPrintf("SendSIPMessage: Invalid SIP Handle");
    return 0;
  }
  SIPRecord* r = &record->record;
  const SIPCountedText& source = (flags & kSIPSendLastMessage) ? r->lastMessage : r->prepared;
  std::string text(source.text ? source.text : "", source.length);
  text.erase(std::remove(text.begin(), text.end(), '\t'), text.end());
  uint32_t address = 0;
  int port = 0;
  if (!SIPComputeDestination(record, &address, &port)) {
    ZEQLogPrintf("SendSIPMessage: Error Computing Destination ZEQSIP: %08X", LogId(record.Get()));
    Trace(record, text, 2, "Error Resolving Destination", "", 0);
    SIPGetAgentServices().invokeTransactionError(record, 484, 0);
    return 0;
  }
  // The text as built, placeholders and all: a retransmission fills them anew.
  if (!(flags & kSIPSendLastMessage)) SIPCountedTextSet(&r->lastMessage, text.data(), text.size());
  SIPAccountSettings* account = SIPGetRootAccount(r);
  SIPConnectionSettings* connection = SIPGetRootConnection(r);
  ReplaceNoCase(text, "%listener_ip%", connection->listenerAddressText);
  ReplaceNoCase(text, "%listener_port%", std::to_string(connection->listenerPort));
  ReplaceNoCase(text, "%contact_ip%", account->contactAddress);
  ReplaceNoCase(text, "%contact_port%", std::to_string(account->contactPort));
  SIPTransactionHolder root = SIPGetRootTransaction(record);
  bool stream = connection->transport == kSIPTransportTCP;
  char dotted[16];
  FormatIPv4(address, dotted);
  const char* kind = SIPIsStatusLine(text.data(), text.size()) ? "Response" : "Request";
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(static_cast<u_short>(port));
  // A connection that fails is dropped and never chosen again, so this ends.
  for (int attempt = 0; attempt < 8; ++attempt) {
    // The record's own connection first: a request that came on a stream is
    // answered on it (a failed one was dropped from the slot below).
    SIPSocketHolder socket = SlotSocket(record);
    if (!socket.IsSet()) socket = SIPFindConnectionSocket(record, address, port);
    if (!socket.IsSet() && (address != connection->serverAddress || port != connection->serverPort))
      socket = SIPFindConnectionSocket(record, connection->serverAddress, connection->serverPort);
    // A datagram to anyone else leaves from the account's own socket too
    // (the port its Contact names), rather than from a new socket per
    // message that would stay listed for ever.
    if (!socket.IsSet() && !stream && root.IsSet() && !socketOut) {
      socket = SIPGetConnectionSocket(root, false);
      if (socket.IsSet() && socket->closed) socket = SIPSocketHolder();
    }
    bool isNew = !socket.IsSet();
    if (isNew) {
      socket = SIPCreateSocket(record);
      if (!socket.IsSet()) {
        ZEQLogPrintf("SendSIPMessage: Error Connecting to Destination ZEQSIP: %08X", LogId(record.Get()));
        Trace(record, text, 2, "Error Creating Socket", dotted, port);
        SIPGetAgentServices().invokeTransactionError(record, 503, 0);
        SetLastError(2);
        return 0;
      }
      // A server that never answers must not hold the sending thread for
      // the system's whole connect time-out.
      int connectError = stream ? ConnectSocketBounded(socket->socket, &to, kSIPConnectWaitMs) : 0;
      if (connectError) {
        ZEQLogPrintf("SendSIPMessage: Error Connecting to Destination ZEQSIP: %08X, Socket: %d - Error: %d",
                     LogId(record.Get()), static_cast<int>(socket->socket), connectError);
        record->connectionSocket.Release();
        Trace(record, text, 2, "Error Connecting to Destination", dotted, port);
        SIPGetAgentServices().invokeTransactionError(record, 503, 0);
        socket = SIPSocketHolder();  // its close must not overwrite the code
        SetLastError(104);
        return 0;
      }
      if (!socketOut) SIPListenerListenMessages(address, port, root.IsSet() ? root : record, socket, kSIPSocketEvents);
    }
    int result;
    int error = 0;
    socket->lock.Enter();
    if (stream)
      result = SendBuffer(socket->socket, text.data(), static_cast<int>(text.size()), kSocketRetryWouldBlock);
    else
      result = SendToBuffer(socket->socket, text.data(), static_cast<int>(text.size()), &to);
    if (result != 0) error = WSAGetLastError();
    socket->lock.Leave();
    SIPCountedTextSet(&r->sent, text.data(), text.size());
    if (result == 0) {
      ZEQLogPrintf("Sending SIP: %08X Socket: %d - %s (%d Bytes) to %s:%d", LogId(record.Get()),
                   static_cast<int>(socket->socket), kind, static_cast<int>(text.size()), dotted, port);
      Trace(record, text, 0, "", dotted, port);
      if (socketOut) *socketOut = socket;
      SetLastError(0);
      return 1;
    }
    if (!isNew) {
      if (record->connectionSocket.Get() == socket.Get()) record->connectionSocket.Release();
      SIPDropFailedConnection(socket);
      continue;
    }
    int code = IsConnectionLostError(error) ? 302 : 2;
    ZEQLogPrintf("Error %d Sending SIP: %08X Socket: %d - %s (%d Bytes) to %s:%d", error, LogId(record.Get()),
                 static_cast<int>(socket->socket), kind, static_cast<int>(text.size()), dotted, port);
    Trace(record, text, static_cast<uint32_t>(error), "Error Sending ZEQSIP Message", dotted, port);
    if (account->testOptions & 0x2) code = 0;
    SetLastError(static_cast<DWORD>(code));
    return code == 0 ? 1 : 0;
  }
  SetLastError(2);
  return 0;
}
