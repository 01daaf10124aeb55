// Name resolution: host names to IPv4 addresses through a process-wide name
// cache, DNS SRV look-ups, and ICMP echo.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "net/dns_message.h"

// The address of host (text, optionally ":port"; none: this computer's
// name) in network order, or INADDR_NONE. With a port pointer, *port gives
// the default port (0: 5060) and receives the port of the text. With
// useCache, the host text alone (port cut off, blanks trimmed) is the
// cache's key, compared without case.
uint32_t GetHostIP(const char* host, bool useCache, int* port);

// The name cache. Entries never expire by age: the network monitor empties
// it when the local address changes.
void ClearNameCache();
// True when the cache holds the host; the address and the tick of its last
// resolution are returned.
bool FindCachedName(const char* host, uint32_t* address, DWORD* tick);

// The DNS server that name look-ups ask. By default (address 0) the
// platform's resolver answers (DNSAPI's DnsQuery_A, getaddrinfo); a set
// server is asked directly over UDP, for SRV records and for host
// addresses alike, which is how a caller points the look-ups at a resolver
// of its own without touching the machine's.
void SetDnsServer(uint32_t address, int port);

// True when a DNS SRV query can be made (DNSAPI bound, or a server set).
bool IsDnsQueryAvailable();
// The SRV records of name, asked with the resolver's cache bypassed.
// Returns 0, a DNS status (9003: the name does not exist), 2 when no query
// function is available, or a Winsock error when the server could not be
// reached.
int QueryDnsSrv(const char* name, std::vector<net::DnsSrvRecord>* records);

// ICMP echo: the round-trip time in ms, or -1.
int PingHost(HANDLE icmp, const char* host, int timeoutMs, const char* payload);
// 1 when one of three echoes is answered, else 0.
int PingHostWithRetries(const char* host, const char* payload);
