// Objects across threads: cookie names inside arguments, argument arrays as
// DISPPARAMS, document functions called with them, stored values read on
// another thread, and a browser's window reached from another thread.
#include "host/cross_thread.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/variant.h"
#include "host/js_array.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

// A marshalled argument array of the given texts and numbers.
SAFEARRAY* Arguments(std::initializer_list<VARIANT> values) {
  JSArray array;
  array.Init();
  for (const VARIANT& v : values) array.AppendVariant(&v);
  VARIANT out;
  VariantInit(&out);
  array.ToSafeArray(&out);
  array.Destroy();
  return V_ARRAY(&out);
}

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  VariantSetStringW(&v, text);
  return v;
}

// A cookie name as the host hands it out: a text with the host's mark.
VARIANT Marked(const wchar_t* name) {
  VARIANT v = Text(name);
  ZEQMarkCookieName(&v);
  return v;
}

VARIANT Number(int n) {
  VARIANT v;
  VariantInitInt(&v, n);
  return v;
}

class CrossThread : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    object_ = NewTestObject(host_.Owner());
    cookie_ = ZEQMakeCookieName(static_cast<IDispatchEx*>(object_), name_, kZEQCookieNameSize);
    ASSERT_NE(0u, cookie_);
  }
  void TearDown() override {
    ZEQRevokeCookieName(cookie_);
    object_->Release();
  }
  bool IsObject(const VARIANT& v) {
    return V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v) == static_cast<IDispatch*>(object_);
  }
  ScriptHost host_;
  CZEQDispatchEx* object_ = nullptr;
  DWORD cookie_ = 0;
  wchar_t name_[kZEQCookieNameSize];
};

TEST_F(CrossThread, CookieNamesAreTheHostsOwn) {
  EXPECT_EQ(0, wcsncmp(name_, L"{8E4D2F61-5A3C-47B2-B1D8-39F07A6C2E15}.KESTOGIT.", 48));
  EXPECT_EQ(std::to_wstring(cookie_), std::wstring(name_ + 48));
  EXPECT_EQ(cookie_, ZEQCookieNameToCookie(name_));
  // A cookie parked some other way, a name with more after the number, and
  // the prefix in other letters are texts.
  const DWORD plain = ZEQGITRegister(static_cast<IDispatchEx*>(object_));
  const std::wstring prefix = L"{8E4D2F61-5A3C-47B2-B1D8-39F07A6C2E15}.KESTOGIT.";
  EXPECT_EQ(0u, ZEQCookieNameToCookie((prefix + std::to_wstring(plain)).c_str()));
  EXPECT_EQ(0u, ZEQCookieNameToCookie((prefix + std::to_wstring(cookie_) + L"x").c_str()));
  EXPECT_EQ(0u, ZEQCookieNameToCookie((prefix + L"0" + std::to_wstring(cookie_)).c_str()));
  EXPECT_EQ(0u, ZEQCookieNameToCookie(
                    (L"{8e4d2f61-5a3c-47b2-b1d8-39f07a6c2e15}.KESTOGIT." + std::to_wstring(cookie_)).c_str()));
  EXPECT_EQ(0u, ZEQCookieNameToCookie(nullptr));
  RevokeGITCookie(plain);
  wchar_t small[8];
  EXPECT_EQ(0u, ZEQMakeCookieName(static_cast<IDispatchEx*>(object_), small, 8));
  EXPECT_EQ(0u, ZEQMakeCookieName(nullptr, name_ + 0, 0));
}

TEST_F(CrossThread, ArgumentArraysBecomeDispParams) {
  const std::wstring lower = L"{8e4d2f61-5a3c-47b2-b1d8-39f07a6c2e15}.KESTOGIT." + std::to_wstring(cookie_);
  // The same text without the mark, as a page or the network could send it.
  VARIANT name = Marked(name_), lowerName = Marked(lower.c_str()), first = Text(L"first"), five = Number(5),
          copied = Text(name_);
  SAFEARRAY* arguments = Arguments({first, name, lowerName, five, copied});
  CZEQDispatchEx* leading = NewTestObject();
  CZEQDispatchEx* trailing = NewTestObject();
  DISPPARAMS* block = ZEQUnmarshalArguments(leading, arguments, trailing);
  ASSERT_TRUE(block);
  ASSERT_EQ(7u, block->cArgs);
  EXPECT_EQ(0u, block->cNamedArgs);
  // DISPPARAMS order: the callee's first argument is the last slot.
  EXPECT_EQ(static_cast<IDispatch*>(trailing), V_DISPATCH(&block->rgvarg[6]));
  EXPECT_STREQ(L"first", V_BSTR(&block->rgvarg[5]));
  EXPECT_TRUE(IsObject(block->rgvarg[4]));
  EXPECT_EQ(VT_BSTR, V_VT(&block->rgvarg[3]));  // other letters: a text
  EXPECT_EQ(5, V_I4(&block->rgvarg[2]));
  // A live name without the host's mark: a text.
  ASSERT_EQ(VT_BSTR, V_VT(&block->rgvarg[1]));
  EXPECT_STREQ(name_, V_BSTR(&block->rgvarg[1]));
  EXPECT_EQ(static_cast<IDispatch*>(leading), V_DISPATCH(&block->rgvarg[0]));
  ZEQVariantArray::Delete(block);
  // Without extra objects the elements alone, first argument last.
  block = ZEQUnmarshalArguments(nullptr, arguments, nullptr);
  ASSERT_EQ(5u, block->cArgs);
  EXPECT_STREQ(L"first", V_BSTR(&block->rgvarg[4]));
  ZEQVariantArray::Delete(block);
  // A revoked name stays a text.
  ZEQRevokeCookieName(cookie_);
  block = ZEQUnmarshalArguments(nullptr, arguments, nullptr);
  EXPECT_EQ(VT_BSTR, V_VT(&block->rgvarg[3]));
  ZEQVariantArray::Delete(block);
  cookie_ = 0;
  EXPECT_EQ(nullptr, ZEQUnmarshalArguments(nullptr, nullptr, nullptr));
  SafeArrayDestroy(arguments);
  leading->Release();
  trailing->Release();
  VariantClear(&name);
  VariantClear(&lowerName);
  VariantClear(&first);
  VariantClear(&copied);
}

TEST_F(CrossThread, DocumentFunctionsTakeMarshalledArguments) {
  ASSERT_TRUE(host_.Run(L"function Describe(a, b, c) { return a + ':' + typeof b + ':' + b.Echo(c); }"));
  VARIANT name = Marked(name_), text = Text(L"x"), seven = Number(7);
  SAFEARRAY* arguments = Arguments({text, name, seven});
  VARIANT result;
  ASSERT_EQ(S_OK, ZEQCallDocumentFunction(host_.Browser().Doc(), L"Describe", arguments, &result));
  ASSERT_EQ(VT_BSTR, V_VT(&result));
  EXPECT_STREQ(L"x:object:7", V_BSTR(&result));
  VariantClear(&result);
  // Names are case-sensitive; a missing function leaves the result alone.
  VariantInitInt(&result, 99);
  EXPECT_TRUE(FAILED(ZEQCallDocumentFunction(host_.Browser().Doc(), L"describe", arguments, &result)));
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(99, V_I4(&result));
  EXPECT_EQ(E_FAIL, ZEQCallDocumentFunction(nullptr, L"Describe", arguments, &result));
  EXPECT_EQ(E_FAIL, ZEQCallDocumentFunction(host_.Browser().Doc(), L"Describe", nullptr, &result));
  SafeArrayDestroy(arguments);
  VariantClear(&name);
  VariantClear(&text);
}

TEST_F(CrossThread, StoredValuesReadBackOnAnotherThread) {
  ZEQList* list = object_->Members(true);
  VARIANT text = Text(L"kept"), fn;
  ASSERT_EQ(S_OK, host_.EvalVariant(L"function() { return 'called'; }", &fn));
  ASSERT_TRUE(NamedVariantList::Set(L"text", list, &text));
  ASSERT_TRUE(NamedVariantList::Set(L"fn", list, &fn));
  EXPECT_EQ(nullptr, NamedVariantList::Set(L"", list, &text));
  EXPECT_EQ(nullptr, NamedVariantList::Set(L"x", nullptr, &text));
  VARIANT out;
  DWORD cookie = 0;
  ASSERT_TRUE(NamedVariantList::Get(list, L"text", &out, &cookie));
  EXPECT_STREQ(L"kept", V_BSTR(&out));
  EXPECT_EQ(static_cast<DWORD>(-1), cookie);
  VariantClear(&out);
  EXPECT_FALSE(NamedVariantList::Get(list, L"missing", &out, &cookie));
  EXPECT_FALSE(NamedVariantList::Get(nullptr, L"text", &out, nullptr));
  ScriptThread other;
  ASSERT_TRUE(other.Ready());
  std::wstring called;
  DWORD seenCookie = 0;
  ASSERT_TRUE(other.Call([&](ScriptHost& b) {
    VARIANT f;
    if (NamedVariantList::Get(list, L"fn", &f, &seenCookie)) {
      b.Publish(L"f", V_DISPATCH(&f));
      called = b.Eval(L"f()");
      b.Publish(L"f", nullptr);
    }
    VariantClear(&f);
  }));
  EXPECT_EQ(L"called", called);
  EXPECT_NE(0u, seenCookie);
  EXPECT_NE(static_cast<DWORD>(-1), seenCookie);
  // Removing the stored function revokes its cookie.
  EXPECT_EQ(1, NamedVariantList::Remove(L"fn", list));
  EXPECT_EQ(nullptr, GetInterfaceFromGIT(seenCookie));
  EXPECT_EQ(0, NamedVariantList::Remove(L"fn", list));
  VariantClear(&text);
  VariantClear(&fn);
}

TEST_F(CrossThread, BrowserWindowFromAnyThread) {
  IWebBrowser2* browser = host_.Browser().browser;
  const DWORD browserCookie = ZEQGITRegister(browser);
  ASSERT_NE(0u, browserCookie);
  ZEQBrowserSiteRef site{host_.Owner(), browser, browserCookie};
  IHTMLWindow2* window = IBCGetHTMLWindow(&site);
  ASSERT_TRUE(window);
  window->Release();
  ScriptThread other;
  ASSERT_TRUE(other.Ready());
  bool found = false, missing = true;
  ASSERT_TRUE(other.Call([&](ScriptHost&) {
    IHTMLWindow2* w = IBCGetHTMLWindow(&site);
    found = w != nullptr;
    if (w) w->Release();
    ZEQBrowserSiteRef wrong{site.containerWindow, site.browser, 0};
    missing = IBCGetHTMLWindow(&wrong) == nullptr;
  }));
  EXPECT_TRUE(found);
  EXPECT_TRUE(missing);
  EXPECT_EQ(nullptr, IBCGetHTMLWindow(nullptr));
  RevokeGITCookie(browserCookie);
}

}  // namespace
