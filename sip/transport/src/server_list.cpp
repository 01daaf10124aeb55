#include "sip/server_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Candidate {
  int priority;
  std::string rest;  // "target:port"
};

int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x - y;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

int SplitHostPort(char* text, char* host, size_t hostSize, int32_t* port, int32_t defaultPort) {
  if (!text || !host || hostSize == 0) return 0;
  char* colon = std::strchr(text, ':');
  const size_t hostLength = colon ? static_cast<size_t>(colon - text) : std::strlen(text);
  int32_t value = defaultPort;
  if (colon) {
    char* end = nullptr;
    const long number = std::strtol(colon + 1, &end, 10);
    if (end != colon + 1 && *end == '\0' && number > 0 && number <= 65535) value = static_cast<int32_t>(number);
  }
  if (host == text) {
    if (colon) *colon = '\0';
    if (hostLength >= hostSize) host[hostSize - 1] = '\0';
  } else {
    const size_t n = std::min(hostLength, hostSize - 1);
    std::memmove(host, text, n);
    host[n] = '\0';
  }
  if (port && (colon || defaultPort != 0)) *port = value;
  return colon ? 1 : 0;
}

int SIPFillServerList(SIPAccountSettings* account, const std::vector<net::DnsSrvRecord>& records,
                      void (*found)(const char* text, void* context), void* context) {
  std::vector<Candidate> sorted;
  for (const net::DnsSrvRecord& record : records) {
    // A target too long for an entry is left out: cut, it would name
    // another host.
    if (record.target.empty() || record.target.size() + 7 > sizeof(account->serverList[0])) continue;
    Candidate candidate{record.priority, record.target + ":" + std::to_string(record.port)};
    auto at = std::find_if(sorted.begin(), sorted.end(), [&](const Candidate& c) {
      return c.priority == candidate.priority && CompareNoCase(c.rest, candidate.rest) == 0;
    });
    if (at != sorted.end()) {
      *at = candidate;  // the same text replaces the entry
      continue;
    }
    sorted.push_back(std::move(candidate));
  }
  std::stable_sort(sorted.begin(), sorted.end(), [](const Candidate& a, const Candidate& b) {
    if (a.priority != b.priority) return a.priority < b.priority;
    return CompareNoCase(a.rest, b.rest) < 0;
  });
  int written = 0;
  for (const Candidate& candidate : sorted) {
    if (written == kSIPServerListSize) break;
    if (found) {
      const std::string text = std::to_string(candidate.priority) + ":" + candidate.rest;
      found(text.c_str(), context);
    }
    std::memcpy(account->serverList[written], candidate.rest.c_str(), candidate.rest.size() + 1);
    ++written;
  }
  return written;
}
