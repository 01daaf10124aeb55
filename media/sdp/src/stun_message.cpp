// Classic STUN messages: network byte order, attributes without padding.
#include "media/stun.h"

#include <cstring>

namespace {

constexpr uint16_t kMappedAddress = 0x0001;
constexpr uint16_t kResponseAddress = 0x0002;
constexpr uint16_t kChangeRequest = 0x0003;
constexpr uint16_t kSourceAddress = 0x0004;
constexpr uint16_t kChangedAddress = 0x0005;
constexpr uint16_t kUsername = 0x0006;
constexpr uint16_t kPassword = 0x0007;
constexpr uint16_t kMessageIntegrity = 0x0008;
constexpr uint16_t kErrorCode = 0x0009;
constexpr uint16_t kUnknownAttributes = 0x000A;
constexpr uint16_t kReflectedFrom = 0x000B;
constexpr uint16_t kXorOnly = 0x0021;
constexpr uint16_t kXorMappedAddress = 0x8020;
// The number the later protocol gave XOR-MAPPED-ADDRESS. Classic servers
// (Debian's stund among them) send it beside MAPPED-ADDRESS, obscured with
// the transaction id; the plain MAPPED-ADDRESS is what this client uses, so
// the attribute is checked for shape and otherwise passed over, never a
// reason to drop a real server's answer.
constexpr uint16_t kLaterXorMappedAddress = 0x0020;
constexpr uint16_t kServerName = 0x8022;
constexpr uint16_t kSecondaryAddress = 0x8050;

// The stand-in integrity value of a message with a password: no caller
// gives one, and no peer of this system checks it.
constexpr char kIntegrityStandIn[] = "ltji-cpa-dgluuxslddj";

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Writes into a fixed buffer; once something did not fit, nothing more is
// written and the result is 0.
class Writer {
 public:
  Writer(uint8_t* buffer, size_t size) : buffer_(buffer), size_(size) {}
  void Bytes(const void* data, size_t n) {
    if (failed_ || n > size_ - used_) {
      failed_ = true;
      return;
    }
    if (n) memcpy(buffer_ + used_, data, n);
    used_ += n;
  }
  void U16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    Bytes(b, 2);
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v >> 16));
    U16(static_cast<uint16_t>(v));
  }
  void Address(uint16_t type, const STUNAddress& a) {
    if (!a.present) return;
    U16(type);
    U16(8);
    const uint8_t head[2] = {0, a.family};
    Bytes(head, 2);
    U16(a.port);
    U32(a.address);
  }
  void Text(uint16_t type, const STUNText& t) {
    if (!t.present) return;
    const size_t n = t.length < sizeof t.value ? t.length : sizeof t.value - 1;
    U16(type);
    U16(static_cast<uint16_t>(n));
    Bytes(t.value, n);
  }
  size_t Used() const { return failed_ ? 0 : used_; }
  bool Failed() const { return failed_; }
  uint8_t* At(size_t offset) { return buffer_ + offset; }

 private:
  uint8_t* buffer_;
  size_t size_;
  size_t used_ = 0;
  bool failed_ = false;
};

bool ReadAddress(const uint8_t* value, uint16_t length, STUNAddress* a) {
  if (length != 8 || value[1] != 1) return false;
  a->present = 1;
  a->family = value[1];
  a->port = Read16(value + 2);
  a->address = Read32(value + 4);
  return true;
}

bool ReadText(const uint8_t* value, uint16_t length, STUNText* t) {
  if (length >= 256 || length % 4 != 0) return false;
  t->present = 1;
  memcpy(t->value, value, length);
  t->value[length] = 0;
  t->length = length;
  return true;
}

bool ReadErrorCode(const uint8_t* value, uint16_t length, STUNErrorCode* e) {
  // The reason must fit its buffer with its terminator: four bytes of
  // class and number, then at most 255 bytes of text.
  if (length < 4 || static_cast<size_t>(length) - 4 >= sizeof e->reason) return false;
  e->present = 1;
  e->errorClass = value[2] & 0x7;
  e->number = value[3];
  e->reasonLength = length - 4u;
  memcpy(e->reason, value + 4, e->reasonLength);
  e->reason[e->reasonLength] = 0;
  return true;
}

bool ReadAttribute(uint16_t type, const uint8_t* value, uint16_t length, STUNMessage* m) {
  switch (type) {
    case kMappedAddress: return ReadAddress(value, length, &m->mappedAddress);
    case kResponseAddress: return ReadAddress(value, length, &m->responseAddress);
    case kChangeRequest:
      if (length != 4) return false;
      m->hasChangeRequest = 1;
      m->changeRequest = Read32(value);
      return true;
    case kSourceAddress: return ReadAddress(value, length, &m->sourceAddress);
    case kChangedAddress: return ReadAddress(value, length, &m->changedAddress);
    case kUsername: return ReadText(value, length, &m->username);
    case kPassword: return ReadText(value, length, &m->password);
    case kMessageIntegrity:
      if (length != 20) return false;
      m->hasMessageIntegrity = 1;
      memcpy(m->messageIntegrity, value, 20);
      return true;
    case kErrorCode: return ReadErrorCode(value, length, &m->errorCode);
    case kUnknownAttributes:
      if (length >= 18 || length % 4 != 0) return false;
      m->hasUnknownAttributes = 1;
      m->unknownAttributeCount = length / 2u;
      for (uint32_t i = 0; i < m->unknownAttributeCount; ++i) m->unknownAttributes[i] = Read16(value + 2 * i);
      return true;
    case kReflectedFrom: return ReadAddress(value, length, &m->reflectedFrom);
    case kXorOnly: m->xorOnly = 1; return true;
    case kXorMappedAddress: return ReadAddress(value, length, &m->xorMappedAddress);
    case kServerName:
      if (length > 255 || length % 4 != 0) return false;
      m->hasServerName = 1;
      memcpy(m->serverName, value, length);
      m->serverName[length] = 0;
      m->serverNameLength = length;
      return true;
    case kSecondaryAddress: return ReadAddress(value, length, &m->secondaryAddress);
    case kLaterXorMappedAddress: {
      STUNAddress ignored;
      return ReadAddress(value, length, &ignored);
    }
    default:
      // Optional attributes (0x8000 and above) are skipped; a mandatory one
      // this client does not know rejects the message.
      return type >= 0x8000;
  }
}

}  // namespace

void STUNBuildBindingRequest(STUNMessage* message, const char* username, bool changePort, bool changeIP,
                             uint8_t testNumber, const uint32_t random[4]) {
  memset(message, 0, sizeof *message);
  message->type = kSTUNBindingRequest;
  for (int i = 0; i < 4; ++i)
    for (int b = 0; b < 4; ++b) message->transactionId[4 * i + b] = static_cast<uint8_t>(random[i] >> (8 * b));
  if (testNumber) message->transactionId[0] = testNumber;
  message->hasChangeRequest = 1;
  message->changeRequest = (changeIP ? kSTUNChangeIP : 0) | (changePort ? kSTUNChangePort : 0);
  if (username && *username) {
    const size_t n = strnlen(username, sizeof message->username.value - 1);
    message->username.present = 1;
    memcpy(message->username.value, username, n);
    message->username.length = static_cast<uint32_t>(n);
  }
}

size_t STUNEncodeMessage(const STUNMessage* m, uint8_t* buffer, size_t size, const char* password) {
  Writer w(buffer, size);
  w.U16(m->type);
  w.U16(0);
  w.Bytes(m->transactionId, 16);
  w.Address(kMappedAddress, m->mappedAddress);
  w.Address(kResponseAddress, m->responseAddress);
  if (m->hasChangeRequest) {
    w.U16(kChangeRequest);
    w.U16(4);
    w.U32(m->changeRequest);
  }
  w.Address(kSourceAddress, m->sourceAddress);
  w.Address(kChangedAddress, m->changedAddress);
  w.Text(kUsername, m->username);
  w.Text(kPassword, m->password);
  if (m->errorCode.present) {
    const size_t n = m->errorCode.reasonLength < sizeof m->errorCode.reason ? m->errorCode.reasonLength
                                                                             : sizeof m->errorCode.reason - 1;
    w.U16(kErrorCode);
    w.U16(static_cast<uint16_t>(4 + n));
    const uint8_t head[4] = {0, 0, m->errorCode.errorClass, m->errorCode.number};
    w.Bytes(head, 4);
    w.Bytes(m->errorCode.reason, n);
  }
  if (m->hasUnknownAttributes) {
    const uint32_t n = m->unknownAttributeCount < 8 ? m->unknownAttributeCount : 8;
    w.U16(kUnknownAttributes);
    w.U16(static_cast<uint16_t>(2 * n));
    for (uint32_t i = 0; i < n; ++i) w.U16(m->unknownAttributes[i]);
  }
  w.Address(kReflectedFrom, m->reflectedFrom);
  if (m->xorOnly) w.U16(kXorOnly);
  w.Address(kXorMappedAddress, m->xorMappedAddress);
  if (m->hasServerName) {
    const size_t n = m->serverNameLength < sizeof m->serverName ? m->serverNameLength : sizeof m->serverName - 1;
    w.U16(kServerName);
    w.U16(static_cast<uint16_t>(n));
    w.Bytes(m->serverName, n);
  }
  w.Address(kSecondaryAddress, m->secondaryAddress);
  if (password && *password) {
    w.U16(kMessageIntegrity);
    w.U16(20);
    w.Bytes(kIntegrityStandIn, 20);
  }
  const size_t total = w.Used();
  if (total < 20 || total - 20 > 0xFFFF) return 0;
  buffer[2] = static_cast<uint8_t>((total - 20) >> 8);
  buffer[3] = static_cast<uint8_t>(total - 20);
  return total;
}

bool STUNParseMessage(const uint8_t* data, size_t size, STUNMessage* message) {
  memset(message, 0, sizeof *message);
  if (!data || size < 20) return false;
  message->type = Read16(data);
  message->length = Read16(data + 2);
  memcpy(message->transactionId, data + 4, 16);
  if (static_cast<size_t>(message->length) + 20 != size) return false;
  size_t at = 20;
  while (at < size) {
    if (size - at < 2) return false;
    const uint16_t type = Read16(data + at);
    if (type == kXorOnly) {  // the type word alone
      message->xorOnly = 1;
      at += 2;
      continue;
    }
    if (size - at < 4) return false;
    const uint16_t length = Read16(data + at + 2);
    if (length > size - at - 4) return false;
    if (!ReadAttribute(type, data + at + 4, length, message)) return false;
    at += 4u + length;
  }
  return true;
}
