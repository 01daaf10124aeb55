// The instance name, kernel-object names, the search for the running
// instance's main window and the send-command section.
#include "host/instance_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/heap.h"
#include "foundation/instance_name.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "package/application_settings.h"

namespace {

constexpr DWORD kBound = 10000;  // every wait of these tests ends by then

std::string TakeText(char* text) {
  std::string result = text ? text : "<null>";
  HeapFreeZ(text);
  return result;
}

std::string Pid8() {
  char text[16];
  snprintf(text, sizeof text, "%08X", unsigned(GetCurrentProcessId()));
  return text;
}

// The instance name, the explicit name and the identifiers are put back
// after each test.
class InstanceNames : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ZEQInstanceNameBuffer();
    explicit_ = ZEQGetExplicitInstanceName();
    const ApplicationSettings* s = GetApplicationSettings();
    ids_[0] = s->publisherId;
    ids_[1] = s->id;
    ids_[2] = s->platformId;
  }
  void TearDown() override {
    ZEQSetInstanceName(name_.c_str());
    ZEQSetExplicitInstanceName(explicit_.c_str());
    ApplicationSettings* s = GetApplicationSettings();
    s->publisherId = ids_[0];
    s->id = ids_[1];
    s->platformId = ids_[2];
  }

 private:
  std::string name_;
  std::string explicit_;
  int32_t ids_[3];
};

TEST_F(InstanceNames, TheRuleOfTheName) {
  const std::string longName(600, 'n');
  const struct {
    const char* explicitName;
    const char* custom;  // what the package put into the name
    int32_t publisherId, id, platformId;
    std::string expected;
  } cases[] = {
      {"MyPhone", "PackageText", 0x12, 0x345, 2, "MyPhone"},
      {"", "PackageText", 0x12, 0x345, 2, "PackageText"},
      {"", "", 0x12, 0x345, 2, ".ZEQ{0012.0000.0345.0002}"},
      {"", "", 0, 0x12345, 0, ".ZEQ{0000.0000.12345.0000}"},
      {"", "", 0xABCD, 0xff, 0x10, ".ZEQ{ABCD.0000.00FF.0010}"},
      {"", "", 0, 0, 0, ".ZEQ{0000.0000.0000.0000}"},
      {longName.c_str(), "", 0, 0, 0, longName.substr(0, 519)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    ZEQSetExplicitInstanceName(c.explicitName);
    ZEQSetInstanceName(c.custom);
    ApplicationSettings* s = GetApplicationSettings();
    s->publisherId = c.publisherId;
    s->id = c.id;
    s->platformId = c.platformId;
    BuildInstanceName();
    EXPECT_EQ(c.expected, ZEQInstanceNameBuffer());
  }
}

TEST_F(InstanceNames, TheBufferNeverTakesMoreThanItsLimit) {
  const std::string longName(2000, 'x');
  ZEQSetInstanceName(longName.c_str());
  EXPECT_EQ(longName.substr(0, kZEQInstanceNameMax), ZEQInstanceNameBuffer());
  ZEQSetInstanceName(nullptr);
  EXPECT_STREQ("", ZEQInstanceNameBuffer());
}

TEST(KernelObjectNames, KindProcessAndNameWithoutBackslashes) {
  EXPECT_EQ("KESTO.ZEQEVENT." + Pid8() + ".Global-phone-ring", TakeText(MakeKernelObjectName("ZEQEVENT", "Global\\phone\\ring")));
  EXPECT_EQ("KESTO.PROFILER." + Pid8() + ".KESTO", TakeText(MakeKernelObjectName("PROFILER", "KESTO")));
  EXPECT_EQ("KESTO.a-b." + Pid8() + ".", TakeText(MakeKernelObjectName("a\\b", nullptr)));
  // A long name is not cut.
  const std::string name(1000, 'q');
  EXPECT_EQ("KESTO.K." + Pid8() + "." + name, TakeText(MakeKernelObjectName("K", name.c_str())));
}

// ---------------------------------------------------------------------------
// A main window of another instance, on a thread of its own.

UINT g_receivedMessage = 0;
WPARAM g_receivedWParam = 0;
LPARAM g_receivedLParam = 0;
HANDLE g_received = nullptr;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_CENTERWINDOWSON) {
    g_receivedMessage = message;
    g_receivedWParam = wParam;
    g_receivedLParam = lParam;
    SetEvent(g_received);
    return 1;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

class OtherInstanceWindow {
 public:
  OtherInstanceWindow(const char* className, const char* instanceName)
      : className_(className), title_(TakeText(FormatMainWindowTitle(instanceName))) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    if (thread_) WaitForSingleObject(ready_, kBound);
  }
  ~OtherInstanceWindow() {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    if (thread_) {
      WaitForSingleObject(thread_, kBound);
      CloseHandle(thread_);
    }
    CloseHandle(ready_);
  }
  OtherInstanceWindow(const OtherInstanceWindow&) = delete;
  OtherInstanceWindow& operator=(const OtherInstanceWindow&) = delete;

  HWND window() const { return window_; }

 private:
  static DWORD WINAPI Run(void* arg) {
    auto* self = static_cast<OtherInstanceWindow*>(arg);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = self->className_;
    RegisterClassA(&windowClass);  // may exist from an earlier test
    self->window_ = CreateWindowExA(0, self->className_, self->title_.c_str(), WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetEvent(self->ready_);
    if (!self->window_) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    // The class is the program's own: leave it free for whoever needs it next.
    UnregisterClassA(self->className_, GetModuleHandleA(nullptr));
    return 0;
  }

  const char* className_;
  std::string title_;
  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  HWND window_ = nullptr;
};

// A window of the test's own thread.
HWND MakePopup(int x, int y, int width, int height) {
  return CreateWindowExA(0, "STATIC", "", WS_POPUP, x, y, width, height, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

RECT RectOf(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

RECT WorkArea() {
  RECT work = {};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

TEST(MainInstanceWindow, TitleNamesTheInstanceAndTheIdentity) {
  EXPECT_EQ("KESTO Instance Name: \"Phone.ZEQ{0012.0000.0345.0002}\", KESTO GUID: "
            "\"{3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9}\"",
            TakeText(FormatMainWindowTitle("Phone.ZEQ{0012.0000.0345.0002}")));
}

TEST(MainInstanceWindow, FoundByClassAndTitle) {
  OtherInstanceWindow other(kMainWindowClassName, "zqPhone.ZEQ{0012.0000.0345.0002}");
  ASSERT_NE(nullptr, other.window());
  EXPECT_EQ(other.window(), FindMainInstanceWindow("zqPhone.ZEQ{0012.0000.0345.0002}"));
  EXPECT_EQ(nullptr, FindMainInstanceWindow("zqPhone.ZEQ{0012.0000.0345.0003}"));
  EXPECT_EQ(nullptr, FindMainInstanceWindow("zqOther"));

  // The same title on a window of another class is not a main window.
  OtherInstanceWindow impostor("KESTO Window Test Impostor", "zqImpostor");
  ASSERT_NE(nullptr, impostor.window());
  EXPECT_EQ(nullptr, FindMainInstanceWindow("zqImpostor"));
}

class PostToMainInstance : public InstanceNames {
 protected:
  void SetUp() override {
    InstanceNames::SetUp();
    g_received = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_receivedMessage = 0;
    g_receivedLParam = 0;
    g_receivedWParam = 99;
    previousMain_ = ZEQGetMainWindow();
  }
  void TearDown() override {
    ZEQSetMainWindow(previousMain_);
    CloseHandle(g_received);
    g_received = nullptr;
    InstanceNames::TearDown();
  }

 private:
  HWND previousMain_ = nullptr;
};

TEST_F(PostToMainInstance, TheRunningInstanceGetsTheWindow) {
  OtherInstanceWindow other(kMainWindowClassName, "zqPost.ZEQ{0001.0000.0002.0003}");
  ASSERT_NE(nullptr, other.window());
  HWND given = MakePopup(0, 0, 50, 50);
  // What follows the identity suffix is not part of the searched name.
  ZEQSetInstanceName("zqPost.ZEQ{0001.0000.0002.0003}.second");
  EXPECT_EQ(1, KESTOPostToMainInstance(given));
  ASSERT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(g_received, kBound));
  EXPECT_EQ(CMSG_CENTERWINDOWSON, g_receivedMessage);
  EXPECT_EQ(0u, g_receivedWParam);
  EXPECT_EQ(reinterpret_cast<LPARAM>(given), g_receivedLParam);
  // The window itself was not moved here.
  EXPECT_EQ(0, RectOf(given).left);
  DestroyWindow(given);
}

TEST_F(PostToMainInstance, WithoutOneTheWindowIsCentredOverTheMainWindow) {
  ZEQSetInstanceName("zqNobodyRuns.ZEQ{0000.0000.0000.0000}");
  const RECT work = WorkArea();
  HWND main = MakePopup(work.left + 100, work.top + 100, 300, 200);
  HWND given = MakePopup(0, 0, 100, 50);
  ZEQSetMainWindow(main);
  EXPECT_EQ(1, KESTOPostToMainInstance(given));
  EXPECT_EQ(work.left + 200, RectOf(given).left);
  EXPECT_EQ(work.top + 175, RectOf(given).top);
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(g_received, 0));

  // A main window at the top of the work area, lower than the window: the
  // window does not go above the work area.
  SetWindowPos(main, nullptr, work.left + 100, work.top, 300, 20, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(given, nullptr, 0, 0, 100, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(1, KESTOPostToMainInstance(given));
  EXPECT_EQ(work.top + 10, RectOf(given).top);
  EXPECT_EQ(work.left + 200, RectOf(given).left);

  // A main window far off the screen: the window stays on the work area.
  SetWindowPos(main, nullptr, -16384, -16384, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(1, KESTOPostToMainInstance(given));
  EXPECT_EQ(work.left, RectOf(given).left);
  EXPECT_EQ(work.top, RectOf(given).top);

  // No main window at all: centred on the work area.
  ZEQSetMainWindow(nullptr);
  SetWindowPos(given, nullptr, 0, 0, 100, 50, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(1, KESTOPostToMainInstance(given));
  EXPECT_EQ(work.left + (work.right - work.left - 100) / 2, RectOf(given).left);
  EXPECT_EQ(work.top + (work.bottom - work.top - 50) / 2, RectOf(given).top);

  // A null window is no fault.
  EXPECT_EQ(1, KESTOPostToMainInstance(nullptr));
  DestroyWindow(given);
  DestroyWindow(main);
}

// ---------------------------------------------------------------------------
// The send-command section.

struct SectionVisitor {
  HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int enterResult = -1;
  ~SectionVisitor() {
    CloseHandle(entered);
    CloseHandle(release);
  }
  static DWORD WINAPI Run(void* arg) {
    auto* self = static_cast<SectionVisitor*>(arg);
    self->enterResult = EnterSendCommandSection(kBound);
    SetEvent(self->entered);
    WaitForSingleObject(self->release, kBound);
    if (self->enterResult == 1) LeaveSendCommandSection();
    return 0;
  }
};

TEST(SendCommandSection, OneThreadAtATime) {
  ASSERT_EQ(1, EnterSendCommandSection(kBound));
  // The section is a named event of this process, open while it is used.
  const std::string name = "KESTO.EXCLUSIVESECTION." + Pid8() + ".KESTOInstanceSendCommand::ES";
  HANDLE named = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
  EXPECT_NE(nullptr, named) << name;
  if (named) CloseHandle(named);

  SectionVisitor second;
  HANDLE thread = CreateThread(nullptr, 0, SectionVisitor::Run, &second, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  // The second thread waits while the first holds the section ...
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(second.entered, 300));
  // ... and enters once it is left.
  EXPECT_EQ(1, LeaveSendCommandSection());
  EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(second.entered, kBound));
  EXPECT_EQ(1, second.enterResult);
  // Now the second holds it: a bounded wait here gives up.
  EXPECT_EQ(0, EnterSendCommandSection(100));
  SetEvent(second.release);
  EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, kBound));
  CloseHandle(thread);
  // Left by both: free again.
  EXPECT_EQ(1, EnterSendCommandSection(0));
  EXPECT_EQ(1, LeaveSendCommandSection());
}

TEST(SendCommandSection, RepeatedUseKeepsOneEvent) {
  // Each use reaches the same event: many rounds leave the section free and
  // do not pile up handles.
  DWORD before = 0;
  GetProcessHandleCount(GetCurrentProcess(), &before);
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(1, EnterSendCommandSection(kBound)) << i;
    ASSERT_EQ(1, LeaveSendCommandSection()) << i;
  }
  EXPECT_EQ(1, LeaveSendCommandSection());  // leaving a free section keeps it free
  DWORD after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &after);
  EXPECT_LE(after, before + 10);
  EXPECT_EQ(1, EnterSendCommandSection(0));
  EXPECT_EQ(0, EnterSendCommandSection(0));  // auto-reset: one holder
  EXPECT_EQ(1, LeaveSendCommandSection());
}

}  // namespace
