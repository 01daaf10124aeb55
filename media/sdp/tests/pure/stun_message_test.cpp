// STUN messages: the binding request this side sends, and the parser's
// verdict on what arrives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/stun.h"
#include "media_test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FileBytes(const char* name) {
  const std::string s = ReadMediaTestFile(std::string("stun/") + name);
  return Bytes(s.begin(), s.end());
}

// A message of the given type with the attribute bytes after the header
// and a correct length field.
Bytes Message(uint16_t type, const Bytes& attributes) {
  Bytes m = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type),
             static_cast<uint8_t>(attributes.size() >> 8), static_cast<uint8_t>(attributes.size())};
  for (int i = 0; i < 16; ++i) m.push_back(static_cast<uint8_t>(0xA0 + i));
  m.insert(m.end(), attributes.begin(), attributes.end());
  return m;
}

Bytes Attribute(uint16_t type, const Bytes& value) {
  Bytes a = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), static_cast<uint8_t>(value.size() >> 8),
             static_cast<uint8_t>(value.size())};
  a.insert(a.end(), value.begin(), value.end());
  return a;
}

Bytes Address(uint16_t type, uint8_t family = 1) { return Attribute(type, {0, family, 0x42, 0x68, 192, 0, 2, 1}); }

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(StunRequest, IsTwentyEightBytesWithTheTestNumberFirstInTheTransactionId) {
  const uint32_t random[4] = {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00};
  STUNMessage request;
  STUNBuildBindingRequest(&request, nullptr, true, true, 10, random);
  uint8_t out[kSTUNMaxMessage];
  ASSERT_EQ(28u, STUNEncodeMessage(&request, out, sizeof out, nullptr));
  const Bytes expected = {0x00, 0x01, 0x00, 0x08,                          // binding request, 8 bytes
                          10,   0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55,  // id: test number, then
                          0xCC, 0xBB, 0xAA, 0x99, 0x00, 0xFF, 0xEE, 0xDD,  // the words LSB first
                          0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06}; // CHANGE-REQUEST ip|port
  EXPECT_EQ(expected, Bytes(out, out + 28));
}

TEST(StunRequest, CarriesTheChangeFlagsAsAsked) {
  const uint32_t random[4] = {1, 2, 3, 4};
  const struct {
    bool changePort, changeIP;
    uint32_t flags;
  } cases[] = {{false, false, 0}, {true, false, 2}, {false, true, 4}, {true, true, 6}};
  for (const auto& c : cases) {
    STUNMessage request, back;
    STUNBuildBindingRequest(&request, "", c.changePort, c.changeIP, 2, random);
    uint8_t out[64];
    const size_t n = STUNEncodeMessage(&request, out, sizeof out, nullptr);
    ASSERT_TRUE(STUNParseMessage(out, n, &back));
    EXPECT_EQ(c.flags, back.changeRequest);
    EXPECT_EQ(0, memcmp(request.transactionId, back.transactionId, 16));
  }
}

TEST(StunEncoder, PutsTheIntegrityStandInLastAndStopsAtTheBufferEnd) {
  const uint32_t random[4] = {1, 2, 3, 4};
  STUNMessage request;
  STUNBuildBindingRequest(&request, "user", false, false, 1, random);
  uint8_t out[80];
  const size_t n = STUNEncodeMessage(&request, out, sizeof out, "secret");
  ASSERT_EQ(28u + 8u + 24u, n);
  EXPECT_EQ(0, memcmp(out + n - 24, "\x00\x08\x00\x14ltji-cpa-dgluuxslddj", 24));
  uint8_t small[40];
  memset(small, 0xEE, sizeof small);
  EXPECT_EQ(0u, STUNEncodeMessage(&request, small, 30, "secret"));
  for (size_t i = 30; i < sizeof small; ++i) ASSERT_EQ(0xEE, small[i]) << i;
}

struct ParseCase {
  const char* name;
  Bytes datagram;
  bool accepted;
};

class StunParser : public testing::TestWithParam<ParseCase> {};

TEST_P(StunParser, AcceptsOnlyWellFormedClassicMessages) {
  const Bytes& d = GetParam().datagram;
  // Exactly as large as the datagram, so a read past it is seen.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[d.size() ? d.size() : 1]);
  if (!d.empty()) memcpy(copy.get(), d.data(), d.size());
  STUNMessage m;
  EXPECT_EQ(GetParam().accepted, STUNParseMessage(copy.get(), d.size(), &m));
}

std::vector<ParseCase> ParseCases() {
  const Bytes longReason(255, 'r');
  return {
      {"ClassicResponse", FileBytes("classic-binding-response.bin"), true},
      {"ClassicRequest", FileBytes("classic-binding-request.bin"), true},
      {"LengthZeroNoAttributes", Message(0x0101, {}), true},
      {"OptionalUnknownAttributeSkipped", Message(0x0101, Join({Attribute(0x8030, {1, 2, 3}), Address(1)})), true},
      {"XorOnlyIsTheTypeWordAlone", Message(0x0001, Join({{0x00, 0x21}, Address(1)})), true},
      {"LongestErrorReason", Message(0x0111, Attribute(0x0009, Join({{0, 0, 4, 1}, longReason}))), true},
      {"EightUnknownAttributesAtMost", Message(0x0111, Attribute(0x000A, Bytes(16, 1))), true},
      {"LaterXorMappedAddressBesideTheMappedOne", Message(0x0101, Join({Address(1), Address(0x0020, 1)})), true},
      {"LaterXorMappedAddressOfSevenBytes", Message(0x0101, Attribute(0x0020, {0, 1, 0, 1, 1, 2, 3})), false},
      {"ServerNameOfTheMaximumLength", Message(0x0101, Attribute(0x8022, Bytes(252, 'n'))), true},
      // The RFC 5769 samples are of the newer protocol: each carries an
      // attribute this client must refuse (PRIORITY, a SOFTWARE or
      // USERNAME length that is not a multiple of four).
      {"Rfc5769SampleRequest", FileBytes("rfc5769-request.bin"), false},
      {"Rfc5769SampleIPv4Response", FileBytes("rfc5769-ipv4-response.bin"), false},
      {"Rfc5769SampleIPv6Response", FileBytes("rfc5769-ipv6-response.bin"), false},
      {"Rfc5769LongTermRequest", FileBytes("rfc5769-long-term-request.bin"), false},
      {"Empty", {}, false},
      {"ShorterThanAHeader", Bytes(19, 0), false},
      {"LengthFieldTooLarge", [] { Bytes b = Message(0x0101, Address(1)); b[3] += 4; return b; }(), false},
      {"LengthFieldTooSmall", [] { Bytes b = Message(0x0101, Address(1)); b[3] -= 4; return b; }(), false},
      {"MandatoryUnknownAttribute", Message(0x0101, Attribute(0x0030, {1, 2, 3, 4})), false},
      {"AttributeRunsPastTheEnd", [] { Bytes b = Message(0x0101, Address(1)); b[23] = 9; return b; }(), false},
      {"AttributeHeaderCut", Message(0x0101, {0x80, 0x30, 0x00}), false},
      {"AddressOfSevenBytes", Message(0x0101, Attribute(0x0001, {0, 1, 0, 1, 1, 2, 3})), false},
      {"AddressOfFamilyTwo", Message(0x0101, Address(0x0005, 2)), false},
      {"ChangeRequestOfTwoBytes", Message(0x0001, Attribute(0x0003, {0, 6})), false},
      {"UsernameNotAMultipleOfFour", Message(0x0001, Attribute(0x0006, {'a', 'b', 'c'})), false},
      {"UsernameOf256Bytes", Message(0x0001, Attribute(0x0006, Bytes(256, 'u'))), false},
      {"IntegrityOfNineteenBytes", Message(0x0001, Attribute(0x0008, Bytes(19, 0))), false},
      {"ErrorReasonLongerThanItsBuffer",
       Message(0x0111, Attribute(0x0009, Join({{0, 0, 4, 1}, Bytes(256, 'r')}))), false},
      {"ErrorCodeWithoutNumber", Message(0x0111, Attribute(0x0009, {0, 0, 4})), false},
      {"NineUnknownAttributes", Message(0x0111, Attribute(0x000A, Bytes(18, 1))), false},
      {"ServerNameOf256Bytes", Message(0x0101, Attribute(0x8022, Bytes(256, 'n'))), false},
  };
}

INSTANTIATE_TEST_SUITE_P(Datagrams, StunParser, testing::ValuesIn(ParseCases()),
                         [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(StunParser, ReadsTheAddressesOfAClassicResponseInHostOrder) {
  const Bytes d = FileBytes("classic-binding-response.bin");
  STUNMessage m;
  ASSERT_TRUE(STUNParseMessage(d.data(), d.size(), &m));
  EXPECT_EQ(0x0101, m.type);
  EXPECT_EQ(1, m.transactionId[0]);
  ASSERT_TRUE(m.mappedAddress.present);
  EXPECT_EQ(0x7F000001u, m.mappedAddress.address);
  EXPECT_EQ(16950, m.mappedAddress.port);
  EXPECT_EQ(16978, m.sourceAddress.port);
  EXPECT_EQ(0x7F000002u, m.changedAddress.address);
  EXPECT_EQ(16979, m.changedAddress.port);
}

TEST(StunParser, TerminatesTheLongestErrorReason) {
  Bytes reason(255, 'r');
  const Bytes d = Message(0x0111, Attribute(0x0009, Join({{0, 0, 4, 0x87}, reason})));
  STUNMessage m;
  memset(&m, 0x55, sizeof m);
  ASSERT_TRUE(STUNParseMessage(d.data(), d.size(), &m));
  EXPECT_EQ(4, m.errorCode.errorClass);
  EXPECT_EQ(0x87, m.errorCode.number);
  EXPECT_EQ(255u, m.errorCode.reasonLength);
  EXPECT_EQ(std::string(255, 'r'), m.errorCode.reason);
}

}  // namespace
