// Events that native code raises on a script object: the function script
// stored under the event's name runs on the page's thread, in the order the
// events were raised, whatever thread raised them.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <string>

#include "container_test_support.h"
#include "host/dispatch_ex.h"
#include "host/js_array.h"
#include "host/object_events.h"
#include "host/containers.h"
#include "host/script_calls.h"
#include "windows/records.h"
#include "windows/runtime_messages.h"

namespace {

HRESULT EventSourceInvoke(CZEQDispatchEx*, DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, IServiceProvider*) {
  return DISP_E_MEMBERNOTFOUND;
}

// The container's host window runs the calls that arrive for it, as the
// program's window procedures do.
WNDPROC g_previousProc = nullptr;
LRESULT CALLBACK RuntimeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  return CallWindowProcW(g_previousProc, window, message, wParam, lParam);
}

struct Raiser {
  CZEQDispatchEx* source;
  int count;
  uint32_t lastCode;
};

// Raises "ZEQOnMessage" with 0 .. count-1 from a thread of its own.
unsigned __stdcall RaiseEvents(void* context) {
  auto* raiser = static_cast<Raiser*>(context);
  OleInitialize(nullptr);
  RegisterDispatchExClassFactory();
  for (int i = 0; i < raiser->count; ++i) {
    VARIANT value;
    V_VT(&value) = VT_I4;
    V_I4(&value) = i;
    raiser->lastCode = ZEQFireObjectEvent(L"ZEQOnMessage", raiser->source, &value, nullptr, 0);
  }
  RevokeDispatchExClassFactory();
  OleUninitialize();
  return 0;
}

class RaisedObjectEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    ZEQInstallScriptCalls();
    window_ = pages_.Open(WB_ALLOWSZEQ, "var got = [];");
    ASSERT_NE(nullptr, window_);
    ZEQContainerHolder container = container_test::ReadyContainerOf(window_);
    ASSERT_TRUE(container.IsSet());
    auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(container->hostWindow, GWLP_WNDPROC,
                                                           reinterpret_cast<LONG_PTR>(RuntimeWindowProc)));
    if (old != RuntimeWindowProc) g_previousProc = old;
    source_ = CZEQDispatchEx::Create(L"EventSource", container->hostWindow, ZEQLookupMemberCallback,
                                     EventSourceInvoke, kZEQDispPlain);
    ASSERT_TRUE(container_test::PagePublish(window_, L"source", static_cast<IDispatchEx*>(source_)));
  }
  void TearDown() override {
    pages_.Close();
    if (source_) source_->Release();
    OleUninitialize();
  }

  std::wstring Got() { return pages_.Evaluate(window_, L"got.join()"); }

  container_test::ContainerPages pages_;
  HWND window_ = nullptr;
  CZEQDispatchEx* source_ = nullptr;
};

TEST_F(RaisedObjectEvents, EventsRaisedFromAnotherThreadArriveInOrderOnThePageThread) {
  ASSERT_EQ(L"function",
            pages_.Evaluate(window_, L"typeof (source.ZEQOnMessage = function (v) { got.push(v); })"));
  Raiser raiser{source_, 20, 99};
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RaiseEvents, &raiser, 0, nullptr));
  ASSERT_NE(nullptr, thread);
  std::wstring expected;
  for (int i = 0; i < 20; ++i) expected += (i ? L"," : L"") + std::to_wstring(i);
  std::wstring got;
  EXPECT_TRUE(container_test::WaitUntil(
      [&] {
        got = Got();
        return got == expected;
      },
      10000))
      << std::string(got.begin(), got.end());
  EXPECT_TRUE(container_test::WaitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000));
  CloseHandle(thread);
  EXPECT_EQ(0u, raiser.lastCode);
}

TEST_F(RaisedObjectEvents, AnArgumentListBecomesTheHandlersSeparateArguments) {
  ASSERT_EQ(L"function", pages_.Evaluate(window_, L"typeof (source.ZEQOnMessage = function (a, b) { got.push(a + "
                                                  L"'/' + b + '/' + arguments.length); })"));
  JSArray* arguments = JSArray::New();
  arguments->AppendStringW(L"first");
  arguments->AppendUInt(2);
  EXPECT_EQ(0u, ZEQFireObjectEventArgs(0, source_, L"ZEQOnMessage", arguments, nullptr));
  JSArray::Delete(arguments);
  EXPECT_EQ(L"first/2/2", Got());
}

TEST_F(RaisedObjectEvents, WithoutAStoredFunctionNothingIsCalled) {
  const struct {
    const char* name;
    const wchar_t* setUp;
    const wchar_t* event;
  } cases[] = {
      {"no member of that name", L"0", L"ZEQOnNothing"},
      {"a text stored under the name", L"source.ZEQOnText = 'got.push(1)'", L"ZEQOnText"},
      {"a number stored under the name", L"source.ZEQOnNumber = 5", L"ZEQOnNumber"},
      {"a class member, not a stored value", L"0", L"Success"},
  };
  for (const auto& c : cases) {
    pages_.Evaluate(window_, c.setUp);
    VARIANT value;
    V_VT(&value) = VT_I4;
    V_I4(&value) = 1;
    EXPECT_EQ(2u, ZEQFireObjectEvent(c.event, source_, &value, nullptr, 0)) << c.name;
  }
  EXPECT_EQ(L"", Got());
}

}  // namespace
