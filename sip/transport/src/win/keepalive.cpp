// The keep-alive thread of a registration. See sip/keepalive.h.
#include "sip/connections.h"  // first: Winsock 2 before windows.h
#include "sip/keepalive.h"

#include <objbase.h>

#include "foundation/log.h"
#include "net/ipv4_text.h"
#include "sip/agent_services.h"
#include "sip/keepalive_timing.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

DWORD WINAPI KeepAliveThread(void* parameter) {
  auto* holder = static_cast<SIPTransactionHolder*>(parameter);
  SIPTransactionHolder registration = *holder;
  delete holder;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SIPConnectionSettings* c = SIPGetRootConnection(&registration->record);
  ZEQLogPrintf("SIPKeepAlive: SIP: %08X, %s:%d - [ENTER]", LogId(registration.Get()), c->serverAddressText,
               c->serverPort);
  uint32_t now = GetTickCount();
  SIPKeepAliveState state = {now, now};
  while (SIPTransactionHolderIsValid(registration) && registration->record.endReason == 0) {
    try {
      SIPKeepAlivePass(registration, &state, GetTickCount());
    } catch (...) {
      ZEQLogPrintf("!SIPKeepAlive: Unexpected exception...");
    }
    Sleep(250);
  }
  ZEQLogPrintf("SIPKeepAlive: SIP: %08X, %s:%d - [LEAVE]", LogId(registration.Get()), c->serverAddressText,
               c->serverPort);
  // Last: an empty handle tells that the thread is done.
  HANDLE self = reinterpret_cast<HANDLE>(InterlockedExchangePointer(
      reinterpret_cast<void* volatile*>(&c->keepAliveThread), nullptr));
  if (self) CloseHandle(self);
  CoUninitialize();
  return 0;
}

}  // namespace

int SIPKeepAlivePass(const SIPTransactionHolder& registration, SIPKeepAliveState* state, uint32_t now) {
  if (!SIPTransactionHolderIsValid(registration)) return 0;
  SIPRecord* r = &registration->record;
  SIPConnectionSettings* c = SIPGetRootConnection(r);
  SIPAccountSettings* a = SIPGetRootAccount(r);
  if (SIPReRegisterDue(now, state->lastReRegister, c->grantedExpiry)) {
    state->lastReRegister = now;
    ZEQLogPrintf("SIPKeepAlive: SIP: %08X, %s:%d - [RE-REGISTER]", LogId(registration.Get()), c->serverAddressText,
                 c->serverPort);
    SIPGetAgentServices().sendRegister(registration, 1);
  }
  if (!SIPKeepAliveDue(now, state->lastKeepAlive, a->natKeepAlive)) return 0;
  SIPSocketHolder socket = SIPFindConnectionSocket(registration, c->serverAddress, c->serverPort);
  if (!socket.IsSet()) return 0;
  state->lastKeepAlive = now;
  bool stream = c->transport == kSIPTransportTCP;
  SOCKET s = socket->socket;
  if (stream && SIPKeepAliveAnswerMissing(static_cast<uint32_t>(socket->lastKeepAliveTick),
                                          static_cast<uint32_t>(socket->lastReceiveTick)))
    ZEQLogPrintf("SIPKeepAlive: SIP: %08X, Socket: %d - %s:%d - [FLOW REFRESH RE-REGISTER]", LogId(registration.Get()),
                 static_cast<int>(s), c->serverAddressText, c->serverPort);
  size_t length;
  const char* payload = SIPKeepAlivePayload(stream, &length);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = c->serverAddress;
  to.sin_port = htons(static_cast<u_short>(c->serverPort));
  socket->lock.Enter();
  int sent = stream ? send(s, payload, static_cast<int>(length), 0)
                    : sendto(s, payload, static_cast<int>(length), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  int error = sent == static_cast<int>(length) ? 0 : WSAGetLastError();
  socket->lock.Leave();
  char dotted[16];
  FormatIPv4(c->serverAddress, dotted);
  if (error || sent != static_cast<int>(length)) {
    ZEQLogPrintf("SIPKeepAlive: Error %d Sending SIP: %08X, Socket: %d - NAT Keep Alive (%d Bytes) to %s:%d", error,
                 LogId(registration.Get()), static_cast<int>(s), static_cast<int>(length), dotted, c->serverPort);
    return 0;
  }
  InterlockedExchange(&socket->lastKeepAliveTick, static_cast<LONG>(now ? now : 1));
  ZEQLogPrintf("SIPKeepAlive: Sending SIP: %08X, Socket: %d - NAT Keep Alive (%d Bytes) to %s:%d",
               LogId(registration.Get()), static_cast<int>(s), static_cast<int>(length), dotted, c->serverPort);
  return static_cast<int>(length);
}

bool SIPStartKeepAlive(const SIPTransactionHolder& registration) {
  if (!SIPTransactionHolderIsValid(registration)) return false;
  auto* holder = new SIPTransactionHolder(registration);
  HANDLE thread = CreateThread(nullptr, 0, KeepAliveThread, holder, CREATE_SUSPENDED, nullptr);
  if (!thread) {
    delete holder;
    return false;
  }
  registration->record.connection.keepAliveThread = reinterpret_cast<uintptr_t>(thread);
  ResumeThread(thread);
  return true;
}
