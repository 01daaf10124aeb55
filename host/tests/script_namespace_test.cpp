// The script namespace as a page of a "zeq" container sees it: class
// objects that script constructs by name, and the constant families with
// their exact names, types and values.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "container_test_support.h"
#include "host/dispatch_ex.h"
#include "host/script_namespace.h"
#include "windows/records.h"

namespace {

// A class that another subsystem installs: its instances answer "kind".
HRESULT OwnedClassInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                         IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, nullptr, result)) {
    if (object->IsRegistering()) ZEQRegisterMember(object, 1, kZEQMemberProperty, L"kind");
    return S_OK;
  }
  if (flags & DISPATCH_CONSTRUCT) {
    CZEQDispatchEx* instance = CZEQDispatchEx::Create(object->className, object->owner, ZEQLookupMemberCallback,
                                                      OwnedClassInvoke, kZEQDispInstance);
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = static_cast<IDispatchEx*>(instance);
    return S_OK;
  }
  if (id == 1 && (flags & DISPATCH_PROPERTYGET)) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(object->className);
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

class ScriptNamespace : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
  }
  void TearDown() override {
    pages_.Close();
    ZEQRegisterScriptClass(L"ZEQSIP", nullptr, nullptr);
    OleUninitialize();
  }

  container_test::ContainerPages pages_;
};

struct Case {
  const char* name;
  const wchar_t* expression;
  const wchar_t* expected;
};

TEST_F(ScriptNamespace, PagesConstructClassesByNameAndReadConstants) {
  ASSERT_TRUE(ZEQRegisterScriptClass(L"ZEQSIP", ZEQLookupMemberCallback, OwnedClassInvoke));
  HWND window = pages_.Open(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, window);
  ASSERT_EQ(1, ZEQDefineScriptNamespace(container_test::ContainerOf(window)));
  const Case cases[] = {
      {"list constructed by name", L"typeof new ZEQList()", L"object"},
      {"global object with its result members", L"new ZEQGlobal().Success", L"true"},
      {"globals of one top container share expandos",
       L"(function(){ var a = new ZEQGlobal(); a.note = 'kept'; return new ZEQGlobal().note; })()", L"kept"},
      {"a class installed by its subsystem", L"new ZEQSIP().kind", L"ZEQSIP"},
      {"class object resolves no member", L"typeof ZEQList.Count", L"undefined"},
      {"class not installed stays undefined", L"typeof ZEQHTTP", L"undefined"},
      {"identity text", L"KESTO_CLSID", L"3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9"},
      {"error code", L"ZEQERROR_NOTFOUND", L"104"},
      {"shared error value", L"ZEQERROR_NOACTION === ZEQERROR_NOERROR", L"true"},
      {"ready state", L"ZEQREADYSTATE_COMPLETE", L"60"},
      {"action", L"ZEQACTION_CANCEL", L"8194"},
      {"top bit reads unsigned", L"WB_TOPWINDOW", L"2147483648"},
      {"name with its blank", L"window['WB_TRACKCHILDREN ']", L"268435456"},
      {"name without the blank", L"typeof WB_TRACKCHILDREN", L"undefined"},
      {"start flag published last", L"WB_STARTMINIMIZED", L"4194304"},
      {"registry key", L"HKEY_LOCAL_MACHINE", L"2147483650"},
      {"HTTP constants come without their class", L"ZEQHTTP_OPEN_RELOAD", L"2147483648"},
      {"package content type is text", L"ZEQPKG_CONTENT_TYPE_FILE === 1", L"false"},
      {"package content type value", L"ZEQPKG_CONTENT_TYPE_FILE + 1", L"11"},
      {"package error", L"ZEQPKG_EXTRACT_ERROR_CREATEFILE", L"19"},
      {"SQLite result", L"SQLITE_DONE", L"101"},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.expected), pages_.Evaluate(window, c.expression)) << c.name;
}

TEST_F(ScriptNamespace, ContainersWithoutTheZeqOptionGetNothing) {
  HWND parent = pages_.Open(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, parent);
  HWND window = pages_.Open(0, std::string(), parent);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(0, ZEQDefineScriptNamespace(container_test::ContainerOf(window)));
  const Case cases[] = {
      {"no class objects", L"typeof ZEQList", L"undefined"},
      {"no constants", L"typeof ZEQERROR_NOTFOUND", L"undefined"},
      {"no identity text", L"typeof KESTO_CLSID", L"undefined"},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.expected), pages_.Evaluate(window, c.expression)) << c.name;
  EXPECT_EQ(0, ZEQDefineScriptNamespace(ZEQContainerHolder()));
}

TEST_F(ScriptNamespace, OnlyTheNamespacesOwnClassesCanBeInstalled) {
  const struct {
    const wchar_t* name;
    bool accepted;
  } cases[] = {{L"ZEQSIP", true}, {L"ZEQRadio", true}, {L"prompt", true}, {L"ZEQPrompt", false},
               {L"zeqsip", false}, {L"", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.accepted, ZEQRegisterScriptClass(c.name, nullptr, nullptr)) << std::string(c.name, c.name + wcslen(c.name));
  }
}

}  // namespace
