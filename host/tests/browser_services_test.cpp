// The services the browser asks of the site: the security manager's zone
// and policy answers for a table of addresses, the new-window, download and
// focus managers, the event-sink base and the service table itself.
#include <gtest/gtest.h>
#include <windows.h>
#include <urlmon.h>
#include <downloadmgr.h>
#include <shobjidl.h>

#include <string>

#include "container_test_support.h"
#include "host/browser_services.h"
#include "host/renderer.h"

namespace {

// The local-machine zone's own policy for an action, asked independently.
DWORD LocalMachinePolicy(DWORD action) {
  IInternetZoneManager* zones = nullptr;
  DWORD policy = 0xFFFFFFFF;
  if (SUCCEEDED(CoInternetCreateZoneManager(nullptr, &zones, 0)) && zones) {
    zones->GetZoneActionPolicy(URLZONE_LOCAL_MACHINE, action, reinterpret_cast<BYTE*>(&policy), sizeof policy,
                               URLZONEREG_DEFAULT);
    zones->Release();
  }
  return policy;
}

struct Address {
  const char* name;
  const wchar_t* url;
  bool local;
};

const Address kAddresses[] = {
    {"a file of the mounted package", L"zeq:C:\\users\\me\\Temp\\ZEQCVFS\\PID.1A\\skin\\main.html", true},
    {"a loader page held in memory", L"zeq:C:\\users\\me\\Temp\\ZEQCVFS\\PID.1A\\load\\mm\\0001.html", true},
    {"the scheme in capitals", L"ZEQ:c:\\app\\page.html", true},
    {"a local file URL", L"zeq:file:///C:/app/page.html", true},
    {"a remote page", L"zeq:http://example.invalid/page.html", false},
    {"a secure remote page", L"zeq:https://example.invalid/", false},
    {"a host after two slashes", L"zeq://host/page.html", false},
    {"a share of another machine", L"zeq:file://server/share/page.html", false},
    {"a share path", L"zeq:\\\\server\\share\\page.html", false},
    {"plain http", L"http://example.invalid/", false},
    {"a plain file", L"file:///C:/app/page.html", false},
};

TEST(SecurityManager, OnlyLocalContentIsLocalMachineContent) {
  CoInitialize(nullptr);
  IInternetSecurityManager* manager = ZEQCreateSecurityManager();
  for (const Address& a : kAddresses) {
    DWORD zone = 77;
    const HRESULT hr = manager->MapUrlToZone(a.url, &zone, 0);
    if (a.local) {
      EXPECT_EQ(S_OK, hr) << a.name;
      EXPECT_EQ(static_cast<DWORD>(URLZONE_LOCAL_MACHINE), zone) << a.name;
    } else {
      EXPECT_EQ(INET_E_DEFAULT_ACTION, hr) << a.name;
      EXPECT_EQ(77u, zone) << a.name;
    }
    BYTE id[16];
    memset(id, 0xCC, sizeof id);
    DWORD size = sizeof id;
    const HRESULT idResult = manager->GetSecurityId(a.url, id, &size, 0);
    EXPECT_EQ(a.local ? S_OK : INET_E_DEFAULT_ACTION, idResult) << a.name;
    if (a.local) {
      EXPECT_EQ(9u, size) << a.name;
      EXPECT_EQ(0, memcmp(id, "file:\0\0\0\0", 9)) << a.name;
    }
  }
  manager->Release();
  CoUninitialize();
}

TEST(SecurityManager, ActionsOnLocalContentFollowTheLocalMachineZone) {
  CoInitialize(nullptr);
  IInternetSecurityManager* manager = ZEQCreateSecurityManager();
  const DWORD actions[] = {URLACTION_SCRIPT_RUN, URLACTION_ACTIVEX_RUN, URLACTION_CROSS_DOMAIN_DATA,
                           URLACTION_HTML_SUBMIT_FORMS};
  for (const Address& a : kAddresses) {
    for (DWORD action : actions) {
      DWORD policy = 0xDEAD;
      const HRESULT hr = manager->ProcessUrlAction(a.url, action, reinterpret_cast<BYTE*>(&policy), sizeof policy,
                                                   nullptr, 0, 0, 0);
      if (a.local) {
        EXPECT_EQ(S_OK, hr) << a.name << " action " << action;
        EXPECT_EQ(LocalMachinePolicy(action), policy) << a.name << " action " << action;
      } else {
        // Remote and foreign addresses are the browser's own business.
        EXPECT_EQ(INET_E_DEFAULT_ACTION, hr) << a.name << " action " << action;
        EXPECT_EQ(0xDEADu, policy) << a.name;
      }
    }
  }
  // A policy buffer too small for a policy is left to the browser.
  BYTE small[2] = {};
  EXPECT_EQ(INET_E_DEFAULT_ACTION,
            manager->ProcessUrlAction(L"ZeQ:C:\\app\\page.html", URLACTION_SCRIPT_RUN, small, 2, nullptr, 0, 0, 0));
  // A security id buffer of 15 bytes is too small and stays untouched.
  BYTE id[15];
  memset(id, 0xCC, sizeof id);
  DWORD size = sizeof id;
  EXPECT_EQ(INET_E_DEFAULT_ACTION, manager->GetSecurityId(L"zeq:C:\\app\\page.html", id, &size, 0));
  EXPECT_EQ(0xCC, id[0]);
  EXPECT_EQ(INET_E_DEFAULT_ACTION, manager->SetSecuritySite(nullptr));
  EXPECT_EQ(INET_E_DEFAULT_ACTION, manager->SetZoneMapping(0, L"x", 0));
  manager->Release();
  CoUninitialize();
}

struct SiteFixture {
  ZEQContainerHolder container;
  CZEQRenderer* site = nullptr;
  SiteFixture() {
    ZEQBaseContainerInit(&container, nullptr);
    container->options = WB_ALLOWSZEQ;
    site = CZEQRenderer::Create(container, 0);
  }
  ~SiteFixture() { static_cast<IOleClientSite*>(site)->Release(); }
  template <typename T>
  T* Service(REFGUID service, REFIID iid, HRESULT* hr = nullptr) {
    void* out = nullptr;
    const HRESULT result = site->QueryService(service, iid, &out);
    if (hr) *hr = result;
    return static_cast<T*>(out);
  }
};

TEST(BrowserServices, TheServiceTableMakesOneObjectPerRequest) {
  CoInitialize(nullptr);
  SiteFixture fixture;
  struct Case {
    const char* name;
    const GUID* service;
    const IID* iid;
  } cases[] = {
      {"security manager", &IID_IInternetSecurityManager, &IID_IInternetSecurityManager},
      {"downloads", &kIIDDownloadManager, &kIIDDownloadManager},
      {"new windows", &IID_INewWindowManager, &IID_INewWindowManager},
      {"behaviors", &kIIDElementBehaviorFactory, &kIIDElementBehaviorFactory},
      {"focus", &IID_IProtectFocus, &IID_IProtectFocus},
  };
  for (const Case& c : cases) {
    HRESULT hr;
    IUnknown* first = fixture.Service<IUnknown>(*c.service, *c.iid, &hr);
    ASSERT_EQ(S_OK, hr) << c.name;
    IUnknown* second = fixture.Service<IUnknown>(*c.service, *c.iid);
    EXPECT_NE(first, second) << c.name;
    // Each object answers its own interface and IUnknown only.
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, first->QueryInterface(IID_IDispatch, &other)) << c.name;
    EXPECT_EQ(nullptr, other) << c.name;
    EXPECT_EQ(0u, first->Release()) << c.name;
    second->Release();
  }
  HRESULT hr;
  EXPECT_EQ(nullptr, fixture.Service<IUnknown>(IID_IWebBrowser2, IID_IWebBrowser2, &hr));
  EXPECT_EQ(E_NOINTERFACE, hr);
  // A service asked for through another interface is refused.
  EXPECT_EQ(nullptr, fixture.Service<IUnknown>(IID_IProtectFocus, IID_IUnknown, &hr));
  EXPECT_EQ(E_NOINTERFACE, hr);
  // Without a page that handles authentication the control keeps its own
  // log-on dialog.
  EXPECT_EQ(nullptr, fixture.Service<IUnknown>(IID_IAuthenticate, IID_IAuthenticate, &hr));
  EXPECT_EQ(E_NOINTERFACE, hr);
  // The program's own service is the host object, once there is one.
  EXPECT_EQ(nullptr, fixture.Service<IDispatchEx>(SID_ZEQContainerService, IID_IDispatchEx, &hr));
  EXPECT_EQ(E_NOINTERFACE, hr);
  CoUninitialize();
}

TEST(BrowserServices, NewWindowsFollowThePopupBlocker) {
  CoInitialize(nullptr);
  SiteFixture fixture;
  INewWindowManager* manager = fixture.Service<INewWindowManager>(IID_INewWindowManager, IID_INewWindowManager);
  ASSERT_NE(nullptr, manager);
  EXPECT_EQ(S_OK, manager->EvaluateNewWindow(L"a", L"b", L"c", nullptr, FALSE, 0, 0));
  fixture.container->popupBlocker = 1;
  EXPECT_EQ(E_FAIL, manager->EvaluateNewWindow(L"a", L"b", L"c", nullptr, FALSE, 0, 0));
  manager->Release();
  IDownloadManager* downloads = fixture.Service<IDownloadManager>(kIIDDownloadManager, kIIDDownloadManager);
  ASSERT_NE(nullptr, downloads);
  EXPECT_EQ(E_FAIL, downloads->Download(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, 0));
  downloads->Release();
  IProtectFocus* focus = fixture.Service<IProtectFocus>(IID_IProtectFocus, IID_IProtectFocus);
  ASSERT_NE(nullptr, focus);
  BOOL allow = TRUE;
  ZEQSetApplicationActive(false);
  EXPECT_EQ(S_OK, focus->AllowFocusChange(&allow));
  EXPECT_FALSE(allow);
  ZEQSetApplicationActive(true);
  EXPECT_EQ(S_OK, focus->AllowFocusChange(&allow));
  EXPECT_TRUE(allow);
  ZEQSetApplicationActive(false);
  focus->Release();
  // Without the behaviors' factory, no behavior is made.
  IElementBehaviorFactory* factory =
      fixture.Service<IElementBehaviorFactory>(kIIDElementBehaviorFactory, kIIDElementBehaviorFactory);
  ASSERT_NE(nullptr, factory);
  IElementBehavior* behavior = reinterpret_cast<IElementBehavior*>(1);
  EXPECT_EQ(E_NOTIMPL, factory->FindBehavior(nullptr, nullptr, nullptr, &behavior));
  EXPECT_EQ(nullptr, behavior);
  factory->Release();
  CoUninitialize();
}

class CountingSink : public CBaseEventSink {
 public:
  explicit CountingSink(bool* destroyed) : CBaseEventSink(nullptr), destroyed_(destroyed) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return S_OK;
  }

 protected:
  ~CountingSink() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(EventSinks, NamesAreUnknownAndTheLastReleaseDestroys) {
  bool destroyed = false;
  auto sink = new CountingSink(&destroyed);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"a"), const_cast<LPOLESTR>(L"b")};
  DISPID ids[2] = {5, 6};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, sink->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
  EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
  EXPECT_EQ(6, ids[1]);
  IDispatch* dispatch = nullptr;
  EXPECT_EQ(S_OK, sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  EXPECT_EQ(1u, dispatch->Release());
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(0u, sink->Release());
  EXPECT_TRUE(destroyed);
}

}  // namespace
