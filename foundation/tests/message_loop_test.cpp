// Thread message loops: how they end, the quit they leave behind, and the
// dialog window they hand to the host's hook.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/list.h"
#include "foundation/process_state.h"
#include "foundation/waits.h"
#include "log_capture.h"

namespace {

constexpr UINT kPing = WM_APP + 7;

std::atomic<int> g_pings{0};
// Set while a UI thread's windows are listed: destroyed windows leave it.
ZEQList* g_windows = nullptr;

// Stands in for the program's window procedure: a window marked
// "POSTQUITONDESTROY" ends its thread's loop when destroyed, and a window
// leaves its thread's window list.
LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) {
    ++g_pings;
    return 0;
  }
  if (message == WM_DESTROY) {
    if (GetPropA(window, "POSTQUITONDESTROY")) PostQuitMessage(6);
    RemovePropA(window, "POSTQUITONDESTROY");
    if (g_windows) ZEQList::Remove(&g_windows, reinterpret_cast<uintptr_t>(window));
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "MessageLoopTestWindow";
  RegisterClassA(&windowClass);
  return CreateWindowA("MessageLoopTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// The exit codes of the quits queued for this thread (taken).
std::vector<int> TakeQuits() {
  std::vector<int> codes;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) codes.push_back(int(message.wParam));
  }
  return codes;
}

std::vector<HWND> g_dialogs;
BOOL RecordDialog(MSG* message, HWND dialog) {
  if (message->message == kPing) g_dialogs.push_back(dialog);
  return TRUE;
}

TEST(MessageLoop, TheMainLoopEndsWhenItsWindowIsDestroyed) {
  g_pings = 0;
  HWND window = MakeWindow();
  std::thread later([window] {
    Sleep(30);
    PostMessageA(window, kPing, 0, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(1, GetMessageExt(window, nullptr));
  later.join();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(1, g_pings.load());
  // The quit is left for an enclosing loop.
  EXPECT_EQ(std::vector<int>{6}, TakeQuits());
}

TEST(MessageLoop, AUIThreadLoopEndsOnceItsWindowListEmpties) {
  g_pings = 0;
  g_dialogs.clear();
  std::vector<int> quits;
  HWND windows[2] = {};
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int result = 0;
  std::thread ui([&] {
    ZEQList::Create(&g_windows);
    for (HWND& window : windows) {
      window = MakeWindow();
      ZEQList::InsertByPointer(&g_windows, reinterpret_cast<uintptr_t>(window), 0x7FFFFFFF, 0, 0, 0x80000000u);
    }
    ZEQUIThreadWindowList list = {g_windows};
    ZEQPreTranslateHook previous = ZEQSetPreTranslateHook(RecordDialog);
    SetEvent(ready);
    result = GetMessageExt(windows[0], &list);
    ZEQSetPreTranslateHook(previous);
    quits = TakeQuits();
    ZEQList::DeleteAt(&g_windows);
  });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
  PostMessageA(windows[1], kPing, 0, 0);
  Sleep(30);
  PostMessageA(windows[0], WM_CLOSE, 0, 0);
  PostMessageA(windows[1], kPing, 0, 0);
  PostMessageA(windows[1], WM_CLOSE, 0, 0);
  ui.join();
  CloseHandle(ready);

  EXPECT_EQ(1, result);
  EXPECT_EQ(2, g_pings.load());
  // The window without the property left no quit of its own: the loop made
  // one WM_QUIT(0) when the list emptied, and left it queued.
  EXPECT_EQ(std::vector<int>{0}, quits);
  EXPECT_FALSE(GetPropA(windows[0], "POSTQUITONDESTROY"));
  // The dialog window is the list's first window while it holds any.
  const std::vector<HWND> dialogs = {windows[0], windows[1]};
  EXPECT_EQ(dialogs, g_dialogs);
}

TEST(MessageLoop, AFailedGetMessageIsLoggedAndEndsTheLoop) {
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(0, CheckGetMessageResult(-1));
  EXPECT_EQ(5, CheckGetMessageResult(5));
  EXPECT_EQ(0, CheckGetMessageResult(0));
  EXPECT_EQ(std::vector<std::string>{"*** CRITICAL: GetMessageExt: returned -1"}, log.Texts());
}

}  // namespace
