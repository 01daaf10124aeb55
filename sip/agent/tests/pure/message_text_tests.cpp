#include "sip/agent/message_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sip/record.h"

namespace {

struct ContactCase {
  const char* name;
  const char* text;
  int expected;
};

class ContactHeaderCount : public ::testing::TestWithParam<ContactCase> {};

TEST_P(ContactHeaderCount, CountsOnlyTheExactHeaderName) {
  EXPECT_EQ(GetParam().expected, SIPCountContactHeaders(GetParam().text));
}

const ContactCase kContactCases[] = {
    {"NullText", nullptr, 0},
    {"NoContact", "SIP/2.0 200 OK\r\nTo: <sip:a@b>\r\n\r\n", 0},
    {"TwoLines", "SIP/2.0 200 OK\r\nContact: <sip:a@1.2.3.4>\r\nContact: <sip:a@5.6.7.8>\r\n\r\n", 2},
    {"CompactFormNotCounted", "SIP/2.0 200 OK\r\nm: <sip:a@1.2.3.4>\r\nContact: <sip:a@5.6.7.8>\r\n\r\n", 1},
    {"LowerCaseNotCounted", "SIP/2.0 200 OK\r\ncontact: <sip:a@1.2.3.4>\r\n\r\n", 0},
    {"AdjacentOccurrences", "Contact:Contact:", 2},
};

INSTANTIATE_TEST_SUITE_P(Texts, ContactHeaderCount, ::testing::ValuesIn(kContactCases),
                         [](const ::testing::TestParamInfo<ContactCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct EndEventCase {
  const char* name;
  int method;
  uint32_t endReason;
  bool byTransfer;
  const char* expected;  // "" for no event
};

class EndEventNames : public ::testing::TestWithParam<EndEventCase> {};

TEST_P(EndEventNames, JoinTheMethodWordAndTheEndWord) {
  char out[64] = "untouched";
  const EndEventCase& c = GetParam();
  EXPECT_EQ(c.expected[0] != 0, SIPEndEventName(c.method, c.endReason, c.byTransfer, out, sizeof out));
  EXPECT_STREQ(c.expected, out);
}

const EndEventCase kEndEventCases[] = {
    {"InviteFinalized", kSIPMethodInvite, kSIPEndFinalized, false, "ZEQOnSIPInviteFinalized"},
    {"TransferInviteRefused", kSIPMethodInvite, kSIPEndRefused, true, "ZEQOnSIPTransferRefused"},
    {"RegisterExpired", kSIPMethodRegister, kSIPEndExpired, false, "ZEQOnSIPRegisterExpired"},
    {"ReferCancelled", kSIPMethodRefer, kSIPEndCancelled, false, "ZEQOnSIPTransferCancelled"},
    {"OptionsRedirected", kSIPMethodOptions, kSIPEndRedirected, false, "ZEQOnSIPOptionsRedirected"},
    {"MessageRefused", kSIPMethodMessage, kSIPEndRefused, false, "ZEQOnSIPMessageRefused"},
    {"NotifyFinalized", kSIPMethodNotify, kSIPEndFinalized, false, "ZEQOnSIPNotifyFinalized"},
    {"ByeHasNoEvent", kSIPMethodBye, kSIPEndFinalized, false, ""},
    {"AckHasNoEvent", kSIPMethodAck, kSIPEndRefused, false, ""},
    {"OpenTransactionHasNoEvent", kSIPMethodInvite, 0, false, ""},
    {"DestroyedTransactionHasNoEvent", kSIPMethodInvite, kSIPEndDestroyed, false, ""},
    {"TwoReasonBitsHaveNoWord", kSIPMethodInvite, kSIPEndRefused | kSIPEndCancelled, false, ""},
};

INSTANTIATE_TEST_SUITE_P(Transactions, EndEventNames, ::testing::ValuesIn(kEndEventCases),
                         [](const ::testing::TestParamInfo<EndEventCase>& info) { return std::string(info.param.name); });

TEST(SipEndEventName, ATooSmallBufferGivesNoName) {
  char out[10];
  EXPECT_FALSE(SIPEndEventName(kSIPMethodInvite, kSIPEndFinalized, false, out, sizeof out));
  EXPECT_STREQ("", out);
}

struct StatusCase {
  const char* name;
  int32_t state;
  uint32_t endReason;
  const char* expected;
};

class StatusTexts : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTexts, FirstMatchingRuleWins) {
  EXPECT_STREQ(GetParam().expected, SIPStatusText(GetParam().state, GetParam().endReason));
}

const StatusCase kStatusCases[] = {
    {"ReadyIsIdle", 0, 0, "idle"},
    {"CallingIsProceeding", 1, 0, "proceeding"},
    {"ProceedingBeatsEndReason", 2, kSIPEndCancelled, "proceeding"},
    {"CancelledReady", 0, kSIPEndCancelled, "cancelled"},
    {"RefusedCompleted", 3, kSIPEndRefused, "refused"},
    {"Finalized", 5, kSIPEndFinalized, "finalized"},
    {"Redirected", 3, kSIPEndRedirected, "redirected"},
    {"Expired", 6, kSIPEndExpired, "expired"},
    {"Destroyed", 6, kSIPEndDestroyed, "destroyed"},
    {"CompletedOpen", 3, 0, "completed"},
    {"TerminatedOpen", 6, 0, "completed"},
};

INSTANTIATE_TEST_SUITE_P(States, StatusTexts, ::testing::ValuesIn(kStatusCases),
                         [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

struct SettingCase {
  const char* name;
  const char* value;
  size_t size;
  bool trim;
  const char* expected;
};

class SettingTexts : public ::testing::TestWithParam<SettingCase> {};

TEST_P(SettingTexts, AreCutThenTrimmedAndUnquoted) {
  char out[300];
  const SettingCase& c = GetParam();
  SIPSettingText(c.value, out, c.size, c.trim);
  EXPECT_STREQ(c.expected, out);
}

const SettingCase kSettingCases[] = {
    {"BlanksAndSingleQuotes", "  'alice' ", 128, true, "alice"},
    {"TabsAndDoubleQuotes", "\t\"Alice Smith\"\t", 128, true, "Alice Smith"},
    {"OnlyOnePairOfQuotes", "\"\"x\"\"", 128, true, "\"x\""},
    {"MismatchedQuotesKept", "'x\"", 128, true, "'x\""},
    {"UntrimmedKeepsEverything", " 'sip:proxy' ", 128, false, " 'sip:proxy' "},
    {"CutBeforeTrimming", "0123456789012345678901234567890123456789", 32, true, "0123456789012345678901234567890"},
    {"CutThenTrimmedBlanks", "abc                                      x", 32, true, "abc"},
    {"NullIsEmpty", nullptr, 32, true, ""},
};

INSTANTIATE_TEST_SUITE_P(Values, SettingTexts, ::testing::ValuesIn(kSettingCases),
                         [](const ::testing::TestParamInfo<SettingCase>& info) { return std::string(info.param.name); });

TEST(SipInsertHeaderLine, GoesBeforeTheLastBlankLineOfTheWholeText) {
  char text[128] = "SIP/2.0 500 Error\r\nCSeq: 1 SUBSCRIBE\r\n\r\nbody\r\n\r\n";
  EXPECT_TRUE(SIPInsertHeaderLine(text, sizeof text, "Retry-After: ", "2"));
  EXPECT_STREQ("SIP/2.0 500 Error\r\nCSeq: 1 SUBSCRIBE\r\n\r\nbody\r\nRetry-After: 2\r\n\r\n", text);
}

TEST(SipInsertHeaderLine, LeavesTheTextAloneWhenItCannotInsert) {
  struct Case {
    const char* name;
    const char* text;
    size_t capacity;
    const char* value;
  };
  const Case cases[] = {
      {"empty value", "SIP/2.0 423 Too Brief\r\n\r\n", 64, ""},
      {"no blank line", "SIP/2.0 423 Too Brief\r\n", 64, "1"},
      {"no room", "SIP/2.0 423 Too Brief\r\n\r\n", 30, "1"},
  };
  for (const Case& c : cases) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", c.text);
    EXPECT_FALSE(SIPInsertHeaderLine(text, c.capacity, "Retry-After: ", c.value)) << c.name;
    EXPECT_STREQ(c.text, text) << c.name;
  }
}

}  // namespace
