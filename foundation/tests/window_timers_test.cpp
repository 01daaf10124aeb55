// Contexts kept beside window and thread timers.
#include <gtest/gtest.h>

#include "foundation/window_timers.h"

#include "test_threads.h"

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

// The system numbers thread timers per thread: two threads commonly get
// the same id, and each must still find its own context.
TEST(WindowTimers, ThreadTimersOfTwoThreadsKeepTheirOwnContexts) {
  HANDLE armed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  volatile LONG ready = 0;
  UINT_PTR ids[2] = {};
  uintptr_t seen[2] = {};
  uintptr_t seenAfterOtherKilled[2] = {};
  ASSERT_TRUE(RunOnThreads(2, [&](int index) {
    ids[index] = SetTimerExt(nullptr, 0, 60000, nullptr, 0x1000 + index);
    if (InterlockedIncrement(&ready) == 2) SetEvent(armed);
    WaitForSingleObject(armed, 10000);
    seen[index] = GetTimerExtContext(nullptr, ids[index]);
    // Both have read before either kills.
    if (InterlockedIncrement(&ready) == 4) SetEvent(armed);
    while (ready < 4) Sleep(1);
    if (index == 0) KillTimerExt(nullptr, ids[0]);
    if (InterlockedIncrement(&ready) == 6) SetEvent(armed);
    while (ready < 6) Sleep(1);
    seenAfterOtherKilled[index] = GetTimerExtContext(nullptr, ids[index]);
    if (index == 1) KillTimerExt(nullptr, ids[1]);
  }));
  CloseHandle(armed);
  EXPECT_EQ(0x1000u, seen[0]);
  EXPECT_EQ(0x1001u, seen[1]);
  EXPECT_EQ(0u, seenAfterOtherKilled[0]);
  EXPECT_EQ(0x1001u, seenAfterOtherKilled[1]);
}

TEST(WindowTimers, ContextOfAnotherThreadsTimerIsTakenOnce) {
  UINT_PTR id = 0;
  DWORD owner = 0;
  ASSERT_TRUE(RunOnThreads(1, [&](int) {
    owner = GetCurrentThreadId();
    id = SetTimerExt(nullptr, 0, 60000, nullptr, 0x5555);
  }));
  ASSERT_NE(0u, id);
  // Not the calling thread's timer: the plain look-up does not see it.
  EXPECT_NE(0x5555u, GetTimerExtContext(nullptr, id));
  EXPECT_EQ(0x5555u, TakeTimerExtContext(nullptr, owner, id));
  EXPECT_EQ(0u, TakeTimerExtContext(nullptr, owner, id));
}

}  // namespace
