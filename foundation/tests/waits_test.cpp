// Message-pumping waits and sleeps: how they end (signal, time-out,
// shutdown, closed slot, quit) and which messages they dispatch meanwhile.
// Time bounds are generous: only the order of events is asserted tightly.
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/process_state.h"
#include "foundation/waits.h"

namespace {

constexpr UINT kPing = WM_APP + 1;

// Does something on another thread after a delay.
class Later {
 public:
  template <typename F>
  Later(DWORD ms, F action) : thread_([ms, action] {
      Sleep(ms);
      action();
    }) {}
  ~Later() { thread_.join(); }

 private:
  std::thread thread_;
};

// A window of the test thread that counts kPing and may set an event when
// it gets one.
class Waits : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "WaitsTestWindow";
    RegisterClassA(&windowClass);
    window_ = CreateWindowA("WaitsTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    pings_ = 0;
    signalOnPing_ = nullptr;
  }
  void TearDown() override {
    ZEQSetApplicationState(kZEQAppRunning);
    DestroyWindow(window_);
    if (event_) CloseHandle(event_);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPing) {
      ++pings_;
      if (signalOnPing_) SetEvent(signalOnPing_);
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  // The queued quit, if any, and its exit code.
  static bool TakeQuit(int* code) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        *code = int(message.wParam);
        return true;
      }
    }
    return false;
  }

  HWND window_ = nullptr;
  HANDLE event_ = nullptr;
  static std::atomic<int> pings_;
  static HANDLE signalOnPing_;
};
std::atomic<int> Waits::pings_{0};
HANDLE Waits::signalOnPing_ = nullptr;

struct Outcome {
  BOOL result;
  DWORD error;
  DWORD ms;
};

Outcome Wait(HANDLE* slot, DWORD timeout, DWORD flags, HWND dialog = nullptr) {
  const DWORD start = GetTickCount();
  SetLastError(0);
  const BOOL result = MsgWaitForHandleExt(slot, timeout, dialog, flags);
  return {result, GetLastError(), GetTickCount() - start};
}

TEST_F(Waits, EndsWhenTheHandleIsSignalled) {
  for (DWORD flags : {DWORD(0), kZEQWaitPumpInput, kZEQWaitThroughShutdown}) {
    ResetEvent(event_);
    Later set(50, [this] { SetEvent(event_); });
    const Outcome outcome = Wait(&event_, 10000, flags);
    EXPECT_TRUE(outcome.result) << flags;
    EXPECT_LT(outcome.ms, 5000u) << flags;
  }
}

TEST_F(Waits, AnAlreadySignalledHandleWinsEvenDuringShutdown) {
  SetEvent(event_);
  ZEQSetApplicationState(kZEQAppProcessEnding);
  EXPECT_TRUE(Wait(&event_, 0, 0).result);
}

TEST_F(Waits, TimesOutWithWaitTimeout) {
  for (DWORD timeout : {DWORD(0), DWORD(150)}) {
    const Outcome outcome = Wait(&event_, timeout, kZEQWaitPumpInput);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), outcome.error);
    EXPECT_GE(outcome.ms + 16, timeout);  // the tick counter's granularity
    EXPECT_LT(outcome.ms, timeout + 5000);
  }
}

TEST_F(Waits, GivesUpOnceTheApplicationShutsDown) {
  struct Case {
    uint32_t state;
    DWORD flags;
    BOOL result;
    DWORD error;
  };
  const Case cases[] = {
      {kZEQAppClosing, 0, FALSE, WAIT_TIMEOUT},
      {kZEQAppShutdown, 0, FALSE, kZEQWaitGaveUp},
      {kZEQAppProcessEnding, kZEQWaitPumpInput, FALSE, kZEQWaitGaveUp},
      {kZEQAppProcessEnding, kZEQWaitThroughShutdown, FALSE, WAIT_TIMEOUT},
  };
  for (const auto& c : cases) {
    ZEQSetApplicationState(kZEQAppRunning);
    Later change(50, [&] { ZEQSetApplicationState(c.state); });
    const Outcome outcome = Wait(&event_, 400, c.flags);
    EXPECT_EQ(c.result, outcome.result) << c.state;
    EXPECT_EQ(c.error, outcome.error) << c.state;
  }
}

TEST_F(Waits, PumpsMessagesOnlyWhenAsked) {
  // The window procedure signals the awaited event, so the wait can only
  // end early if the message was dispatched during it.
  signalOnPing_ = event_;
  for (bool send : {false, true}) {
    ResetEvent(event_);
    pings_ = 0;
    Later ping(50, [&] {
      if (send) {
        SendMessageTimeoutA(window_, kPing, 0, 0, SMTO_NORMAL, 10000, nullptr);
      } else {
        PostMessageA(window_, kPing, 0, 0);
      }
    });
    EXPECT_TRUE(Wait(&event_, 10000, kZEQWaitPumpInput).result) << send;
    EXPECT_EQ(1, pings_.load()) << send;
  }
  // Without flag 1 (or 8) a posted message waits until the wait is over.
  ResetEvent(event_);
  pings_ = 0;
  PostMessageA(window_, kPing, 0, 0);
  const Outcome outcome = Wait(&event_, 150, 0);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), outcome.error);
  EXPECT_EQ(0, pings_.load());
  EXPECT_TRUE(PumpPendingMessages(nullptr));
  EXPECT_EQ(1, pings_.load());
  signalOnPing_ = nullptr;
}

TEST_F(Waits, AQuitMetWhilePumpingEndsTheWaitAndStaysQueued) {
  PostMessageA(window_, kPing, 0, 0);
  PostQuitMessage(3);
  const Outcome outcome = Wait(&event_, 10000, kZEQWaitPumpInput);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(kZEQWaitGaveUp, outcome.error);
  EXPECT_EQ(1, pings_.load());
  int code = 0;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(3, code);
}

TEST_F(Waits, AClosedSlotEndsTheWait) {
  for (HANDLE reset : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
    HANDLE slot = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE closing = slot;
    Later close(50, [&] {
      slot = reset;
      CloseHandle(closing);
    });
    const Outcome outcome = Wait(&slot, 10000, kZEQWaitPumpInput);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(kZEQWaitGaveUp, outcome.error);
    EXPECT_LT(outcome.ms, 5000u);
  }
}

TEST_F(Waits, UnusableSlotsFailAtOnce) {
  HANDLE empty = nullptr;
  HANDLE invalid = INVALID_HANDLE_VALUE;
  for (HANDLE* slot : {static_cast<HANDLE*>(nullptr), &empty, &invalid}) {
    SetLastError(0);
    EXPECT_FALSE(WaitForHandleExt(slot, INFINITE, nullptr, 0));
    EXPECT_EQ(kZEQWaitGaveUp, GetLastError());
    SetLastError(0);
    EXPECT_FALSE(MsgWaitForHandleExt(slot, INFINITE, nullptr, 0));
    EXPECT_EQ(kZEQWaitGaveUp, GetLastError());
  }
  SetEvent(event_);
  EXPECT_TRUE(WaitForHandleExt(&event_, 0, nullptr, 0));
}

TEST_F(Waits, AnAbandonedMutexGivesUp) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  std::thread([mutex] { WaitForSingleObject(mutex, INFINITE); }).join();
  const Outcome outcome = Wait(&mutex, 10000, 0);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(kZEQWaitGaveUp, outcome.error);
  CloseHandle(mutex);
}

TEST_F(Waits, ComWaitEndsOnSignalAndTimesOut) {
  std::thread([this] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HANDLE slot = event_;
    {
      Later set(50, [this] { SetEvent(event_); });
      EXPECT_TRUE(Wait(&slot, 10000, kZEQWaitCom).result);
    }
    ResetEvent(event_);
    const Outcome outcome = Wait(&slot, 100, kZEQWaitCom | kZEQWaitPumpInput);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), outcome.error);
    CoUninitialize();
  }).join();
}

double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) { return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4; };
  return ms(kernel) + ms(user);
}

TEST_F(Waits, SleepPumpMessagesDispatchesAndOutlastsAQuit) {
  Later ping(30, [this] { PostMessageA(window_, kPing, 0, 0); });
  PostQuitMessage(9);
  const double cpu = ThreadCpuMs();
  const DWORD start = GetTickCount();
  SleepPumpMessages(300);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed + 16, 300u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(1, pings_.load());
  // The quit neither ended the sleep nor kept it spinning.
  EXPECT_LT(ThreadCpuMs() - cpu, 150.0);
  int code = 0;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(9, code);
}

TEST_F(Waits, SleepExtDoesNotPump) {
  PostMessageA(window_, kPing, 0, 0);
  const DWORD start = GetTickCount();
  EXPECT_TRUE(SleepExt(100));
  EXPECT_GE(GetTickCount() - start + 16, 100u);
  EXPECT_EQ(0, pings_.load());
  EXPECT_TRUE(SleepExt(0));
}

TEST_F(Waits, PumpPendingMessagesStopsAtAQuit) {
  EXPECT_TRUE(PumpPendingMessages(nullptr));
  PostMessageA(window_, kPing, 0, 0);
  PostMessageA(window_, kPing, 0, 0);
  EXPECT_TRUE(PumpPendingMessages(nullptr));
  EXPECT_EQ(2, pings_.load());
  PostMessageA(window_, kPing, 0, 0);
  PostQuitMessage(4);
  EXPECT_FALSE(PumpPendingMessages(nullptr));
  EXPECT_EQ(3, pings_.load());
  int code = 0;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(4, code);
}

// The host's hook sees every message with the loop's dialog window and
// decides whether it is dispatched.
std::vector<std::pair<UINT, HWND>> g_hooked;
BOOL SwallowOddPings(MSG* message, HWND dialog) {
  g_hooked.push_back({message->message, dialog});
  return !(message->message == kPing && (message->wParam & 1));
}

TEST_F(Waits, LoopsOfferEveryMessageToTheHost) {
  g_hooked.clear();
  ZEQPreTranslateHook previous = ZEQSetPreTranslateHook(SwallowOddPings);
  for (WPARAM i = 0; i < 4; ++i) PostMessageA(window_, kPing, i, 0);
  HWND dialog = HWND(0x1234);
  EXPECT_TRUE(PumpPendingMessages(dialog));
  ZEQSetPreTranslateHook(previous);
  EXPECT_EQ(2, pings_.load());
  ASSERT_EQ(4u, g_hooked.size());
  for (const auto& hooked : g_hooked) {
    EXPECT_EQ(kPing, hooked.first);
    EXPECT_EQ(dialog, hooked.second);
  }
}

TEST_F(Waits, RunWindowMessageLoopLastsWhileTheWindowExists) {
  // One thread posts both, so the ping is queued before the close however
  // late a loaded machine runs it.
  Later pingThenClose(30, [this] {
    PostMessageA(window_, kPing, 0, 0);
    PostMessageA(window_, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(1, RunWindowMessageLoop(window_));
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(1, pings_.load());
}

}  // namespace
