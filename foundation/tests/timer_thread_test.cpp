// The timer thread: cadence, one-shot and fire-at-once timers, firings at a
// window, and the wake-up messages of many timers. Time bounds are generous:
// the thread walks about every 10 ms, but Wine on a busy machine is slow.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/registered_messages.h"
#include "foundation/timer_thread.h"
#include "test_threads.h"

namespace {

struct Firings {
  CRITICAL_SECTION lock;
  std::vector<LONGLONG> stamps;
  volatile LONG count = 0;
  volatile DWORD thread = 0;  // that of the last firing
  Firings() { InitializeCriticalSection(&lock); }
  ~Firings() { DeleteCriticalSection(&lock); }
};

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Ms(LONGLONG ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

unsigned __stdcall Record(void* argument) {
  auto* timer = static_cast<ZEQTimer*>(argument);
  auto* firings = reinterpret_cast<Firings*>(timer->context);
  EnterCriticalSection(&firings->lock);
  firings->stamps.push_back(Now());
  firings->thread = GetCurrentThreadId();
  LeaveCriticalSection(&firings->lock);
  InterlockedIncrement(&firings->count);
  return 0;
}

unsigned __stdcall RecordOnThread(void* argument) {
  Record(argument);
  ZEQTimerRelease(static_cast<ZEQTimer*>(argument));
  return 0;
}

unsigned __stdcall DoNothing(void*) { return 0; }

bool WaitFor(volatile LONG* counter, LONG wanted, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (*counter < wanted) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(5);
  }
  return true;
}

class TimerThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0u, StartTimerThread()); }
  void TearDown() override { EXPECT_TRUE(StopTimerThread(10000)); }
};

TEST_F(TimerThreadTest, RepeatingTimerKeepsItsInterval) {
  Firings firings;
  ZEQTimer* slot = nullptr;
  ZEQSetTimer(nullptr, &slot, 50, Record, nullptr, reinterpret_cast<uintptr_t>(&firings), kZEQTimerOnTimerThread);
  ASSERT_TRUE(WaitFor(&firings.count, 8, 10000));
  EXPECT_TRUE(ZEQKillTimer(&slot));
  EXPECT_EQ(nullptr, slot);
  EnterCriticalSection(&firings.lock);
  std::vector<LONGLONG> stamps = firings.stamps;
  LeaveCriticalSection(&firings.lock);
  // No firing comes before its interval; on average they are not far apart.
  for (size_t i = 1; i < stamps.size(); ++i) EXPECT_GE(Ms(stamps[i] - stamps[i - 1]), 40.0) << i;
  double mean = Ms(stamps.back() - stamps.front()) / static_cast<double>(stamps.size() - 1);
  EXPECT_LT(mean, 250.0);
  // Killed: no further firing.
  LONG after = firings.count;
  Sleep(200);
  EXPECT_LE(firings.count, after + 1);
}

TEST_F(TimerThreadTest, OneShotFiresOnceAndClearsItsSlot) {
  Firings firings;
  ZEQTimer* slot = nullptr;
  LONGLONG start = Now();
  ZEQSetTimer(nullptr, &slot, 60, Record, nullptr, reinterpret_cast<uintptr_t>(&firings),
              kZEQTimerOnTimerThread | kZEQTimerOneShot);
  ASSERT_TRUE(WaitFor(&firings.count, 1, 10000));
  EXPECT_GE(Ms(firings.stamps[0] - start), 50.0);
  Sleep(300);
  EXPECT_EQ(1, firings.count);
  EXPECT_EQ(nullptr, slot);
  // Killing the cleared slot touches nothing.
  EXPECT_FALSE(ZEQKillTimer(&slot));
}

TEST_F(TimerThreadTest, FireAtOnceDoesNotWaitForTheInterval) {
  Firings firings;
  ZEQTimer* slot = nullptr;
  LONGLONG start = Now();
  ZEQSetTimer(nullptr, &slot, 600000, Record, nullptr, reinterpret_cast<uintptr_t>(&firings),
              kZEQTimerOnTimerThread | kZEQTimerFireAtOnce);
  ASSERT_TRUE(WaitFor(&firings.count, 1, 10000));
  EXPECT_LT(Ms(firings.stamps[0] - start), 2000.0);
  Sleep(100);
  EXPECT_EQ(1, firings.count);
  EXPECT_TRUE(ZEQKillTimer(&slot));
}

TEST_F(TimerThreadTest, NewThreadTimersReleaseTheirFiring) {
  Firings firings;
  ZEQTimer* slot = nullptr;
  ZEQSetTimer(nullptr, &slot, 20, RecordOnThread, nullptr, reinterpret_cast<uintptr_t>(&firings),
              kZEQTimerNewThread);
  ASSERT_TRUE(WaitFor(&firings.count, 3, 10000));
  EXPECT_TRUE(ZEQKillTimer(&slot));
}

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_ZEQTIMER) return ZEQReceiveTimerMessage(lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeTimerWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = TimerWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ZEQTimerTestWindow";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, "ZEQTimerTestWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

TEST_F(TimerThreadTest, WindowTimersFireOnTheWindowsThread) {
  HWND window = MakeTimerWindow();
  ASSERT_TRUE(window);
  Firings firings;
  ZEQTimer* slot = nullptr;
  ZEQSetTimer(window, &slot, 20, Record, nullptr, reinterpret_cast<uintptr_t>(&firings), 0);
  ASSERT_TRUE(WaitFor(&firings.count, 3, 10000));
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), firings.thread);
  EXPECT_NE(ZEQTimerThreadId(), firings.thread);
  EXPECT_TRUE(ZEQKillTimer(&slot));
  // Firings still queued are handled and release their references.
  WaitFor(&firings.count, firings.count, 100);
  DestroyWindow(window);
}

TEST_F(TimerThreadTest, FiringQueuedBeforeAResetIsIgnored) {
  HWND window = MakeTimerWindow();
  ASSERT_TRUE(window);
  Firings firings;
  ZEQTimer* slot = nullptr;
  ZEQSetTimer(window, &slot, 20, Record, nullptr, reinterpret_cast<uintptr_t>(&firings), 0);
  // Not pumping: firings pile up in this thread's queue.
  DWORD start = GetTickCount();
  while (slot->fireCount == 0 && GetTickCount() - start < 10000) Sleep(10);
  ASSERT_LT(0, slot->fireCount);
  EXPECT_EQ(slot, ZEQResetTimer(slot, 600000));
  WaitFor(&firings.count, 1, 300);
  EXPECT_EQ(0, firings.count);
  // The ignored firings dropped their references: the list's one is left.
  EXPECT_EQ(1, slot->references);
  EXPECT_TRUE(ZEQKillTimer(&slot));
  DestroyWindow(window);
}

TEST_F(TimerThreadTest, ResetOfATimerNotInTheListGivesNull) {
  ZEQTimer* slot = nullptr;
  ZEQTimer* timer = ZEQSetTimer(nullptr, &slot, 600000, Record, nullptr, 0, kZEQTimerOnTimerThread);
  EXPECT_EQ(timer, ZEQResetTimer(timer, 1000));
  EXPECT_TRUE(ZEQKillTimer(&slot));
  EXPECT_EQ(nullptr, ZEQResetTimer(timer, 1000));
}

// The counts are changed by setters, the timer thread and receivers at
// once: no increment or decrement may be lost.
TEST_F(TimerThreadTest, ReferenceCountsSurviveConcurrentChanges) {
  ZEQTimer* slot = nullptr;
  ZEQTimer* timer = ZEQSetTimer(nullptr, &slot, 0, DoNothing, nullptr, 0, kZEQTimerOnTimerThread);
  ASSERT_TRUE(RunOnThreads(8, [timer](int) {
    for (int i = 0; i < 20000; ++i) {
      ZEQTimerAddRef(timer);
      ZEQTimerRelease(timer);
    }
  }));
  // The timer thread's own firings come and go meanwhile.
  Sleep(50);
  ZEQResetTimer(timer, 600000);
  Sleep(50);
  EXPECT_EQ(1, timer->references);
  EXPECT_TRUE(ZEQKillTimer(&slot));
}

TEST_F(TimerThreadTest, ManyTimersKeepOneWakeUpInFlight) {
  const size_t before = ZEQTimerListCount();
  std::vector<ZEQTimer*> slots(1000, nullptr);
  for (auto& slot : slots) ZEQSetTimer(nullptr, &slot, 600000, Record, nullptr, 0, kZEQTimerOnTimerThread);
  EXPECT_EQ(before + 1000, ZEQTimerListCount());
  for (auto& slot : slots) EXPECT_TRUE(ZEQKillTimer(&slot));
  EXPECT_EQ(before, ZEQTimerListCount());
  // Were every set to leave a wake-up circulating, the thread would still
  // be walking a thousand of them after its stop message.
  Sleep(100);
  LONG ticks = ZEQTimerTickCount();
  EXPECT_TRUE(StopTimerThread(10000));
  EXPECT_LE(ZEQTimerTickCount() - ticks, 3);
  ASSERT_NE(0u, StartTimerThread());
}

// A behavior that counts its references and the blinks it received.
struct BlinkingBehavior : IUnknown {
  volatile LONG references = 1;
  volatile LONG blinks = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references); }
};

LRESULT CALLBACK BlinkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_ZEQBLINK) {
    auto* behavior = reinterpret_cast<BlinkingBehavior*>(lParam);
    InterlockedIncrement(&behavior->blinks);
    behavior->Release();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(TimerThreadTest, BlinkPhaseFlipsAndReachesBehaviors) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = BlinkWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ZEQBlinkTestWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "ZEQBlinkTestWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(window);
  BlinkingBehavior behavior;
  LONGLONG start = Now();
  ZEQBlinkAdd(&behavior, window);
  ASSERT_TRUE(WaitFor(&behavior.blinks, 2, 10000));
  EXPECT_TRUE(ZEQBlinkPhase() == 0 || ZEQBlinkPhase() == 1);
  ZEQBlinkRemove(&behavior);
  // Two flips take at least 410 ms of walks.
  EXPECT_GE(Ms(Now() - start), 400.0);
  WaitFor(&behavior.blinks, behavior.blinks + 1, 600);  // one may still be queued
  EXPECT_EQ(1, behavior.references);
  DestroyWindow(window);
}

struct RegisteredMessage {
  const char* name;
  const UINT* value;
};

TEST(RegisteredMessages, EveryMessageOfTheTableIsRegisteredUnderItsName) {
  const RegisteredMessage messages[] = {
      {"CMSG_KESTOASYNCHLOG", &CMSG_KESTOASYNCHLOG},
      {"CMSG_SLEEPWML", &CMSG_SLEEPWML},
      {"CMSG_ZEQTIMER", &CMSG_ZEQTIMER},
      {"CMSG_ZEQBLINK", &CMSG_ZEQBLINK},
      {"CMSG_ZEQTIMERTHREADMSG", &CMSG_ZEQTIMERTHREADMSG},
      {"CMSG_ZEQDESTROYTIMER", &CMSG_ZEQDESTROYTIMER},
      {"CMSG_ATTACHZEQCONTAINER", &CMSG_ATTACHZEQCONTAINER},
      {"CMSG_ATTACHEDZEQCONTAINER", &CMSG_ATTACHEDZEQCONTAINER},
      {"CMSG_ZEQINVOKEINTERFACE", &CMSG_ZEQINVOKEINTERFACE},
      {"CMSG_ZEQINTERFACETHREAD", &CMSG_ZEQINTERFACETHREAD},
      {"CMSG_ZEQINVOKEEX", &CMSG_ZEQINVOKEEX},
      {"CMSG_CENTERWINDOWSON", &CMSG_CENTERWINDOWSON},
      {"CMSG_KESTONOTIFY_SYSTEMBROADCAST", &CMSG_KESTONOTIFY_SYSTEMBROADCAST},
      {"CMSG_SHOWPOPUPMENU", &CMSG_SHOWPOPUPMENU},
      {"CMSG_REFRESHMENU", &CMSG_REFRESHMENU},
      {"CMSG_DESTROYWND", &CMSG_DESTROYWND},
      {"CMSG_CLOSEWINDOW", &CMSG_CLOSEWINDOW},
      {"CMSG_ADJUSTWINDOWCHILDREN", &CMSG_ADJUSTWINDOWCHILDREN},
      {"CMSG_EXECUTEASYNCHSCRIPT", &CMSG_EXECUTEASYNCHSCRIPT},
      {"CMSG_ZEQWBHISTORY", &CMSG_ZEQWBHISTORY},
      {"CMSG_ZEQVBCNAVIGATEASYNCH", &CMSG_ZEQVBCNAVIGATEASYNCH},
      {"CMSG_ZEQNAVIGATESTART", &CMSG_ZEQNAVIGATESTART},
      {"CMSG_REDRAWWINDOW", &CMSG_REDRAWWINDOW},
      {"CMSG_NOTIFICATIONAREADUMMY", &CMSG_NOTIFICATIONAREADUMMY},
      {"CMSG_NOTIFICATIONAREA", &CMSG_NOTIFICATIONAREA},
      {"CMSG_KESTONOTIFY", &CMSG_KESTONOTIFY},
      {"CMSG_KESTOHOTKEY", &CMSG_KESTOHOTKEY},
      {"CMSG_ZEQIBCZOOM", &CMSG_ZEQIBCZOOM},
      {"CMSG_ZEQIBCPRINT", &CMSG_ZEQIBCPRINT},
      {"CMSG_ZEQIBCPRINTPREVIEW", &CMSG_ZEQIBCPRINTPREVIEW},
      {"CMSG_ZEQIBCSHOWPAGESETUP", &CMSG_ZEQIBCSHOWPAGESETUP},
      {"CMSG_WEBBROWSERSCROLLTO", &CMSG_WEBBROWSERSCROLLTO},
      {"CMSG_ZEQSCOPEDOBJECT_THCONSTRUCTOR", &CMSG_ZEQSCOPEDOBJECT_THCONSTRUCTOR},
      {"CMSG_KESTOLASTSESSIONNOTPROPERLYCLOSED", &CMSG_KESTOLASTSESSIONNOTPROPERLYCLOSED},
      {"CMSG_SETACTIVEIESERVER", &CMSG_SETACTIVEIESERVER},
      {"CIPCMsgBaseOnCommand", &CIPCMsgBaseOnCommand},
      {"CMSG_APPBAR", &CMSG_APPBAR},
      {"CMSG_APPBARSETPOSITION", &CMSG_APPBARSETPOSITION},
      {"CMSG_KESTOMICACCESSDENIED", &CMSG_KESTOMICACCESSDENIED},
  };
  for (const auto& message : messages) {
    EXPECT_NE(0u, *message.value) << message.name;
    EXPECT_EQ(RegisterWindowMessageA(message.name), *message.value) << message.name;
  }
}

TEST(TimerKill, UnknownSlotFails) {
  ZEQTimer* slot = nullptr;
  EXPECT_FALSE(ZEQKillTimer(&slot));
  EXPECT_FALSE(ZEQKillTimer(nullptr));
}

}  // namespace
