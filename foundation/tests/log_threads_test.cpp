// The log from several threads: entries posted to the main window's thread,
// and concurrent writers whose entries never interleave.
#include <gtest/gtest.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "log_capture.h"

namespace {

using logtest::CapturedLog;

// A main window on a thread of its own, handling posted log lines the way
// the host's main window procedure does.
class MainWindowThread {
 public:
  MainWindowThread() {
    handled_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Run, this, 0, &threadId_));
    WaitForSingleObject(ready_, 10000);
    ZEQSetMainWindow(window_);
  }
  ~MainWindowThread() {
    ZEQSetMainWindow(nullptr);
    PostMessageA(window_, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
    CloseHandle(handled_);
  }
  MainWindowThread(const MainWindowThread&) = delete;
  MainWindowThread& operator=(const MainWindowThread&) = delete;

  DWORD threadId() const { return threadId_; }
  bool WaitHandled() { return WaitForSingleObject(handled_, 10000) == WAIT_OBJECT_0; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CMSG_KESTOASYNCHLOG) {
      auto* self = reinterpret_cast<MainWindowThread*>(GetWindowLongPtrA(window, GWLP_USERDATA));
      const LRESULT result = ZEQLogHandlePostedLine(lParam);
      SetEvent(self->handled_);
      return result;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  static unsigned __stdcall Run(void* argument) {
    auto* self = static_cast<MainWindowThread*>(argument);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LogTestMainWindow";
    RegisterClassA(&windowClass);
    self->window_ = CreateWindowA("LogTestMainWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(self->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    SetEvent(self->ready_);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
  }

  HANDLE thread_ = nullptr;
  unsigned threadId_ = 0;
  HANDLE ready_ = nullptr;
  HANDLE handled_ = nullptr;
  HWND window_ = nullptr;
};

struct PostArguments {
  ZEQLog* log;
  DWORD threadId;
  DWORD lastError;
};

unsigned __stdcall PostFromWorker(void* argument) {
  auto* post = static_cast<PostArguments*>(argument);
  post->threadId = GetCurrentThreadId();
  SetLastError(ERROR_BAD_FORMAT);
  ZEQLogPost(post->log, "posted by %s: 100%% of %d", "a worker", 3);
  post->lastError = GetLastError();
  return 0;
}

TEST(LogThreads, PostedEntriesAreWrittenByTheMainWindowsThread) {
  CapturedLog capture;
  MainWindowThread mainWindow;
  PostArguments post = {capture.log(), 0, 0};
  HANDLE worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, PostFromWorker, &post, 0, nullptr));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker, 10000));
  CloseHandle(worker);
  EXPECT_EQ(DWORD(ERROR_BAD_FORMAT), post.lastError);
  ASSERT_TRUE(mainWindow.WaitHandled());

  // Written once, literally (the percent sign is not expanded twice), with
  // the poster's thread id.
  const auto lines = capture.Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("posted by a worker: 100% of 3", logtest::AfterPrefix(lines[0]));
  EXPECT_EQ(logtest::Hex8(post.threadId), lines[0].substr(7, 8));
}

TEST(LogThreads, PostingWithoutAMainWindowWritesAtOnce) {
  CapturedLog capture;
  ZEQSetMainWindow(nullptr);
  ZEQLogPost(capture.log(), "direct %d%%", 7);
  // A main window that is gone counts as none.
  HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  ZEQSetMainWindow(gone);
  ZEQLogPost(capture.log(), "after the window");
  ZEQSetMainWindow(nullptr);
  const auto lines = capture.Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("direct 7%", logtest::AfterPrefix(lines[0]));
  EXPECT_EQ("after the window", logtest::AfterPrefix(lines[1]));
}

TEST(LogThreads, ForeignValuesOfThePostedMessageAreIgnored) {
  CapturedLog capture;
  char notARecord[200] = "+SOMETHINGELSE";
  EXPECT_EQ(0, ZEQLogHandlePostedLine(reinterpret_cast<LPARAM>(notARecord)));
  EXPECT_EQ(0, ZEQLogHandlePostedLine(0));
  EXPECT_EQ(0, ZEQLogHandlePostedLine(LPARAM(0x10)));
  EXPECT_EQ("", capture.Contents());
}

struct WriterArguments {
  ZEQLog* log;
  int writer;
  std::atomic<bool>* go;
};

constexpr int kWriters = 8;
constexpr int kEntriesPerWriter = 150;

unsigned __stdcall WriteEntries(void* argument) {
  auto* args = static_cast<WriterArguments*>(argument);
  while (!args->go->load()) Sleep(0);
  for (int i = 0; i < kEntriesPerWriter; ++i) {
    ZEQLogPrintfTo(args->log, "!writer %d entry %d\nsecond line %d-%d\nthird line %d-%d", args->writer, i,
                   args->writer, i, args->writer, i);
  }
  return 0;
}

TEST(LogThreads, ConcurrentEntriesNeverInterleave) {
  CapturedLog capture;
  std::atomic<bool> go{false};
  std::vector<WriterArguments> arguments;
  for (int w = 0; w < kWriters; ++w) arguments.push_back({capture.log(), w, &go});
  std::vector<HANDLE> threads;
  for (auto& a : arguments) threads.push_back(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WriteEntries, &a, 0, nullptr)));
  go = true;
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 60000));
  for (HANDLE t : threads) CloseHandle(t);

  // Each entry: opening banner, the prefixed line with its two continuation
  // lines, closing banner; entries of one writer in order.
  const std::string contents = capture.Contents();
  const std::string opening = std::string(42, ' ') + "--- WARNING " + std::string(100, '-') + "\r\n";
  const std::string closing = std::string(42, ' ') + std::string(112, '-') + "\r\n";
  std::vector<int> next(kWriters, 0);
  size_t at = 0;
  int entries = 0;
  while (at < contents.size()) {
    ASSERT_EQ(opening, contents.substr(at, opening.size())) << "entry " << entries;
    at += opening.size();
    const size_t end = contents.find("\r\n", at);
    ASSERT_NE(std::string::npos, end);
    const std::string line = logtest::AfterPrefix(contents.substr(at, end - at));
    int writer = -1, entry = -1;
    ASSERT_EQ(2, std::sscanf(line.c_str(), "writer %d entry %d", &writer, &entry)) << line;
    ASSERT_TRUE(writer >= 0 && writer < kWriters) << line;
    EXPECT_EQ(next[writer]++, entry);
    char expected[128];
    std::snprintf(expected, sizeof expected, "writer %d entry %d\n       second line %d-%d\n       third line %d-%d",
                  writer, entry, writer, entry, writer, entry);
    ASSERT_EQ(expected, line);
    at = end + 2;
    ASSERT_EQ(closing, contents.substr(at, closing.size())) << "entry " << entries;
    at += closing.size();
    ++entries;
  }
  EXPECT_EQ(kWriters * kEntriesPerWriter, entries);
}

}  // namespace
