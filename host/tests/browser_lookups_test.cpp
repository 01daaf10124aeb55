// Small look-ups: the window a protocol sink names for its authentication,
// found through its services, and script members removed by name.
#include <gtest/gtest.h>
#include <windows.h>
#include <urlmon.h>

#include "host/browser_documents.h"

namespace {

// A sink whose services answer as configured.
class Sink : public IServiceProvider, public IWindowForBindingUI {
 public:
  HWND window = nullptr;
  bool offersService = true;
  bool offersProvider = true;
  IID askedFor = IID_NULL;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || (offersProvider && IsEqualIID(iid, IID_IServiceProvider))) {
      *out = static_cast<IServiceProvider*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    *out = nullptr;
    if (!offersService || !IsEqualGUID(service, IID_IWindowForBindingUI) || !IsEqualIID(iid, IID_IWindowForBindingUI)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IWindowForBindingUI*>(this);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWindow(REFGUID reason, HWND* out) override {
    askedFor = reason;
    *out = window;
    return window ? S_OK : E_FAIL;
  }
};

TEST(BindingWindows, TheSinksAuthenticationWindowIsFoundThroughItsServices) {
  Sink sink;
  sink.window = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(sink.window, GetBindingWindow(static_cast<IServiceProvider*>(&sink)));
  EXPECT_TRUE(IsEqualIID(IID_IAuthenticate, sink.askedFor));
  struct Case {
    const char* name;
    bool provider, service;
    HWND window;
  } cases[] = {
      {"no service provider", false, true, reinterpret_cast<HWND>(0x1234)},
      {"no binding-window service", true, false, reinterpret_cast<HWND>(0x1234)},
      {"no window to name", true, true, nullptr},
  };
  for (const Case& c : cases) {
    Sink failing;
    failing.offersProvider = c.provider;
    failing.offersService = c.service;
    failing.window = c.window;
    EXPECT_EQ(nullptr, GetBindingWindow(static_cast<IServiceProvider*>(&failing))) << c.name;
  }
  EXPECT_EQ(nullptr, GetBindingWindow(nullptr));
}

}  // namespace

namespace {

HRESULT NoInvoke(CZEQDispatchEx*, DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, IServiceProvider*) {
  return DISP_E_MEMBERNOTFOUND;
}

TEST(ScriptMembers, AMemberIsRemovedByItsWholeName) {
  CZEQDispatchEx* object =
      CZEQDispatchEx::Create(L"Members", nullptr, ZEQLookupMemberCallback, NoInvoke, kZEQDispInstance);
  ZEQRegisterMember(object, 5, kZEQMemberMethod, L"Start");
  ZEQRegisterMember(object, 6, kZEQMemberMethod, L"StartAll");
  DISPID id = 0;
  EXPECT_EQ(0, RemoveScriptMemberByName(object, L"Star"));  // a prefix is no name
  EXPECT_EQ(0, RemoveScriptMemberByName(object, L""));
  EXPECT_EQ(0, RemoveScriptMemberByName(nullptr, L"Start"));
  EXPECT_NE(0, RemoveScriptMemberByName(object, L"Start"));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, ZEQLookupMember(object, L"Start", &id));
  EXPECT_EQ(S_OK, ZEQLookupMember(object, L"StartAll", &id));
  EXPECT_EQ(6, id);
  EXPECT_EQ(0, RemoveScriptMemberByName(object, L"Start"));
  object->Release();
}

}  // namespace
