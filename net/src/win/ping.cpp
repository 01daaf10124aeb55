#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <vector>

#include "net/name_resolution.h"

namespace {

typedef HANDLE(WINAPI* IcmpCreateFunction)();
typedef BOOL(WINAPI* IcmpCloseFunction)(HANDLE);
typedef DWORD(WINAPI* IcmpSendEchoFunction)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD,
                                            DWORD);
struct IcmpApi {
  IcmpCreateFunction create = nullptr;
  IcmpCloseFunction close = nullptr;
  IcmpSendEchoFunction send = nullptr;
};

// ICMP.DLL, bound on first use; a missing entry leaves all three unbound.
const IcmpApi& BoundIcmpApi() {
  static const IcmpApi api = [] {
    IcmpApi bound;
    if (HMODULE module = LoadLibraryA("ICMP.DLL")) {
      bound.create = reinterpret_cast<IcmpCreateFunction>(reinterpret_cast<void*>(GetProcAddress(module, "IcmpCreateFile")));
      bound.close = reinterpret_cast<IcmpCloseFunction>(reinterpret_cast<void*>(GetProcAddress(module, "IcmpCloseHandle")));
      bound.send = reinterpret_cast<IcmpSendEchoFunction>(reinterpret_cast<void*>(GetProcAddress(module, "IcmpSendEcho")));
    }
    if (!bound.create || !bound.close || !bound.send) bound = IcmpApi();
    return bound;
  }();
  return api;
}

constexpr char kDefaultPayload[] = "abcdefghijklmnopqrstuvwabcdefghi";

}  // namespace

int PingHost(HANDLE icmp, const char* host, int timeoutMs, const char* payload) {
  const IcmpApi& api = BoundIcmpApi();
  if (!api.send || !icmp || icmp == INVALID_HANDLE_VALUE) return -1;
  const uint32_t address = GetHostIP(host, true, nullptr);
  if (address == INADDR_NONE) return -1;
  const char* data = payload && *payload ? payload : kDefaultPayload;
  const size_t length = strnlen(data, 0xFFFF - 64);
  try {
    std::vector<char> reply(length + sizeof(ICMP_ECHO_REPLY) + 36);
    const DWORD answers = api.send(icmp, address, const_cast<char*>(data), static_cast<WORD>(length), nullptr,
                                   reply.data(), static_cast<DWORD>(reply.size()), static_cast<DWORD>(timeoutMs));
    const ICMP_ECHO_REPLY* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    if (answers && echo->Status == IP_SUCCESS) return static_cast<int>(echo->RoundTripTime);
  } catch (...) {
  }
  return -1;
}

int PingHostWithRetries(const char* host, const char* payload) {
  const IcmpApi& api = BoundIcmpApi();
  for (int attempt = 0; attempt < 3; ++attempt) {
    HANDLE icmp = api.create ? api.create() : INVALID_HANDLE_VALUE;
    int time = -1;
    if (icmp != INVALID_HANDLE_VALUE) {
      time = PingHost(icmp, host, 1000, payload);
      api.close(icmp);
    }
    if (time >= 0) return 1;
    Sleep(1000);
  }
  return 0;
}
