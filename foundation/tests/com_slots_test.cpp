#include <gtest/gtest.h>
#include <windows.h>
#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>
#include <objbase.h>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"

namespace {

// A reference-counted object with two interfaces, for identity and counts.
class Counted : public IDispatch, public IPersist {
 public:
  ULONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else if (iid == IID_IPersist) {
      *out = static_cast<IPersist*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
};

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override {
    ZEQReleaseGlobalInterfaceTable();
    CoUninitialize();
  }
};

}  // namespace

TEST_F(ComTest, IdentityAndSlots) {
  Counted one, two;
  IPersist* onePersist = static_cast<IPersist*>(&one);
  EXPECT_TRUE(IsSameComObject(static_cast<IDispatch*>(&one), onePersist));
  EXPECT_FALSE(IsSameComObject(static_cast<IDispatch*>(&one), static_cast<IDispatch*>(&two)));
  EXPECT_FALSE(IsSameComObject(nullptr, onePersist));
  EXPECT_EQ(1u, one.refs);  // the identity queries were released

  IUnknown* slot = nullptr;
  one.AddRef();
  EXPECT_EQ(static_cast<IDispatch*>(&one), ComAssign<IUnknown>(&slot, static_cast<IDispatch*>(&one)));
  EXPECT_EQ(2u, one.refs);
  // Another interface of the same object: the slot keeps its pointer and the
  // passed reference is not lost.
  one.AddRef();
  EXPECT_EQ(static_cast<IDispatch*>(&one), ComAssign<IUnknown>(&slot, onePersist));
  EXPECT_EQ(static_cast<IUnknown*>(static_cast<IDispatch*>(&one)), slot);
  EXPECT_EQ(2u, one.refs);
  // Another object replaces and releases the old one.
  two.AddRef();
  ComAssign<IUnknown>(&slot, static_cast<IDispatch*>(&two));
  EXPECT_EQ(1u, one.refs);
  EXPECT_EQ(2u, two.refs);
  EXPECT_EQ(&slot, SafeReleaseSlot(&slot));
  EXPECT_EQ(nullptr, slot);
  EXPECT_EQ(1u, two.refs);
  SafeReleaseSlot(&slot);
  ReleaseInterface(&slot);
  SafeReleaseSlot<IUnknown>(nullptr);
}

TEST_F(ComTest, FetchesFromTheGlobalInterfaceTable) {
  ZEQReleaseGlobalInterfaceTable();
  EXPECT_EQ(nullptr, GetGITDispatch(1));  // no table yet
  ASSERT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
  IGlobalInterfaceTable* table = ZEQGlobalInterfaceTable();
  ASSERT_NE(nullptr, table);
  ASSERT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
  EXPECT_EQ(table, ZEQGlobalInterfaceTable());

  Counted object;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, table->RegisterInterfaceInGlobal(static_cast<IDispatch*>(&object), IID_IUnknown, &cookie));
  const ULONG parked = object.refs;

  IDispatch* dispatch = GetGITDispatch(cookie);
  ASSERT_NE(nullptr, dispatch);
  EXPECT_TRUE(IsSameComObject(dispatch, static_cast<IDispatch*>(&object)));
  dispatch->Release();
  EXPECT_EQ(parked, object.refs);  // the intermediate IUnknown was released
  EXPECT_EQ(nullptr, GetGITDispatchEx(cookie));
  EXPECT_EQ(nullptr, GetGITWebBrowser2(cookie));
  EXPECT_EQ(nullptr, GetGITBehaviorSiteOM(cookie));
  EXPECT_EQ(parked, object.refs);
  EXPECT_EQ(nullptr, GetGITDispatch(0));
  EXPECT_EQ(nullptr, GetGITDispatch(cookie + 0x1000));

  ASSERT_EQ(S_OK, table->RevokeInterfaceFromGlobal(cookie));
  EXPECT_EQ(nullptr, GetGITDispatch(cookie));
  EXPECT_EQ(1u, object.refs);
}

TEST_F(ComTest, FetchesABrowserFromTheTable) {
  ASSERT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
  IWebBrowser2* browser = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                reinterpret_cast<void**>(&browser));
  ASSERT_EQ(S_OK, hr);
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, ZEQGlobalInterfaceTable()->RegisterInterfaceInGlobal(browser, IID_IUnknown, &cookie));
  IWebBrowser2* fetched = GetGITWebBrowser2(cookie);
  ASSERT_NE(nullptr, fetched);
  EXPECT_TRUE(IsSameComObject(fetched, browser));
  IDispatch* dispatch = GetGITDispatch(cookie);
  EXPECT_NE(nullptr, dispatch);
  SafeReleaseSlot(&dispatch);
  SafeReleaseSlot(&fetched);
  ZEQGlobalInterfaceTable()->RevokeInterfaceFromGlobal(cookie);
  SafeReleaseSlot(&browser);
}
