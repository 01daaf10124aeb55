#include "net/dns_message.h"

#include <cstring>

namespace net {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr int kMaxPointerJumps = 32;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void Put16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value & 0xFF));
}

// Reads the (possibly compressed) name at *offset into name and moves the
// offset past it in the record. False on anything malformed.
bool ReadName(const uint8_t* data, size_t length, size_t* offset, std::string* name) {
  name->clear();
  size_t at = *offset;
  size_t after = 0;  // where the record continues once a pointer was followed
  int jumps = 0;
  for (;;) {
    if (at >= length) return false;
    const uint8_t size = data[at];
    if (size == 0) {
      if (!after) after = at + 1;
      break;
    }
    if ((size & 0xC0) == 0xC0) {
      if (at + 1 >= length || ++jumps > kMaxPointerJumps) return false;
      if (!after) after = at + 2;
      at = static_cast<size_t>(((size & 0x3F) << 8) | data[at + 1]);
      continue;
    }
    if (size & 0xC0) return false;  // the reserved label kinds
    if (at + 1 + size > length) return false;
    if (!name->empty()) name->push_back('.');
    name->append(reinterpret_cast<const char*>(data + at + 1), size);
    if (name->size() > kDnsNameMax) return false;
    at += 1 + size;
  }
  *offset = after;
  return true;
}

}  // namespace

bool BuildDnsQuery(uint16_t id, const char* name, uint16_t type, std::vector<uint8_t>* out) {
  out->clear();
  if (!name) return false;
  size_t nameLength = std::strlen(name);
  if (nameLength && name[nameLength - 1] == '.') --nameLength;
  if (nameLength == 0 || nameLength > 253) return false;
  Put16(out, id);
  Put16(out, 0x0100);  // a standard query, recursion desired
  Put16(out, 1);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, 0);
  size_t start = 0;
  while (start <= nameLength) {
    size_t end = start;
    while (end < nameLength && name[end] != '.') ++end;
    const size_t label = end - start;
    if (label == 0 || label > 63) {
      out->clear();
      return false;
    }
    out->push_back(static_cast<uint8_t>(label));
    out->insert(out->end(), name + start, name + end);
    start = end + 1;
  }
  out->push_back(0);
  Put16(out, type);
  Put16(out, 1);  // class IN
  return true;
}

namespace {

int ReadAnswer(const uint8_t* data, size_t length, uint16_t id, uint16_t type, DnsAnswer* answer) {
  if (!data || length < kHeaderSize) return kDnsStatusBadPacket;
  const uint16_t flags = Read16(data + 2);
  if (Read16(data) != id || !(flags & 0x8000)) return kDnsStatusBadPacket;
  const int rcode = flags & 0x0F;
  if (rcode) return 9000 + rcode;
  const unsigned questions = Read16(data + 4);
  const unsigned answers = Read16(data + 6);
  const unsigned authorities = Read16(data + 8);
  const unsigned additional = Read16(data + 10);
  size_t offset = kHeaderSize;
  std::string name;
  for (unsigned i = 0; i < questions; ++i) {
    if (!ReadName(data, length, &offset, &name) || offset + 4 > length) return kDnsStatusBadPacket;
    offset += 4;
  }
  const unsigned records = answers + authorities + additional;
  for (unsigned i = 0; i < records; ++i) {
    if (!ReadName(data, length, &offset, &name) || offset + 10 > length) return kDnsStatusBadPacket;
    const uint16_t recordType = Read16(data + offset);
    const uint16_t recordClass = Read16(data + offset + 2);
    const size_t dataLength = Read16(data + offset + 8);
    offset += 10;
    if (offset + dataLength > length) return kDnsStatusBadPacket;
    const bool inAnswer = i < answers;
    const bool inAdditional = i >= answers + authorities;
    if (recordClass == 1 && recordType == kDnsTypeSrv && type == kDnsTypeSrv && inAnswer) {
      if (dataLength < 7) return kDnsStatusBadPacket;
      DnsSrvRecord srv;
      srv.priority = Read16(data + offset);
      srv.weight = Read16(data + offset + 2);
      srv.port = Read16(data + offset + 4);
      size_t targetOffset = offset + 6;
      if (!ReadName(data, length, &targetOffset, &srv.target) || targetOffset > offset + dataLength)
        return kDnsStatusBadPacket;
      answer->services.push_back(std::move(srv));
    } else if (recordClass == 1 && recordType == kDnsTypeA && (inAnswer || inAdditional)) {
      if (dataLength != 4) return kDnsStatusBadPacket;
      uint32_t address;
      std::memcpy(&address, data + offset, 4);  // already in network order
      answer->addresses.emplace_back(name, address);
    }
    offset += dataLength;
  }
  const bool found = type == kDnsTypeSrv ? !answer->services.empty() : !answer->addresses.empty();
  return found ? 0 : kDnsStatusNoRecords;
}

}  // namespace

int ParseDnsAnswer(const uint8_t* data, size_t length, uint16_t id, uint16_t type, DnsAnswer* answer) {
  answer->services.clear();
  answer->addresses.clear();
  const int status = ReadAnswer(data, length, id, type, answer);
  if (status != 0) {
    // A refused answer gives nothing, not the records read before the fault.
    answer->services.clear();
    answer->addresses.clear();
  }
  return status;
}

}  // namespace net
