// The debug output window (line placement, fonts, status lines on a timer
// that is stopped with it) and the replay of trace files into a page.
#include <gtest/gtest.h>

#include <string>

#include "callable_page.h"
#include "file_test_support.h"
#include "foundation/waits.h"
#include "host/debug_output.h"
#include "script_host.h"

using namespace host_test;

namespace {

void PumpFor(DWORD ms) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

TEST(DebugWindow, LinesArePlacedByTheirCodes) {
  struct Case {
    const char* name;
    int x, y;
    RECT expected;
  };
  const Case cases[] = {
      {"the first row", 0, 0, {5, 0, 500, 20}},
      {"row code 10 is the second row", 0, 10, {5, 20, 500, 40}},
      {"column code 100 starts 205 pixels from the left", 100, 0, {205, 0, 600, 20}},
      {"row code -30 lands 60 pixels above the bottom", 0, -30, {5, 200, 500, 220}},
  };
  for (const auto& c : cases) {
    const RECT r = ZEQDebugLineRect(500, 260, c.x, c.y);
    EXPECT_EQ(c.expected.left, r.left) << c.name;
    EXPECT_EQ(c.expected.top, r.top) << c.name;
    EXPECT_EQ(c.expected.bottom, r.bottom) << c.name;
    EXPECT_EQ(c.expected.right, r.right) << c.name;
  }
}

TEST(DebugWindow, IsCreatedUpdatedAndClosedWithItsTimer) {
  const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  HWND window = CreateDebugOutputWindow(nullptr);
  ASSERT_TRUE(window);
  EXPECT_EQ(window, ZEQGetDebugOutputWindow());
  char title[32] = "";
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ("Base", title);
  RECT frame;
  GetWindowRect(window, &frame);
  EXPECT_EQ(50, frame.left);
  EXPECT_EQ(260, frame.bottom - frame.top);

  ASSERT_TRUE(PostTextMessage(100, nullptr, window, -30, "!bold %d", 1));
  PumpFor(100);
  ZEQDebugWindowState state;
  ASSERT_TRUE(ZEQGetDebugWindowState(window, &state));
  EXPECT_EQ(1u, state.linesDrawn);
  EXPECT_TRUE(state.lastBold);
  EXPECT_STREQ("bold 1", state.lastText);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.bottom - 60, state.lastLine.top);
  EXPECT_EQ(205, state.lastLine.left);

  for (int i = 0; i < 3; ++i) SendMessageA(window, WM_CHAR, '+', 0);
  SendMessageA(window, WM_CHAR, '-', 0);
  SendMessageA(window, WM_CHAR, '+', 0);
  ASSERT_TRUE(ZEQGetDebugWindowState(window, &state));
  EXPECT_EQ(-15, state.fontHeight);

  const UINT_PTR timer = ZEQStartStatusReport();
  ASSERT_NE(0u, timer);
  PumpFor(450);
  ASSERT_TRUE(ZEQGetDebugWindowState(window, &state));
  EXPECT_GE(state.linesDrawn, 1u + 14u) << "at least one round of status lines";
  ZEQStopStatusReport(timer);
  EXPECT_FALSE(KillTimer(nullptr, timer)) << "the timer is gone";
  PumpFor(50);
  ASSERT_TRUE(ZEQGetDebugWindowState(window, &state));
  const uint32_t drawn = state.linesDrawn;
  PumpFor(300);
  ASSERT_TRUE(ZEQGetDebugWindowState(window, &state));
  EXPECT_EQ(drawn, state.linesDrawn) << "no status lines after the stop";

  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(nullptr, ZEQGetDebugOutputWindow()) << "posts no longer go to the old handle";
  if (gdiBefore) {
    EXPECT_EQ(gdiBefore, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) << "the fonts are freed";
  }
}

TEST(DebugWindow, TheHotKeyTogglesItOnlyWhileAllowed) {
  ZEQToggleDebugOutputWindow(nullptr);
  HWND window = ZEQGetDebugOutputWindow();
  ASSERT_TRUE(window);
  ZEQToggleDebugOutputWindow(nullptr);
  EXPECT_FALSE(IsWindow(window));
  ZEQSetDebugOutputAllowed(false);
  ZEQToggleDebugOutputWindow(nullptr);
  EXPECT_EQ(nullptr, ZEQGetDebugOutputWindow());
  EXPECT_EQ(nullptr, CreateDebugOutputWindow(nullptr));
  ZEQSetDebugOutputAllowed(true);
}

class TraceReplay : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    MakeCallablePage(host_);
    ASSERT_TRUE(host_.Run(L"var got = []; var stopAt = '';"
                          L"function onTrace(r) { got.push([r.Type, r.Id, r.Contents, r.Direction, r.Thread,"
                          L" r.HRCounter].join('|')); return r.Id == stopAt ? 0x2002 : 0x2001; }"));
  }
  std::string Write(const std::string& text) {
    const std::string path = folder_ / "trace.log";
    filetest::WriteTextFile(path, text);
    return path;
  }
  ScriptHost host_;
  filetest::ScratchFolder folder_;
};

const char kTrace[] =
    "noise before <<\\Type=\"SIP:Message\", Id=\"1\", Direction=\"in\"\r\n"
    "INVITE sip:100@127.0.0.1 SIP/2.0\r\n"
    "Via: SIP/2.0/UDP 127.0.0.1\r\n"
    "Thread=\"12\", Date=\"11/12/2026\", Time=\"05:00:00\", HRCounter=\"x42\"/>>\n"
    "<<\\Type=\"SIP:Message\", Id=\"2\"\nThread=\"13\"/>>\n"
    "<<\\Type=\"Note\"\nno id\nThread=\"14\"/>>\n"
    "<<\\Type=\"One line\", Id=\"4\" Thread=\"15\"/>>\n"
    "<<\\Type=\"SIP:Message\", Id=\"5\"\nlast\nThread=\"16\"/>>";

TEST_F(TraceReplay, RecordsReachThePageFunctionInFileOrder) {
  EXPECT_TRUE(ZEQDebugTraceDeliver(host_.Owner(), Write(kTrace).c_str(), L"onTrace"));
  EXPECT_EQ(L"3", host_.Eval(L"got.length")) << "records without an Id, or on one line, are not delivered";
  EXPECT_EQ(L"SIP:Message|1|INVITE sip:100@127.0.0.1 SIP/2.0\nVia: SIP/2.0/UDP 127.0.0.1|in|12|42",
            host_.Eval(L"got[0]"));
  EXPECT_EQ(L"SIP:Message|2|||13|", host_.Eval(L"got[1]")) << "no content lines: empty Contents";
  EXPECT_EQ(L"SIP:Message|5|last||16|", host_.Eval(L"got[2]"));
}

TEST_F(TraceReplay, ACancellingAnswerEndsTheReplay) {
  ASSERT_TRUE(host_.Run(L"stopAt = '1';"));
  EXPECT_TRUE(ZEQDebugTraceDeliver(host_.Owner(), Write(kTrace).c_str(), L"onTrace"));
  EXPECT_EQ(L"1", host_.Eval(L"got.length"));
}

TEST_F(TraceReplay, FilesWithoutRecordsOrTooLongOnesReplayNothing) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"no records", "plain log text\n"},
      {"an unclosed record", "<<\\Type=\"A\", Id=\"1\"\nThread=\"1\""},
      {"a record longer than 65536 characters",
       "<<\\Type=\"A\", Id=\"1\"\n" + std::string(70000, 'x') + "\nThread=\"1\"/>>"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ZEQDebugTraceDeliver(host_.Owner(), Write(c.text).c_str(), L"onTrace")) << c.name;
  }
  EXPECT_FALSE(ZEQDebugTraceDeliver(host_.Owner(), (folder_ / "missing.log").c_str(), L"onTrace"));
  EXPECT_EQ(L"0", host_.Eval(L"got.length"));
}

}  // namespace
