// Window utilities that reach pages and script values: script text run in
// a container's page, calls made with the fixed locale, and the window
// record a script handle names.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "container_test_support.h"
#include "host/handle_table.h"
#include "host/script_exec.h"
#include "host/window_functions.h"
#include "host/zeqibc.h"
#include "windows/records.h"

namespace {

class WindowUtilities : public container_test::ContainerPagesTest {};

TEST_F(WindowUtilities, ScriptTextRunsInTheWindowsContainerOnlyWhenItIsReady) {
  HWND window = pages_.Open(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, window);
  ZEQContainerHolder container = container_test::ContainerOf(window);
  ASSERT_TRUE(container.IsSet());
  HWND page = container->hostWindow;
  EXPECT_EQ(0, ZEQExecuteContainerScript(page, true, "var fromNarrow = 'n' + 1;"));
  EXPECT_EQ(L"n1", container_test::PageGlobal(page, L"fromNarrow"));
  EXPECT_EQ(0, ZEQExecuteContainerScript(page, false, L"var fromWide = 'w' + 2;"));
  EXPECT_EQ(L"w2", container_test::PageGlobal(page, L"fromWide"));
  // A window without a container runs nothing.
  HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(2, ZEQExecuteContainerScript(plain, true, "var never = 1;"));
  EXPECT_EQ(2, ZEQExecuteContainerScript(page, true, nullptr));
  DestroyWindow(plain);
}

TEST_F(WindowUtilities, TheFixedLocaleCallReachesTheObjectsOwnInvoke) {
  HWND page = pages_.Open(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, page);
  ZEQContainerHolder container = container_test::ContainerOf(page);
  ASSERT_TRUE(container.IsSet());
  CZEQDispatchEx* object = ZEQIBC(container);
  ASSERT_NE(nullptr, object);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(S_OK, ZEQInvokeExLcid1033(static_cast<IDispatchEx*>(object), kZEQIBCId, DISPATCH_PROPERTYGET, &none,
                                      &result, nullptr, nullptr));
  EXPECT_EQ(static_cast<uint32_t>(container->id), V_UI4(&result));
  VariantClear(&result);
  // The object's own answers come back as they are.
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, ZEQInvokeExLcid1033(static_cast<IDispatchEx*>(object), 9999, DISPATCH_PROPERTYGET,
                                                       &none, &result, nullptr, nullptr));
  EXPECT_EQ(E_POINTER, ZEQInvokeExLcid1033(nullptr, kZEQIBCId, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
  object->Release();
}

TEST_F(WindowUtilities, OnlyAWindowRecordHandleNamesAWindowRecord) {
  HWND page = pages_.Open(WB_ALLOWSZEQ);
  ASSERT_NE(nullptr, page);
  ZEQWindowHolder record = ZEQGetWindowParam(page);
  ASSERT_TRUE(record.IsSet());
  ZEQContainerHolder container = container_test::ContainerOf(page);
  ASSERT_TRUE(container.IsSet());
  struct Case {
    const char* name;
    CZEQDispatchEx* object;  // null: the number 5
    bool names;
  };
  const Case cases[] = {
      {"a window record handle", ZEQHandleObjectForHolder(record, ZEQHANDLE_WINDOWRECORD), true},
      {"a handle of another type", ZEQHandleObjectForHolder(record, ZEQHANDLE_SKIN), false},
      {"a container object", ZEQIBC(container), false},
      {"a number", nullptr, false},
  };
  for (const Case& c : cases) {
    VARIANT value;
    VariantInit(&value);
    if (c.object) {
      V_VT(&value) = VT_DISPATCH;
      V_DISPATCH(&value) = static_cast<IDispatchEx*>(c.object);
    } else {
      V_VT(&value) = VT_I4;
      V_I4(&value) = 5;
    }
    ZEQWindowHolder found;
    EXPECT_EQ(&found, ZEQWindowParamFromVariant(&found, &value)) << c.name;
    EXPECT_EQ(c.names, found.IsSet()) << c.name;
    if (c.names) {
      EXPECT_EQ(record.Get(), found.Get()) << c.name;
    }
    VariantClear(&value);
  }
}

}  // namespace
