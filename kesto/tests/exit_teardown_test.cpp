// The user interface's teardown: the timer thread has ended before the
// bound system functions are freed, and their entry points are gone.
#include <gtest/gtest.h>

#include "foundation/process_state.h"
#include "foundation/timer_thread.h"
#include "host/browser_settings.h"
#include "kesto/exit_teardown.h"

namespace {

TEST(ExitTeardown, TheTimerThreadEndsBeforeTheBoundFunctionsAreFreed) {
  ASSERT_TRUE(KESTOLoadDynamicAPIs());
  ASSERT_NE(0u, StartTimerThread());
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, ZEQTimerThreadId());
  ASSERT_NE(nullptr, thread);
  ZEQFinalizeUI();
  EXPECT_EQ(kZEQAppFinalTeardown, ZEQGetApplicationState());
  // Joined, not only asked to stop: the thread is gone when the call returns.
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
  EXPECT_EQ(nullptr, ZEQDynamicAPI("SetOaNoCache"));
  CloseHandle(thread);
  ZEQSetApplicationState(kZEQAppRunning);
}

}  // namespace
