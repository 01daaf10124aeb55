// The window functions of script, driven by page script through the host
// object: opening windows with pages, moving and sizing them, showing and
// state read back from the platform, modality over the owner, owned
// windows closing with their owner, frame attributes, and placement on
// every monitor's work area.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "container_test_support.h"
#include "host/browser_container.h"
#include "host/host_object.h"
#include "host/script_calls.h"
#include "host/window_functions.h"
#include "package/definitions_list.h"
#include "test_support.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"
#include "windows/records.h"

namespace {

using container_test::Narrow;
using container_test::WaitUntil;

// Script helpers every page of these tests has: the members' arrays as
// JScript arrays, and a new window opened with ZEQNewWindow.
const char kHelpers[] =
    "function arr(v) { return new VBArray(v).toArray(); }"
    "function open(url, title, flags) {"
    "  var r = arr(window.external.ZEQNewWindow(null, url, title, 30, 40, 320, 240, 0, null, title, '', flags, ''));"
    "  opened = r[1]; return r[0]; }";

class WindowFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    // Window events reach pages through the script calls.
    ZEQInstallScriptCalls();
    ZEQInstallWindowFunctions();
    ZEQInstallHostObject();
  }
  void TearDown() override {
    for (HWND window : opened_) {
      if (IsWindow(window)) DestroyWindow(window);
    }
    pages_.Close();
    ZEQRegisterHostMemberTable(KestoMemberTable::kWindowFunctions, nullptr);
    container_test::UseRecorderAsHostObject();
    OleUninitialize();
  }

  HWND OpenPage() { return pages_.Open(WB_ALLOWSZEQ, kHelpers); }
  std::wstring Evaluate(HWND window, const std::wstring& expression) { return pages_.Evaluate(window, expression); }

  // A page file whose script sets "loaded"; its URL.
  std::wstring ChildUrl(const std::wstring& name, const char* script = "") {
    pages_.Folder().Write(name, std::string("<html><body><script>") + kHelpers + script +
                                    "var loaded = 1;</script></body></html>");
    return pages_.Folder().Url(name);
  }

  // Opens a window titled `title` from the page of `from`; the new window
  // once its page ran, or null.
  HWND OpenFrom(HWND from, const std::wstring& title, uint32_t flags, const char* script = "") {
    const std::wstring url = ChildUrl(title + L".html", script);
    const std::wstring status =
        Evaluate(from, L"open('" + url + L"', '" + title + L"', " + std::to_wstring(flags) + L")");
    EXPECT_EQ(L"0", status) << Narrow(title);
    HWND window = FindWindowW(L"KESTO Window", title.c_str());
    if (!window) return nullptr;
    opened_.push_back(window);
    if (!WaitUntil([&] { return container_test::PageGlobal(window, L"loaded") == L"1"; })) return nullptr;
    return window;
  }

  std::vector<HWND> opened_;
  container_test::ContainerPages pages_;
};

RECT RectOf(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

TEST_F(WindowFunctions, ANewWindowGetsItsPageAndItsRectangle) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Opened", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  const RECT rect = RectOf(window);
  EXPECT_EQ(30, rect.left);
  EXPECT_EQ(40, rect.top);
  EXPECT_EQ(320, rect.right - rect.left);
  EXPECT_EQ(240, rect.bottom - rect.top);
  // The answer's container is the new window's, which script hands back.
  EXPECT_EQ(L"0,30,40,350,280", Evaluate(page, L"arr(window.external.ZEQGetWindowRect(opened)).join()"));
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQValidateWindow(opened)"));
  EXPECT_EQ(L"0,ZEQ", Evaluate(page, L"arr(window.external.ZEQGetWindowOpenerType(opened)).join()"));
  // The new window's owner is the calling page's window.
  EXPECT_EQ(page, GetWindow(window, GW_OWNER));
  EXPECT_EQ(L"true", Evaluate(window, L"arr(window.external.ZEQGetParentWindow())[1] != null"));
}

TEST_F(WindowFunctions, CallsOutsideTheirRulesAnswerTheirFailureForms) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  struct Case {
    const char* name;
    const wchar_t* expression;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"new window with twelve arguments", L"window.external.ZEQNewWindow(1,2,3,4,5,6,7,8,9,10,11,12)",
       L"error:8002000e"},
      {"focus read as a property", L"window.external.ZEQGetFocus", L"error:80020003"},
      {"size with two arguments", L"window.external.ZEQSetWindowSize(1, 2)", L"error:8002000e"},
      {"validate a number", L"window.external.ZEQValidateWindow(5)", L"2"},
      {"rectangle of no container", L"arr(window.external.ZEQGetWindowRect(5)).join()", L"2"},
      {"best position of no container", L"window.external.ZEQGetBestPosition(5)", L"{ \"left\": -1, \"top\": -1 }"},
      {"close no container", L"window.external.ZEQCloseWindow(5, 1, 0)", L"2"},
      {"unknown attribute", L"window.external.ZEQSetWindowAttributes(arr(window.external.ZEQGetWindow())[1], 3, 1)",
       L"2"},
      {"base window of the page's own window", L"arr(window.external.ZEQGetBaseWindow())[0]", L"0"},
      {"main window when none was made", L"arr(window.external.ZEQGetMainWindow()).join()", L"2"},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.expected), Evaluate(page, c.expression)) << c.name;
}

TEST_F(WindowFunctions, MovesAndSizesKeepWhatTheirArgumentsAskToKeep) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Moved", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  struct Case {
    const char* name;
    const wchar_t* call;
    RECT expected;  // left, top, width, height
  };
  const Case cases[] = {
      {"position and size", L"ZEQSetWindowPos(opened, 50, 60, 300, 200)", {50, 60, 300, 200}},
      {"both sizes negative move only", L"ZEQSetWindowPos(opened, 70, 80, -1, -1)", {70, 80, 300, 200}},
      {"negative width keeps the width", L"ZEQSetWindowSize(opened, -5, 150)", {70, 80, 300, 150}},
      {"negative height keeps the height", L"ZEQSetWindowSize(opened, 260, -1)", {70, 80, 260, 150}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(L"0", Evaluate(page, std::wstring(L"window.external.") + c.call)) << c.name;
    const RECT rect = RectOf(window);
    EXPECT_EQ(c.expected.left, rect.left) << c.name;
    EXPECT_EQ(c.expected.top, rect.top) << c.name;
    EXPECT_EQ(c.expected.right, rect.right - rect.left) << c.name;
    EXPECT_EQ(c.expected.bottom, rect.bottom - rect.top) << c.name;
  }
}

TEST_F(WindowFunctions, FittingToTheCursorMonitorKeepsTheWindowInsideItsWorkArea) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Fitted", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  POINT cursor = {};
  ASSERT_TRUE(GetCursorPos(&cursor));
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetMonitorInfoA(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &info));
  const RECT area = info.rcWork;
  const std::wstring call = L"window.external.ZEQSetWindowPos(opened, " + std::to_wstring(area.left - 20) + L", " +
                            std::to_wstring(area.bottom - 100) + L", 300, 400, true)";
  EXPECT_EQ(L"0", Evaluate(page, call));
  const RECT rect = RectOf(window);
  EXPECT_EQ(area.left, rect.left);
  EXPECT_EQ(300, rect.right - rect.left);
  EXPECT_EQ(area.bottom, rect.bottom);
}

// A page that records the window's state events in order; a "before"
// event named in refuse is refused.
const char kStateEvents[] =
    "var events = ''; var refuse = '';"
    "function note(name) { events += (events ? ',' : '') + name; return refuse != name; }"
    "function ZEQOnBeforeMinimizeWindow(ibc) { return note('BeforeMinimize'); }"
    "function ZEQOnAfterMinimizeWindow(ibc) { note('AfterMinimize'); }"
    "function ZEQOnBeforeMaximizeWindow(ibc) { return note('BeforeMaximize'); }"
    "function ZEQOnAfterMaximizeWindow(ibc) { note('AfterMaximize'); }"
    "function ZEQOnBeforeRestoreWindow(ibc) { return note('BeforeRestore'); }"
    "function ZEQOnAfterRestoreWindow(ibc) { note('AfterRestore'); }";

TEST_F(WindowFunctions, ShowHideMinimizeMaximizeAndRestoreReachThePlatformWithTheirEvents) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Stated", WB_ALLOWSMINIMIZE | WB_ALLOWSMAXIMIZE, kStateEvents);
  ASSERT_NE(nullptr, window);
  struct Step {
    const char* name;
    const wchar_t* refuse;  // the event the window's page refuses
    const wchar_t* call;
    UINT showCommand;  // of GetWindowPlacement
    bool visible;
    uint32_t stateBits;  // maximized 1, minimized 2, visible 0x200 of ZEQGetWindowState
    const wchar_t* events;  // what the window's page heard, in order
  };
  const Step steps[] = {
      {"shown without activation", L"", L"ZEQShowWindow(false, true, opened, '')", SW_SHOWNORMAL, true, 0x200, L""},
      {"minimized", L"", L"ZEQMinimizeWindow(opened)", SW_SHOWMINIMIZED, true, 0x202,
       L"BeforeMinimize,AfterMinimize"},
      {"maximize of a minimized window restores", L"", L"ZEQMaximizeWindow(opened)", SW_SHOWNORMAL, true, 0x200,
       L"BeforeRestore,AfterRestore"},
      {"a refused maximize leaves the window", L"BeforeMaximize", L"ZEQMaximizeWindow(opened)", SW_SHOWNORMAL, true,
       0x200, L"BeforeMaximize"},
      {"maximized", L"", L"ZEQMaximizeWindow(opened)", SW_SHOWMAXIMIZED, true, 0x201,
       L"BeforeMaximize,AfterMaximize"},
      {"restore of a maximized window", L"", L"ZEQRestoreWindow(opened)", SW_SHOWNORMAL, true, 0x200,
       L"BeforeRestore,AfterRestore"},
      {"a refused minimize leaves the window", L"BeforeMinimize", L"ZEQMinimizeWindow(opened)", SW_SHOWNORMAL, true,
       0x200, L"BeforeMinimize"},
      {"hidden", L"", L"ZEQShowWindow(false, opened)", SW_HIDE, false, 0, L""},
  };
  for (const Step& step : steps) {
    ASSERT_EQ(S_OK, container_test::PageExec(window, std::wstring(L"events = ''; refuse = '") + step.refuse + L"';"))
        << step.name;
    EXPECT_EQ(L"0", Evaluate(page, std::wstring(L"window.external.") + step.call)) << step.name;
    // The "after" event is posted: wait for the page to have heard it.
    EXPECT_TRUE(WaitUntil([&] { return container_test::PageGlobal(window, L"events") == step.events; }))
        << step.name << ": " << Narrow(container_test::PageGlobal(window, L"events"));
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    ASSERT_TRUE(GetWindowPlacement(window, &placement));
    if (step.showCommand != SW_HIDE) {
      EXPECT_EQ(step.showCommand, placement.showCmd) << step.name;
    }
    EXPECT_EQ(step.visible, IsWindowVisible(window) != FALSE) << step.name;
    EXPECT_EQ(step.showCommand == SW_SHOWMINIMIZED, IsIconic(window) != FALSE) << step.name;
    EXPECT_EQ(step.showCommand == SW_SHOWMAXIMIZED, IsZoomed(window) != FALSE) << step.name;
    const std::wstring state = Evaluate(page, L"arr(window.external.ZEQGetWindowState(opened))[1] & 0x203");
    EXPECT_EQ(std::to_wstring(step.stateBits), state) << step.name;
  }
}

// A page that records the window events of visibility, position, size
// and input in order, with the visibility's value; every handler gets its
// container's object first.
const char kWindowEvents[] =
    "var events = '';"
    "function note(name, ibc) { events += (events ? ',' : '') + name + (ibc && ibc.Id ? '' : '!noibc'); }"
    "function ZEQOnBeforeWindowVisible(ibc, a) { note('BeforeVisible(' + a + ')', ibc); }"
    "function ZEQOnAfterWindowVisible(ibc, a) { note('AfterVisible(' + a + ')', ibc); }"
    "function ZEQOnWindowMoved(ibc, a) { note('Moved', ibc); }"
    "function ZEQOnWindowSized(ibc, a) { note('Sized', ibc); }"
    "function ZEQOnEnableWindow(ibc) { note('Enabled', ibc); }"
    "function ZEQOnDisableWindow(ibc) { note('Disabled', ibc); }";

TEST_F(WindowFunctions, WindowChangesReachTheWindowsPageAsEventsInOrder) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Watched", 0, kWindowEvents);
  ASSERT_NE(nullptr, window);
  struct Step {
    const char* name;
    const wchar_t* call;
    const wchar_t* events;
  };
  const Step steps[] = {
      {"shown", L"ZEQShowWindow(false, true, opened, '')", L"BeforeVisible(true),AfterVisible(true)"},
      {"moved", L"ZEQSetWindowPos(opened, 60, 70, -1, -1)", L"Moved"},
      {"sized", L"ZEQSetWindowSize(opened, 300, 220)", L"Sized"},
      {"disabled", L"ZEQEnableWindow(false, opened)", L"Disabled"},
      {"enabled", L"ZEQEnableWindow(true, opened)", L"Enabled"},
      {"hidden", L"ZEQShowWindow(false, opened)", L"BeforeVisible(false),AfterVisible(false)"},
  };
  for (const Step& step : steps) {
    ASSERT_EQ(S_OK, container_test::PageExec(window, L"events = '';")) << step.name;
    EXPECT_EQ(L"0", Evaluate(page, std::wstring(L"window.external.") + step.call)) << step.name;
    // The events are posted: wait for the page to have heard them all.
    EXPECT_TRUE(WaitUntil([&] { return container_test::PageGlobal(window, L"events") == step.events; }))
        << step.name << ": " << Narrow(container_test::PageGlobal(window, L"events"));
  }
}

TEST_F(WindowFunctions, StateCommandsKeepToTheWindowsFrameFlags) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  // Opened without the minimize and maximize flags.
  HWND window = OpenFrom(page, L"Fixed", WB_VISIBLE, kStateEvents);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQMinimizeWindow(opened)"));
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQMaximizeWindow(opened)"));
  EXPECT_FALSE(IsIconic(window));
  EXPECT_FALSE(IsZoomed(window));
  EXPECT_EQ(L"", container_test::PageGlobal(window, L"events"));
}

TEST_F(WindowFunctions, AWaiterGetsTheCloseValueOfTheWindowItWaitedFor) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  struct Case {
    const char* name;
    const wchar_t* title;
    const wchar_t* closeValue;  // script value passed to ZEQCloseWindow
    const wchar_t* expected;    // the waiter's answer, joined
  };
  const Case cases[] = {
      {"a text value", L"Waited", L"'bye'", L"0,bye"},
      {"a number", L"Counted", L"42", L"0,42"},
      {"no value", L"Empty", L"null", L"0,"},
  };
  for (const Case& c : cases) {
    HWND window = OpenFrom(page, c.title, WB_VISIBLE);
    ASSERT_NE(nullptr, window) << c.name;
    // The close is posted; the wait pumps the page's thread, which runs it.
    const std::wstring script = std::wstring(L"(window.external.ZEQCloseWindow(opened, ") + c.closeValue +
                                L", 0), arr(window.external.ZEQWaitWindowToClose(opened, 1)).join())";
    EXPECT_EQ(std::wstring(c.expected), Evaluate(page, script)) << c.name;
    EXPECT_FALSE(IsWindow(window)) << c.name;
  }
  EXPECT_EQ(L"2", Evaluate(page, L"arr(window.external.ZEQWaitWindowToClose(5)).join()"));
}

TEST_F(WindowFunctions, ExclusiveWindowsAreListedAsTheirContainers) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Alone", WB_VISIBLE | WB_EXCLUSIVE);
  ASSERT_NE(nullptr, window);
  HWND plain = OpenFrom(page, L"Crowd", WB_VISIBLE);
  ASSERT_NE(nullptr, plain);
  const std::wstring found = Evaluate(page,
      L"(function () { var list = arr(window.external.ZEQEnumExclusiveWindows()), mine = 0, others = 0;"
      L"for (var i = 1; i < list.length; ++i) {"
      L"  if (list[i] && list[i].Id == opened.Id) ++others;"
      L"  if (list[i] && list[i].URL.indexOf('Alone.html') >= 0) ++mine; }"
      L"return list[0] + ':' + mine + ':' + others; })()");
  // The exclusive window is there once; the plain one (opened last) not.
  EXPECT_EQ(L"0:1:0", found);
}

TEST_F(WindowFunctions, SizeLimitsAreAnsweredAtTheWindowsNextSizeQuery) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Limited", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQSetWindowMinMaxInfo(opened, 800, 600, 10, 20, 900, 700, 150, "
                                 L"120)"));
  MINMAXINFO info = {};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(800, info.ptMaxSize.x);
  EXPECT_EQ(600, info.ptMaxSize.y);
  EXPECT_EQ(10, info.ptMaxPosition.x);
  EXPECT_EQ(20, info.ptMaxPosition.y);
  EXPECT_EQ(std::min<LONG>(900, GetSystemMetrics(SM_CXMAXTRACK)), info.ptMaxTrackSize.x);
  EXPECT_EQ(std::min<LONG>(700, GetSystemMetrics(SM_CYMAXTRACK)), info.ptMaxTrackSize.y);
  EXPECT_EQ(150, info.ptMinTrackSize.x);
  EXPECT_EQ(120, info.ptMinTrackSize.y);
  EXPECT_EQ(L"2", Evaluate(page, L"window.external.ZEQSetWindowMinMaxInfo(5, 1, 2, 3, 4, 5, 6, 7, 8)"));
}

TEST_F(WindowFunctions, ContainerSizesAddTheSkinsFrameAroundTheContainer) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Framed", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  // Without a skin of its own the window has no frame to add.
  EXPECT_EQ(L"2", Evaluate(page, L"window.external.ZEQSetContainerSize(opened, 200, 100)"));
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  ASSERT_TRUE(record.IsSet());
  ZEQBASESKIN* skin = record->skin.Get();
  ASSERT_NE(nullptr, skin);
  skin->definitions = DefinitionsList::Create();
  skin->deleteDefinitions = DefinitionsList::Delete;
  const int insets[4] = {5, 20, 7, 9};  // left, top, right, bottom
  memcpy(skin->elements[0].client.area, insets, sizeof insets);
  ASSERT_TRUE(record->container.IsSet());
  HWND host = record->container->hostWindow;
  record.Reset();
  ASSERT_NE(nullptr, host);
  const RECT before = RectOf(host);
  struct Case {
    const char* name;
    const wchar_t* size;
    int width, height;  // of the window afterwards
  };
  const Case cases[] = {
      {"both given", L"200, 100", 212, 129},
      {"-1 keeps the container's width", L"-1, 150", before.right - before.left + 12, 179},
      {"-1 keeps the container's height", L"240, -1", 252, before.bottom - before.top + 29},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(L"0", Evaluate(page, std::wstring(L"window.external.ZEQSetContainerSize(opened, ") + c.size + L")"))
        << c.name;
    const RECT rect = RectOf(window);
    EXPECT_EQ(c.width, rect.right - rect.left) << c.name;
    EXPECT_EQ(c.height, rect.bottom - rect.top) << c.name;
    // Only the size changes.
    EXPECT_EQ(30, rect.left) << c.name;
    EXPECT_EQ(40, rect.top) << c.name;
    // The next case keeps the host window's size from here.
    SetWindowPos(host, nullptr, 0, 0, before.right - before.left, before.bottom - before.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

TEST_F(WindowFunctions, AModalWindowDisablesItsOwnerUntilItCloses) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  ZEQWindowHolder owner = ZEQGetWindowParam(page);
  ASSERT_TRUE(owner.IsSet());
  HWND modal = OpenFrom(page, L"Modal", WB_VISIBLE | WB_MODAL);
  ASSERT_NE(nullptr, modal);
  EXPECT_FALSE(IsWindowEnabled(page));
  EXPECT_FALSE(ZEQWindowAcceptsInput(page));
  EXPECT_EQ(modal, owner->modalChild);
  // The owner refuses to close while the modal window is over it.
  EXPECT_EQ(L"502", Evaluate(modal, L"window.external.ZEQCloseWindow(arr(window.external.ZEQGetParentWindow())[1], 0, 0)"));
  EXPECT_TRUE(IsWindow(page));

  EXPECT_EQ(L"0", Evaluate(modal, L"window.external.ZEQCloseWindow(arr(window.external.ZEQGetWindow())[1], 'done', 0)"));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(modal) && IsWindowEnabled(page); }));
  EXPECT_TRUE(ZEQWindowAcceptsInput(page));
  EXPECT_EQ(0u, owner->frameFlags & kFrameCloseDenied);
  EXPECT_EQ(nullptr, owner->modalChild);
}

TEST_F(WindowFunctions, AWindowWithoutModalLeavesItsOwnerEnabled) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Modeless", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(IsWindowEnabled(page));
  EXPECT_TRUE(ZEQWindowAcceptsInput(page));
}

TEST_F(WindowFunctions, OwnedWindowsCloseWithTheirOwner) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND first = OpenFrom(page, L"Leader", WB_VISIBLE);
  ASSERT_NE(nullptr, first);
  HWND second = OpenFrom(first, L"Follower", WB_VISIBLE);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(first, GetWindow(second, GW_OWNER));
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQCloseWindow(opened, 'bye', 0)"));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(first) && !IsWindow(second); }));
  EXPECT_TRUE(IsWindow(page));
}

TEST_F(WindowFunctions, SimulatedModalBeginAndEndLeaveTheCountsAsTheyWere) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  ZEQWindowHolder record = ZEQGetWindowParam(page);
  ASSERT_TRUE(record.IsSet());
  const std::wstring self = L"arr(window.external.ZEQGetWindow())[1]";
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQWindowSimulateModal(" + self + L", 9)"));
  EXPECT_FALSE(ZEQWindowAcceptsInput(page));
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQWindowSimulateModal(" + self + L", 10)"));
  EXPECT_TRUE(ZEQWindowAcceptsInput(page));
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQWindowSimulateModal(" + self + L", 7)"));
  EXPECT_EQ(0u, record->modalState[0]);
  EXPECT_EQ(0u, record->modalState[1]);
  EXPECT_EQ(nullptr, record->modalChild);
  EXPECT_TRUE(IsWindowEnabled(page));
  EXPECT_EQ(0u, record->frameFlags & kFrameCloseDenied);
}

TEST_F(WindowFunctions, FrameAttributesChangeOnlyTheFlagTheyName) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  ZEQWindowHolder record = ZEQGetWindowParam(page);
  ASSERT_TRUE(record.IsSet());
  struct Step {
    const char* name;
    int attribute;
    int value;
    LONG_PTR style;  // the style bits asked about and what they must be
    LONG_PTR expectedStyle;
    uint32_t frameBits;
    uint32_t expectedFrame;
  };
  const LONG_PTR boxes = WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  const Step steps[] = {
      {"minimize set", 2, 1, boxes, WS_MINIMIZEBOX, kFrameAllowMinimize | kFrameAllowMaximize, kFrameAllowMinimize},
      {"maximize set", 4, 1, boxes, boxes, kFrameAllowMinimize | kFrameAllowMaximize, kFrameAllowMinimize | kFrameAllowMaximize},
      {"minimize cleared keeps maximize", 2, 0, boxes, WS_MAXIMIZEBOX, kFrameAllowMinimize | kFrameAllowMaximize, kFrameAllowMaximize},
      {"maximize cleared", 4, 0, boxes, 0, kFrameAllowMinimize | kFrameAllowMaximize, 0},
      {"resize grip set", 16, 1, WS_THICKFRAME, WS_THICKFRAME, kFrameResizeGrip, kFrameResizeGrip},
      {"resize grip cleared", 16, 0, WS_THICKFRAME, 0, kFrameResizeGrip, 0},
      {"close denied once", 1, 1, 0, 0, kFrameCloseDenied, kFrameCloseDenied},
      {"close denied twice", 1, 1, 0, 0, kFrameCloseDenied, kFrameCloseDenied},
      {"one allow leaves it denied", 1, 0, 0, 0, kFrameCloseDenied, kFrameCloseDenied},
      {"second allow allows", 1, 0, 0, 0, kFrameCloseDenied, 0},
      {"frame fixed", 1024, 1, 0, 0, kFrameDontMove, kFrameDontMove},
  };
  for (const Step& step : steps) {
    const std::wstring call = L"window.external.ZEQSetWindowAttributes(arr(window.external.ZEQGetWindow())[1], " +
                              std::to_wstring(step.attribute) + L", " + std::to_wstring(step.value) + L")";
    EXPECT_EQ(L"0", Evaluate(page, call)) << step.name;
    EXPECT_EQ(step.expectedStyle, GetWindowLongPtrA(page, GWL_STYLE) & step.style) << step.name;
    EXPECT_EQ(step.expectedFrame, record->frameFlags & step.frameBits) << step.name;
  }
  EXPECT_EQ(L"0,1024",
            Evaluate(page, L"arr(window.external.ZEQGetWindowAttributes(arr(window.external.ZEQGetWindow())[1])).join()"));
}

TEST_F(WindowFunctions, APositionFollowerSitsCentredUnderItsLeaderAndFollowsItsMoves) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND leader = OpenFrom(page, L"PositionLeader", WB_VISIBLE);
  ASSERT_NE(nullptr, leader);
  ASSERT_EQ(L"0", Evaluate(page, L"(leader = opened, window.external.ZEQSetWindowPos(leader, 100, 50, 400, 300))"));
  HWND follower = OpenFrom(page, L"PositionFollower", WB_VISIBLE);
  ASSERT_NE(nullptr, follower);
  ASSERT_EQ(L"0", Evaluate(page, L"window.external.ZEQSetWindowPos(opened, 10, 10, 200, 100)"));
  const std::wstring placement =
      L"window.external.ZEQSetWindowPlacement(opened, null, null, null, leader, null, 'bottom-center', ";
  ASSERT_EQ(L"0", Evaluate(page, placement + L"0)"));
  // Attaching moves the follower at once.
  EXPECT_TRUE(WaitUntil([&] { return RectOf(follower).left == 200 && RectOf(follower).top == 350; }))
      << RectOf(follower).left << "," << RectOf(follower).top;

  // The leader moves; its position change makes the follower follow.
  ZEQWindowHolder record = ZEQGetWindowParam(leader);
  ASSERT_TRUE(record.IsSet());
  SetWindowPos(leader, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ZEQSyncDependentWindows(nullptr, nullptr, kSyncMove, record);
  EXPECT_EQ(400, RectOf(follower).left);
  EXPECT_EQ(500, RectOf(follower).top);

  // Detached, it stays where it is.
  ASSERT_EQ(L"0", Evaluate(page, placement + L"1)"));
  SetWindowPos(leader, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ZEQSyncDependentWindows(nullptr, nullptr, kSyncMove, record);
  EXPECT_EQ(400, RectOf(follower).left);
  EXPECT_EQ(500, RectOf(follower).top);
}

TEST_F(WindowFunctions, ShowHideFollowersHideBeforeTheirLeader) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND leader = OpenFrom(page, L"VisibilityLeader", WB_VISIBLE);
  ASSERT_NE(nullptr, leader);
  ASSERT_EQ(L"0", Evaluate(page, L"(leader = opened, 0)"));
  HWND follower = OpenFrom(page, L"VisibilityFollower", WB_VISIBLE);
  ASSERT_NE(nullptr, follower);
  ASSERT_EQ(L"0", Evaluate(page, L"window.external.ZEQShowWindow(true, opened)"));
  ASSERT_EQ(L"0", Evaluate(page, L"window.external.ZEQShowWindow(true, leader)"));
  ASSERT_EQ(L"0", Evaluate(page, L"window.external.ZEQSetWindowPlacement(opened, null, null, leader, null, null, '', 0)"));
  EXPECT_TRUE(IsWindowVisible(follower));
  EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQShowWindow(false, leader)"));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(follower) && !IsWindowVisible(leader); }));
}

TEST(WindowPlacementRules, CentringKeepsTheWindowInsideTheAreaWithItsOrigin) {
  struct Case {
    const char* name;
    RECT area;
    int width, height;
    POINT expected;
  };
  const Case cases[] = {
      {"centred in the primary area", {0, 0, 1024, 768}, 300, 200, {362, 284}},
      {"wider than the area sits on its left edge", {0, 0, 1024, 768}, 2000, 200, {0, 284}},
      {"centred on a monitor right of the primary", {1280, 0, 2304, 768}, 300, 200, {1642, 284}},
      {"wider than a second monitor stays on it", {1280, 0, 2304, 768}, 2000, 200, {1280, 284}},
      {"taller than a monitor below stays on it", {0, 1024, 800, 1624}, 300, 900, {250, 1024}},
      {"a monitor left of the primary", {-1024, 0, 0, 768}, 300, 200, {-662, 284}},
  };
  for (const Case& c : cases) {
    const POINT at = zeqwindows::CenterInArea(c.area, c.width, c.height);
    EXPECT_EQ(c.expected.x, at.x) << c.name;
    EXPECT_EQ(c.expected.y, at.y) << c.name;
  }
}

TEST(WindowPlacementRules, FittingKeepsPositionAndSizeInsideTheAreaEdges) {
  struct Case {
    const char* name;
    RECT area;
    RECT given;  // x, y, width, height
    RECT expected;
  };
  const Case cases[] = {
      {"left of the area moves onto its edge", {0, 0, 1024, 768}, {-20, 10, 300, 200}, {0, 10, 300, 200}},
      {"overflowing the right edge shrinks", {0, 0, 1024, 768}, {900, 10, 300, 200}, {900, 10, 124, 200}},
      {"second monitor: left of it moves onto it", {1280, 0, 2304, 768}, {100, 10, 300, 200}, {1280, 10, 300, 200}},
      {"second monitor: bottom overflow shrinks", {1280, 0, 2304, 768}, {1300, 700, 300, 200}, {1300, 700, 300, 68}},
  };
  for (const Case& c : cases) {
    int x = c.given.left, y = c.given.top, width = c.given.right, height = c.given.bottom;
    zeqwindows::FitInArea(c.area, &x, &y, &width, &height);
    EXPECT_EQ(c.expected.left, x) << c.name;
    EXPECT_EQ(c.expected.top, y) << c.name;
    EXPECT_EQ(c.expected.right, width) << c.name;
    EXPECT_EQ(c.expected.bottom, height) << c.name;
  }
}

TEST(WindowPlacementRules, RelationWordsAreWholeWordsInAnyCase) {
  struct Case {
    const char* text;
    uint32_t expected;
  };
  const Case cases[] = {
      {"", 0},
      {"callerfriend", kRelationCallerFriend},
      {"ParentFriend notifyparent", kRelationParentFriend | kRelationNotifyParent},
      {"callerfriendly", 0},
      {"unknown callerfriend", kRelationCallerFriend},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, ZEQParseWindowRelations(c.text)) << c.text;
}

BOOL CALLBACK CollectWorkArea(HMONITOR monitor, HDC, RECT*, LPARAM data) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (GetMonitorInfoA(monitor, &info)) reinterpret_cast<std::vector<RECT>*>(data)->push_back(info.rcWork);
  return TRUE;
}

// Every monitor the display has (two under an Xvfb with two screens joined
// by Xinerama): a window centred on a monitor's work area lands inside it.
TEST_F(WindowFunctions, CentringLandsOnTheMonitorTheWindowIsOn) {
  HWND page = OpenPage();
  ASSERT_NE(nullptr, page);
  HWND window = OpenFrom(page, L"Centred", WB_VISIBLE);
  ASSERT_NE(nullptr, window);
  std::vector<RECT> areas;
  EnumDisplayMonitors(nullptr, nullptr, CollectWorkArea, reinterpret_cast<LPARAM>(&areas));
  ASSERT_FALSE(areas.empty());
  for (const RECT& area : areas) {
    // Put the window on the monitor (its top-left corner inside), then
    // centre it there.
    SetWindowPos(window, nullptr, area.left + 5, area.top + 5, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT before = RectOf(window);
    ASSERT_EQ(area.left + 5, before.left);
    EXPECT_EQ(L"0", Evaluate(page, L"window.external.ZEQShowWindow(true, opened, 'center')"));
    const RECT rect = RectOf(window);
    const POINT expected = zeqwindows::CenterInArea(area, 300, 200);
    EXPECT_EQ(expected.x, rect.left) << area.left << "," << area.top;
    EXPECT_EQ(expected.y, rect.top) << area.left << "," << area.top;
    EXPECT_GE(rect.left, area.left);
    EXPECT_LE(rect.right, area.right);
  }
}

}  // namespace
