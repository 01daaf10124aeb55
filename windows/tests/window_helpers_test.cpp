// Small window helpers that read what other layers left on a window or in
// a record: the text-out manager property and the motion record check.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "foundation/records.h"
#include "windows/window_helpers.h"

namespace {

TEST(WindowHelpers, TheTextOutManagerIsReadFromLiveWindowsOfThisProcessOnly) {
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, window);
  int manager = 0;
  EXPECT_EQ(nullptr, ZEQGetTextOutManager(window));
  SetPropA(window, "ZEQTEXTOUT::MANAGER", &manager);
  EXPECT_EQ(&manager, ZEQGetTextOutManager(window));
  RemovePropA(window, "ZEQTEXTOUT::MANAGER");
  DestroyWindow(window);
  EXPECT_EQ(nullptr, ZEQGetTextOutManager(window));
  EXPECT_EQ(nullptr, ZEQGetTextOutManager(GetDesktopWindow()));
}

TEST(WindowHelpers, OnlyARecordTaggedAsAMotionIsOne) {
  struct Case {
    const char* name;
    const char* tag;  // null: no record at all
    bool motion;
  };
  const Case cases[] = {
      {"a motion record", "+ZEQMOTION", true},
      {"a skin record", "+ZEQBASESKIN", false},
      {"a retired motion record", "-ZEQMOTION", false},
      {"no record", nullptr, false},
  };
  for (const Case& c : cases) {
    ZEQTypedRecord record = {};
    if (c.tag) strncpy(record.tag, c.tag, sizeof record.tag - 1);
    EXPECT_EQ(c.motion, ZEQIsMotion(c.tag ? &record : nullptr)) << c.name;
  }
}

}  // namespace
