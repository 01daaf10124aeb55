// STUN messages of the classic binding exchange (RFC 3489): the in-memory
// record, the request builder, the encoder and the bounded parser. Pure
// logic: no platform type, no allocation.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint16_t kSTUNBindingRequest = 0x0001;
constexpr uint32_t kSTUNChangeIP = 0x04;
constexpr uint32_t kSTUNChangePort = 0x02;
constexpr int kSTUNDefaultPort = 3478;
// A request is the header and one CHANGE-REQUEST: 28 bytes. The largest
// message the encoder writes (every attribute at its widest) fits this.
constexpr size_t kSTUNMaxMessage = 2048;

struct STUNAddress {
  int32_t present;
  uint8_t family;    // 1: IPv4
  uint16_t port;
  uint32_t address;  // host order
};
struct STUNText {
  int32_t present;
  char value[256];   // always terminated
  uint32_t length;
};
struct STUNErrorCode {
  int32_t present;
  uint8_t errorClass;
  uint8_t number;
  char reason[256];  // always terminated
  uint32_t reasonLength;
};

struct STUNMessage {
  uint16_t type;
  uint16_t length;
  uint8_t transactionId[16];
  STUNAddress mappedAddress;
  STUNAddress responseAddress;
  int32_t hasChangeRequest;
  uint32_t changeRequest;
  STUNAddress sourceAddress;
  STUNAddress changedAddress;
  STUNText username;
  STUNText password;
  int32_t hasMessageIntegrity;
  uint8_t messageIntegrity[20];
  STUNErrorCode errorCode;
  int32_t hasUnknownAttributes;
  uint16_t unknownAttributes[8];
  uint32_t unknownAttributeCount;
  STUNAddress reflectedFrom;
  int32_t xorOnly;
  STUNAddress xorMappedAddress;
  int32_t hasServerName;
  char serverName[256];  // always terminated
  uint32_t serverNameLength;
  STUNAddress secondaryAddress;
};

// A binding request: the record cleared, type 1, the transaction id from the
// four random words (each least significant byte first) with byte 0 replaced
// by the test number when it is not 0, CHANGE-REQUEST always present, and
// the user name when it is not empty.
void STUNBuildBindingRequest(STUNMessage* message, const char* username, bool changePort, bool changeIP,
                             uint8_t testNumber, const uint32_t random[4]);

// Writes the message into buffer (size bytes): the header, then the present
// attributes, MESSAGE-INTEGRITY last and only with a password. The byte
// length, or 0 when the message does not fit.
size_t STUNEncodeMessage(const STUNMessage* message, uint8_t* buffer, size_t size, const char* password);

// Reads one datagram into message (cleared first). True when accepted: at
// least 20 bytes, the length field plus 20 equal to size, and every
// attribute inside the datagram and passing its rule. A rejected datagram
// leaves a record that must not be used.
bool STUNParseMessage(const uint8_t* data, size_t size, STUNMessage* message);
