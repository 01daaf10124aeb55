// Listener start-up: builds the account's server list from DNS SRV and tries
// the servers in order until one registers.
#include "sip/server_startup.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/marshal_packet.h"
#include "foundation/waits.h"
#include "net/ipv4_text.h"
#include "net/name_resolution.h"
#include "sip/connections.h"
#include "sip/server_list.h"
#include "sip/trace.h"
#include "sip/transaction_list.h"
#include "sip/uri.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

// Listener sockets between their opening and their listing (or release),
// held here so that the steps can pass plain socket numbers.
struct PendingListeners {
  CRITICAL_SECTION lock;
  std::vector<SIPSocketHolder> sockets;
  PendingListeners() { InitializeCriticalSection(&lock); }
  ~PendingListeners() { DeleteCriticalSection(&lock); }
};
PendingListeners& Pending() {
  static PendingListeners pending;
  return pending;
}

void KeepPending(const SIPSocketHolder& socket) {
  EnterCriticalSection(&Pending().lock);
  try {
    Pending().sockets.push_back(socket);
  } catch (...) {
    LeaveCriticalSection(&Pending().lock);
    throw;
  }
  LeaveCriticalSection(&Pending().lock);
}

// The pending socket of that number, taken out of the pending ones.
SIPSocketHolder TakePending(uintptr_t number) {
  SIPSocketHolder socket;
  EnterCriticalSection(&Pending().lock);
  auto& sockets = Pending().sockets;
  for (auto at = sockets.begin(); at != sockets.end(); ++at) {
    if (static_cast<uintptr_t>((*at)->socket) == number) {
      socket = *at;
      sockets.erase(at);
      break;
    }
  }
  LeaveCriticalSection(&Pending().lock);
  return socket;
}

bool OpenListener(const SIPTransactionHolder& record, int32_t localPort, uintptr_t* number) {
  SIPSocketHolder socket = SIPCreateSocket(record);
  if (!socket.IsSet()) return false;
  if (!SIPBindSocketToAddrAny(socket->socket, localPort)) return false;  // the holder closes it
  uint32_t address = INADDR_NONE;
  int port = 0;
  if (SIPGetListenetSocketLocalInfo(record, socket->socket, &address, &port))
    SIPSetListenerAddress(record, address, port);
  KeepPending(socket);
  *number = static_cast<uintptr_t>(socket->socket);
  return true;
}

void StartListening(const SIPTransactionHolder& record, uint32_t serverAddress, int32_t serverPort,
                    uintptr_t number) {
  SIPSocketHolder socket = TakePending(number);
  if (socket.IsSet()) SIPListenerAcceptConnections(serverAddress, serverPort, record, socket);
}

void ReleaseListener(const SIPTransactionHolder&, uintptr_t number) {
  SIPSocketHolder socket = TakePending(number);
  if (socket.IsSet())
    SIPSocketCloseExplicitly(socket.Get());
  else
    SIPCloseAllConnectionsRelated(static_cast<SOCKET>(number));
}

bool NotSent(const SIPTransactionHolder&) { return false; }
void CloseConnections(const SIPTransactionHolder& record) { SIPCloseRootRelatedConnections(record); }
void ReleaseKey(const SIPTransactionHolder& record) {
  SIPListenerListRelease(SIPStartupAccountKey(record).c_str());
}

const SIPStartupSteps kDefaultSteps = {SIPListenerListClaim, nullptr,          OpenListener,
                                       StartListening,       NotSent,          nullptr,
                                       CloseConnections,     ReleaseListener,  ReleaseKey,
                                       nullptr};
SIPStartupSteps installedSteps = kDefaultSteps;

template <typename Step>
void Fill(Step* step, Step fallback) {
  if (!*step) *step = fallback;
}

// The REGISTER's own time-out ends it and the user agent then sets the wait
// event; this bound only keeps a lost event from holding the thread for
// ever.
constexpr DWORD kRegisterWaitSlack = 5000;

void LogFound(const char* text, void* context) {
  ZEQLogPrintf("SIPPrepareServersList: [FOUND] SIP: %08X, Host: %s", *static_cast<unsigned*>(context), text);
}

}  // namespace

void SIPInstallStartupSteps(const SIPStartupSteps* steps) {
  SIPStartupSteps chosen = steps ? *steps : kDefaultSteps;
  Fill(&chosen.claimAccountKey, kDefaultSteps.claimAccountKey);
  Fill(&chosen.openListener, kDefaultSteps.openListener);
  Fill(&chosen.startListening, kDefaultSteps.startListening);
  Fill(&chosen.sendProbe, kDefaultSteps.sendProbe);
  Fill(&chosen.signalToClose, kDefaultSteps.signalToClose);
  Fill(&chosen.releaseListener, kDefaultSteps.releaseListener);
  Fill(&chosen.invokeCloseEvents, kDefaultSteps.invokeCloseEvents);
  installedSteps = chosen;
}

std::string SIPStartupAccountKey(const SIPTransactionHolder& holder) {
  if (!SIPTransactionHolderIsValid(holder)) return std::string();
  SIPRecord* record = &holder->record;
  SIPAccountSettings* account = SIPGetRootAccount(record);
  char user[SIPEscapedSize(sizeof(account->user))];
  SIPEscapeURIUser(account->user, user, sizeof(user));
  return std::string(user) + "@" + SIPGetServiceDomain(record);
}

int SIPPrepareServersList(const SIPTransactionHolder& holder) {
  SIPTransaction* t = holder.Get();
  if (!t) return kSIPStartupNotResolved;
  SIPRecord* record = &t->record;
  SIPAccountSettings* account = SIPGetRootAccount(record);
  SIPConnectionSettings* connection = SIPGetRootConnection(record);
  unsigned id = LogId(t);
  const char* domain = SIPGetServiceDomain(record);
  std::snprintf(connection->serverHost, sizeof(connection->serverHost), "%s", domain);
  std::snprintf(account->serverList[0], sizeof(account->serverList[0]), "%s", domain);
  ZEQLogPrintf("SIPPrepareServersList: [START] SIP: %08X, Host: %s", id, connection->serverHost);
  if (!IsDnsQueryAvailable()) return kSIPStartupNoDns;

  char name[sizeof(connection->serverHost) + 16];
  std::snprintf(name, sizeof(name), "_sip.%s.%s", connection->transport == kSIPTransportTCP ? "_tcp" : "_udp",
                connection->serverHost);
  if (char* colon = std::strrchr(name, ':')) *colon = '\0';
  ZEQLogPrintf("SIPPrepareServersList: [DNS SRV] SIP: %08X, Host: %s", id, name);
  std::vector<net::DnsSrvRecord> records;
  const int status = QueryDnsSrv(name, &records);
  if (status != 0) {
    ZEQLogPrintf("SIPPrepareServersList: [ERROR] SIP: %08X, Error %d (%d) executing DNSSRV \"%s\"", id, status,
                 static_cast<int>(GetLastError()), name);
    if (GetHostIP(connection->serverHost, true, nullptr) == INADDR_NONE) return kSIPStartupNotResolved;
    ZEQLogPrintf("SIPPrepareServersList: SIP: %08X, Try %s \"%s\"", id,
                 account->outboundMode == 2 ? "PROXY URL" : "DOMAIN URL", connection->serverHost);
    return 0;
  }
  SIPFillServerList(account, records, LogFound, &id);
  return 0;
}

namespace {

// One try of the server at the account's current index; true when the
// server took the registration.
bool TryServer(const SIPTransactionHolder& holder, SIPRecord* record, int index) {
  SIPAccountSettings* account = SIPGetRootAccount(record);
  SIPConnectionSettings* connection = SIPGetRootConnection(record);
  const unsigned id = LogId(holder.Get());
  std::snprintf(connection->serverHost, sizeof(connection->serverHost), "%s", account->serverList[index]);
  char* host = connection->serverHost;
  int32_t port = account->proxyRemotePort;
  SplitHostPort(host, host, sizeof(connection->serverHost), &port, account->proxyRemotePort);
  connection->serverPort = port;
  connection->serverAddress = GetHostIP(host, true, nullptr);
  FormatIPv4(connection->serverAddress, connection->serverAddressText);
  ZEQLogPrintf("thSIPStartListener: [TRY #%d] SIP: %08X, HOST: %s:%d", index, id, host, port);
  if (connection->serverAddress == INADDR_NONE) {
    ZEQLogPrintf("thSIPStartListener: [FAILED TO RESOLVE URL] SIP: %08X, Proxy: %s:%d - Error: %d", id, host, port,
                 static_cast<int>(GetLastError()));
    // The record stays open: the next server may still take the
    // registration (the refusal comes when none is left).
    connection->resultCode = 503;
    SIPWriteTraceRecord("SIP:Message", "Code: 503", nullptr, 503, nullptr,
                        "Label=\"Network Connection Failure\", Direction=\"OUT\"", host, port, 0, holder);
    return false;
  }
  if (!SIPTransactionHolderIsValid(holder)) {
    ZEQLogPrintf("thSIPStartListener: [DISCONNECTED] SIP: %08X, Proxy: %s:%d", id, host, port);
    return false;
  }
  ZEQLogPrintf("thSIPStartListener: [RESOLVED #%d] SIP: %08X, URL: %s to %s:%d - Proxy Local Port: %d", index, id,
               host, connection->serverAddressText, port, account->proxyLocalPort);
  const SIPStartupSteps steps = installedSteps;
  if (steps.queryNatType) steps.queryNatType(holder);
  uintptr_t socket = 0;
  if (!steps.openListener(holder, account->proxyLocalPort, &socket)) {
    ZEQLogPrintf("thSIPStartListener: [FAILED TO BIND] SIP: %08X, Proxy: %s:%d", id, host, port);
    return false;
  }
  if (_stricmp(connection->serverAddressText, connection->listenerAddressText) == 0 &&
      connection->serverPort == connection->listenerPort) {
    ZEQLogPrintf("thSIPStartListener: [LISTENER LOOPBACK] SIP: %08X, HOST: %s:%d, LISTENER: %s:%d", id, host, port,
                 connection->listenerAddressText, connection->listenerPort);
    steps.releaseListener(holder, socket);
    return false;
  }
  if (steps.localConnect) steps.localConnect(holder);
  steps.startListening(holder, connection->serverAddress, connection->serverPort, socket);
  if (!steps.sendProbe(holder))
    ZEQLogPrintf("thSIPStartListener: [WARNING] SIP: %08X, HOST: %s:%d Failed to probe proxy...", id, host, port);
  if (steps.sendRegister(holder)) {
    HANDLE event = reinterpret_cast<HANDLE>(connection->waitEvent);
    const DWORD bound = static_cast<DWORD>(account->registerTimeout > 0 ? account->registerTimeout : 32) * 1000 +
                        kRegisterWaitSlack;
    WaitForHandleExt(&event, bound, nullptr, 0);
  }
  if (connection->listening) return true;
  steps.signalToClose(holder);
  steps.releaseListener(holder, socket);
  return false;
}

}  // namespace

DWORD WINAPI thSIPStartListener(void* packet) {
  SIPTransactionHolder holder;
  holder.AssignFromMarshal(static_cast<KESTOMarshalPacket*>(packet));
  SIPTransaction* t = holder.Get();
  if (!t) return kSIPStartupNotResolved;
  SIPRecord* record = &t->record;
  SIPAccountSettings* account = SIPGetRootAccount(record);
  SIPConnectionSettings* connection = SIPGetRootConnection(record);
  const unsigned id = LogId(t);
  ZEQLogPrintf("-thSIPStartListener: [ENTER] SIP: %08X", id);

  const int listResult = SIPPrepareServersList(holder);
  connection->startupResult = static_cast<uintptr_t>(listResult);
  if (connection->serverListEvent) SetEvent(reinterpret_cast<HANDLE>(connection->serverListEvent));
  if (listResult != 0) return static_cast<DWORD>(listResult);

  const std::string key = SIPStartupAccountKey(holder);
  const SIPStartupSteps steps = installedSteps;
  if (!steps.sendRegister) {
    ZEQLogPrintf("thSIPStartListener: [FAILED] SIP: %08X, Key: %s - no user agent to register", id, key.c_str());
    return kSIPStartupNoDns;
  }
  if (!steps.claimAccountKey(key.c_str(), holder)) {
    ZEQLogPrintf("thSIPStartListener: [[ALREADY EXISTS] SIP: %08X, Key: %s, Proxy: %s:%d", id, key.c_str(),
                 connection->serverHost, connection->serverPort);
    return kSIPStartupAlreadyStarted;
  }

  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  account->serverIndex = -1;
  for (;;) {
    HANDLE old = reinterpret_cast<HANDLE>(connection->waitEvent);
    connection->waitEvent = reinterpret_cast<uintptr_t>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (old) CloseHandle(old);
    const int index = ++account->serverIndex;
    if (index >= kSIPServerListSize || account->serverList[index][0] == '\0') break;
    if (TryServer(holder, record, index)) break;
  }
  if (!connection->listening) {
    if (SIPSetEndReason(holder, kSIPEndRefused, false)) connection->resultCode = 906;
    steps.invokeCloseEvents(holder);
  } else {
    ZEQLogPrintf("thSIPStartListener: [OK] SIP: %08X, HOST: %s:%d connected successfully...", id,
                 connection->serverHost, connection->serverPort);
  }
  if (connection->startupThread) {
    CloseHandle(reinterpret_cast<HANDLE>(connection->startupThread));
    connection->startupThread = 0;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  ZEQLogPrintf("-thSIPStartListener: [LEAVE] SIP: %08X", id);
  return 0;
}
