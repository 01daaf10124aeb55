// The NAT-type test over two UDP sockets, driven by the probe's rounds.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "foundation/text.h"
#include "media/stun_client.h"
#include "media/stun_probe.h"
#include "net/ipv4_text.h"
#include "net/name_resolution.h"

namespace {

constexpr size_t kServerTextMax = 512;

SOCKET OpenUdp(uint32_t address, int port) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address);
  local.sin_port = htons(static_cast<u_short>(port));
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

void Send(SOCKET s, const STUNProbeSend& send) {
  if (!send.length) return;
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(send.address);
  to.sin_port = htons(send.port);
  sendto(s, reinterpret_cast<const char*>(send.bytes), static_cast<int>(send.length), 0,
         reinterpret_cast<sockaddr*>(&to), sizeof to);
  Sleep(10);
}

// Reads one datagram of a ready socket into the probe; true when it was
// taken as an answer. Errors (a port-unreachable report of an earlier send)
// are read and dropped.
bool ReadInto(STUNNatProbe* probe, SOCKET s, int index) {
  uint8_t data[2048];
  sockaddr_in from = {};
  int fromLength = sizeof from;
  const int n = recvfrom(s, reinterpret_cast<char*>(data), sizeof data, 0, reinterpret_cast<sockaddr*>(&from),
                         &fromLength);
  if (n <= 0 || from.sin_family != AF_INET) return false;
  return STUNProbeTakeDatagram(probe, index, data, static_cast<size_t>(n), ntohl(from.sin_addr.s_addr),
                               ntohs(from.sin_port));
}

uint32_t RandomWord() { return MakeRandomNumber(nullptr) ^ (static_cast<uint32_t>(rand()) << 16) ^ static_cast<uint32_t>(rand()); }

}  // namespace

int STUNTestNAT(uint32_t serverAddress, int serverPort, uint32_t* mappedAddress, int* mappedPort, bool* portPreserved,
                bool* hairpin, int sourcePort) {
  SOCKET sockets[2];
  sockets[0] = OpenUdp(INADDR_ANY, sourcePort);
  sockets[1] = sockets[0] == INVALID_SOCKET ? INVALID_SOCKET : OpenUdp(INADDR_ANY, sourcePort ? sourcePort + 1 : 0);
  if (sockets[1] == INVALID_SOCKET) {
    if (sockets[0] != INVALID_SOCKET) closesocket(sockets[0]);
    return kSTUNCodeFailed;
  }
  if (!sourcePort) {
    sockaddr_in local = {};
    int length = sizeof local;
    getsockname(sockets[0], reinterpret_cast<sockaddr*>(&local), &length);
    sourcePort = ntohs(local.sin_port);
  }
  uint32_t random[kSTUNProbeTests][4];
  for (auto& id : random)
    for (uint32_t& word : id) word = RandomWord();
  STUNNatProbe probe;
  STUNProbeInit(&probe, serverAddress, static_cast<uint16_t>(serverPort), static_cast<uint16_t>(sourcePort), random);

  // Each round lasts its wait from its start: datagrams that are dropped do
  // not stretch it, so a sender flooding the port cannot hold the test.
  int wait = STUNProbeWaitMs(&probe);
  DWORD roundStart = GetTickCount();
  while (wait >= 0) {
    const DWORD spent = GetTickCount() - roundStart;
    const long left = static_cast<long>(wait) - static_cast<long>(spent);
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(sockets[0], &ready);
    FD_SET(sockets[1], &ready);
    timeval timeout = {0, left > 0 ? left * 1000 : 0};
    const int n = select(0, &ready, nullptr, nullptr, &timeout);
    if (n > 0) {
      bool taken = false;
      for (int i = 0; i < 2; ++i)
        if (FD_ISSET(sockets[i], &ready)) taken |= ReadInto(&probe, sockets[i], i);
      if (taken && STUNProbeWaitMs(&probe) != wait) {
        wait = STUNProbeWaitMs(&probe);  // the first answer starts the next tests at once
        roundStart = GetTickCount();
      }
      continue;
    }
    if (n < 0) Sleep(static_cast<DWORD>(left > 0 ? left : 0));
    STUNProbeSend sends[kSTUNProbeTests];
    const int count = STUNProbeTimeout(&probe, sends);
    for (int i = 0; i < count; ++i) Send(sockets[sends[i].socketIndex], sends[i]);
    wait = STUNProbeWaitMs(&probe);
    roundStart = GetTickCount();
  }

  // A mapped address this machine cannot bind is someone else's: a NAT.
  bool behindNat = false;
  if (probe.mappedAddress) {
    SOCKET own = OpenUdp(probe.mappedAddress, 0);
    behindNat = own == INVALID_SOCKET;
    if (own != INVALID_SOCKET) closesocket(own);
  }
  closesocket(sockets[0]);
  closesocket(sockets[1]);
  if (probe.answered[0]) {
    if (mappedAddress) *mappedAddress = probe.mappedAddress;
    if (mappedPort) *mappedPort = probe.mappedPort;
  }
  if (portPreserved) *portPreserved = probe.portPreserved;
  if (hairpin) *hairpin = probe.hairpin;
  return STUNProbeClassify(&probe, behindNat);
}

bool STUNParseHostName(const char* text, int* port, uint32_t* address) {
  if (!text) return false;
  char host[kServerTextMax + 1];
  snprintf(host, sizeof host, "%s", text);
  int value = kSTUNDefaultPort;
  if (char* colon = strchr(host, ':')) {
    *colon = 0;
    const char* p = colon + 1;
    long number = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9' && number <= 65535) number = number * 10 + (*p++ - '0');
    if (p == digits) return false;
    if (*p) {
      number = kSTUNDefaultPort;  // trailing characters: the default port
    } else if (number < 1024 || number > 65534) {
      return false;
    }
    value = static_cast<int>(number);
  }
  uint32_t found;
  if (host[0] >= '0' && host[0] <= '9') {
    found = ntohl(ParseIPv4(host));
  } else {
    const uint32_t resolved = GetHostIP(host, true, nullptr);
    if (resolved == INADDR_NONE || resolved == 0) return false;
    found = ntohl(resolved);
  }
  *port = value;
  *address = found;
  return true;
}

uint32_t STUNDetectNAT(const char* server, char* addressText, int sourcePort) {
  int port = 0;
  uint32_t address = 0;
  // An unknown name or a bad port leaves the account untested, so that the
  // next listener start tries again rather than caching "blocked".
  if (!STUNParseHostName(server, &port, &address) || address == 0) return 0;
  if (!sourcePort) sourcePort = static_cast<int>((MakeRandomNumber(nullptr) & 0x3FFF) | 0x4000);
  uint32_t mapped = 0;
  int mappedPort = 0;
  bool preserved = false, hairpin = false;
  const int code = STUNTestNAT(address, port, &mapped, &mappedPort, &preserved, &hairpin, sourcePort);
  const uint32_t type = STUNNatTypeFromCode(code, preserved, hairpin);
  if (type == kNATTypeUnclassified) return type;
  if (addressText) {
    if (mapped) {
      FormatIPv4(htonl(mapped), addressText);
    } else {
      addressText[0] = 0;
    }
  }
  return type;
}

int SIPGetSTUNInfo(SIPAccountSettings* account) {
  if (!account->stunServer[0]) return 1;
  ZEQLogPrintf("SIPGetSTUNInfo: Trying STUN Server \"%s\"...", account->stunServer);
  if (account->natType != 0) {
    ZEQLogPrintf("SIPGetSTUNInfo: [CACHED] NAT Type Detected: %08X - STUN: %s", static_cast<uint32_t>(account->natType),
                 account->stunMappedAddress);
    return 1;
  }
  char mapped[sizeof account->stunMappedAddress] = "";
  const uint32_t type = STUNDetectNAT(account->stunServer, mapped);
  account->natType = static_cast<int32_t>(type);
  if (type != 0 && type != kNATTypeUnclassified) memcpy(account->stunMappedAddress, mapped, sizeof mapped);
  if (!(type & 1))
    ZEQLogPrintf("SIPGetSTUNInfo: [RESOLVED] NAT Type Detected: %08X - STUN: %s", type, account->stunMappedAddress);
  return 1;
}
