// Re-registration and NAT keep-alive schedules of a registered account.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/keepalive_timing.h"

namespace {

TEST(SipKeepAliveTiming, ReRegistrationComesBeforeTheGrantedExpiryButNeverInARush) {
  struct Case {
    const char* name;
    int32_t expiry;
    uint32_t interval;
  } cases[] = {
      {"an hour refreshes after 3240 s", 3600, 3240000},
      {"fifteen seconds refresh after 14 s", 15, 14000},
      {"a granted expiry of 1 s keeps the minimum", 1, kSIPMinimumReRegisterMs},
      {"a granted expiry of 3 s keeps the minimum", 3, kSIPMinimumReRegisterMs},
      {"no expiry means no refresh", 0, 0},
      {"a negative expiry means no refresh", -60, 0},
      {"a huge expiry stays within the tick range", 2147483647, 3600000000u},
  };
  for (const Case& c : cases) EXPECT_EQ(SIPReRegisterIntervalMs(c.expiry), c.interval) << c.name;
}

TEST(SipKeepAliveTiming, DueTimesAreCountedAcrossTheTickCountWrap) {
  struct Case {
    const char* name;
    bool keepAlive;  // else re-registration
    uint32_t now, last;
    int32_t setting;
    bool due;
  } cases[] = {
      {"keep-alive of 30 s after 30.001 s", true, 130001, 100000, 30, true},
      {"keep-alive of 30 s after 29 s", true, 129000, 100000, 30, false},
      {"keep-alive of 30 s across the wrap", true, 30000, 0xFFFFFF00u, 30, true},
      {"keep-alive of 30 s just before, across the wrap", true, 20000, 0xFFFFFF00u, 30, false},
      {"NATKeepAlive 0 sends nothing however long it waits", true, 0x7FFFFFFF, 0, 0, false},
      {"a negative NATKeepAlive sends nothing", true, 0x7FFFFFFF, 0, -1, false},
      {"re-register of 15 s after 14.5 s", false, 14500, 0, 15, true},
      {"re-register of 15 s after 13 s", false, 13000, 0, 15, false},
      {"re-register of 1 s not within the minimum", false, 1500, 0, 1, false},
      {"re-register of 1 s after the minimum", false, kSIPMinimumReRegisterMs + 1, 0, 1, true},
      {"re-register without an expiry", false, 0x7FFFFFFF, 0, 0, false},
  };
  for (const Case& c : cases) {
    bool due = c.keepAlive ? SIPKeepAliveDue(c.now, c.last, c.setting) : SIPReRegisterDue(c.now, c.last, c.setting);
    EXPECT_EQ(due, c.due) << c.name;
  }
}

TEST(SipKeepAliveTiming, AStreamKeepAliveWithoutAnAnswerIsNoticed) {
  struct Case {
    const char* name;
    uint32_t keepAlive, receive;
    bool missing;
  } cases[] = {
      {"no keep-alive sent yet", 0, 0, false},
      {"answered 20 ms after", 50000, 50020, false},
      {"answered at the limit", 50000, 50000 + kSIPKeepAliveAnswerMs, false},
      {"last data before the keep-alive", 50000, 49000, true},
      {"last data long after (a later, unanswered round)", 50000, 50000 + kSIPKeepAliveAnswerMs + 1, true},
      {"answered across the wrap", 0xFFFFFFF0u, 10, false},
  };
  for (const Case& c : cases) EXPECT_EQ(SIPKeepAliveAnswerMissing(c.keepAlive, c.receive), c.missing) << c.name;
}

TEST(SipKeepAliveTiming, StreamsSendTwoLineEndsAndDatagramsOne) {
  size_t length = 0;
  EXPECT_EQ(std::string(SIPKeepAlivePayload(true, &length)), "\r\n\r\n");
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::string(SIPKeepAlivePayload(false, &length)), "\r\n");
  EXPECT_EQ(length, 2u);
}

}  // namespace
