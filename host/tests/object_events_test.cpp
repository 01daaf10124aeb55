// Listeners of native objects: added by pages on two UI threads, fired
// synchronously and asynchronously, removed, failing; the "FireEvent"
// argument rules; custom events on page elements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "callable_page.h"
#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/variant.h"
#include "host/object_events.h"
#include "host/object_scope.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

constexpr char kBehaviorProperty[] = "CZEQBASEBEHAVIOR::ZEQInitialize";

// A page on this thread (A) and one on a thread of its own (B), both
// holding the same event object as "ev".
class ObjectEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a_.Ready());
    ASSERT_TRUE(b_.Ready());
    MakeCallablePage(a_);
    ASSERT_TRUE(b_.Call([](ScriptHost& host) { MakeCallablePage(host); }));
    SetPropA(a_.Owner(), kBehaviorProperty, reinterpret_cast<HANDLE>(1));
    target_ = NewTestObject(a_.Owner());
    events_ = KESTOObjectScope::Create(a_.Owner(), static_cast<IDispatchEx*>(target_));
    ASSERT_TRUE(events_);
    a_.Publish(L"ev", static_cast<IDispatchEx*>(events_));
    const DWORD cookie = ZEQGITRegister(static_cast<IDispatchEx*>(events_));
    ASSERT_TRUE(b_.Call([cookie](ScriptHost& host) {
      IDispatch* object = GetGITDispatch(cookie);
      host.Publish(L"ev", object);
      if (object) object->Release();
    }));
    RevokeGITCookie(cookie);
  }
  void TearDown() override {
    a_.Publish(L"ev", nullptr);
    b_.Call([](ScriptHost& host) { host.Publish(L"ev", nullptr); });
    if (events_) events_->Release();
    if (target_) target_->Release();
    RemovePropA(a_.Owner(), kBehaviorProperty);
  }
  std::wstring EvalB(const std::wstring& expression) {
    std::wstring value = L"<not run>";
    b_.Call([&](ScriptHost& host) { value = host.Eval(expression); });
    return value;
  }
  bool RunB(const std::wstring& code) {
    bool ran = false;
    b_.Call([&](ScriptHost& host) { ran = host.Run(code); });
    return ran;
  }
  // Pumps this thread until B's expression reads the expected text.
  bool WaitForB(const std::wstring& expression, const std::wstring& expected) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000;) {
      if (EvalB(expression) == expected) return true;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(20);
    }
    return false;
  }

  ScriptHost a_;
  ScriptThread b_;
  CZEQDispatchEx* target_ = nullptr;
  CZEQDispatchEx* events_ = nullptr;
};

TEST_F(ObjectEvents, ListenersOfBothThreadsAnswerASynchronousFire) {
  ASSERT_TRUE(RunB(L"var gotB = []; var idB = ev.AddEventListener('Ring', function (x, y) {"
                   L" gotB.push(x + ':' + y); return 'B' + x; });"));
  ASSERT_TRUE(a_.Run(L"var gotA = []; var idA = ev.AddEventListener('Ring', function (x, y) {"
                     L" gotA.push(x + ':' + y); return 'A' + x; });"));
  EXPECT_NE(L"0", a_.Eval(L"idA"));
  ASSERT_TRUE(a_.Run(L"var answers = new VBArray(ev.FireEvent('Ring', 1, 2)).toArray();")) << a_.LastError();
  // In the order the listeners were added, each run on its own page.
  EXPECT_EQ(L"B1,A1", a_.Eval(L"answers.join()"));
  EXPECT_EQ(L"1:2", a_.Eval(L"gotA.join()"));
  EXPECT_EQ(L"1:2", EvalB(L"gotB.join()"));
  EXPECT_EQ(L"undefined", EvalB(L"typeof gotA")) << "B's listener ran in B's page";
}

TEST_F(ObjectEvents, AnAsynchronousFireDoesNotWaitAndAnswersEmptySlots) {
  ASSERT_TRUE(RunB(L"var gotB = []; ev.AddEventListener('Ring', function (x) { gotB.push(x); });"));
  ASSERT_TRUE(a_.Run(L"var answers = new VBArray(ev.FireEvent('ASYNC:Ring', 5)).toArray();")) << a_.LastError();
  EXPECT_EQ(L"1", a_.Eval(L"answers.length"));
  EXPECT_EQ(L"undefined", a_.Eval(L"typeof answers[0]"));
  EXPECT_TRUE(WaitForB(L"gotB.join()", L"5")) << "the posted call arrives later";
}

TEST_F(ObjectEvents, RemovedAndMismatchedListenersAreNeverCalled) {
  ASSERT_TRUE(a_.Run(L"var calls = [];"
                     L"var first = ev.AddEventListener('Ring', function () { calls.push('first'); });"
                     L"ev.AddEventListener('ring', function () { calls.push('lower case'); });"
                     L"ev.AddEventListener('Ring:x', function () { calls.push('colon'); });"
                     L"ev.AddEventListener('Ring', function () { calls.push('second'); });"));
  EXPECT_EQ(L"0", a_.Eval(L"ev.RemoveEventListener(first)"));
  EXPECT_EQ(L"104", a_.Eval(L"ev.RemoveEventListener(first)"));
  EXPECT_EQ(L"104", a_.Eval(L"ev.RemoveEventListener(12345)"));
  ASSERT_TRUE(a_.Run(L"ev.FireEvent('Ring');"));
  EXPECT_EQ(L"second", a_.Eval(L"calls.join()"));
  // An event name with a colon of its own names only that event.
  ASSERT_TRUE(a_.Run(L"calls = []; ev.FireEvent('Ring:x');"));
  EXPECT_EQ(L"colon", a_.Eval(L"calls.join()"));
  EXPECT_EQ(L"0", a_.Eval(L"ev.AddEventListener('Ring', 42)")) << "a value that is no function";
}

TEST_F(ObjectEvents, AListenerThatThrowsDoesNotStopTheOthers) {
  ASSERT_TRUE(RunB(L"var gotB = []; ev.AddEventListener('Ring', function () { throw new Error('bad'); });"
                   L"ev.AddEventListener('Ring', function (x) { gotB.push(x); return 'ok'; });"));
  ASSERT_TRUE(a_.Run(L"var answers = new VBArray(ev.FireEvent('Ring', 'x')).toArray();")) << a_.LastError();
  EXPECT_EQ(L"2", a_.Eval(L"answers.length"));
  EXPECT_EQ(L"ok", a_.Eval(L"answers[1]"));
  EXPECT_EQ(L"x", EvalB(L"gotB.join()"));
}

TEST_F(ObjectEvents, AScopeListenerStandsForItsObjectWhoseMemberIsCalled) {
  ASSERT_TRUE(a_.Run(L"var got = []; var handler = { Ring: function (x) { got.push('member ' + x); return 'm'; } };"
                     L"var plain = function (x) { got.push('function ' + x); };"));
  VARIANT handler;
  ASSERT_EQ(S_OK, a_.EvalVariant(L"handler", &handler));
  CZEQDispatchEx* scope = KESTOObjectScope::Create(a_.Owner(), V_DISPATCH(&handler));
  VariantClear(&handler);
  ASSERT_TRUE(scope);
  a_.Publish(L"scoped", static_cast<IDispatchEx*>(scope));
  a_.Publish(L"native", static_cast<IDispatchEx*>(target_));
  scope->Release();
  ASSERT_TRUE(a_.Run(L"ev.AddEventListener('Ring', scoped); ev.AddEventListener('Ring', plain);"
                     L"ev.AddEventListener('Ring', native);"  // a native object of another class: skipped
                     L"var answers = new VBArray(ev.FireEvent('Ring', 3)).toArray();"))
      << a_.LastError();
  EXPECT_EQ(L"member 3,function 3", a_.Eval(L"got.join()"));
  EXPECT_EQ(L"3", a_.Eval(L"answers.length"));
  EXPECT_EQ(L"m", a_.Eval(L"answers[0]"));
  a_.Publish(L"scoped", nullptr);
  a_.Publish(L"native", nullptr);
}

TEST_F(ObjectEvents, FireEventChecksItsArgumentsAndTheOwnersBehavior) {
  std::vector<VARIANT> many(1025);
  for (auto& v : many) VariantInitInt(&v, 1);
  VariantSetString(&many.back(), "Ring");
  struct Case {
    const char* name;
    UINT count;
    HRESULT expected;
  };
  const Case cases[] = {
      {"no arguments", 0, DISP_E_BADPARAMCOUNT},
      {"1,025 arguments", 1025, DISP_E_BADPARAMCOUNT},
      {"1,024 arguments", 1024, S_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DISPPARAMS params{many.data() + (1025 - c.count), nullptr, c.count, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(c.expected, events_->InvokeEx(kZEQDispidFireEvent, 0, DISPATCH_METHOD, &params, &result, nullptr,
                                            nullptr));
    VariantClear(&result);
  }
  for (auto& v : many) VariantClear(&v);

  ASSERT_TRUE(a_.Run(L"var n = 0; ev.AddEventListener('Ring', function () { ++n; });"));
  VARIANT name;
  VariantSetString(&name, "Ring");
  DISPPARAMS one{&name, nullptr, 1, 0};
  EXPECT_EQ(ZEQERROR_NOERROR, ZEQFireObjectEventListeners(events_, &one, nullptr));
  RemovePropA(a_.Owner(), kBehaviorProperty);
  EXPECT_EQ(ZEQERROR_GENERALFAILURE, ZEQFireObjectEventListeners(events_, &one, nullptr))
      << "a window without its base behavior fires nothing";
  SetPropA(a_.Owner(), "KESTOX", reinterpret_cast<HANDLE>(1));
  SetPropA(a_.Owner(), kBehaviorProperty, reinterpret_cast<HANDLE>(1));
  EXPECT_EQ(ZEQERROR_GENERALFAILURE, ZEQFireObjectEventListeners(events_, &one, nullptr));
  RemovePropA(a_.Owner(), "KESTOX");
  VariantClear(&name);
  EXPECT_EQ(L"1", a_.Eval(L"n"));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, a_.ErrorOf(L"var x = ev.FireEvent;")) << "a member read as a property";
}

TEST(EventHelpers, SyncPrefixesAreRecognisedAndRemoved) {
  struct Case {
    const char* text;
    int mode;
    const char* rest;
  };
  const Case cases[] = {
      {"async:Ring", 2, "Ring"}, {"Sync:Ring", 1, "Ring"}, {"ASYNC:", 2, ""},
      {"Ring", 0, "Ring"},       {"", 0, ""},              {"asyncRing", 0, "asyncRing"},
  };
  for (const auto& c : cases) {
    char buffer[32];
    strcpy(buffer, c.text);
    EXPECT_EQ(c.mode, ParseSyncPrefix(buffer)) << c.text;
    EXPECT_STREQ(c.rest, buffer) << c.text;
  }
  EXPECT_EQ(0, ParseSyncPrefix(nullptr));
}

TEST(EventHelpers, DispParamsBecomeAnArrayInScriptOrder) {
  VARIANT args[3];
  VariantInitInt(&args[0], 3);  // the last argument comes first
  VariantInitInt(&args[1], 2);
  VariantInitInt(&args[2], 1);
  VARIANT out;
  ASSERT_EQ(1, DispParamsToSafeArray(2, args + 1, &out));
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(&out));
  LONG upper = -1;
  SafeArrayGetUBound(V_ARRAY(&out), 1, &upper);
  ASSERT_EQ(1, upper);
  VARIANT* slots = nullptr;
  SafeArrayAccessData(V_ARRAY(&out), reinterpret_cast<void**>(&slots));
  EXPECT_EQ(1, V_I4(&slots[0]));
  EXPECT_EQ(2, V_I4(&slots[1]));
  SafeArrayUnaccessData(V_ARRAY(&out));
  VariantClear(&out);
  EXPECT_EQ(0, DispParamsToSafeArray(1, args, nullptr));
}

class ElementEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.Run(L"document.body.innerHTML = '<div id=\"target\"></div>';"));
    IHTMLDocument3* document = nullptr;
    ASSERT_EQ(S_OK, host_.Browser().Doc()->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&document)));
    BSTR id = SysAllocString(L"target");
    document->getElementById(id, &element_);
    SysFreeString(id);
    document->Release();
    ASSERT_TRUE(element_);
  }
  void TearDown() override {
    if (element_) element_->Release();
  }
  ScriptHost host_;
  IHTMLElement* element_ = nullptr;
};

TEST_F(ElementEvents, AHandlerAnswersThroughTheEventObject) {
  // The attribute reaches the handler as an expando of the event object.
  ASSERT_TRUE(host_.Run(L"var seen; document.getElementById('target').onclick = function () {"
                        L" seen = window.event.ZEQData; window.event.ZEQReturnValue = seen + 1; };"));
  VARIANT value, answer;
  VariantInitInt(&value, 41);
  EXPECT_EQ(0u, ZEQFireElementEvent(element_, "onclick", "ZEQData", &value, &answer));
  EXPECT_EQ(L"41", host_.Eval(L"seen"));
  EXPECT_EQ(42, VariantToInt(&answer));
  VariantClear(&answer);

  // Without an attribute the answer is the event's returnValue.
  ASSERT_TRUE(host_.Run(L"document.getElementById('target').onclick = function () {"
                        L" window.event.returnValue = 7; };"));
  EXPECT_EQ(0u, ZEQFireElementEvent(element_, "onclick", nullptr, nullptr, &answer));
  EXPECT_EQ(7, VariantToInt(&answer));
  VariantClear(&answer);
  EXPECT_EQ(2u, ZEQFireElementEvent(nullptr, "onclick", nullptr, nullptr, &answer));
  EXPECT_EQ(VT_EMPTY, V_VT(&answer));
}

}  // namespace
