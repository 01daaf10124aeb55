#include <gtest/gtest.h>

#include <cstring>

#include "net/dns_message.h"

namespace {

using net::DnsAnswer;

// An answer as a server writes it: the question echoed, then records whose
// names point back at earlier names.
std::vector<uint8_t> SrvAnswer(uint16_t id, uint16_t flags = 0x8180) {
  std::vector<uint8_t> m = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), static_cast<uint8_t>(flags >> 8),
                            static_cast<uint8_t>(flags), 0, 1, 0, 2, 0, 0, 0, 1};
  const uint8_t question[] = {4, '_', 's', 'i', 'p', 4, '_', 'u', 'd', 'p', 3, 'z', 'e', 'q', 4, 't', 'e', 's', 't', 0,
                              0, 33, 0, 1};
  m.insert(m.end(), question, question + sizeof(question));
  // SRV 10 60 5062 sip2.<zeq.test> (zeq.test at offset 22)
  const uint8_t first[] = {0xC0, 12, 0, 33, 0, 1, 0, 0, 0, 60, 0, 13, 0, 10, 0, 60, 0x13, 0xC6,
                           4,    's', 'i', 'p', '2', 0xC0, 22};
  m.insert(m.end(), first, first + sizeof(first));
  // SRV 5 10 5060 sip1.<zeq.test>
  const uint8_t second[] = {0xC0, 12, 0, 33, 0, 1, 0, 0, 0, 60, 0, 13, 0, 5, 0, 10, 0x13, 0xC4,
                            4,    's', 'i', 'p', '1', 0xC0, 22};
  m.insert(m.end(), second, second + sizeof(second));
  // additional: A sip1.zeq.test 127.0.0.2 (the name of the second target at its offset)
  const size_t sip1 = m.size() - 7;
  const uint8_t additional[] = {0xC0, static_cast<uint8_t>(sip1), 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 2};
  m.insert(m.end(), additional, additional + sizeof(additional));
  return m;
}

TEST(DnsQuery, CarriesTheQuestionAsLabels) {
  std::vector<uint8_t> query;
  ASSERT_TRUE(net::BuildDnsQuery(0x1234, "_sip._udp.zeq.test.", net::kDnsTypeSrv, &query));
  const uint8_t expected[] = {0x12, 0x34, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 4, '_', 's', 'i', 'p', 4, '_', 'u', 'd', 'p',
                              3, 'z', 'e', 'q', 4, 't', 'e', 's', 't', 0, 0, 33, 0, 1};
  EXPECT_EQ(std::vector<uint8_t>(expected, expected + sizeof(expected)), query);
}

TEST(DnsQuery, RefusesNamesThatNoLabelCanCarry) {
  std::vector<uint8_t> query;
  const std::string longLabel = std::string(64, 'a') + ".test";
  const std::string longName = std::string(60, 'a') + "." + std::string(60, 'b') + "." + std::string(60, 'c') + "." +
                               std::string(60, 'd') + "." + std::string(60, 'e');
  for (const std::string& name : {std::string(""), std::string("."), std::string("a..b"), longLabel, longName}) {
    EXPECT_FALSE(net::BuildDnsQuery(1, name.c_str(), net::kDnsTypeA, &query)) << name;
    EXPECT_TRUE(query.empty()) << name;
  }
}

TEST(DnsAnswerReading, GivesTheServiceRecordsAndTheAddressesOfTheirTargets) {
  const std::vector<uint8_t> m = SrvAnswer(0x4242);
  DnsAnswer answer;
  ASSERT_EQ(0, net::ParseDnsAnswer(m.data(), m.size(), 0x4242, net::kDnsTypeSrv, &answer));
  ASSERT_EQ(2u, answer.services.size());
  EXPECT_EQ(10, answer.services[0].priority);
  EXPECT_EQ(60, answer.services[0].weight);
  EXPECT_EQ(5062, answer.services[0].port);
  EXPECT_EQ("sip2.zeq.test", answer.services[0].target);
  EXPECT_EQ(5, answer.services[1].priority);
  EXPECT_EQ("sip1.zeq.test", answer.services[1].target);
  ASSERT_EQ(1u, answer.addresses.size());
  EXPECT_EQ("sip1.zeq.test", answer.addresses[0].first);
  EXPECT_EQ(0x0200007Fu, answer.addresses[0].second);
}

struct BadAnswer {
  const char* name;
  void (*spoil)(std::vector<uint8_t>*);
  uint16_t id;
  int status;
};

const BadAnswer kBadAnswers[] = {
    {"AnotherQuestionsId", [](std::vector<uint8_t>*) {}, 0x4243, net::kDnsStatusBadPacket},
    {"AQueryNotAnAnswer", [](std::vector<uint8_t>* m) { (*m)[2] &= 0x7F; }, 0x4242, net::kDnsStatusBadPacket},
    {"NameDoesNotExist", [](std::vector<uint8_t>* m) { (*m)[3] = 0x83; }, 0x4242, net::kDnsStatusNameError},
    {"Refused", [](std::vector<uint8_t>* m) { (*m)[3] = 0x85; }, 0x4242, 9005},
    {"CutInTheLastRecord", [](std::vector<uint8_t>* m) { m->resize(m->size() - 3); }, 0x4242,
     net::kDnsStatusBadPacket},
    {"ANameThatPointsAtItself", [](std::vector<uint8_t>* m) { (*m)[37] = 36; }, 0x4242, net::kDnsStatusBadPacket},
    {"ANamePointerPastTheEnd", [](std::vector<uint8_t>* m) { (*m)[36] = 0xFF; }, 0x4242,
     net::kDnsStatusBadPacket},
    {"ARecordLongerThanTheMessage", [](std::vector<uint8_t>* m) { (*m)[46] = 0xFF; }, 0x4242,
     net::kDnsStatusBadPacket},
    {"NoServiceRecords", [](std::vector<uint8_t>* m) { (*m)[7] = 0; (*m)[11] = 0; m->resize(36); }, 0x4242,
     net::kDnsStatusNoRecords},
    {"TooShortForAHeader", [](std::vector<uint8_t>* m) { m->resize(11); }, 0x4242, net::kDnsStatusBadPacket},
};

class DnsBadAnswer : public testing::TestWithParam<BadAnswer> {};

TEST_P(DnsBadAnswer, IsRefusedWithItsStatusAndGivesNoRecords) {
  std::vector<uint8_t> m = SrvAnswer(0x4242);
  GetParam().spoil(&m);
  DnsAnswer answer;
  EXPECT_EQ(GetParam().status, net::ParseDnsAnswer(m.data(), m.size(), GetParam().id, net::kDnsTypeSrv, &answer));
  if (GetParam().status != 0) {
    EXPECT_TRUE(answer.services.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, DnsBadAnswer, testing::ValuesIn(kBadAnswers),
                         [](const testing::TestParamInfo<BadAnswer>& info) { return std::string(info.param.name); });

}  // namespace
