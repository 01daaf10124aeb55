// The account's server list from SRV records, and host:port texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sip/server_list.h"

namespace {

struct SplitCase {
  const char* name;
  const char* text;
  int32_t defaultPort;
  int colon;
  const char* host;
  int32_t port;  // -1: left as it was
};

const SplitCase kSplitCases[] = {
    {"HostAndPort", "sip.example.com:5080", 5060, 1, "sip.example.com", 5080},
    {"HostAloneTakesTheDefault", "sip.example.com", 5060, 0, "sip.example.com", 5060},
    {"HostAloneWithoutDefaultLeavesThePort", "sip.example.com", 0, 0, "sip.example.com", -1},
    {"APortThatIsNoNumberTakesTheDefault", "sip.example.com:sip", 5060, 1, "sip.example.com", 5060},
    {"APortOutOfRangeTakesTheDefault", "sip.example.com:65536", 5060, 1, "sip.example.com", 5060},
    {"AnEmptyPortTakesTheDefault", "h:", 5062, 1, "h", 5062},
};

class HostPortText : public testing::TestWithParam<SplitCase> {};

TEST_P(HostPortText, IsSplitIntoHostAndPort) {
  const SplitCase& c = GetParam();
  char host[64];
  int32_t port = -1;
  char text[64];
  std::strcpy(text, c.text);
  EXPECT_EQ(c.colon, SplitHostPort(text, host, sizeof(host), &port, c.defaultPort));
  EXPECT_STREQ(c.host, host);
  EXPECT_EQ(c.port, port);
  EXPECT_STREQ(c.text, text);
  // In place: the text itself is cut at the colon.
  port = -1;
  EXPECT_EQ(c.colon, SplitHostPort(text, text, sizeof(text), &port, c.defaultPort));
  EXPECT_STREQ(c.host, text);
  EXPECT_EQ(c.port, port);
}

INSTANTIATE_TEST_SUITE_P(Texts, HostPortText, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(HostPortTexts, ALongHostIsCutToItsBuffer) {
  char text[] = "a-very-long-host-name.example.com:5070";
  char host[8];
  int32_t port = 0;
  EXPECT_EQ(1, SplitHostPort(text, host, sizeof(host), &port, 5060));
  EXPECT_STREQ("a-very-", host);
  EXPECT_EQ(5070, port);
}

net::DnsSrvRecord Srv(int priority, int weight, const char* target, int port) {
  net::DnsSrvRecord r;
  r.priority = static_cast<uint16_t>(priority);
  r.weight = static_cast<uint16_t>(weight);
  r.target = target;
  r.port = static_cast<uint16_t>(port);
  return r;
}

std::vector<std::string> Entries(const SIPAccountSettings& account) {
  std::vector<std::string> entries;
  for (int i = 0; i < kSIPServerListSize && account.serverList[i][0]; ++i) entries.push_back(account.serverList[i]);
  return entries;
}

void Collect(const char* text, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(text); }

TEST(ServerList, IsOrderedByPriorityThenByTargetWithoutWeights) {
  SIPAccountSettings account = {};
  SIPAccountSettingsInit(&account);
  std::vector<std::string> found;
  const int written = SIPFillServerList(&account,
                                        {Srv(10, 90, "sip-b.example.com", 5060), Srv(5, 0, "backup.example.com", 5070),
                                         Srv(10, 10, "SIP-A.example.com", 5062), Srv(20, 100, "last.example.com", 5060)},
                                        Collect, &found);
  EXPECT_EQ(4, written);
  EXPECT_EQ((std::vector<std::string>{"backup.example.com:5070", "SIP-A.example.com:5062", "sip-b.example.com:5060",
                                      "last.example.com:5060"}),
            Entries(account));
  EXPECT_EQ((std::vector<std::string>{"5:backup.example.com:5070", "10:SIP-A.example.com:5062",
                                      "10:sip-b.example.com:5060", "20:last.example.com:5060"}),
            found);
  SIPAccountSettingsDestroy(&account);
}

TEST(ServerList, KeepsARepeatedRecordOnceAndAtMostSixteen) {
  SIPAccountSettings account = {};
  SIPAccountSettingsInit(&account);
  std::vector<net::DnsSrvRecord> records = {Srv(1, 0, "same.example.com", 5060), Srv(1, 50, "SAME.example.com", 5060)};
  for (int i = 0; i < 20; ++i) records.push_back(Srv(2, 0, ("h" + std::to_string(100 + i) + ".example").c_str(), 5060));
  EXPECT_EQ(16, SIPFillServerList(&account, records, nullptr, nullptr));
  const std::vector<std::string> entries = Entries(account);
  ASSERT_EQ(16u, entries.size());
  EXPECT_EQ(0, strcasecmp("same.example.com:5060", entries[0].c_str()));
  EXPECT_EQ("h100.example:5060", entries[1]);
  EXPECT_EQ("h114.example:5060", entries[15]);
  SIPAccountSettingsDestroy(&account);
}

TEST(ServerList, LeavesOutATargetTooLongForAnEntryAndKeepsLaterEntries) {
  SIPAccountSettings account = {};
  SIPAccountSettingsInit(&account);
  std::strcpy(account.serverList[1], "kept.example.com");
  const std::string longTarget(125, 'x');
  EXPECT_EQ(1, SIPFillServerList(&account, {Srv(1, 0, longTarget.c_str(), 5060), Srv(2, 0, "ok.example", 5060)},
                                 nullptr, nullptr));
  EXPECT_STREQ("ok.example:5060", account.serverList[0]);
  EXPECT_STREQ("kept.example.com", account.serverList[1]);
  SIPAccountSettingsDestroy(&account);
}

}  // namespace
