// SIP sockets and the connection list. See sip/connections.h.
#include "sip/connections.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/timer_thread.h"
#include "net/ipv4_text.h"
#include "net/name_resolution.h"
#include "net/socket_helpers.h"
#include "sip/receive.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

volatile LONG g_liveSockets = 0;

// Accepted connections are checked for idleness every few seconds on the
// main window's thread, from the first accepted connection on.
ZEQTimer* volatile g_idleTimer = nullptr;
HWND volatile g_idleTarget = nullptr;
constexpr uint32_t kIdleCheckMs = 5000;

unsigned __stdcall IdleCheck(void*) {
  SIPCloseIdleAcceptedConnections(GetTickCount(), kSIPAcceptedIdleMs);
  return 0;
}

// Accepts run on the main thread only, so arming needs no lock; a new main
// window (a test's) re-arms the same timer for it.
void ArmIdleCheck() {
  HWND main = ZEQGetMainWindow();
  if (!main || main == g_idleTarget) return;
  if (ZEQSetTimer(main, &g_idleTimer, kIdleCheckMs, IdleCheck, nullptr, 0, 0)) g_idleTarget = main;
}

struct Entry {
  SOCKET key;
  uint32_t ownerId;  // handle id of the owning record
  uint32_t events;
  SIPSocketHolder socket;
  uint32_t peerAddress;  // network order
  int peerPort;
  bool accepted;
  uint32_t lastActivity;
};

// The list, sorted by socket number, and its lock.
struct ConnectionList {
  CRITICAL_SECTION lock;
  std::vector<Entry*> items;
  ConnectionList() { InitializeCriticalSectionAndSpinCount(&lock, 4000); }
  ~ConnectionList() {
    for (Entry* e : items) delete e;
    DeleteCriticalSection(&lock);
  }
};
ConnectionList& List() {
  static ConnectionList list;
  return list;
}

struct ListScope {
  ListScope() { EnterCriticalSection(&List().lock); }
  ~ListScope() { LeaveCriticalSection(&List().lock); }
  ListScope(const ListScope&) = delete;
  ListScope& operator=(const ListScope&) = delete;
};

std::vector<Entry*>::iterator Find(SOCKET key) {
  auto& items = List().items;
  auto at = std::lower_bound(items.begin(), items.end(), key, [](Entry* e, SOCKET k) { return e->key < k; });
  return at != items.end() && (*at)->key == key ? at : items.end();
}

SIPTransactionHolder OwnerOf(const Entry* entry) {
  SIPTransactionHolder owner;
  owner.AssignAndDeleteSource(SIPTransactionHolder::NewFromId(entry->ownerId));
  if (!SIPTransactionHolderIsValid(owner)) return SIPTransactionHolder();
  return owner;
}

std::string AccountOf(const SIPTransactionHolder& record) {
  char account[300];
  if (!SIPTransactionHolderIsValid(record) ||
      !SIPGetConnectionUserAndDomain(record.Get(), SIPTransactionHolder(), account, sizeof account))
    return std::string();
  return account;
}

void RemoveAt(std::vector<Entry*>::iterator at) {
  Entry* entry = *at;
  List().items.erase(at);
  delete entry;  // releases the list's reference to the socket
}


}  // namespace

SIPSocketHolder SIPNewSocket(SOCKET socket) {
  void* block = HeapAllocZ(sizeof(SIPSOCKET));
  auto* record = new (block) SIPSOCKET;
  record->socket = socket;
  record->lastKeepAliveTick = record->lastReceiveTick = record->closed = 0;
  record->lock.Init("SIPSOCKET");
  InterlockedIncrement(&g_liveSockets);
  return SIPSocketHolder(record);
}

void SIPSocketCloseExplicitly(SIPSOCKET* socket) {
  if (!socket || InterlockedExchange(&socket->closed, 1)) return;
  SOCKET number = socket->socket;  // the record keeps its number for the log
  CloseSocketExt(&number);
}

void SIPSocketDelete(SIPSOCKET* socket) {
  InterlockedDecrement(&g_liveSockets);
  SIPSocketCloseExplicitly(socket);
  socket->lock.Delete();
  socket->~SIPSOCKET();
  HeapFreeZ(socket);
}

long SIPLiveSocketCount() { return g_liveSockets; }

void SIPHandleSocketEvent(WPARAM socket, LPARAM event) {
  switch (WSAGETSELECTEVENT(event)) {
    case FD_READ: SIPListenerOnSocketEvent(static_cast<SOCKET>(socket)); break;
    case FD_ACCEPT: SIPAcceptTCPConnection(static_cast<SOCKET>(socket)); break;
    case FD_CLOSE: SIPConnectionListRemove(static_cast<SOCKET>(socket)); break;
    default: break;
  }
}

SIPSocketHolder SIPCreateSocket(const SIPTransactionHolder& record) {
  if (!SIPTransactionHolderIsValid(record)) return SIPSocketHolder();
  SIPConnectionSettings* c = SIPGetRootConnection(&record->record);
  bool stream = c->transport == kSIPTransportTCP;
  SOCKET s = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, stream ? IPPROTO_TCP : IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    ZEQLogPrintf("SIPCreateSocket: [FAILED] Error: %d, HOST: %s:%d, LISTENER: %s:%d", WSAGetLastError(),
                 c->serverAddressText, c->serverPort, c->listenerAddressText, c->listenerPort);
    return SIPSocketHolder();
  }
  ZEQLogPrintf("SIPCreateSocket: SIP: %08X, Socket: %d", LogId(record.Get()), static_cast<int>(s));
  if (stream) {
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  }
  SetSocketTimeOut(s, 30000);
  try {
    return SIPNewSocket(s);
  } catch (...) {
    closesocket(s);
    throw;
  }
}

int SIPBindSocketToAddrAny(SOCKET socket, int port) {
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<u_short>(port));
  if (bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
    ZEQLogPrintf("SIPBindSocketToAddrAny: [FAILED] Error: %d, Port: %d", WSAGetLastError(), port);
    return 0;
  }
  return 1;
}

int SIPListenerListenMessages(uint32_t peerAddress, int peerPort, const SIPTransactionHolder& record,
                              const SIPSocketHolder& socket, uint32_t events) {
  if (!SIPTransactionHolderIsValid(record) || !socket.IsSet()) return 0;
  SOCKET s = socket->socket;
  HWND window = GetSocketNotificationWindow();
  if (!window || WSAAsyncSelect(s, window, CMSG_WSA_SIPTCP_EVENTMESSAGE, static_cast<long>(events)) != 0) {
    ZEQLogPrintf("SIPListenerListenMessages: Error %d - SIP: %08X, Socket: %d, Event: %08X",
                 window ? WSAGetLastError() : WSANOTINITIALISED, LogId(record.Get()), static_cast<int>(s), events);
    return 0;
  }
  SIPTransactionHolder owner = record;
  auto* entry = new Entry{s, owner.GetId(), events, socket, peerAddress, peerPort, false, GetTickCount()};
  size_t count;
  {
    ListScope scope;
    auto& items = List().items;
    auto at = Find(s);
    if (at != items.end()) {
      delete *at;
      *at = entry;
    } else {
      items.insert(std::lower_bound(items.begin(), items.end(), s, [](Entry* e, SOCKET k) { return e->key < k; }),
                   entry);
    }
    count = items.size();
  }
  ZEQLogPrintf("SIPListenerListenMessages: [OK] SIP: %08X, Socket: %d, Event: %08X, Remaining connections: %d",
               LogId(record.Get()), static_cast<int>(s), events, static_cast<int>(count));
  return 1;
}

void SIPListenerAcceptConnections(uint32_t serverAddress, int serverPort, const SIPTransactionHolder& record,
                                  const SIPSocketHolder& socket) {
  if (!SIPTransactionHolderIsValid(record) || !socket.IsSet()) return;
  bool stream = SIPGetRootConnection(&record->record)->transport == kSIPTransportTCP;
  char dotted[16];
  FormatIPv4(serverAddress, dotted);
  ZEQLogPrintf("SIPListenerAcceptConnections: %s SIP: %08X, Socket: %d, %s:%d", stream ? "TCP" : "UDP",
               LogId(record.Get()), static_cast<int>(socket->socket), dotted,
               serverPort);
  if (stream && listen(socket->socket, SOMAXCONN) == SOCKET_ERROR) {
    ZEQLogPrintf("SIPListenerAcceptConnections: [ERROR] SIP: %08X, Socket: %d, %s:%d, Error: %d",
                 LogId(record.Get()), static_cast<int>(socket->socket), dotted, serverPort, WSAGetLastError());
    return;
  }
  SIPListenerListenMessages(serverAddress, serverPort, record, socket,
                            stream ? kSIPListeningEvents : kSIPSocketEvents);
}

int SIPAcceptTCPConnection(SOCKET listening) {
  sockaddr_in client = {};
  int length = sizeof client;
  SOCKET accepted = WSAAccept(listening, reinterpret_cast<sockaddr*>(&client), &length, nullptr, 0);
  if (accepted == INVALID_SOCKET) return 0;
  SIPTransactionHolder owner;
  {
    ListScope scope;
    auto at = Find(listening);
    if (at != List().items.end()) owner = OwnerOf(*at);
  }
  if (!owner.IsSet()) {
    closesocket(accepted);
    return 0;
  }
  SIPSocketHolder socket;
  try {
    socket = SIPNewSocket(accepted);
  } catch (...) {
    closesocket(accepted);
    return 0;
  }
  int result = SIPListenerListenMessages(client.sin_addr.s_addr, ntohs(client.sin_port), owner, socket,
                                         kSIPSocketEvents);
  if (result) {
    {
      ListScope scope;
      auto at = Find(accepted);
      if (at != List().items.end()) (*at)->accepted = true;
    }
    ArmIdleCheck();
  }
  return result;
}

SIPSocketHolder SIPFindConnectionSocket(const SIPTransactionHolder& record, uint32_t peerAddress, int peerPort) {
  std::string account = AccountOf(record);
  if (account.empty()) return SIPSocketHolder();
  ListScope scope;
  for (Entry* e : List().items) {
    if ((e->events & FD_ACCEPT) || e->peerAddress != peerAddress || e->peerPort != peerPort) continue;
    if (e->socket->closed) continue;  // dropped after a failed send
    SIPTransactionHolder owner = OwnerOf(e);
    std::string other = AccountOf(owner);
    if (!other.empty() && _stricmp(other.c_str(), account.c_str()) == 0) return e->socket;
  }
  return SIPSocketHolder();
}

SIPSocketHolder SIPGetConnectionSocket(const SIPTransactionHolder& record, bool listening) {
  {
    ListScope scope;
    for (Entry* e : List().items) {
      if (((e->events & FD_ACCEPT) != 0) != listening) continue;
      SIPTransactionHolder owner = OwnerOf(e);
      if (owner.Get() == record.Get() && owner.IsSet()) return e->socket;
    }
  }
  ZEQLogPrintf("SIPGetConnectionSocket: [NOT FOUND] SIP: %08X", LogId(record.Get()));
  return SIPSocketHolder();
}

int SIPCloseAllConnectionsRelated(SOCKET socket) {
  ZEQLogPrintf("SIPCloseAllConnectionsRelated: Socket: %d", static_cast<int>(socket));
  bool found = false;
  size_t count;
  {
    ListScope scope;
    auto at = Find(socket);
    if (at != List().items.end()) {
      found = true;
      SIPTransactionHolder owner = OwnerOf(*at);
      if (owner.IsSet())
        ZEQLogPrintf("SIPCloseAllConnectionsRelated: [CLOSE] SIP: %08X, Socket: %d", LogId(owner.Get()),
                     static_cast<int>(socket));
      else
        ZEQLogPrintf("SIPCloseAllConnectionsRelated: [CLOSE - No Transaction associated] Socket: %d",
                     static_cast<int>(socket));
      SIPSocketCloseExplicitly((*at)->socket.Get());
      RemoveAt(at);
    }
    count = List().items.size();
  }
  ZEQLogPrintf("SIPCloseAllConnectionsRelated: Remaining connections: %d", static_cast<int>(count));
  return found ? 1 : 0;
}

int SIPCloseRootRelatedConnections(const SIPTransactionHolder& root) {
  ZEQLogPrintf("SIPCloseRootRelatedConnections: SIP: %08X", LogId(root.Get()));
  size_t count;
  {
    ListScope scope;
    auto& items = List().items;
    for (size_t i = 0; i < items.size();) {
      SIPTransactionHolder owner = OwnerOf(items[i]);
      SIPTransactionHolder ownerRoot = owner.IsSet() ? SIPGetRootTransaction(owner) : SIPTransactionHolder();
      if (!ownerRoot.IsSet() || ownerRoot.Get() != root.Get()) {
        ++i;
        continue;
      }
      ZEQLogPrintf("SIPCloseRootRelatedConnections: [CLOSE] SIP: %08X, Socket: %d", LogId(owner.Get()),
                   static_cast<int>(items[i]->key));
      SIPSocketCloseExplicitly(items[i]->socket.Get());
      RemoveAt(items.begin() + static_cast<std::ptrdiff_t>(i));
    }
    count = items.size();
  }
  ZEQLogPrintf("SIPCloseRootRelatedConnections: SIP: %08X, Remaining connections: %d", LogId(root.Get()),
               static_cast<int>(count));
  return 1;
}

int SIPConnectionListRemove(SOCKET socket) {
  ListScope scope;
  auto at = Find(socket);
  if (at != List().items.end()) RemoveAt(at);
  return 1;
}

int SIPDropFailedConnection(const SIPSocketHolder& socket) {
  if (!socket.IsSet()) return 0;
  int result = SIPCloseAllConnectionsRelated(socket->socket);
  SIPSocketCloseExplicitly(socket.Get());  // also when it was not listed
  return result;
}

int SIPSetListenerAddress(const SIPTransactionHolder& record, uint32_t address, int port) {
  if (!SIPTransactionHolderIsValid(record)) return 0;
  SIPConnectionSettings* c = SIPGetRootConnection(&record->record);
  SIPAccountSettings* a = SIPGetRootAccount(&record->record);
  c->listenerAddress = address;
  char dotted[16];
  snprintf(c->listenerAddressText, sizeof c->listenerAddressText, "%s", FormatIPv4(address, dotted));
  c->listenerPort = port;
  snprintf(a->contactAddress, sizeof a->contactAddress, "%s", c->listenerAddressText);
  a->contactPort = port;
  return 1;
}

size_t SIPConnectionCount() {
  ListScope scope;
  return List().items.size();
}

bool SIPLookupConnection(SOCKET socket, SIPTransactionHolder* owner, SIPSocketHolder* holder, uint32_t* events) {
  ListScope scope;
  auto at = Find(socket);
  if (at == List().items.end()) return false;
  *owner = OwnerOf(*at);
  *holder = (*at)->socket;
  if (events) *events = (*at)->events;
  return true;
}

void SIPNoteConnectionActivity(SOCKET socket, uint32_t now) {
  ListScope scope;
  auto at = Find(socket);
  if (at != List().items.end()) (*at)->lastActivity = now;
}

int SIPCloseIdleAcceptedConnections(uint32_t now, uint32_t idleMs) {
  std::vector<SOCKET> idle;
  {
    ListScope scope;
    for (Entry* e : List().items)
      if (e->accepted && now - e->lastActivity > idleMs) idle.push_back(e->key);
  }
  for (SOCKET s : idle) {
    ZEQLogPrintf("SIPCloseIdleAcceptedConnections: [IDLE] Socket: %d", static_cast<int>(s));
    SIPCloseAllConnectionsRelated(s);
  }
  return static_cast<int>(idle.size());
}

SIPTransactionHolder SIPFindConnectionOwnerByUser(const char* account) {
  if (!account || !account[0]) return SIPTransactionHolder();
  ListScope scope;
  for (Entry* e : List().items) {
    SIPTransactionHolder owner = OwnerOf(e);
    std::string text = AccountOf(owner);
    if (!text.empty() && _stricmp(text.c_str(), account) == 0) return owner;
  }
  return SIPTransactionHolder();
}

int SIPGetListenetSocketLocalInfo(const SIPTransactionHolder& record, SOCKET socket, uint32_t* address, int* port) {
  *address = INADDR_NONE;
  *port = 0;
  if (!SIPTransactionHolderIsValid(record)) return 0;
  SIPConnectionSettings* c = SIPGetRootConnection(&record->record);
  // The interface the system would use towards the server.
  SOCKET probe = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (probe != INVALID_SOCKET) {
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = c->serverAddress;
    server.sin_port = htons(static_cast<u_short>(c->serverPort));
    sockaddr_in local = {};
    int length = sizeof local;
    if (connect(probe, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
      if (local.sin_addr.s_addr == 0)
        ZEQLogPrintf("SIPGetListenetSocketLocalInfo: [FAILED] #1...");
      else
        *address = local.sin_addr.s_addr;
    }
    closesocket(probe);
  }
  sockaddr_in own = {};
  int ownLength = sizeof own;
  bool named = getsockname(socket, reinterpret_cast<sockaddr*>(&own), &ownLength) == 0;
  if (named && *address == INADDR_NONE) {
    ZEQLogPrintf("SIPGetListenetSocketLocalInfo: [FAILED] #2...");
    char name[256];
    if (gethostname(name, sizeof name) == 0) *address = GetHostIP(name, true, nullptr);
  }
  if (!named || *address == INADDR_NONE) {
    ZEQLogPrintf("SIPGetListenetSocketLocalInfo: [FAILED] Error: %d, HOST: %s:%d, LISTENER: %s:%d", WSAGetLastError(),
                 c->serverAddressText, c->serverPort, c->listenerAddressText, c->listenerPort);
    *address = INADDR_NONE;
    return 0;
  }
  *port = ntohs(own.sin_port);
  char dotted[16];
  ZEQLogPrintf("SIPGetListenetSocketLocalInfo: SIP: %08X, Socket: %d - [OK] HOST: %s:%d, LISTENER: %s:%d",
               LogId(record.Get()), static_cast<int>(socket), c->serverAddressText, c->serverPort,
               FormatIPv4(*address, dotted), *port);
  return 1;
}

namespace {

struct ListenerList {
  CRITICAL_SECTION lock;
  std::vector<std::pair<std::string, uint32_t>> keys;
  ListenerList() { InitializeCriticalSection(&lock); }
  ~ListenerList() { DeleteCriticalSection(&lock); }
};
ListenerList& Listeners() {
  static ListenerList list;
  return list;
}

}  // namespace

bool SIPListenerListClaim(const char* key, const SIPTransactionHolder& record) {
  SIPTransactionHolder owner = record;
  uint32_t id = owner.GetId();
  ListenerList& list = Listeners();
  EnterCriticalSection(&list.lock);
  bool taken = false;
  for (const auto& entry : list.keys) taken |= _stricmp(entry.first.c_str(), key) == 0;
  if (!taken) list.keys.emplace_back(key, id);
  LeaveCriticalSection(&list.lock);
  return !taken;
}

void SIPListenerListRelease(const char* key) {
  ListenerList& list = Listeners();
  EnterCriticalSection(&list.lock);
  for (auto at = list.keys.begin(); at != list.keys.end(); ++at) {
    if (_stricmp(at->first.c_str(), key) == 0) {
      list.keys.erase(at);
      break;
    }
  }
  LeaveCriticalSection(&list.lock);
}
