// Cross-thread script calls into a page that runs on a UI thread of its own:
// immediate calls on the page's thread, blocking calls with results from
// worker threads, result codes, inline code, delayed, coalesced and frozen
// calls, and callers released when their call is dropped. Every wait is
// bounded.
#include <gtest/gtest.h>
#include <process.h>

#include <functional>
#include <memory>
#include <string>

#include "foundation/git_table.h"
#include "foundation/process_state.h"
#include "foundation/script_calls.h"
#include "foundation/variant.h"
#include "foundation/window_timers.h"
#include "foundation/marshal_packet.h"
#include "host/containers.h"
#include "host/js_array.h"
#include "host/script_calls.h"
#include "script_host.h"
#include "windows/records.h"
#include "windows/runtime_messages.h"

using host_test::ScriptHost;
using host_test::ScriptThread;

namespace {

WNDPROC previousProc = nullptr;

LRESULT CALLBACK ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  return CallWindowProcW(previousProc, window, message, wParam, lParam);
}

// The owner window becomes a program window whose page takes calls.
void MakeCallablePage(ScriptHost& host) {
  ZEQInstallScriptCalls();
  WNDPROC old = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(host.Owner(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgramWindowProc)));
  if (old != ProgramWindowProc) previousProc = old;
  ZEQSetWindowContainerReady(host.Owner(), true, true, host.Browser().browser);
}

struct WorkerContext {
  std::function<void()> body;
};

unsigned __stdcall WorkerMain(void* argument) {
  auto* context = static_cast<WorkerContext*>(argument);
  OleInitialize(nullptr);
  context->body();
  OleUninitialize();
  delete context;
  return 0;
}

// Starts body on a new thread with OLE; the thread's handle or null. The
// body's context is freed by the thread itself.
HANDLE StartWorker(std::function<void()> body) {
  auto* context = new WorkerContext{std::move(body)};
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerMain, context, 0, nullptr));
  if (!thread) delete context;
  return thread;
}

// Runs body on a new thread with OLE; false when it did not end in time.
bool OnWorker(std::function<void()> body, DWORD timeoutMs = 20000) {
  HANDLE thread = StartWorker(std::move(body));
  if (!thread) return false;
  bool ended = host_test::PumpWait(thread, timeoutMs);
  CloseHandle(thread);
  return ended;
}

// Waits (bounded) for every thread, then closes them; false on time-out.
bool JoinWorkers(std::initializer_list<HANDLE> threads, DWORD timeoutMs = 20000) {
  bool ended = true;
  for (HANDLE thread : threads) {
    ended = thread && host_test::PumpWait(thread, timeoutMs) && ended;
    if (thread) CloseHandle(thread);
  }
  return ended;
}

VARIANT Int(int value) {
  VARIANT v;
  VariantInitInt(&v, value);
  return v;
}

class ScriptCalls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    page_ = new ScriptThread();
    ASSERT_TRUE(page_->Ready());
    ASSERT_TRUE(page_->Call([](ScriptHost& host) {
      MakeCallablePage(host);
      owner_ = host.Owner();
      host.Run(
          L"var seen = []; var calls = 0;"
          L"function add(a) { calls++; return a + 1; }"
          L"function echo(t) { return t + '!'; }"
          L"function note(v) { seen.push(v); }"
          L"function nothing() { }"
          L"function yes() { return true; } function no() { return false; }"
          L"function five() { return 5; } function fiveText() { return '5'; }"
          L"function pair() { return [3, 'x']; }"
          L"function sum(a, b, c) { return a + b + c; }"
          // The emulator's JScript cannot take typeof of an array argument
          // (it throws), so arrays are told by VBArray taking them.
          L"function listed(v) { try { return '[' + new VBArray(v).toArray().join() + ']'; } catch (e) { return null; } }"
          L"function shapes() { var out = [];"
          L"  for (var i = 0; i < arguments.length; i++) { var v = arguments[i], list = listed(v);"
          L"    if (list != null) out.push(list);"
          L"    else if (v && typeof v == 'object') out.push('container ' + v.Id);"
          L"    else out.push(String(v)); }"
          L"  return out.join('|'); }");
    }));
  }
  static void TearDownTestSuite() {
    delete page_;
    page_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(page_->Call([](ScriptHost& host) { host.Run(L"seen = []; calls = 0;"); }));
  }
  static std::wstring Eval(const std::wstring& expression) {
    std::wstring value;
    page_->Call([&](ScriptHost& host) { value = host.Eval(expression); });
    return value;
  }
  // Waits (bounded) until the page's expression gives the text.
  static bool PageReaches(const std::wstring& expression, const std::wstring& wanted, DWORD timeoutMs = 10000) {
    DWORD start = GetTickCount();
    while (Eval(expression) != wanted) {
      if (GetTickCount() - start > timeoutMs) return false;
      Sleep(10);
    }
    return true;
  }

  static ScriptThread* page_;
  static HWND owner_;
};
ScriptThread* ScriptCalls::page_ = nullptr;
HWND ScriptCalls::owner_ = nullptr;

TEST_F(ScriptCalls, CallOnThePagesThreadRunsAtOnce) {
  uint32_t code = 99;
  VARIANT result;
  VariantInit(&result);
  ASSERT_TRUE(page_->Call([&](ScriptHost& host) {
    VARIANT argument = Int(41);
    code = ZEQDeliverAPC(owner_, L" add ", nullptr, nullptr, &argument, &result, 0, nullptr, 0, nullptr);
    EXPECT_EQ(VT_EMPTY, V_VT(&argument));
    EXPECT_EQ(L"1", host.Eval(L"calls"));
  }));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(42, VariantToInt(&result));
  VariantClear(&result);
}

TEST_F(ScriptCalls, WorkerBlocksUntilThePageRanTheCall) {
  uint32_t code = 99;
  std::wstring text;
  DWORD callerThread = 0;
  ASSERT_TRUE(OnWorker([&] {
    callerThread = GetCurrentThreadId();
    VARIANT argument;
    VariantInit(&argument);
    VariantSetStringW(&argument, L"hi");
    VARIANT result;
    VariantInit(&result);
    code = ZEQDeliverAPC(owner_, L"echo", nullptr, nullptr, &argument, &result, 0, nullptr, 0, nullptr);
    EXPECT_EQ(VT_EMPTY, V_VT(&argument));
    if (V_VT(&result) == VT_BSTR) text = V_BSTR(&result);
    VariantClear(&result);
  }));
  EXPECT_NE(page_->ThreadId(), callerThread);
  EXPECT_EQ(0u, code);
  EXPECT_EQ(L"hi!", text);
}

struct CodeCase {
  const wchar_t* name;
  uint32_t flags;
  uint32_t code;
};

TEST_F(ScriptCalls, ResultCodesOfPageFunctions) {
  const CodeCase cases[] = {
      {L"nothing", 0, 0},
      {L"yes", kZEQApcResultCoded, ZEQACTION_CONTINUE},
      {L"no", kZEQApcResultCoded, ZEQACTION_CANCEL},
      {L"five", kZEQApcResultCoded, 5},
      {L"fiveText", kZEQApcResultCoded, ZEQERROR_NOTALLOWED},
      {L"pair", kZEQApcResultCoded, 3},
      {L"noSuchFunction", 0, ZEQERROR_NOTFOUND},
      {L"noSuchFunction", kZEQApcProbe, ZEQERROR_NOTFOUND},
      {L"five", kZEQApcProbe, 0},
      {L"99999:member", 0, ZEQERROR_UNEXPECTED},
  };
  for (const CodeCase& c : cases) {
    uint32_t code = 1234;
    VARTYPE type = VT_ILLEGAL;
    ASSERT_TRUE(OnWorker([&] {
      VARIANT result;
      VariantInit(&result);
      code = ZEQDeliverAPC(owner_, c.name, nullptr, nullptr, nullptr, &result, c.flags, nullptr, 0, nullptr);
      type = V_VT(&result);
      VariantClear(&result);
    }));
    EXPECT_EQ(c.code, code) << c.name;
    if (std::wstring(c.name) == L"pair") {
      EXPECT_EQ(VT_ARRAY | VT_VARIANT, type);
    }
    if (std::wstring(c.name) == L"nothing") {
      EXPECT_EQ(VT_UI4, type);
    }
  }
}

TEST_F(ScriptCalls, InlineCodeAndArgumentLists) {
  uint32_t code = 99;
  int inlineValue = 0;
  int sumValue = 0;
  ASSERT_TRUE(OnWorker([&] {
    VARIANT result;
    VariantInit(&result);
    code = ZEQDeliverAPC(owner_, L"js:return 1+1;", nullptr, nullptr, nullptr, &result, 0, nullptr, 0, nullptr);
    inlineValue = VariantToInt(&result);
    VariantClear(&result);

    SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
      VARIANT element = Int(static_cast<int>(i + 1) * 10);
      SafeArrayPutElement(list, &i, &element);
    }
    VARIANT argument;
    V_VT(&argument) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&argument) = list;
    ZEQDeliverAPC(owner_, L"sum", nullptr, nullptr, &argument, &result, kZEQApcArgumentList, nullptr, 0, nullptr);
    sumValue = VariantToInt(&result);
    VariantClear(&result);
  }));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(2, inlineValue);
  EXPECT_EQ(60, sumValue);
}

TEST_F(ScriptCalls, TheCallersContainerObjectComesFirstUnlessTheCallLeavesItOut) {
  // The owner window stands for a browser container of its own.
  ZEQContainerHolder container;
  ZEQBaseContainerInit(&container, owner_);
  ASSERT_TRUE(container.IsSet());
  ZEQSetContainerProperty(owner_, "ZEQBASECONTAINER", container);
  const std::wstring self = L"container " + std::to_wstring(container->id);
  struct Case {
    const char* name;
    bool fromContainer;
    int argument;  // 0 none, 1 the number 7, 2 the list [1,2]
    uint32_t flags;
    std::wstring expected;
  };
  const Case cases[] = {
      {"a single value follows the container", true, 1, 0, self + L"|7"},
      {"a call without a value hands the container alone", true, 0, 0, self},
      {"a spread list follows the container", true, 2, kZEQApcArgumentList, self + L"|1|2"},
      {"the no-container flag leaves it out", true, 1, kZEQApcNoContainerArgument, L"7"},
      {"the no-container flag leaves it out of a spread list", true, 2,
       kZEQApcArgumentList | kZEQApcNoContainerArgument, L"1|2"},
      {"a call from no container hands only its values", false, 1, 0, L"7"},
      {"a list without the spread flag is one array argument", false, 2, 0, L"[1,2]"},
      {"a list without the spread flag follows the container as one array", true, 2, 0, self + L"|[1,2]"},
  };
  for (const Case& c : cases) {
    std::wstring answer;
    uint32_t code = 99;
    ASSERT_TRUE(OnWorker([&] {
      VARIANT argument;
      VariantInit(&argument);
      if (c.argument == 1) argument = Int(7);
      if (c.argument == 2) {
        SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, 2);
        for (LONG i = 0; i < 2; ++i) {
          VARIANT element = Int(static_cast<int>(i) + 1);
          SafeArrayPutElement(list, &i, &element);
        }
        V_VT(&argument) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&argument) = list;
      }
      VARIANT result;
      VariantInit(&result);
      code = ZEQDeliverAPC(owner_, L"shapes", nullptr, c.fromContainer ? owner_ : nullptr,
                           c.argument ? &argument : nullptr, &result, c.flags, nullptr, 0, nullptr);
      if (V_VT(&result) == VT_BSTR) answer = V_BSTR(&result);
      VariantClear(&result);
      VariantClear(&argument);
    })) << c.name;
    EXPECT_EQ(0u, code) << c.name;
    EXPECT_EQ(c.expected, answer) << c.name;
  }
  ZEQSetContainerProperty(owner_, "ZEQBASECONTAINER", ZEQContainerHolder());
}

TEST_F(ScriptCalls, DelayedCallRunsAfterItsDelay) {
  uint32_t code = 99;
  DWORD elapsed = 0;
  ASSERT_TRUE(OnWorker([&] {
    VARIANT argument = Int(7);
    DWORD start = GetTickCount();
    code = ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, 0, nullptr, 150, nullptr);
    elapsed = GetTickCount() - start;
  }));
  EXPECT_EQ(0u, code);
  EXPECT_GE(elapsed, 120u);
  EXPECT_EQ(L"7", Eval(L"seen.join()"));
}

TEST_F(ScriptCalls, NamedDelayedCallIsReplacedByTheNewerOne) {
  UINT_PTR first = 0, second = 0;
  ASSERT_TRUE(OnWorker([&] {
    VARIANT result;
    VARIANT argument = Int(1);
    ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, &result, kZEQApcCoalesce, nullptr, 150, L"later");
    first = V_UI4(&result);
    argument = Int(2);
    ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, &result, kZEQApcCoalesce, nullptr, 150, L"later");
    second = V_UI4(&result);
    // The delay timer belongs to this thread: pump until it fired.
    host_test::PumpWait(GetCurrentThread(), 600);
  }));
  EXPECT_NE(0u, first);
  EXPECT_EQ(first, second);
  ASSERT_TRUE(PageReaches(L"seen.join()", L"2"));
  Sleep(100);
  EXPECT_EQ(L"2", Eval(L"seen.join()"));
}

// The system numbers thread timers per thread, so two threads that delay
// calls at once commonly get the same timer id.
TEST_F(ScriptCalls, TwoThreadsDelayingCallsAtOnceBothRun) {
  const LONG liveBefore = ZEQLiveApcItems();
  HANDLE both = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG waiting = 0;
  auto delayFrom = [&](int value) {
    return [&, value] {
      if (InterlockedIncrement(&waiting) == 2) SetEvent(both);
      WaitForSingleObject(both, 5000);
      VARIANT argument = Int(value);
      ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, kZEQApcCoalesce, nullptr, 100, nullptr);
      // The delay timer belongs to this thread: pump until it fired.
      host_test::PumpWait(GetCurrentThread(), 500);
    };
  };
  ASSERT_TRUE(JoinWorkers({StartWorker(delayFrom(1)), StartWorker(delayFrom(2))}));
  CloseHandle(both);
  ASSERT_TRUE(PageReaches(L"seen.sort().join()", L"1,2"));
  EXPECT_EQ(liveBefore, ZEQLiveApcItems());
}

TEST_F(ScriptCalls, NamedDelayedCallReplacedFromAnotherThreadRunsOnlyTheNewerOne) {
  const LONG liveBefore = ZEQLiveApcItems();
  HANDLE scheduled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE first = StartWorker([&] {
    VARIANT argument = Int(1);
    ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, kZEQApcCoalesce, nullptr, 200,
                  L"across");
    SetEvent(scheduled);
    // Pumps well past the first call's delay: its timer must not post.
    host_test::PumpWait(GetCurrentThread(), 700);
  });
  ASSERT_TRUE(host_test::PumpWait(scheduled, 5000));
  HANDLE second = StartWorker([&] {
    VARIANT argument = Int(2);
    ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, kZEQApcCoalesce, nullptr, 50, L"across");
    host_test::PumpWait(GetCurrentThread(), 300);
  });
  ASSERT_TRUE(JoinWorkers({first, second}));
  CloseHandle(scheduled);
  EXPECT_TRUE(PageReaches(L"seen.join()", L"2"));
  EXPECT_EQ(liveBefore, ZEQLiveApcItems());
}

TEST_F(ScriptCalls, FrozenInterfaceKeepsOnlyTheNewestCall) {
  const LONG liveBefore = ZEQLiveApcItems();
  ZEQFreezeAPC(L"note", owner_);
  ASSERT_TRUE(OnWorker([&] {
    for (int i = 1; i <= 3; ++i) {
      VARIANT argument = Int(i);
      DWORD start = GetTickCount();
      EXPECT_EQ(0u, ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, kZEQApcCoalesce, nullptr, 0,
                                  nullptr));
      EXPECT_LT(GetTickCount() - start, 2000u);  // never blocks
    }
  }));
  Sleep(100);
  EXPECT_EQ(L"", Eval(L"seen.join()"));
  EXPECT_EQ(liveBefore + 1, ZEQLiveApcItems());  // the first two are gone
  ZEQUnfreezeAPC(L"note", owner_);
  ASSERT_TRUE(PageReaches(L"seen.join()", L"3"));
  Sleep(100);
  EXPECT_EQ(L"3", Eval(L"seen.join()"));
  EXPECT_EQ(liveBefore, ZEQLiveApcItems());
}

TEST_F(ScriptCalls, FreezeFlagHoldsTheFollowingCallsUntilUnfrozen) {
  ASSERT_TRUE(OnWorker([&] {
    for (int i = 1; i <= 3; ++i) {
      VARIANT argument = Int(i);
      ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, kZEQApcCoalesce | kZEQApcFreeze, nullptr,
                    0, nullptr);
    }
  }));
  ASSERT_TRUE(PageReaches(L"seen.join()", L"1"));
  ZEQUnfreezeAPC(L"note", owner_);
  ASSERT_TRUE(PageReaches(L"seen.join()", L"1,3"));
  // The held call had the freeze flag: the key is frozen again.
  ZEQUnfreezeAPC(L"note", owner_);
}

TEST_F(ScriptCalls, RefusalsClearTheArgument) {
  VARIANT argument = Int(1);
  EXPECT_EQ(ZEQERROR_NOTFOUND,
            ZEQDeliverAPC(nullptr, L"note", nullptr, nullptr, &argument, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_EQ(VT_EMPTY, V_VT(&argument));
  argument = Int(2);
  ZEQSetApplicationState(kZEQAppWindowsClosing);
  EXPECT_EQ(ZEQACTION_CANCEL,
            ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, 0, nullptr, 0, nullptr));
  ZEQSetApplicationState(kZEQAppRunning);
  EXPECT_EQ(VT_EMPTY, V_VT(&argument));
}

// A program window on a thread of its own, registered as a ready container.
// Stalled: the thread does not pump until told to, so calls posted to the
// window stay queued. Otherwise it pumps, but the page's interface never
// becomes ready.
class StalledWindow {
 public:
  explicit StalledWindow(bool pumping = false) : pumping_(pumping) {
    ZEQInstallScriptCalls();
    created_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    go_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, this, 0, nullptr));
    host_test::PumpWait(created_, 10000);
  }
  ~StalledWindow() {
    SetEvent(go_);
    host_test::PumpWait(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(created_);
    CloseHandle(go_);
  }
  HWND Window() const { return window_; }
  // Lets the thread destroy its window (dropping what is queued).
  void Destroy() { SetEvent(go_); }

 private:
  static unsigned __stdcall Main(void* self) {
    auto* me = static_cast<StalledWindow*>(self);
    me->window_ = CreateWindowExW(0, L"STATIC", L"stalled", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    WNDPROC old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(me->window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgramWindowProc)));
    if (old != ProgramWindowProc) previousProc = old;
    ZEQSetWindowContainer(me->window_, ZEQWindowContainer{0, false, 0, true, !me->pumping_, nullptr, 0, 0});
    SetEvent(me->created_);
    if (me->pumping_)
      host_test::PumpWait(me->go_, 30000);
    else
      WaitForSingleObject(me->go_, 20000);
    ZEQRemoveWindowContainer(me->window_);
    DestroyWindow(me->window_);
    return 0;
  }
  bool pumping_;
  HANDLE created_ = nullptr;
  HANDLE go_ = nullptr;
  HANDLE thread_ = nullptr;
  HWND window_ = nullptr;
};

struct WaitingCaller {
  volatile LONG done = 0;
  uint32_t code = 99;
  HANDLE thread = nullptr;
};

unsigned __stdcall CallAndWait(void* argument) {
  auto* caller = static_cast<std::pair<WaitingCaller*, HWND>*>(argument);
  OleInitialize(nullptr);
  caller->first->code =
      ZEQDeliverAPC(caller->second, L"note", nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr);
  InterlockedExchange(&caller->first->done, 1);
  OleUninitialize();
  return 0;
}

TEST_F(ScriptCalls, CallerOfAWindowDestroyedMeanwhileGetsNotFound) {
  StalledWindow stalled;
  ASSERT_TRUE(stalled.Window());
  WaitingCaller caller;
  std::pair<WaitingCaller*, HWND> context(&caller, stalled.Window());
  caller.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CallAndWait, &context, 0, nullptr));
  Sleep(300);
  EXPECT_EQ(0, caller.done);  // still waiting for the stalled window
  stalled.Destroy();
  ASSERT_TRUE(host_test::PumpWait(caller.thread, 10000));
  CloseHandle(caller.thread);
  EXPECT_EQ(ZEQERROR_NOTFOUND, caller.code);
}

TEST_F(ScriptCalls, CallerWaitingAtShutdownGetsCancel) {
  StalledWindow stalled;
  ASSERT_TRUE(stalled.Window());
  WaitingCaller caller;
  std::pair<WaitingCaller*, HWND> context(&caller, stalled.Window());
  caller.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CallAndWait, &context, 0, nullptr));
  Sleep(300);
  EXPECT_EQ(0, caller.done);
  ZEQSetApplicationState(kZEQAppWindowsClosing);
  bool ended = host_test::PumpWait(caller.thread, 10000);
  ZEQSetApplicationState(kZEQAppRunning);
  ASSERT_TRUE(ended);
  CloseHandle(caller.thread);
  EXPECT_EQ(ZEQACTION_CANCEL, caller.code);
}

// A window whose destruction lets a caller post a call after the queued
// calls were dropped at WM_DESTROY.
struct LateCaller {
  WaitingCaller caller;
  std::pair<WaitingCaller*, HWND> context;
};
LateCaller* lateCaller = nullptr;

LRESULT CALLBACK DyingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  if (message == WM_DESTROY && lateCaller) {
    lateCaller->context = std::make_pair(&lateCaller->caller, window);
    lateCaller->caller.thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CallAndWait, &lateCaller->context, 0, nullptr));
    // The caller posts while the window is still being destroyed.
    Sleep(300);
    ZEQRemoveWindowContainer(window);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(ScriptCalls, CallPostedToAWindowBeingDestroyedReleasesItsCallerWithNotFound) {
  ZEQInstallScriptCalls();
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DyingWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"ZEQDyingWindow";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"ZEQDyingWindow", L"dying", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(window);
  ZEQSetWindowContainer(window, ZEQWindowContainer{0, false, 0, true, true, nullptr, 0, 0});
  LateCaller late;
  lateCaller = &late;
  DestroyWindow(window);
  lateCaller = nullptr;
  ASSERT_TRUE(late.caller.thread);
  ASSERT_TRUE(host_test::PumpWait(late.caller.thread, 5000));
  CloseHandle(late.caller.thread);
  EXPECT_EQ(ZEQERROR_NOTFOUND, late.caller.code);
  UnregisterClassW(L"ZEQDyingWindow", GetModuleHandleW(nullptr));
}

TEST_F(ScriptCalls, CallerThatMeetsAQuitCancelsItsCallSoItNeverRuns) {
  HANDLE busy = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // The page's thread is held busy, so the call stays queued.
  HANDLE holder = StartWorker([&] {
    page_->Call(
        [&](ScriptHost&) {
          SetEvent(busy);
          WaitForSingleObject(release, 10000);
        },
        15000);
  });
  ASSERT_TRUE(host_test::PumpWait(busy, 5000));
  volatile DWORD callerId = 0;
  uint32_t code = 99;
  HANDLE caller = StartWorker([&] {
    callerId = GetCurrentThreadId();
    VARIANT argument = Int(42);
    code = ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, nullptr, 0, nullptr, 0, nullptr);
  });
  Sleep(300);  // the call is queued and its caller waits
  ASSERT_NE(0u, callerId);
  PostThreadMessageW(callerId, WM_QUIT, 0, 0);
  bool callerEnded = host_test::PumpWait(caller, 5000);
  SetEvent(release);
  ASSERT_TRUE(JoinWorkers({holder}));
  ASSERT_TRUE(callerEnded);
  CloseHandle(caller);
  CloseHandle(busy);
  CloseHandle(release);
  EXPECT_EQ(ZEQACTION_CANCEL, code);
  // Handled after everything queued before it.
  EXPECT_EQ(L"", Eval(L"seen.join()"));
}

TEST_F(ScriptCalls, CallToAPageThatNeverGetsReadyIsDroppedWithNotFound) {
  StalledWindow unready(true);
  ASSERT_TRUE(unready.Window());
  WaitingCaller caller;
  std::pair<WaitingCaller*, HWND> context(&caller, unready.Window());
  caller.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CallAndWait, &context, 0, nullptr));
  // Ten thousand re-posts, then the drop releases the caller.
  ASSERT_TRUE(host_test::PumpWait(caller.thread, 60000));
  CloseHandle(caller.thread);
  EXPECT_EQ(ZEQERROR_NOTFOUND, caller.code);
}

TEST_F(ScriptCalls, CallbackGetsTheResultInTheCallersPage) {
  uint32_t code = 99;
  ASSERT_TRUE(OnWorker([&] {
    VARIANT argument;
    VariantInit(&argument);
    VariantSetStringW(&argument, L"back");
    code = ZEQDeliverAPC(owner_, L"echo", L"note", nullptr, &argument, nullptr, 0, owner_, 0, nullptr);
  }));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(PageReaches(L"seen.join()", L"back!"));
}

TEST_F(ScriptCalls, ImmediateAndIntervalDelayedCalls) {
  ASSERT_TRUE(OnWorker([&] {
    VARIANT argument = Int(1);
    VARIANT result;
    ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, &result, kZEQApcCoalesce | kZEQApcImmediate, nullptr,
                  200, nullptr);
    host_test::PumpWait(GetCurrentThread(), 700);
  }));
  EXPECT_TRUE(PageReaches(L"seen.join()", L"1,1"));

  page_->Call([](ScriptHost& host) { host.Run(L"seen = [];"); });
  ASSERT_TRUE(OnWorker([&] {
    VARIANT argument = Int(2);
    VARIANT result;
    ZEQDeliverAPC(owner_, L"note", nullptr, nullptr, &argument, &result, kZEQApcCoalesce | kZEQApcInterval, nullptr,
                  50, nullptr);
    // Runs at every expiry while this thread pumps, until cancelled.
    host_test::PumpWait(GetCurrentThread(), 600);
    UINT_PTR id = V_UI4(&result);
    uintptr_t context = GetTimerExtContext(nullptr, id);
    ZEQApcItemHolder item(ZEQPacketFromValue(context));
    ASSERT_TRUE(item.IsSet());
    ZEQCancelDelayedAPC(item);
  }));
  Sleep(150);
  std::wstring seen = Eval(L"seen.length");
  EXPECT_GE(std::stoi(seen), 3);
  Sleep(200);
  EXPECT_EQ(seen, Eval(L"seen.length"));
}

TEST_F(ScriptCalls, ThinFormsBuildTheirArguments) {
  ASSERT_TRUE(OnWorker([&] {
    EXPECT_EQ(0u, ZEQDeliverAPCWithString(owner_, L"note", "text", 0, nullptr));
    EXPECT_EQ(0u, ZEQDeliverAPCWithValue(owner_, L"note", TRUE, 0, nullptr));
    JSArray* list = JSArray::New();
    list->AppendInt(4);
    list->AppendInt(5);
    list->AppendInt(6);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(0u, ZEQDeliverAPCWithArgs(owner_, L"sum", list, &result, kZEQApcArgumentList, nullptr, 0, nullptr,
                                        nullptr));
    EXPECT_EQ(15, VariantToInt(&result));
    VariantClear(&result);
    JSArray::Delete(list);
    EXPECT_EQ(ZEQERROR_NOTFOUND, ZEQDeliverAPCToContainer(owner_, L"noSuchFunction", nullptr, 0));
  }));
  EXPECT_EQ(L"text,true", Eval(L"seen.join()"));
}

// Items caught where the page's thread would run them, to be run elsewhere.
ZEQApcItemHolder* caughtItem = nullptr;

uint32_t CatchItem(ZEQApcItemHolder& item) {
  if (caughtItem) *caughtItem = item;
  return ZEQERROR_NOERROR;
}

bool FindTestContainer(HWND window, ZEQCallContainer* found) {
  ZEQWindowContainer container{};
  if (!ZEQGetWindowContainer(window, &container)) return false;
  *found = ZEQCallContainer{window, container.id, container.ready, container.interfaceReady};
  return true;
}

// The item that a call made on the page's own thread would run (unset when
// the delivery never reached execution).
ZEQApcItemHolder CatchCall(ScriptThread* page, HWND target, const wchar_t* name, int argument, uint32_t flags) {
  ZEQApcItemHolder item;
  page->Call([&](ScriptHost&) {
    caughtItem = &item;
    ZEQSetScriptCallHooks(ZEQScriptCallHooks{FindTestContainer, CatchItem});
    VARIANT value = Int(argument);
    ZEQDeliverAPC(target, name, nullptr, nullptr, &value, nullptr, flags, nullptr, 0, nullptr);
    VariantClear(&value);
    ZEQInstallScriptCalls();
    caughtItem = nullptr;
  });
  return item;
}

// The page's browser is parked in the interface table, as a container's is,
// while the fixture lives.
class ForeignThreadCalls : public ScriptCalls {
 protected:
  void SetUp() override {
    ScriptCalls::SetUp();
    ASSERT_TRUE(page_->Call([](ScriptHost& host) {
      ZEQWindowContainer view{};
      ZEQGetWindowContainer(owner_, &view);
      view.browserCookie = ZEQGITRegister(host.Browser().browser);
      ZEQSetWindowContainer(owner_, view);
    }));
  }
  void TearDown() override {
    page_->Call([](ScriptHost&) {
      ZEQWindowContainer view{};
      ZEQGetWindowContainer(owner_, &view);
      RevokeGITCookie(view.browserCookie);
      view.browserCookie = 0;
      ZEQSetWindowContainer(owner_, view);
    });
  }
  static std::wstring NameOf(const ZEQApcItemHolder& item) { return item.Get()->interfaceName; }
};

TEST_F(ForeignThreadCalls, ItemRunOffThePageThreadReachesThePageThroughAnItemOwnedCookie) {
  // Whatever the caller says of its own name's cookie, the one made here
  // belongs to the item.
  for (uint32_t flags : {0u, kZEQApcKeepInterfaceCookie}) {
    ASSERT_TRUE(page_->Call([](ScriptHost& host) { host.Run(L"calls = 0;"); }));
    ZEQApcItemHolder item = CatchCall(page_, owner_, L"add", 41, flags);
    ASSERT_TRUE(item.IsSet());
    EXPECT_EQ(L"add", NameOf(item)) << "the page's own thread leaves the name alone";
    uint32_t code = 1234;
    DWORD cookie = 0;
    ASSERT_TRUE(OnWorker([&] {
      code = ZEQExecuteAPC(item);
      cookie = static_cast<DWORD>(wcstoul(item.Get()->interfaceName, nullptr, 10));
    }));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(42, VariantToInt(&item.Get()->result));
    EXPECT_EQ(std::to_wstring(cookie) + L":add", NameOf(item));
    EXPECT_EQ(L"1", Eval(L"calls"));

    // The cookie is the item's: freeing the item revokes it even when the
    // caller kept its own name's cookie.
    if (flags & kZEQApcKeepInterfaceCookie) {
      EXPECT_FALSE(item.Get()->flags & kZEQApcKeepInterfaceCookie);
    }
    item.Release();
    // A name whose cookie yields nothing gives 311 and runs nothing.
    uint32_t stale = 1234;
    std::wstring name = std::to_wstring(cookie) + L":add";
    ASSERT_TRUE(OnWorker([&] {
      stale = ZEQDeliverAPC(owner_, name.c_str(), nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr);
    }));
    EXPECT_EQ(ZEQERROR_UNEXPECTED, stale);
    EXPECT_EQ(L"1", Eval(L"calls"));
  }
}

TEST_F(ForeignThreadCalls, EmptyNamesAndCookieNamesStayAsTheyAre) {
  // The cookie names' numbers are kept from revocation: they name nothing.
  for (const wchar_t* name : {L"", L"7:add", L"12"}) {
    ZEQApcItemHolder item = CatchCall(page_, owner_, name, 1, kZEQApcKeepInterfaceCookie);
    ASSERT_TRUE(item.IsSet()) << name;
    const wchar_t* before = item.Get()->interfaceName;
    ASSERT_TRUE(OnWorker([&] { EXPECT_EQ(1u, ZEQMarshalInterfaceName(item)); }));
    EXPECT_EQ(before, item.Get()->interfaceName) << name;
    EXPECT_EQ(std::wstring(name), NameOf(item));
    EXPECT_TRUE(item.Get()->flags & kZEQApcKeepInterfaceCookie) << name;
    item.Release();
  }
}

}  // namespace
