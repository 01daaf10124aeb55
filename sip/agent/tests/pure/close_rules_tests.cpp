#include "sip/agent/close_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CloseCase {
  const char* name;
  bool startupRunning;
  int32_t stateBits;
  int32_t resultCode;
  const char* events;  // "name number code" each, joined by " | "
  int32_t bitsAfter;
};

std::string Plan(const CloseCase& c, int32_t* bits) {
  sipagent::CloseEvent events[2];
  int count = sipagent::PlanCloseEvents(c.startupRunning, bits, c.resultCode, events);
  std::string text;
  for (int i = 0; i < count; ++i)
    text += (i ? " | " : "") + std::string(events[i].name) + " " + std::to_string(events[i].number) + " " +
            std::to_string(events[i].code);
  return text;
}

TEST(CloseEvents, AClosingRegistrationTellsOnlyWhatItHadReachedAndOnlyOnce) {
  const CloseCase cases[] = {
      {"registered, its registrar had answered", false, 3, 0,
       "!ZEQOnSIPUnRegister 1 0 | !ZEQOnSIPRemoteDisconnect 0 0", 0},
      {"the registrar answered but never accepted", false, 1, 401, "!ZEQOnSIPRemoteDisconnect 0 0", 0},
      {"never reached its registrar", false, 0, 906, "", 0},
      {"still starting, failed with a result", true, 3, 906, "!ZEQOnSIPError 0 906", 3},
      {"still starting without a result", true, 1, 0, "", 1},
  };
  for (const CloseCase& c : cases) {
    int32_t bits = c.stateBits;
    EXPECT_EQ(Plan(c, &bits), c.events) << c.name;
    EXPECT_EQ(bits, c.bitsAfter) << c.name;
    if (!c.startupRunning) {
      EXPECT_EQ(Plan(c, &bits), "") << c.name << ": closed again";
    }
  }
}

}  // namespace
