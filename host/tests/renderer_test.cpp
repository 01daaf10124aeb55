// The browser site: its interface table, its host information for the two
// kinds of container, and the calls the document host makes of it, in
// order, compared with one expected table.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "container_test_support.h"
#include "dochost/dochost.h"
#include "foundation/instance_name.h"
#include "host/renderer.h"
#include "test_support.h"

namespace {

using dochost_test::PageFolder;
using dochost_test::PumpUntil;

struct Site {
  HWND window = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 200, 150, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ZEQContainerHolder container;
  CZEQRenderer* renderer = nullptr;
  Site(uint32_t options, uint32_t windowFlags) {
    ZEQBaseContainerInit(&container, window);
    container->options = options;
    renderer = CZEQRenderer::Create(container, windowFlags);
  }
  ~Site() {
    if (renderer) static_cast<IOleClientSite*>(renderer)->Release();
    DestroyWindow(window);
  }
};

template <typename T>
T* Query(IUnknown* object, REFIID iid, HRESULT* hr = nullptr) {
  void* out = reinterpret_cast<void*>(1);
  HRESULT result = object->QueryInterface(iid, &out);
  if (hr) *hr = result;
  return static_cast<T*>(out);
}

TEST(SiteInterfaces, EachIdentifierGetsItsTable) {
  OleInitialize(nullptr);
  Site site(WB_ALLOWSZEQ, 0);
  IUnknown* primary = static_cast<IOleClientSite*>(site.renderer);
  struct Case {
    const char* name;
    const IID* iid;
    void* expected;
  } cases[] = {
      {"IUnknown", &IID_IUnknown, static_cast<IOleClientSite*>(site.renderer)},
      {"IOleClientSite", &IID_IOleClientSite, static_cast<IOleClientSite*>(site.renderer)},
      {"IOleWindow", &IID_IOleWindow, static_cast<IOleInPlaceSite*>(site.renderer)},
      {"IOleInPlaceSite", &IID_IOleInPlaceSite, static_cast<IOleInPlaceSite*>(site.renderer)},
      {"IOleCommandTarget", &IID_IOleCommandTarget, static_cast<IOleCommandTarget*>(site.renderer)},
      {"IOleInPlaceUIWindow", &IID_IOleInPlaceUIWindow, static_cast<IOleInPlaceFrame*>(site.renderer)},
      {"IOleInPlaceFrame", &IID_IOleInPlaceFrame, static_cast<IOleInPlaceFrame*>(site.renderer)},
      {"IOleControlSite", &IID_IOleControlSite, static_cast<IOleControlSite*>(site.renderer)},
      {"IDocHostUIHandler", &IID_IDocHostUIHandler, static_cast<IDocHostUIHandler2*>(site.renderer)},
      {"IDocHostUIHandler2", &IID_IDocHostUIHandler2, static_cast<IDocHostUIHandler2*>(site.renderer)},
      {"IDocHostShowUI", &IID_IDocHostShowUI, static_cast<IDocHostShowUI*>(site.renderer)},
      {"IServiceProvider", &IID_IServiceProvider, static_cast<IServiceProvider*>(site.renderer)},
      {"IDispatch without a host object", &IID_IDispatch, nullptr},
      {"IWebBrowser2 without a browser", &IID_IWebBrowser2, nullptr},
      {"IOleObject", &IID_IOleObject, nullptr},
  };
  for (const Case& c : cases) {
    HRESULT hr;
    IUnknown* answer = Query<IUnknown>(primary, *c.iid, &hr);
    EXPECT_EQ(c.expected, static_cast<void*>(answer)) << c.name;
    EXPECT_EQ(c.expected ? S_OK : E_NOINTERFACE, hr) << c.name;
    if (answer) answer->Release();
  }
  EXPECT_EQ(E_POINTER, primary->QueryInterface(IID_IUnknown, nullptr));

  // IOleWindow's GetWindow is the host window, S_FALSE once it is gone.
  IOleWindow* window = Query<IOleWindow>(primary, IID_IOleWindow);
  HWND answered = nullptr;
  EXPECT_EQ(S_OK, window->GetWindow(&answered));
  EXPECT_EQ(site.window, answered);

  // The in-place context: the site is its own frame; both rectangles are the
  // host window's client area.
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(1);
  RECT position = {}, clip = {};
  OLEINPLACEFRAMEINFO info = {};
  ASSERT_EQ(S_OK, site.renderer->GetWindowContext(&frame, &document, &position, &clip, &info));
  EXPECT_EQ(static_cast<IOleInPlaceFrame*>(site.renderer), frame);
  EXPECT_EQ(nullptr, document);
  RECT client;
  GetClientRect(site.window, &client);
  EXPECT_TRUE(EqualRect(&client, &position));
  EXPECT_TRUE(EqualRect(&client, &clip));
  EXPECT_EQ(site.window, info.hwndFrame);
  EXPECT_EQ(sizeof info, info.cb);
  EXPECT_FALSE(info.fMDIApp);
  if (frame) frame->Release();

  // With a host object, IDispatch and IDispatchEx go to it.
  site.renderer->SetHostDispatch(&container_test::TheRecorder());
  IDispatch* dispatch = Query<IDispatch>(primary, IID_IDispatch);
  EXPECT_EQ(static_cast<IDispatch*>(&container_test::TheRecorder()), dispatch);
  IDispatch* external = nullptr;
  EXPECT_EQ(S_OK, site.renderer->GetExternal(&external));
  EXPECT_EQ(dispatch, external);

  DestroyWindow(site.window);
  answered = reinterpret_cast<HWND>(1);
  EXPECT_EQ(S_FALSE, window->GetWindow(&answered));
  EXPECT_EQ(reinterpret_cast<HWND>(1), answered);
  window->Release();
  site.renderer->SetHostDispatch(nullptr);
  OleUninitialize();
}

std::wstring Take(LPOLESTR text) {
  std::wstring copy = text ? text : L"";
  CoTaskMemFree(text);
  return copy;
}

TEST(SiteHostInfo, OwnPagesAndForeignPagesAreAnsweredApart) {
  OleInitialize(nullptr);
  ZEQSetInstanceName("Inst");
  struct Case {
    const char* name;
    uint32_t options;
    uint32_t windowFlags;
    const char* extraStyle;
    const char* extraNamespaces;
    DWORD flags;
    DWORD download;
    std::wstring style;
    std::wstring namespaces;
    std::wstring keyPath;
    bool external;
  } cases[] = {
      {"own pages with scroll bars", WB_ALLOWSZEQ, WB_ALLOWSSCROLLBAR, nullptr, nullptr, 0x0C012094, 0x44070,
       L"FORM{ behavior: url( #default#ZEQForm ); }\r\n", L"KESTO;KESTOX;ZEQ;",
       L"SOFTWARE\\Orvane\\Inst\\MSHTML\\ZEQ", true},
      {"own pages without scroll bars, extra texts", WB_ALLOWSZEQ, 0, "BODY{margin:0}", "MINE;", 0x0C01209C,
       0x44070, L"FORM{ behavior: url( #default#ZEQForm ); }\r\nBODY{margin:0}", L"KESTO;KESTOX;ZEQ;MINE;",
       L"SOFTWARE\\Orvane\\Inst\\MSHTML\\ZEQ", true},
      {"foreign pages", 0, WB_ALLOWSSCROLLBAR, nullptr, "MINE;", 0x0C876096, 0x42070,
       L"FORM{ behavior: url( #default#ZEQForm ); }\r\n", L"", L"SOFTWARE\\Orvane\\Inst\\MSHTML\\WebBrowser",
       false},
  };
  for (const Case& c : cases) {
    Site site(c.options, c.windowFlags);
    if (c.extraStyle) site.container->hostStyle = _strdup(c.extraStyle);
    if (c.extraNamespaces) site.container->hostNamespaces = _strdup(c.extraNamespaces);
    site.renderer->SetHostDispatch(&container_test::TheRecorder());
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_EQ(S_OK, site.renderer->GetHostInfo(&info)) << c.name;
    EXPECT_EQ(sizeof(DOCHOSTUIINFO), info.cbSize) << c.name;
    EXPECT_EQ(c.flags, info.dwFlags) << c.name;
    EXPECT_EQ(c.download, site.renderer->DownloadControl()) << c.name;
    EXPECT_EQ(c.style, Take(info.pchHostCss)) << c.name;
    EXPECT_EQ(c.namespaces, Take(info.pchHostNS)) << c.name;
    LPOLESTR path = nullptr;
    EXPECT_EQ(S_OK, site.renderer->GetOverrideKeyPath(&path, 0)) << c.name;
    EXPECT_EQ(c.keyPath, Take(path)) << c.name;
    EXPECT_EQ(S_OK, site.renderer->GetOptionKeyPath(&path, 0)) << c.name;
    EXPECT_EQ(c.keyPath, Take(path)) << c.name;
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(S_OK, site.renderer->GetExternal(&external)) << c.name;
    EXPECT_EQ(c.external, external != nullptr) << c.name;
    site.renderer->SetHostDispatch(nullptr);
    // The record frees the extra texts with the process heap.
    free(site.container->hostStyle);
    free(site.container->hostNamespaces);
    site.container->hostStyle = site.container->hostNamespaces = nullptr;
  }
  ZEQSetInstanceName("");
  OleUninitialize();
}

TEST(SiteOperations, RenavigationIsGuardedOnlyForOwnPagesOnceNavigated) {
  struct Case {
    const char* name;
    uint32_t options;
    uint32_t state;
    int allowed;
  } cases[] = {
      {"own pages, not yet navigated", WB_ALLOWSZEQ, 0, 1},
      {"own pages, navigated", WB_ALLOWSZEQ, 0x80, 0},
      {"own pages that allow it", WB_ALLOWSZEQ | WB_ALLOWSRENAVIGATION, 0x80, 1},
      {"foreign pages, navigated", 0, 0x80, 1},
  };
  for (const Case& c : cases) {
    ZEQContainerHolder container;
    ZEQBaseContainerInit(&container, nullptr);
    container->options = c.options;
    container->navigationState = c.state;
    EXPECT_EQ(c.allowed, ZEQIBCCheckRenavigation(container)) << c.name;
  }
}

TEST(SiteOperations, EngineMessagesAreRecognisedBySimilarity) {
  ZEQSetEngineMessageText("abcd");
  EXPECT_FLOAT_EQ(1.0f, EngineMessageSimilarity("abcd"));
  EXPECT_FLOAT_EQ(0.75f, EngineMessageSimilarity("xaxbxcx"));
  EXPECT_FLOAT_EQ(0.5f, EngineMessageSimilarity("db ca"));
  EXPECT_FLOAT_EQ(0.0f, EngineMessageSimilarity(""));
  ZEQSetEngineMessageText("");
  EXPECT_FLOAT_EQ(0.0f, EngineMessageSimilarity("abcd"));
}

}  // namespace
