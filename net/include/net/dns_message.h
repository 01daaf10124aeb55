// DNS messages (RFC 1035) for the two questions the network services ask:
// the A record of a host and the SRV records of a service (RFC 2782).
// Pure: building a query and reading an answer touch no socket.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

constexpr uint16_t kDnsTypeA = 1;
constexpr uint16_t kDnsTypeSrv = 33;
constexpr size_t kDnsNameMax = 255;
constexpr size_t kDnsUdpMessageMax = 512;

// Status of an answer, in the platform resolver's numbering: 0, or 9000 +
// the response code (9003: the name does not exist), or one of these.
constexpr int kDnsStatusFormat = 9001;
constexpr int kDnsStatusNameError = 9003;
constexpr int kDnsStatusBadPacket = 9502;  // malformed or not our answer
constexpr int kDnsStatusNoRecords = 9501;  // no record of the type asked for

struct DnsSrvRecord {
  uint16_t priority = 0;
  uint16_t weight = 0;
  uint16_t port = 0;
  std::string target;  // without the final dot
};

struct DnsAnswer {
  std::vector<DnsSrvRecord> services;  // SRV records of the answer section
  // A records of the answer and additional sections: name, then the address
  // in network byte order.
  std::vector<std::pair<std::string, uint32_t>> addresses;
};

// The query for one question with recursion desired. False when the name is
// empty, longer than 253 characters or has an empty or over-long label.
bool BuildDnsQuery(uint16_t id, const char* name, uint16_t type, std::vector<uint8_t>* out);

// Reads an answer to the query with this id and type. Returns the status;
// only records of the asked type (and A records of the additional section)
// are kept. Every length and name pointer is checked against the message:
// a name loop, a record past the end or a label over 63 gives
// kDnsStatusBadPacket.
int ParseDnsAnswer(const uint8_t* data, size_t length, uint16_t id, uint16_t type, DnsAnswer* answer);

}  // namespace net
