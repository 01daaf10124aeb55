// The shell-execute worker's events as the calling page receives them: the
// start, the end with the exit code, a handler that declines the wait, a
// wait that fails, and a page that is gone before the program ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "container_test_support.h"
#include "foundation/heap.h"
#include "host/browser_container.h"
#include "host/script_calls.h"
#include "host/shell_execute_worker.h"

namespace {

constexpr char kHandlers[] =
    "var log = []; var go = true;"
    "function ZEQOnShellExecuteInitialize(v, f, p, d, s, fl) {"
    "  log.push('init:' + [v, f, p, d, s, fl].join(',')); return go; }"
    "function ZEQOnShellExecuteFinalize() {"
    "  log.push('final:' + Array.prototype.join.call(arguments, ',')); }";

class ShellExecuteWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    ZEQInstallScriptCalls();
    window_ = pages_.Open(WB_ALLOWSZEQ, kHandlers);
    ASSERT_NE(nullptr, window_);
  }
  void TearDown() override {
    pages_.Close();
    OleUninitialize();
  }

  ShellExecuteStartRecord* Record(HANDLE process) {
    ShellExecuteStartRecord* record = NewShellExecuteStartRecord();
    record->window = window_;
    record->process = process;
    std::strcpy(record->verb, "open");
    std::strcpy(record->file, "cmd.exe");
    std::strcpy(record->parameters, "/c exit 3");
    std::strcpy(record->folder, "C:\\");
    record->showCommand = SW_HIDE;
    record->flags = 0x11;
    record->value = static_cast<VARIANT*>(HeapAllocZ(sizeof(VARIANT)));
    V_VT(record->value) = VT_BSTR;
    V_BSTR(record->value) = SysAllocString(L"kept until the end");
    return record;
  }

  // Starts the worker and waits, pumping, until its thread has ended.
  bool RunWorker(ShellExecuteStartRecord* record) {
    HANDLE thread = StartShellExecuteWaitThread(record);
    if (!thread) {
      FreeShellExecuteStartRecord(record);
      return false;
    }
    const bool ended = container_test::WaitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; },
                                                 20000);
    CloseHandle(thread);
    return ended;
  }

  std::string Log() { return container_test::Narrow(pages_.Evaluate(window_, L"log.join('/')")); }

  static HANDLE StartExit3() {
    char command[] = "cmd.exe /c exit 3";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
      return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
  }

  container_test::ContainerPages pages_;
  HWND window_ = nullptr;
};

constexpr char kInit[] = "init:open,cmd.exe,/c exit 3,C:\\,0,17";

TEST_F(ShellExecuteWorker, DISABLED_TheProgramsStartAndEndReachThePageWithTheExitCode) {
  HANDLE process = StartExit3();
  ASSERT_NE(nullptr, process);
  ASSERT_TRUE(RunWorker(Record(process)));
  EXPECT_EQ(std::string(kInit) + "/final:0,open,cmd.exe,/c exit 3,C:\\,0,17,3", Log());
}

TEST_F(ShellExecuteWorker, DISABLED_AHandlerThatAnswersFalseGetsNoWaitAndNoFinalEvent) {
  ASSERT_EQ(S_OK, container_test::PageExec(window_, L"go = false;"));
  // An event nobody sets: a wait would never end.
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(RunWorker(Record(never)));
  EXPECT_EQ(std::string(kInit), Log());
}

TEST_F(ShellExecuteWorker, DISABLED_AWaitWithoutAnExitCodeEndsWithTheFailureEvent) {
  // A signalled event is waited for at once but has no exit code.
  HANDLE signalled = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_TRUE(RunWorker(Record(signalled)));
  EXPECT_EQ(std::string(kInit) + "/final:2,open,cmd.exe,/c exit 3,C:\\,0,17", Log());
}

TEST_F(ShellExecuteWorker, DISABLED_APageClosedBeforeTheProgramEndsGetsNoFinalEventAndTheWorkerEnds) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE trigger = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &trigger, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  HANDLE thread = StartShellExecuteWaitThread(Record(event));
  ASSERT_NE(nullptr, thread);
  ASSERT_TRUE(container_test::WaitUntil([&] { return Log() == kInit; }, 10000)) << Log();
  pages_.Close();
  SetEvent(trigger);
  EXPECT_TRUE(container_test::WaitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 20000));
  CloseHandle(thread);
  CloseHandle(trigger);
}

}  // namespace
