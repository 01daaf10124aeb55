// The host object "KESTO" as page script and the browser reach it: names
// resolved by the container's "zeq" option, ZEQGetVersion, the argument and
// call-kind rules, and the chained member tables in their order.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "container_test_support.h"
#include "host/browser_container.h"
#include "host/host_object.h"
#include "test_support.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"
#include "windows/records.h"

namespace {

using container_test::HostObjectOf;
using container_test::PageExec;
using container_test::PageGlobal;
using container_test::WaitUntil;

using container_test::Narrow;

DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr) {
  DISPID id = 12345;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  const HRESULT answer = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr) *hr = answer;
  return id;
}

// What the chained test tables saw, in order: "table:DISPID".
std::vector<std::string>& TableCalls() {
  static std::vector<std::string> calls;
  return calls;
}

// A chained table that owns "KESTOExit" (1009) and also claims DISPID 21137,
// which the sound table below owns too: the earlier table must win.
HRESULT ApplicationTable(CZEQDispatchEx* object, DISPID id, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                         IServiceProvider*) {
  if (id == 0 && !result) {
    ZEQRegisterMember(object, 1009, kZEQMemberMethod, L"KESTOExit");
    return S_OK;
  }
  TableCalls().push_back("application:" + std::to_string(id));
  if (id == 1009 || id == 21137) {
    V_VT(result) = VT_I4;
    V_I4(result) = 1009;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT SoundTable(CZEQDispatchEx* object, DISPID id, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                   IServiceProvider*) {
  if (id == 0 && !result) {
    ZEQRegisterMember(object, 21137, kZEQMemberMethod, L"ZEQPlaySound");
    ZEQRegisterMember(object, 1030, kZEQMemberMethod, L"ZEQBeep");
    return S_OK;
  }
  TableCalls().push_back("sound:" + std::to_string(id));
  if (id == 1030) {
    V_VT(result) = VT_I4;
    V_I4(result) = 1030;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

class HostObject : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    ZEQInstallHostObject();
  }
  void TearDown() override {
    pages_.Close();
    ZEQRegisterHostMemberTable(KestoMemberTable::kApplicationMethods, nullptr);
    ZEQRegisterHostMemberTable(KestoMemberTable::kSoundFunctions, nullptr);
    container_test::UseRecorderAsHostObject();
    OleUninitialize();
  }

  HWND OpenPage(uint32_t options, HWND parent = nullptr) { return pages_.Open(options, std::string(), parent); }
  std::wstring Evaluate(HWND window, const std::wstring& expression) { return pages_.Evaluate(window, expression); }

  container_test::ContainerPages pages_;
};

TEST_F(HostObject, PageScriptCallsMembersWithTheirArgumentCountsAndResults) {
  HWND window = OpenPage(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, window);
  struct Case {
    const char* name;
    const wchar_t* expression;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"version array", L"new VBArray(window.external.ZEQGetVersion()).toArray().join()", L"0,3,7,121,2,5,0"},
      {"version with an argument", L"window.external.ZEQGetVersion(1)", L"error:8002000e"},
      {"method read as a property", L"window.external.ZEQGetVersion", L"error:80020003"},
      {"registered but unserved own method", L"window.external.ZEQGetTickCount()", L"error:80020003"},
      {"debug method without a table", L"window.external.ZEQSetDebugMethod(1)", L"error:80020003"},
      {"unknown name", L"typeof window.external.NoSuchMember", L"undefined"},
      {"expando stored and read", L"(window.external.mark = 5, window.external.mark)", L"5"},
      {"expando called", L"window.external.mark()", L"error:80020003"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::wstring(c.expected), Evaluate(window, c.expression)) << c.name;
  }
}

TEST_F(HostObject, BrowserCallsAnswerByCallKindAndArgumentCount) {
  HWND window = OpenPage(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, window);
  IDispatch* host = HostObjectOf(window);
  ASSERT_NE(nullptr, host);
  EXPECT_EQ(kKestoDispidGetVersion, IdOf(host, L"ZEQGetVersion"));
  EXPECT_EQ(kKestoDispidGetEnvironmentData, IdOf(host, L"ZEQGetEnvironmentData"));
  EXPECT_EQ(1049, IdOf(host, L"ZEQSetDebugMethod"));
  EXPECT_EQ(60306, IdOf(host, L"ZEQAppBarAttach"));
  HRESULT hr = S_OK;
  EXPECT_EQ(DISPID_UNKNOWN, IdOf(host, L"zeqgetversion", &hr));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, hr);

  struct Case {
    const char* name;
    DISPID id;
    WORD flags;
    UINT arguments;
    HRESULT expected;
    VARTYPE resultType;
  };
  const Case cases[] = {
      {"version as a method", 1000, DISPATCH_METHOD, 0, S_OK, VT_ARRAY | VT_VARIANT},
      {"version as method and property get", 1000, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, S_OK,
       VT_ARRAY | VT_VARIANT},
      {"version with too many arguments", 1000, DISPATCH_METHOD, 2, DISP_E_BADPARAMCOUNT, VT_EMPTY},
      {"version as a property", 1000, DISPATCH_PROPERTYGET, 0, DISP_E_MEMBERNOTFOUND, VT_EMPTY},
      {"version as a constructor", 1000, DISPATCH_CONSTRUCT, 0, DISP_E_UNKNOWNINTERFACE, VT_EMPTY},
      {"debug method", 1049, DISPATCH_METHOD, 1, DISP_E_MEMBERNOTFOUND, VT_EMPTY},
      {"DISPID no table has", 424242, DISPATCH_METHOD, 0, DISP_E_MEMBERNOTFOUND, VT_EMPTY},
  };
  for (const Case& c : cases) {
    VARIANT args[2];
    for (VARIANT& arg : args) {
      V_VT(&arg) = VT_I4;
      V_I4(&arg) = 1;
    }
    DISPPARAMS params{c.arguments ? args : nullptr, nullptr, c.arguments, 0};
    VARIANT result;
    VariantInit(&result);
    V_VT(&result) = VT_I4;  // must come back initialised
    EXPECT_EQ(c.expected, host->Invoke(c.id, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &params, &result, nullptr,
                                       nullptr))
        << c.name;
    EXPECT_EQ(c.resultType, V_VT(&result)) << c.name;
    VariantClear(&result);
  }
  host->Release();
}

TEST_F(HostObject, OutsideZeqContainersOnlyTheTwoAlwaysVisibleNamesResolve) {
  HWND parent = OpenPage(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, parent);
  HWND window = OpenPage(0, parent);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(L"null", Evaluate(window, L"window.external"));
  IDispatch* host = HostObjectOf(window);
  ASSERT_NE(nullptr, host);
  struct Case {
    const wchar_t* name;
    HRESULT expected;
    DISPID id;
  };
  const Case cases[] = {
      {L"ZEQGetVersion", S_OK, 1000},
      {L"ZEQGetEnvironmentData", S_OK, 10000},
      {L"ZEQGetTickCount", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {L"ZEQSplit", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
  };
  for (const Case& c : cases) {
    HRESULT hr = S_OK;
    EXPECT_EQ(c.id, IdOf(host, c.name, &hr)) << Narrow(c.name);
    EXPECT_EQ(c.expected, hr) << Narrow(c.name);
  }
  host->Release();
}

TEST_F(HostObject, CallsAfterTheContainerIsGoneAreNotServed) {
  HWND window = OpenPage(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, window);
  IDispatch* host = HostObjectOf(window);
  ASSERT_NE(nullptr, host);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, host->Invoke(1000, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
  VariantClear(&result);
  DestroyWindowExt(window, FALSE);
  ASSERT_FALSE(IsWindow(window));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            host->Invoke(1000, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
  EXPECT_EQ(VT_EMPTY, V_VT(&result));
  host->Release();
}

TEST_F(HostObject, ChainedTablesRegisterTheirNamesAndAnswerInTheirOrder) {
  ZEQRegisterHostMemberTable(KestoMemberTable::kSoundFunctions, SoundTable);
  ZEQRegisterHostMemberTable(KestoMemberTable::kApplicationMethods, ApplicationTable);
  HWND window = OpenPage(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, window);
  TableCalls().clear();
  struct Case {
    const char* name;
    const wchar_t* expression;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"application method", L"window.external.KESTOExit()", L"1009"},
      {"sound function after the application table", L"window.external.ZEQBeep()", L"1030"},
      {"the earlier table wins a shared DISPID", L"window.external.ZEQPlaySound()", L"1009"},
      {"own method before every table", L"new VBArray(window.external.ZEQGetVersion()).toArray()[1]", L"3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::wstring(c.expected), Evaluate(window, c.expression)) << c.name;
  }
  const std::vector<std::string> expected = {"application:1009", "application:1030", "sound:1030",
                                             "application:21137"};
  EXPECT_EQ(expected, TableCalls());
}

}  // namespace
