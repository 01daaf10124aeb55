// Contexts kept beside window and thread timers.
#include <gtest/gtest.h>

#include "foundation/window_timers.h"

namespace {

HWND MakeWindow() {
  return CreateWindowExA(0, "STATIC", "timer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

TEST(WindowTimers, ContextFollowsWindowAndId) {
  HWND first = MakeWindow();
  HWND second = MakeWindow();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(0u, GetTimerExtContext(first, 7));

  EXPECT_EQ(7u, SetTimerExt(first, 7, 60000, nullptr, 0x1111));
  EXPECT_EQ(7u, SetTimerExt(second, 7, 60000, nullptr, 0x2222));
  EXPECT_EQ(0x1111u, GetTimerExtContext(first, 7));
  EXPECT_EQ(0x2222u, GetTimerExtContext(second, 7));

  // Re-arming under the same id replaces the context.
  EXPECT_EQ(7u, SetTimerExt(first, 7, 60000, nullptr, 0x3333));
  EXPECT_EQ(0x3333u, GetTimerExtContext(first, 7));

  EXPECT_TRUE(KillTimerExt(first, 7));
  EXPECT_EQ(0u, GetTimerExtContext(first, 7));
  EXPECT_EQ(0x2222u, GetTimerExtContext(second, 7));
  EXPECT_TRUE(KillTimerExt(second, 7));
  DestroyWindow(first);
  DestroyWindow(second);
}

TEST(WindowTimers, ThreadTimersGetTheirIdFromTheSystem) {
  UINT_PTR id = SetTimerExt(nullptr, 0, 60000, nullptr, 0x4444);
  ASSERT_NE(0u, id);
  EXPECT_EQ(0x4444u, GetTimerExtContext(nullptr, id));
  UINT_PTR slot = id;
  EXPECT_TRUE(KillTimerExtSlot(&slot, nullptr));
  EXPECT_EQ(0u, slot);
  EXPECT_EQ(0u, GetTimerExtContext(nullptr, id));
}

TEST(WindowTimers, ZeroIdsDoNothing) {
  EXPECT_FALSE(KillTimerExt(nullptr, 0));
  UINT_PTR slot = 0;
  EXPECT_FALSE(KillTimerExtSlot(&slot, nullptr));
  EXPECT_FALSE(KillTimerExtSlot(nullptr, nullptr));
}

}  // namespace
