// The ZEQIBC object of a container: its members as a table of accesses,
// arguments and answers, and an object that outlives its container.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "container_test_support.h"
#include "host/zeqibc.h"

namespace {

using container_test::PageContainer;

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}
VARIANT Integer(LONG value) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

// The result as text ("" for empty), through the platform's conversion.
std::string AsText(VARIANT* value) {
  if (V_VT(value) == VT_EMPTY) return "";
  VARIANT text;
  VariantInit(&text);
  std::string out = "?";
  if (SUCCEEDED(VariantChangeType(&text, value, VARIANT_ALPHABOOL, VT_BSTR))) {
    out = container_test::Narrow(V_BSTR(&text));
  }
  VariantClear(&text);
  return out;
}

HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, std::string* answer) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, nullptr);
  *answer = AsText(&result);
  VariantClear(&result);
  for (VARIANT& arg : args) VariantClear(&arg);
  return hr;
}

TEST(ZEQIBCObject, MembersAnswerAsTheirAccessesAndArgumentsAllow) {
  OleInitialize(nullptr);
  {
    PageContainer page("<html><body><script>window.external.Record('up');</script></body></html>", 1);
    ASSERT_FALSE(page.Failed());
    ASSERT_TRUE(container_test::WaitUntil([&] { return page.Record()->documentComplete == 1; }));
    CZEQDispatchEx* made = ZEQIBC(page.Container());
    ASSERT_NE(nullptr, made);
    IDispatch* object = static_cast<IDispatchEx*>(made);
    const std::string id = std::to_string(page.Record()->id);
    const WORD get = DISPATCH_PROPERTYGET, put = DISPATCH_PROPERTYPUT, call = DISPATCH_METHOD;
    struct Case {
      const char* name;
      DISPID id;
      WORD flags;
      std::vector<VARIANT> args;
      HRESULT hr;
      std::string answer;
    } cases[] = {
        {"Id is read as a property", kZEQIBCId, get, {}, S_OK, id},
        {"Id is also a method", kZEQIBCId, call, {}, S_OK, id},
        {"Id cannot be written", kZEQIBCId, put, {Integer(3)}, DISP_E_TYPEMISMATCH, ""},
        {"writing StartArguments", kZEQIBCStartArguments, put, {Text(L"abc")}, S_OK, "True"},
        {"changes what Arguments reads", kZEQIBCArguments, get, {}, S_OK, "abc"},
        {"a put without its value is refused", kZEQIBCArguments, put, {}, DISP_E_BADPARAMCOUNT, ""},
        {"a read with an argument is refused", kZEQIBCLoaderCSS, get, {Integer(1)}, DISP_E_BADPARAMCOUNT, ""},
        {"a number where a name is expected is refused", kZEQIBCSetDefaultStateSet, put, {Integer(5)},
         DISP_E_TYPEMISMATCH, ""},
        {"a state-set name is kept", kZEQIBCSetMaximizedStateSet, put, {Text(L"big")}, S_OK, ""},
        {"and read back", kZEQIBCSetMaximizedStateSet, get, {}, S_OK, "big"},
        {"zoom is written as a number", kZEQIBCZoom, put, {Integer(150)}, S_OK, ""},
        {"and read back", kZEQIBCZoom, get, {}, S_OK, "150"},
        {"zoom refuses a text", kZEQIBCZoom, put, {Text(L"big")}, DISP_E_TYPEMISMATCH, ""},
        {"the program's pages refuse re-navigation", kZEQIBCLocationURL, put, {Text(L"about:blank")}, S_OK,
         "False"},
        {"the page is where it was", kZEQIBCLocationURL, get, {}, S_OK, page.Url()},
        {"the document completed", kZEQIBCIsDocumentComplete, get, {}, S_OK, "True"},
        {"a page of a program window is not a top-level container", kZEQIBCIsTopLevel, get, {}, S_OK, "False"},
        {"the document's address", kZEQIBCURL, get, {}, S_OK, page.Url()},
        {"the document's address cannot be written", kZEQIBCURL, put, {Text(L"x")}, DISP_E_TYPEMISMATCH, ""},
        {"the location's name of an untitled page is its address", kZEQIBCLocationName, get, {}, S_OK,
         page.Url()},
        {"the location's name cannot be written", kZEQIBCLocationName, put, {Text(L"x")}, DISP_E_TYPEMISMATCH, ""},
        {"a container in a popup is not a child", kZEQIBCIsChild, get, {}, S_OK, "False"},
        {"printing is asked of the window", kZEQIBCPrint, call, {}, S_OK, "True"},
        {"printing is a method only", kZEQIBCPrint, get, {}, DISP_E_TYPEMISMATCH, ""},
        {"popup blocking is kept", kZEQIBCPopupBlocker, put, {Integer(1)}, S_OK, ""},
        {"mouse-move events are asked for", kZEQIBCOnMouseMoveEvent, put, {Integer(1)}, S_OK, ""},
        {"and read back", kZEQIBCOnMouseMoveEvent, get, {}, S_OK, "True"},
        {"the memory limit is kept", kZEQIBCMaxMemoryUsage, put, {Integer(64)}, S_OK, ""},
        {"and read back", kZEQIBCMaxMemoryUsage, get, {}, S_OK, "64"},
        {"the memory limit refuses a text", kZEQIBCMaxMemoryUsage, put, {Text(L"lots")}, DISP_E_TYPEMISMATCH, ""},
        {"a window without a modal window over it", kZEQIBCIsModal, get, {}, S_OK, "False"},
        {"takes mouse input", kZEQIBCAcceptMouseInput, get, {}, S_OK, "True"},
        {"modality is read only", kZEQIBCIsModal, put, {Integer(1)}, DISP_E_TYPEMISMATCH, ""},
        {"registering is a call only, else unknown", kZEQIBCRegisterObject, get, {}, DISP_E_MEMBERNOTFOUND, ""},
        {"registering takes a name and an object", kZEQIBCRegisterObject, call, {Text(L"x")}, DISP_E_BADPARAMCOUNT,
         ""},
        {"registering a plain value defines nothing", kZEQIBCRegisterObject, call, {Integer(1), Text(L"x")}, S_OK,
         "False"},
        {"an unknown member", 9999, get, {}, DISP_E_MEMBERNOTFOUND, ""},
        {"script cannot construct one", kZEQIBCId, DISPATCH_CONSTRUCT, {}, DISP_E_UNKNOWNINTERFACE, ""},
    };
    for (Case& c : cases) {
      std::string answer;
      EXPECT_EQ(c.hr, Call(object, c.id, c.flags, c.args, &answer)) << c.name;
      EXPECT_EQ(c.answer, answer) << c.name;
    }
    EXPECT_EQ(1, page.Record()->popupBlocker);
    EXPECT_EQ(1, page.Record()->mouseMoveEvents);
    EXPECT_EQ(64, page.Record()->maxMemoryUsage);
    EXPECT_STREQ("big", page.Record()->maximizedStateSet);
    // Names resolve to the same members.
    DISPID found = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"StartLocationURL");
    EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, &name, 1, 0, &found));
    EXPECT_EQ(kZEQIBCStartLocationURL, found);
    object->Release();
  }
  OleUninitialize();
}

TEST(ZEQIBCObject, AnObjectThatOutlivesItsContainerAnswersWithAnException) {
  ZEQContainerHolder container;
  ZEQBaseContainerInit(&container, nullptr);
  ASSERT_TRUE(container.IsSet());
  EXPECT_EQ(nullptr, ZEQIBC(ZEQContainerHolder()));
  CZEQDispatchEx* made = ZEQIBC(container);
  ASSERT_NE(nullptr, made);
  IDispatch* object = static_cast<IDispatchEx*>(made);
  std::string answer;
  EXPECT_EQ(S_OK, Call(object, kZEQIBCId, DISPATCH_PROPERTYGET, {}, &answer));
  EXPECT_EQ(std::to_string(container->id), answer);
  container.Release();
  EXPECT_EQ(DISP_E_EXCEPTION, Call(object, kZEQIBCId, DISPATCH_PROPERTYGET, {}, &answer));
  object->Release();
}

}  // namespace

namespace {

TEST(ZEQIBCObject, TheNameIsThePageWindowsOwn) {
  OleInitialize(nullptr);
  {
    PageContainer page("<html><body><script>window.external.Record('up');</script></body></html>", 1);
    ASSERT_FALSE(page.Failed());
    CZEQDispatchEx* made = ZEQIBC(page.Container());
    ASSERT_NE(nullptr, made);
    IDispatch* object = static_cast<IDispatchEx*>(made);
    std::string first, second;
    EXPECT_EQ(S_OK, Call(object, kZEQIBCName, DISPATCH_PROPERTYGET, {}, &first));
    EXPECT_EQ(S_OK, Call(object, kZEQIBCName, DISPATCH_PROPERTYGET, {}, &second));
    // The page window's own name, read the same way twice.
    ASSERT_EQ(S_OK, container_test::PageExec(page.Window(), L"var pageName = window.name;"));
    const std::string pageName = container_test::Narrow(container_test::PageGlobal(page.Window(), L"pageName"));
    EXPECT_FALSE(pageName.empty());
    EXPECT_EQ(pageName, first);
    EXPECT_EQ(first, second);
    object->Release();
  }
  OleUninitialize();
}

TEST(ZEQIBCObject, ARegisteredProgramObjectIsAGlobalOfThePageUnderItsClassName) {
  OleInitialize(nullptr);
  {
    PageContainer page("<html><body><script>window.external.Record('up');</script></body></html>", 1);
    ASSERT_FALSE(page.Failed());
    CZEQDispatchEx* made = ZEQIBC(page.Container());
    ASSERT_NE(nullptr, made);
    IDispatch* object = static_cast<IDispatchEx*>(made);
    VARIANT self;
    V_VT(&self) = VT_DISPATCH;
    V_DISPATCH(&self) = object;
    object->AddRef();
    std::string answer;
    // The name given is not used for a program object: its class names it.
    EXPECT_EQ(S_OK, Call(object, kZEQIBCRegisterObject, DISPATCH_METHOD, {self, Text(L"other")}, &answer));
    EXPECT_EQ("True", answer);
    ASSERT_EQ(S_OK, container_test::PageExec(page.Window(), L"var registeredId = String(ZEQIBC.Id);"));
    EXPECT_EQ(std::to_wstring(page.Record()->id), container_test::PageGlobal(page.Window(), L"registeredId"));
    EXPECT_EQ(L"<unknown>", container_test::PageGlobal(page.Window(), L"other"));
    object->Release();
  }
  OleUninitialize();
}

}  // namespace
