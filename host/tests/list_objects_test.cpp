// "ZEQList" and "ZEQBinaryList" as page script uses them, a list shared by
// pages on two threads, token references that name nothing; "ZEQBinary";
// "KESTOGlobal" expandos shared between containers.
#include <gtest/gtest.h>

#include <string>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "host/containers.h"
#include "host/list_objects.h"
#include "script_host.h"

using namespace host_test;

namespace {

class ListScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.PublishClass(L"ZEQList", ZEQListGetIDsOfNames, ZEQListInvoke));
    ASSERT_TRUE(host_.PublishClass(L"ZEQBinaryList", ZEQListGetIDsOfNames, ZEQListInvoke));
    ASSERT_TRUE(host_.PublishClass(L"ZEQBinary", ZEQLookupMemberCallback, ZEQBinaryInvoke));
  }
  ScriptHost host_;
};

TEST_F(ListScript, AnOrderedListKeepsTokensByPosition) {
  ASSERT_TRUE(host_.Run(L"var l = new ZEQList(); var a = l.AddLast(1, 2); var b = l.AddFirst('head');"
                        L"var g = l.Get(1);"))
      << host_.LastError();
  EXPECT_EQ(L"true", host_.Eval(L"a.Success"));
  EXPECT_EQ(L"2", host_.Eval(L"l.Length"));
  EXPECT_EQ(L"2", host_.Eval(L"g.ParamCount"));
  EXPECT_EQ(L"1,2", host_.Eval(L"g.Param1 + ',' + g.Param2"));
  EXPECT_EQ(L"true", host_.Eval(L"g.Token == g.Id && g.Id == a.Id"));
  EXPECT_EQ(L"head", host_.Eval(L"l.Get(0).Param1"));
  EXPECT_EQ(L"0", host_.Eval(L"l.Get(0).RefCount"));
  // A token is named by its position or by its text.
  EXPECT_EQ(L"1", host_.Eval(L"l.Get(a.Id).Index"));
  EXPECT_EQ(L"true", host_.Eval(L"l.Change(a.Id, 'x', 'y', 'z').Success"));
  EXPECT_EQ(L"3,z,1", host_.Eval(L"[l.Get(1).ParamCount, l.Get(1).Param3, l.Get(1).Index].join()"));
  EXPECT_EQ(L"true", host_.Eval(L"l.Get(1).Id == a.Id")) << "a change keeps the token";
  EXPECT_EQ(L"true", host_.Eval(L"l.Insert(1, 'middle').Success"));
  EXPECT_EQ(L"middle", host_.Eval(L"l.Get(1).Param1"));
  EXPECT_EQ(L"false", host_.Eval(L"l.Insert(9, 'past the end').Success"));
  EXPECT_EQ(L"3", host_.Eval(L"l.Length"));
  EXPECT_EQ(L"true", host_.Eval(L"l.Remove(0).Success"));
  EXPECT_EQ(L"false", host_.Eval(L"l.Remove(5).Success"));
  EXPECT_EQ(L"true", host_.Eval(L"l.ClearAll().Success && l.Length == 0"));
}

TEST_F(ListScript, AKeyedListFindsTokensByTextInItsCompareMode) {
  ASSERT_TRUE(host_.Run(L"var folded = new ZEQBinaryList(); folded.AddToken('Abc', 1);"
                        L"var exact = new ZEQBinaryList(true); exact.AddToken('Abc', 1);"
                        L"folded.AddToken('zed', 'z'); folded.AddToken('Mid', 'm'); folded.AddToken('abc', 2);"))
      << host_.LastError();
  EXPECT_EQ(L"true", host_.Eval(L"folded.Get('ABC').Success"));
  EXPECT_EQ(L"false", host_.Eval(L"exact.Get('ABC').Success"));
  EXPECT_EQ(L"true", host_.Eval(L"exact.Get('Abc').Success"));
  // The same text again replaced the values; tokens stay sorted.
  EXPECT_EQ(L"3", host_.Eval(L"folded.Length"));
  EXPECT_EQ(L"2", host_.Eval(L"folded.Get('abc').Param1"));
  EXPECT_EQ(L"abc,Mid,zed", host_.Eval(L"[folded.Get(0).Token, folded.Get(1).Token, folded.Get(2).Token].join()"));
  EXPECT_EQ(L"4294967295", host_.Eval(L"folded.AddLast('new', 0).Index"));
  EXPECT_EQ(L"true", host_.Eval(L"folded.Change('MID', 'changed').Success"));
  EXPECT_EQ(L"changed", host_.Eval(L"folded.Get('Mid').Param1"));
  EXPECT_EQ(L"false", host_.Eval(L"folded.Change('absent', 1).Success"));
}

TEST_F(ListScript, CallsOutsideTheRulesFailWithTheirCodes) {
  ASSERT_TRUE(host_.Run(L"var l = new ZEQList(); var k = new ZEQBinaryList();"));
  struct Case {
    const wchar_t* code;
    HRESULT expected;
  };
  const Case cases[] = {
      {L"k.Insert('a', 1)", DISP_E_TYPEMISMATCH},
      {L"k.AddToken('', 1)", DISP_E_TYPEMISMATCH},
      {L"k.AddToken('a')", DISP_E_BADPARAMCOUNT},
      {L"l.AddLast()", DISP_E_BADPARAMCOUNT},
      {L"l.AddLast(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17)", DISP_E_BADPARAMCOUNT},
      {L"l.Get()", DISP_E_BADPARAMCOUNT},
      {L"l.Find(1)", DISP_E_MEMBERNOTFOUND},
      {L"l.Join(1)", DISP_E_MEMBERNOTFOUND},
      {L"l.AddToken(1)", static_cast<HRESULT>(0x800A01B6)},  // no such member in an ordered list
      {L"new ZEQList(1, 2)", DISP_E_BADPARAMCOUNT},
      {L"new ZEQBinary(1)", DISP_E_BADPARAMCOUNT},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, host_.ErrorOf(c.code)) << c.code;
  EXPECT_EQ(L"true", host_.Eval(L"l.AddLast(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16).Success"));
  EXPECT_EQ(L"undefined", host_.Eval(L"typeof new ZEQBinary().Id"));
}

TEST_F(ListScript, TokensThatNameNothingAreRefused) {
  ASSERT_TRUE(host_.Run(L"var l = new ZEQList(); var other = new ZEQList();"
                        L"var t = l.AddLast('kept'); var gone = l.AddLast('gone');"
                        L"var stale = gone.Id; l.Remove(stale);"
                        L"for (var i = 0; i < 50; ++i) l.AddLast(i);"  // reuses freed memory
                        L"var foreign = other.AddLast('elsewhere').Id;"))
      << host_.LastError();
  struct Case {
    const wchar_t* name;
    const wchar_t* reference;
  };
  const Case cases[] = {
      {L"a forged identifier", L"'deadbeef'"},
      {L"the identifier of a removed token", L"stale"},
      {L"a token of another list", L"foreign"},
      {L"a negative position", L"-1"},
      {L"an object", L"l"},
  };
  for (const auto& c : cases) {
    const std::wstring get = L"l.Get(" + std::wstring(c.reference) + L")";
    EXPECT_EQ(L"false", host_.Eval(get + L".Success")) << c.name;
    EXPECT_EQ(L"2", host_.Eval(get + L".ErrorCode")) << c.name;
    EXPECT_EQ(L"false", host_.Eval(L"l.Change(" + std::wstring(c.reference) + L", 1).Success")) << c.name;
  }
  EXPECT_EQ(L"kept", host_.Eval(L"l.Get(t.Id).Param1"));
}

TEST(ListThreads, PagesOnTwoThreadsShareOneListAndItsLock) {
  ScriptHost a;
  ScriptThread b;
  ASSERT_TRUE(a.Ready() && b.Ready());
  ASSERT_TRUE(a.PublishClass(L"ZEQList", ZEQListGetIDsOfNames, ZEQListInvoke));
  ASSERT_TRUE(a.Run(L"var shared = new ZEQList(); var o = { text: 'from A' }; shared.AddLast('a', o);"));
  VARIANT list;
  ASSERT_EQ(S_OK, a.EvalVariant(L"shared", &list));
  const DWORD cookie = ZEQGITRegister(V_DISPATCH(&list));
  VariantClear(&list);
  std::wstring seen;
  ASSERT_TRUE(b.Call([&](ScriptHost& host) {
    IDispatch* object = GetGITDispatch(cookie);
    host.Publish(L"shared", object);
    if (object) object->Release();
    // The object value comes back for this thread and its members answer.
    seen = host.Eval(L"shared.Get(0).Param1 + ',' + shared.Get(0).Param2.text");
    host.Run(L"shared.AddLast('b');");
  }));
  RevokeGITCookie(cookie);
  EXPECT_EQ(L"a,from A", seen);
  EXPECT_EQ(L"2", a.Eval(L"shared.Length"));

  // A holds the lock: B cannot take it until A releases it as often as it
  // entered it.
  ASSERT_TRUE(a.Run(L"shared.Lock(); shared.Lock();"));
  std::wstring tried;
  ASSERT_TRUE(b.Call([&](ScriptHost& host) { tried = host.Eval(L"shared.TryLock()"); }));
  EXPECT_EQ(L"false", tried);
  ASSERT_TRUE(a.Run(L"shared.Release();"));
  ASSERT_TRUE(b.Call([&](ScriptHost& host) { tried = host.Eval(L"shared.TryLock()"); }));
  EXPECT_EQ(L"false", tried);
  // B's release of a lock it does not hold changes nothing.
  ASSERT_TRUE(b.Call([&](ScriptHost& host) { host.Run(L"shared.Release();"); }));
  ASSERT_TRUE(a.Run(L"shared.Release();"));
  ASSERT_TRUE(b.Call([&](ScriptHost& host) { tried = host.Eval(L"shared.TryLock() && shared.AddLast('c').Success"); }));
  EXPECT_EQ(L"true", tried);
  EXPECT_EQ(L"false", a.Eval(L"shared.TryLock()")) << "B still holds it";
  ASSERT_TRUE(b.Call([&](ScriptHost& host) { host.Run(L"shared.Release();"); }));
  EXPECT_EQ(L"3", a.Eval(L"shared.Length"));
  b.Call([](ScriptHost& host) { host.Publish(L"shared", nullptr); });
}

TEST(GlobalObject, ExpandosAreSharedByContainersOnOtherThreads) {
  KESTOGlobalSetPaths("C:\\App", "zeq:Loader.html");
  ScriptHost a(WB_MAINWINDOW);
  ScriptThread b;
  ASSERT_TRUE(a.Ready() && b.Ready());
  ASSERT_TRUE(a.PublishClass(L"KESTOGlobal", ZEQLookupMemberCallback, KESTOGlobalInvoke));
  ASSERT_TRUE(a.Run(L"var g = new KESTOGlobal(); g.sharedValue = 'from A'; g.Lock(); g.Release();"));
  EXPECT_EQ(L"C:\\App|zeq:Loader.html", a.Eval(L"g.KESTOPath + '|' + g.LoaderPath"));
  std::wstring seen;
  HRESULT storeObject = S_OK;
  ASSERT_TRUE(b.Call([&](ScriptHost& host) {
    host.PublishClass(L"KESTOGlobal", ZEQLookupMemberCallback, KESTOGlobalInvoke);
    seen = host.Eval(L"new KESTOGlobal().sharedValue");
    host.Run(L"new KESTOGlobal().fromB = 42;");
    // B's container has neither option bit: objects are refused.
    storeObject = host.ErrorOf(L"new KESTOGlobal().anObject = {};");
  }));
  EXPECT_EQ(L"from A", seen);
  EXPECT_EQ(DISP_E_BADCALLEE, storeObject);
  EXPECT_EQ(L"42", a.Eval(L"g.fromB"));
  EXPECT_EQ(S_OK, a.ErrorOf(L"g.anObject = { n: 1 };")) << "the main window's container may store objects";
}

}  // namespace
