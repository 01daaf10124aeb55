// Closing program windows: denials, refusals, the shutdown walk, close
// waiters on other threads, and the state commands read back from the
// platform.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/waits.h"
#include "windows/common_window_proc.h"
#include "windows/program_windows.h"
#include "windows/records.h"
#include "windows/window_close.h"
#include "windows/window_commands.h"

namespace {

constexpr char kTestClass[] = "ZEQ Close Test Window";

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_CLOSEWINDOW) {
    ZEQHandleCloseWindowMessage(lParam != 0, window);
    return 0;
  }
  return ZEQCommonWindowProc(window, message, wParam, lParam);
}

void RegisterTestClass() {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = TestWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kTestClass;
  RegisterClassExA(&windowClass);
}

// A program window with a record (blank skin), listed as the shutdown walk
// sees windows.
HWND MakeProgramWindow(uint32_t frameFlags, DWORD style = WS_OVERLAPPEDWINDOW) {
  RegisterTestClass();
  HWND window = CreateWindowExA(0, kTestClass, "close test", style, 50, 50, 300, 200, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!window) return nullptr;
  ZEQWindowHolder record = ZEQAttachWindowParam(window, nullptr, "Test", frameFlags);
  ZEQList* records = ZEQWindowRecordList();
  if (ZEQListItem* item =
          ZEQList::InsertByPointer(&records, reinterpret_cast<uintptr_t>(window), 0x7FFFFFFF,
                                   reinterpret_cast<uintptr_t>(record.Marshal(false)), 0, ZEQLIST_POINTER_KEY)) {
    item->freeCallback = ZEQContainerListItemFree;
  }
  return window;
}

// Dispatches this thread's messages until the window is gone (bounded).
bool PumpUntilGone(HWND window, DWORD ms = 3000) {
  const DWORD start = GetTickCount();
  while (IsWindow(window) && GetTickCount() - start < ms) SleepPumpMessages(10);
  return !IsWindow(window);
}

void PumpFor(DWORD ms) { SleepPumpMessages(ms); }

struct DenyCase {
  const char* name;
  int denials;
  int removals;
  bool closes;
};

class DenyCloseCounts : public ::testing::TestWithParam<DenyCase> {};

TEST_P(DenyCloseCounts, AWindowClosesOnlyWhenNoDenialIsLeft) {
  const DenyCase& c = GetParam();
  HWND window = MakeProgramWindow(0);
  ASSERT_NE(nullptr, window);
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  for (int i = 0; i < c.denials; ++i) ZEQDenyWindowClose(true, record);
  for (int i = 0; i < c.removals; ++i) ZEQDenyWindowClose(false, record);
  EXPECT_EQ(c.closes, (record->frameFlags & kFrameCloseDenied) == 0);
  ASSERT_TRUE(ZEQPostCloseWindow(window, 0, false));
  PumpFor(100);
  EXPECT_EQ(c.closes, !IsWindow(window));
  if (!c.closes) {
    EXPECT_EQ(0u, record->attributes & kWindowClosing) << "a denied close leaves its closing bit clear";
    DestroyWindow(window);
  } else {
    EXPECT_NE(0u, record->stateBits & kWindowDestroyedByClose);
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, DenyCloseCounts,
                         ::testing::Values(DenyCase{"none", 0, 0, true}, DenyCase{"one", 1, 0, false},
                                           DenyCase{"twoLessOne", 2, 1, false}, DenyCase{"oneLessOne", 1, 1, true},
                                           DenyCase{"belowZero", 0, 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClosingWindows, AUserCloseIsRefusedWhereAScriptCloseGoesThrough) {
  HWND window = MakeProgramWindow(0);
  ASSERT_NE(nullptr, window);
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  record->attributes |= kWindowCloseRefused;
  EXPECT_FALSE(ZEQPostCloseWindow(window, 0, true));
  SendMessageA(window, WM_CLOSE, 0, 0);
  PumpFor(50);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(ZEQPostCloseWindow(window, 0, false));
  EXPECT_TRUE(PumpUntilGone(window));
}

TEST(ClosingWindows, TheSystemCloseCommandOfADeniedWindowLeavesItOpen) {
  HWND window = MakeProgramWindow(0);
  ASSERT_NE(nullptr, window);
  ZEQDenyWindowClose(true, ZEQGetWindowParam(window));
  EXPECT_EQ(1, SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0));
  PumpFor(50);
  EXPECT_TRUE(IsWindow(window));
  DestroyWindow(window);
}

TEST(ClosingWindows, TheShutdownWalkForcesDeniedWindowsClosedWithinItsTime) {
  HWND first = MakeProgramWindow(0);
  HWND second = MakeProgramWindow(0);
  ASSERT_TRUE(first && second);
  ZEQDenyWindowClose(true, ZEQGetWindowParam(first));
  ZEQDenyWindowClose(true, ZEQGetWindowParam(first));
  const DWORD start = GetTickCount();
  EXPECT_EQ(1, ZEQCloseAllWindows());
  const DWORD took = GetTickCount() - start;
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(IsWindow(second));
  EXPECT_EQ(0, ZEQWindowRecordList()->count);
  EXPECT_LE(took, kZEQCloseAllWindowsWaitMs + 1000);
}

TEST(ClosingWindows, TheShutdownWalkGivesUpOnAWindowThatNeverGoes) {
  // A listed window whose record is gone cannot be closed: the walk still
  // returns after its wait.
  HWND window = MakeProgramWindow(0);
  ASSERT_NE(nullptr, window);
  ZEQFreeWindowParamBlock(window);
  const DWORD start = GetTickCount();
  EXPECT_EQ(1, ZEQCloseAllWindows());
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, kZEQCloseAllWindowsWaitMs - 50);
  EXPECT_LE(took, kZEQCloseAllWindowsWaitMs + 2000);
  ZEQList* records = ZEQWindowRecordList();
  ZEQList::Remove(&records, reinterpret_cast<uintptr_t>(window));
  DestroyWindow(window);
}

struct WaiterThread {
  HWND target;
  HANDLE started;
  VARIANT value;
  uint32_t status;
};

unsigned __stdcall WaitForClose(void* parameter) {
  auto work = static_cast<WaiterThread*>(parameter);
  OleInitialize(nullptr);
  VariantInit(&work->value);
  ZEQCloseWaiterHolder unused;
  SetEvent(work->started);
  work->status = ZEQWaitWindowToClose(work->target, nullptr, kZEQWaitPumpInput, &work->value);
  OleUninitialize();
  return 0;
}

TEST(CloseWaiters, AWaiterOnAnotherThreadReceivesTheCloseValue) {
  HWND window = MakeProgramWindow(0);
  ASSERT_NE(nullptr, window);
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  ZEQContainerHolder container;
  ZEQBaseContainerInit(&container, window);
  record->container.ShareFrom(container);
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(L"fechada");
  ZEQSetContainerCloseArguments(container, MarshalVariantForThread(&value));
  VariantClear(&value);

  WaiterThread work = {window, CreateEventA(nullptr, TRUE, FALSE, nullptr), {}, 99};
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WaitForClose, &work, 0, nullptr));
  ASSERT_NE(nullptr, thread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(work.started, 5000));
  // The waiter joins the list before it waits.
  const DWORD start = GetTickCount();
  while (record->closeWaiters->count == 0 && GetTickCount() - start < 5000) Sleep(5);
  ASSERT_TRUE(ZEQPostCloseWindow(window, 0, false));
  EXPECT_TRUE(PumpUntilGone(window));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
  CloseHandle(thread);
  CloseHandle(work.started);
  EXPECT_EQ(0u, work.status);
  ASSERT_EQ(VT_BSTR, work.value.vt);
  EXPECT_STREQ(L"fechada", work.value.bstrVal);
  VariantClear(&work.value);
}

TEST(CloseWaiters, AWaiterOfAWindowWithoutARecordIsRefusedAtOnce) {
  HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  VARIANT value;
  EXPECT_EQ(2u, ZEQWaitWindowToClose(plain, nullptr, kZEQWaitPumpInput, &value));
  EXPECT_EQ(VT_EMPTY, value.vt);
  DestroyWindow(plain);
}

// State commands, read back from the platform.
TEST(WindowStateCommands, MinimiseMaximiseAndRestoreReachThePlatform) {
  HWND window = MakeProgramWindow(kFrameAllowMinimize | kFrameAllowMaximize);
  ASSERT_NE(nullptr, window);
  ShowWindow(window, SW_SHOWNORMAL);
  ZEQToggleMaximizeWindow(window, true);
  EXPECT_TRUE(IsZoomed(window));
  ZEQToggleMaximizeWindow(window, true);
  EXPECT_FALSE(IsZoomed(window));
  ZEQMinimizeWindowCommand(window, true);
  EXPECT_TRUE(IsIconic(window));
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  ASSERT_TRUE(GetWindowPlacement(window, &placement));
  EXPECT_EQ(static_cast<UINT>(SW_SHOWMINIMIZED), placement.showCmd);
  SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(window));
  // SC_RESTORE on a normal window minimises it.
  SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(IsIconic(window));
  DestroyWindow(window);
}

TEST(WindowStateCommands, AWindowWithoutTheAllowingFlagsKeepsItsState) {
  HWND window = MakeProgramWindow(0);
  ASSERT_NE(nullptr, window);
  ShowWindow(window, SW_SHOWNORMAL);
  EXPECT_EQ(1, SendMessageA(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0));
  EXPECT_FALSE(IsZoomed(window));
  EXPECT_EQ(1, SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0));
  EXPECT_FALSE(IsIconic(window));
  DestroyWindow(window);
}

// Hit codes and sizing limits through sent messages.
TEST(CommonWindowHandling, AFrameThatDoesNotMoveOffersNoHitCode) {
  HWND window = MakeProgramWindow(kFrameDontMove, WS_POPUP);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(HTNOWHERE, SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(60, 60)));
  EXPECT_EQ(1, SendMessageA(window, WM_SYSCOMMAND, SC_MOVE, 0));
  DestroyWindow(window);
}

TEST(CommonWindowHandling, SizingLimitsComeFromTheSkinOrElseTheWorkArea) {
  HWND window = MakeProgramWindow(0, WS_POPUP);
  ASSERT_NE(nullptr, window);
  MINMAXINFO info = {};
  EXPECT_EQ(0, SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)));
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_EQ(monitor.rcWork.right - monitor.rcWork.left, info.ptMaxSize.x);
  EXPECT_EQ(monitor.rcWork.bottom - monitor.rcWork.top, info.ptMaxSize.y);
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  record->skin->maximumSize[0] = 640;
  record->skin->maximumSize[1] = 480;
  record->skin->minimumTrackingSize[0] = 120;
  record->skin->minimumTrackingSize[1] = 90;
  info = MINMAXINFO{};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(640, info.ptMaxSize.x);
  EXPECT_EQ(480, info.ptMaxSize.y);
  EXPECT_EQ(120, info.ptMinTrackSize.x);
  EXPECT_EQ(90, info.ptMinTrackSize.y);
  DestroyWindow(window);
}

}  // namespace
