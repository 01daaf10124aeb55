// The "ZEQThread" script object: a page on a UI thread of its own, started,
// waited for and ended from script.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "container_test_support.h"
#include "host/zeq_thread.h"
#include "script_host.h"
#include "test_support.h"
#include "windows/records.h"

namespace {

using container_test::TheRecorder;

std::wstring ScriptText(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\') out += L'\\';
    out += c;
  }
  return out;
}

class ZEQThreadScript : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    host_ = new host_test::ScriptHost(WB_ALLOWSZEQ);
    ASSERT_TRUE(host_->Ready());
    host_->PublishClass(L"ZEQThread", ZEQThreadGetIDsOfNames, ZEQThreadInvoke);
  }
  void TearDown() override {
    delete host_;
    OleUninitialize();
  }

  // A page that records its mark through window.external.
  std::wstring Page(const char* mark) {
    const std::wstring name = std::wstring(L"thread_") + std::wstring(mark, mark + strlen(mark)) + L".html";
    return folder_.Write(name, std::string("<html><body><script>window.external.Record('") + mark +
                                   "');</script></body></html>");
  }

  // The index of the mark at or after `from`, or -1.
  int IndexOf(const std::wstring& mark, size_t from) {
    for (size_t i = from; i < TheRecorder().Count(); ++i) {
      if (TheRecorder().TextAt(i) == mark) return static_cast<int>(i);
    }
    return -1;
  }

  host_test::ScriptHost* host_ = nullptr;
  dochost_test::PageFolder folder_;
};

TEST_F(ZEQThreadScript, AThreadIsStartedWaitedForAndEnded) {
  const std::wstring page = Page("worker");
  const size_t from = TheRecorder().Count();
  ASSERT_TRUE(host_->Run(L"var t = new ZEQThread('" + ScriptText(page) + L"', 7);")) << host_->LastError();
  EXPECT_EQ(L"true", host_->Eval(L"t.Success"));
  EXPECT_EQ(L"true", host_->Eval(L"t.Start().Success"));
  ASSERT_TRUE(container_test::WaitUntil([&] { return IndexOf(L"worker", from) >= 0; }));
  // The page ran on the thread's own UI thread; Id is the caller's thread.
  EXPECT_NE(GetCurrentThreadId(), TheRecorder().ThreadAt(static_cast<size_t>(IndexOf(L"worker", from))));
  EXPECT_EQ(std::to_wstring(GetCurrentThreadId()), host_->Eval(L"t.Id"));
  // Members it does not have are its container's.
  EXPECT_EQ(L"0", host_->Eval(L"t.PopupBlocker"));
  ASSERT_TRUE(host_->Run(L"t.PopupBlocker = 1;")) << host_->LastError();
  EXPECT_EQ(L"1", host_->Eval(L"t.PopupBlocker"));
  EXPECT_EQ(L"undefined", host_->Eval(L"typeof t.NoSuchMember"));
  // Still running: a short wait times out.
  EXPECT_EQ(L"false", host_->Eval(L"t.Wait(0).Success"));

  EXPECT_EQ(L"true", host_->Eval(L"t.Exit('done').Success"));
  EXPECT_EQ(L"true", host_->Eval(L"(w = t.Wait(10000)).Success"));
  EXPECT_EQ(L"done", host_->Eval(L"w.ExitArguments"));
  EXPECT_EQ(L"done", host_->Eval(L"t.ExitArgument"));
  // Once the thread is gone the other members do nothing, and a wait
  // answers at once.
  EXPECT_EQ(L"undefined", host_->Eval(L"typeof t.Start()"));
  EXPECT_EQ(L"true", host_->Eval(L"t.Wait().Success"));
}

TEST_F(ZEQThreadScript, TerminateEndsTheThreadCooperativelyAndSuspendIsRefused) {
  ASSERT_TRUE(host_->Run(L"var t = new ZEQThread('', 0);")) << host_->LastError();
  EXPECT_EQ(L"true", host_->Eval(L"t.Success"));
  EXPECT_EQ(L"false", host_->Eval(L"t.Suspend().Success"));
  EXPECT_EQ(L"false", host_->Eval(L"t.Resume().Success"));
  EXPECT_EQ(L"true", host_->Eval(L"t.Terminate('stopped').Success"));
  EXPECT_EQ(L"true", host_->Eval(L"t.Wait(0).Success"));
  EXPECT_EQ(L"stopped", host_->Eval(L"t.ExitArgument"));
}

TEST_F(ZEQThreadScript, ConstructionNeedsTwoOrThreeArguments) {
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, host_->ErrorOf(L"new ZEQThread('x');"));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, host_->ErrorOf(L"new ZEQThread('x', 1, 2, 3);"));
  ASSERT_TRUE(host_->Run(L"var t = new ZEQThread('', {a: 1}, 0);")) << host_->LastError();
  EXPECT_EQ(L"true", host_->Eval(L"t.Terminate(0).Success"));
}

}  // namespace
