#include "net/name_resolution.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windns.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "foundation/lock.h"
#include "foundation/log.h"
#include "net/ipv4_text.h"

namespace {

constexpr size_t kHostTextMax = 512;
constexpr int kDefaultSipPort = 5060;

struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const { return _stricmp(a.c_str(), b.c_str()) < 0; }
};
struct CachedName {
  uint32_t address;
  DWORD tick;
};

ZEQLock& CacheLock() {
  static ZEQLock lock;
  return lock;
}
std::map<std::string, CachedName, NoCaseLess>& Cache() {
  static std::map<std::string, CachedName, NoCaseLess> cache;
  return cache;
}

volatile uint32_t dnsServerAddress = 0;
volatile int dnsServerPort = 53;

void Trim(std::string* text) {
  const size_t first = text->find_first_not_of(" \t");
  if (first == std::string::npos) {
    text->clear();
    return;
  }
  const size_t last = text->find_last_not_of(" \t");
  *text = text->substr(first, last - first + 1);
}

// One question to the set DNS server over UDP: two tries of 1.5 s each.
int AskDnsServer(const char* name, uint16_t type, net::DnsAnswer* answer) {
  static volatile LONG nextId = static_cast<LONG>(GetTickCount());
  const uint16_t id = static_cast<uint16_t>(InterlockedIncrement(&nextId));
  std::vector<uint8_t> query;
  if (!net::BuildDnsQuery(id, name, type, &query)) return net::kDnsStatusFormat;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = dnsServerAddress;
  server.sin_port = htons(static_cast<u_short>(dnsServerPort));
  int status = WSAETIMEDOUT;
  uint8_t reply[net::kDnsUdpMessageMax * 8];
  for (int attempt = 0; attempt < 2 && status == WSAETIMEDOUT; ++attempt) {
    if (sendto(s, reinterpret_cast<const char*>(query.data()), static_cast<int>(query.size()), 0,
               reinterpret_cast<sockaddr*>(&server), sizeof(server)) == SOCKET_ERROR) {
      status = WSAGetLastError();
      break;
    }
    const DWORD deadline = GetTickCount() + 1500;
    for (;;) {
      const LONG left = static_cast<LONG>(deadline - GetTickCount());
      if (left <= 0) break;
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(s, &readable);
      timeval wait{left / 1000, (left % 1000) * 1000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) break;
      sockaddr_in from{};
      int fromLength = sizeof(from);
      const int got = recvfrom(s, reinterpret_cast<char*>(reply), sizeof(reply), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (got == SOCKET_ERROR) {
        // WSAECONNRESET: the server's port answered unreachable.
        status = WSAGetLastError();
        break;
      }
      // Only the server's answer to this question counts (a stray or forged
      // datagram is dropped, not taken as the answer).
      if (from.sin_addr.s_addr != server.sin_addr.s_addr || from.sin_port != server.sin_port) continue;
      status = net::ParseDnsAnswer(reply, static_cast<size_t>(got), id, type, answer);
      if (status == net::kDnsStatusBadPacket) {
        status = WSAETIMEDOUT;
        continue;
      }
      break;
    }
  }
  closesocket(s);
  return status;
}

// DNSAPI, bound on first use.
typedef DNS_STATUS(WINAPI* DnsQueryFunction)(PCSTR, WORD, DWORD, PVOID, PDNS_RECORD*, PVOID*);
typedef VOID(WINAPI* DnsFreeFunction)(PDNS_RECORD, DNS_FREE_TYPE);
struct DnsApi {
  DnsQueryFunction query = nullptr;
  DnsFreeFunction free = nullptr;
};
const DnsApi& BoundDnsApi() {
  static const DnsApi api = [] {
    DnsApi bound;
    if (HMODULE module = LoadLibraryA("DNSAPI.DLL")) {
      bound.query = reinterpret_cast<DnsQueryFunction>(reinterpret_cast<void*>(GetProcAddress(module, "DnsQuery_A")));
      bound.free = reinterpret_cast<DnsFreeFunction>(reinterpret_cast<void*>(GetProcAddress(module, "DnsRecordListFree")));
    }
    if (!bound.query || !bound.free) bound = DnsApi();
    return bound;
  }();
  return api;
}

uint32_t ResolveByName(const std::string& host, const std::string& portText) {
  if (dnsServerAddress) {
    net::DnsAnswer answer;
    if (AskDnsServer(host.c_str(), net::kDnsTypeA, &answer) != 0) return INADDR_NONE;
    return answer.addresses.back().second;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* results = nullptr;
  uint32_t address = INADDR_NONE;
  if (getaddrinfo(host.c_str(), portText.c_str(), &hints, &results) == 0) {
    for (addrinfo* r = results; r; r = r->ai_next)
      if (r->ai_family == AF_INET && r->ai_addr)
        address = reinterpret_cast<sockaddr_in*>(r->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(results);
  }
  if (address == 0) {
    address = INADDR_NONE;
    if (hostent* entry = gethostbyname(host.c_str())) {
      for (char** a = entry->h_addr_list; a && *a; ++a) {
        uint32_t candidate;
        std::memcpy(&candidate, *a, sizeof(candidate));
        if (candidate) {
          address = candidate;
          break;
        }
      }
    }
  }
  return address;
}

}  // namespace

uint32_t GetHostIP(const char* host, bool useCache, int* port) {
  try {
    std::string hostText;
    std::string portText = "5060";
    if (!host) {
      char name[514] = {};
      if (gethostname(name, sizeof(name) - 1) == SOCKET_ERROR) return INADDR_NONE;
      hostText = name;
    } else {
      hostText.assign(host, strnlen(host, kHostTextMax));
      if (port && *port) portText = std::to_string(*port);
      const size_t colon = hostText.find(':');
      if (colon != std::string::npos) {
        portText = hostText.substr(colon + 1);
        hostText.resize(colon);
      }
    }
    Trim(&hostText);
    Trim(&portText);
    if (port) {
      // The port text's number; no digits (or a number out of range) leaves
      // the default port rather than 0.
      char* end = nullptr;
      const long value = std::strtol(portText.c_str(), &end, 10);
      *port = (end != portText.c_str() && value > 0 && value <= 65535) ? static_cast<int>(value) : kDefaultSipPort;
    }
    if (IsDottedIPv4(hostText.c_str()) && ParseIPv4(hostText.c_str()) == 0) {
      ZEQLogPrintf("GetHostIP: [INVALID] \"%s\"", hostText.c_str());
      return INADDR_NONE;
    }
    if (hostText.empty()) {
      ZEQLogPrintf("GetHostIP: [ERROR] \"%s\"", hostText.c_str());
      return INADDR_NONE;
    }
    if (useCache) {
      ZEQLockScope scope(CacheLock());
      auto found = Cache().find(hostText);
      if (found != Cache().end()) return found->second.address;
    }
    uint32_t address = INADDR_NONE;
    if (IsDottedIPv4(hostText.c_str())) {
      address = ParseIPv4(hostText.c_str());
    } else {
      address = ResolveByName(hostText, portText);
    }
    if (address == INADDR_NONE || address == 0) {
      ZEQLogPrintf("GetHostIP: [ERROR] \"%s\"", hostText.c_str());
      return INADDR_NONE;
    }
    if (useCache) {
      ZEQLockScope scope(CacheLock());
      Cache()[hostText] = CachedName{address, GetTickCount()};
    }
    return address;
  } catch (...) {
    ZEQLogPrintf("!GetHostIP: Unexpected exception...");
    return INADDR_NONE;
  }
}

void ClearNameCache() {
  ZEQLockScope scope(CacheLock());
  Cache().clear();
}

bool FindCachedName(const char* host, uint32_t* address, DWORD* tick) {
  if (!host) return false;
  ZEQLockScope scope(CacheLock());
  auto found = Cache().find(host);
  if (found == Cache().end()) return false;
  if (address) *address = found->second.address;
  if (tick) *tick = found->second.tick;
  return true;
}

void SetDnsServer(uint32_t address, int port) {
  dnsServerPort = port > 0 ? port : 53;
  dnsServerAddress = address;
}

bool IsDnsQueryAvailable() { return dnsServerAddress != 0 || BoundDnsApi().query != nullptr; }

int QueryDnsSrv(const char* name, std::vector<net::DnsSrvRecord>* records) {
  records->clear();
  try {
    if (dnsServerAddress) {
      net::DnsAnswer answer;
      const int status = AskDnsServer(name, net::kDnsTypeSrv, &answer);
      if (status == 0) *records = std::move(answer.services);
      return status;
    }
    const DnsApi& api = BoundDnsApi();
    if (!api.query) return 2;
    PDNS_RECORD list = nullptr;
    const DNS_STATUS status = api.query(name, DNS_TYPE_SRV, DNS_QUERY_BYPASS_CACHE, nullptr, &list, nullptr);
    if (status != 0) return static_cast<int>(status);
    for (PDNS_RECORD r = list; r; r = r->pNext) {
      if (r->wType != DNS_TYPE_SRV || !r->Data.SRV.pNameTarget) continue;
      net::DnsSrvRecord srv;
      srv.priority = r->Data.SRV.wPriority;
      srv.weight = r->Data.SRV.wWeight;
      srv.port = r->Data.SRV.wPort;
      srv.target = r->Data.SRV.pNameTarget;
      records->push_back(std::move(srv));
    }
    api.free(list, DnsFreeRecordList);
    return records->empty() ? net::kDnsStatusNoRecords : 0;
  } catch (...) {
    ZEQLogPrintf("!QueryDnsSrv: Unexpected exception...");
    records->clear();
    return ERROR_OUTOFMEMORY;
  }
}
