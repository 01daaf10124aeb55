// Reads arbitrary bytes as a DNS answer to an SRV and to an A question.
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/dns_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the end is seen.
  std::vector<uint8_t> copy(data, data + size);
  const uint16_t id = size >= 2 ? static_cast<uint16_t>((data[0] << 8) | data[1]) : 0;
  net::DnsAnswer answer;
  net::ParseDnsAnswer(copy.data(), copy.size(), id, net::kDnsTypeSrv, &answer);
  net::ParseDnsAnswer(copy.data(), copy.size(), id, net::kDnsTypeA, &answer);
  return 0;
}
