// Container windows made on the caller's thread and on UI threads of their
// own, each with a page of the document host whose script reaches
// window.external through the site.
#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>
#include <string>

#include "container_test_support.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "test_support.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"

namespace {

using container_test::Narrow;
using container_test::TheRecorder;
using dochost_test::PageFolder;

class ContainerWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
  }
  void TearDown() override { OleUninitialize(); }

  // A page that tells window.external its mark once it runs.
  std::string PageUrl(const char* mark) {
    const std::wstring name = std::wstring(L"page_") + std::wstring(mark, mark + strlen(mark)) + L".html";
    folder_.Write(name, std::string("<html><head><title>t</title></head><body><script>"
                                    "window.external.Record('") +
                            mark + "');</script></body></html>");
    return Narrow(folder_.Url(name));
  }

  // Waits until the recorder holds the mark at or after index `from`; its
  // index, or -1.
  int WaitForMark(const std::wstring& mark, size_t from) {
    int found = -1;
    container_test::WaitUntil(
        [&] {
          for (size_t i = from; i < TheRecorder().Count(); ++i) {
            if (TheRecorder().TextAt(i) == mark) found = static_cast<int>(i);
          }
          return found >= 0;
        },
        10000);
    return found;
  }

  PageFolder folder_;
};

TEST_F(ContainerWindows, OnTheCallersThreadThePageReachesExternal) {
  const std::string url = PageUrl("same");
  const size_t from = TheRecorder().Count();
  RECT rect = {10, 20, 320, 240};
  HWND window = nullptr;
  ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "Same thread", url.c_str(), &rect, nullptr, "same",
                                        WB_ALLOWSZEQ, 0, &window, ZEQContainerHolder(), ZEQContainerHolder()));
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(window, nullptr));
  const int index = WaitForMark(L"same", from);
  ASSERT_GE(index, 0);
  EXPECT_EQ(GetCurrentThreadId(), TheRecorder().ThreadAt(static_cast<size_t>(index)));

  ZEQWindowHolder record = ZEQGetWindowParam(window);
  ASSERT_TRUE(record.IsSet());
  EXPECT_EQ(nullptr, record->uiThread);
  EXPECT_EQ(0u, record->attributes & kWindowBeingCreated);
  EXPECT_STREQ("same", record->className);
  HWND body = ZEQGetBodyWindow(window);
  ASSERT_NE(nullptr, body);
  ZEQContainerHolder container = ZEQGetBaseContainer(body);
  ASSERT_TRUE(ZEQIsContainerReady(container));
  EXPECT_EQ(container.Get(), record->container.Get());
  EXPECT_STREQ("same", container->name);
  // The browser's windows and its document are found from the container.
  EXPECT_NE(nullptr, FindShellEmbeddingWindow(body));
  EXPECT_NE(nullptr, FindIEServerWindow(body));
  EXPECT_EQ(nullptr, FindIEServerWindow(nullptr));
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  ASSERT_NE(nullptr, site);
  IWebBrowser2* browser = site->GetWebBrowser2();
  ASSERT_NE(nullptr, browser);
  IHTMLElement* script = GetLastScriptElement(browser);
  ASSERT_NE(nullptr, script);
  BSTR tag = nullptr;
  script->get_tagName(&tag);
  EXPECT_EQ(0, lstrcmpiW(L"script", tag ? tag : L""));
  SysFreeString(tag);
  script->Release();
  for (IUnknown* found : {static_cast<IUnknown*>(GetScriptDispatchEx(browser)),
                          static_cast<IUnknown*>(GetDocumentScriptDispatchEx(browser))}) {
    EXPECT_NE(nullptr, found);
    if (found) found->Release();
  }
  EXPECT_EQ(1, DisableDropTarget(site));
  VARIANT_BOOL dropTarget = VARIANT_TRUE;
  browser->get_RegisterAsDropTarget(&dropTarget);
  EXPECT_EQ(VARIANT_FALSE, dropTarget);
  browser->Release();
  static_cast<IOleClientSite*>(site)->Release();

  RECT placed;
  GetWindowRect(window, &placed);
  EXPECT_EQ(10, placed.left);
  EXPECT_EQ(20, placed.top);
  EXPECT_EQ(320, placed.right - placed.left);

  HANDLE alive = GetPropA(window, "HWND::ALIVEEVENT");
  ASSERT_NE(nullptr, alive);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(alive, 0));
  EXPECT_TRUE(DestroyWindowExt(window, FALSE));
  EXPECT_FALSE(IsWindow(window));
  // The container let go of its site and its properties with the window.
  EXPECT_EQ(nullptr, container->renderer);
  EXPECT_FALSE(ZEQGetBaseContainer(body).IsSet());
}

TEST_F(ContainerWindows, OnAUIThreadOfItsOwnTheThreadEndsWithItsWindow) {
  const std::string url = PageUrl("own");
  const size_t from = TheRecorder().Count();
  RECT rect = {0, 0, 200, 100};
  HWND window = nullptr;
  ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "Own thread", url.c_str(), &rect, nullptr, "own",
                                        WB_ALLOWSZEQ | WB_OWNTHREAD, 0, &window, ZEQContainerHolder(),
                                        ZEQContainerHolder()));
  ASSERT_NE(nullptr, window);
  const DWORD uiThread = GetWindowThreadProcessId(window, nullptr);
  EXPECT_NE(GetCurrentThreadId(), uiThread);
  const int index = WaitForMark(L"own", from);
  ASSERT_GE(index, 0);
  EXPECT_EQ(uiThread, TheRecorder().ThreadAt(static_cast<size_t>(index)));

  ZEQWindowHolder record = ZEQGetWindowParam(window);
  ASSERT_TRUE(record.IsSet());
  ASSERT_NE(nullptr, record->uiThread);
  EXPECT_EQ(uiThread, GetThreadId(record->uiThread));

  // Destroyed from this thread: the request is posted to the window's own
  // thread, whose loop ends with its last window.
  EXPECT_EQ(1, DestroyWindowExt(window, FALSE));
  EXPECT_TRUE(container_test::WaitUntil([&] { return WaitForSingleObject(record->uiThread, 0) == WAIT_OBJECT_0; }));
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(ContainerWindows, TheSeparatedThreadFlagAloneMakesNoThread) {
  RECT rect = {0, 0, 100, 100};
  HWND window = nullptr;
  ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "", &rect, nullptr, "", WB_ALLOWSZEQ | WB_SEPARATEDTHREAD, 0,
                                        &window, ZEQContainerHolder(), ZEQContainerHolder()));
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(window, nullptr));
  // Without a name the container gets a GUID text as its name.
  ZEQContainerHolder container = ZEQGetBaseContainer(ZEQGetBodyWindow(window));
  ASSERT_TRUE(container.IsSet());
  EXPECT_EQ('{', container->name[0]);
  EXPECT_EQ(38u, strlen(container->name));
  DestroyWindowExt(window, FALSE);
}

TEST_F(ContainerWindows, WindowsArePlacedAsTheirFlagsSay) {
  const int screenWidth = GetSystemMetrics(SM_CXMAXIMIZED);
  const int screenHeight = GetSystemMetrics(SM_CYMAXIMIZED);
  RECT given = {30, 40, 300, 200};
  RECT centred = {-1, -1, 300, 200};
  struct Case {
    const char* name;
    const RECT* rect;
    uint32_t flags;
    RECT expected;  // left, top, width, height
    bool maximized;
  } cases[] = {
      {"given rectangle", &given, 0, {30, 40, 300, 200}, false},
      {"no rectangle: the screen less 100 each side", nullptr, 0,
       {100, 100, screenWidth - 200, screenHeight - 200}, false},
      {"centred", &centred, 0, {screenWidth / 2 - 150, screenHeight / 2 - 100, 300, 200}, false},
      {"started maximised: no placement, the first show maximises", &given, WB_STARTMAXIMIZED | WB_VISIBLE,
       {0, 0, 0, 0}, true},
  };
  for (const Case& c : cases) {
    HWND window = nullptr;
    ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "", c.rect, nullptr, "", WB_ALLOWSZEQ | c.flags, 0, &window,
                                          ZEQContainerHolder(), ZEQContainerHolder()))
        << c.name;
    ASSERT_NE(nullptr, window) << c.name;
    EXPECT_EQ(c.maximized, IsZoomed(window) != FALSE) << c.name;
    if (!c.maximized) {
      RECT placed;
      GetWindowRect(window, &placed);
      EXPECT_EQ(c.expected.left, placed.left) << c.name;
      EXPECT_EQ(c.expected.top, placed.top) << c.name;
      EXPECT_EQ(c.expected.right, placed.right - placed.left) << c.name;
      EXPECT_EQ(c.expected.bottom, placed.bottom - placed.top) << c.name;
    }
    DestroyWindowExt(window, FALSE);
  }
}

TEST_F(ContainerWindows, AnExclusiveWindowIsMadeOnce) {
  RECT rect = {0, 0, 100, 100};
  HWND first = nullptr;
  HWND second = nullptr;
  const uint32_t flags = WB_ALLOWSZEQ | WB_EXCLUSIVE;
  ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "x.html", &rect, nullptr, "solo", flags, 0, &first,
                                        ZEQContainerHolder(), ZEQContainerHolder()));
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(kZEQExclusiveWindowExists,
            ZEQCreateContainerWindow(nullptr, "", "x.html", &rect, nullptr, "solo", flags, 0, &second,
                                     ZEQContainerHolder(), ZEQContainerHolder()));
  EXPECT_EQ(first, second);
  DestroyWindowExt(first, FALSE);
  // Once it is gone, the next request makes a new one.
  HWND third = nullptr;
  EXPECT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "x.html", &rect, nullptr, "solo", flags, 0, &third,
                                        ZEQContainerHolder(), ZEQContainerHolder()));
  EXPECT_NE(nullptr, third);
  DestroyWindowExt(third, FALSE);
}

TEST_F(ContainerWindows, AContainerWithoutTheZeqOptionNeedsAParent) {
  RECT rect = {0, 0, 100, 100};
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "", &rect, nullptr, "orphan", 0, 0, &window,
                                        ZEQContainerHolder(), ZEQContainerHolder()));
  EXPECT_EQ(nullptr, window);

  HWND parentWindow = nullptr;
  ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "", &rect, nullptr, "parent", WB_ALLOWSZEQ | WB_TRACKCHILDREN,
                                        0, &parentWindow, ZEQContainerHolder(), ZEQContainerHolder()));
  ZEQContainerHolder parent = ZEQGetBaseContainer(ZEQGetBodyWindow(parentWindow));
  ASSERT_TRUE(parent.IsSet());
  HWND child = nullptr;
  ASSERT_EQ(0, ZEQCreateContainerWindow(nullptr, "", "", &rect, nullptr, "child", 0, 0, &child, parent, parent));
  ASSERT_NE(nullptr, child);
  ZEQContainerHolder linked = ZEQGetBaseContainer(ZEQGetBodyWindow(child));
  ASSERT_TRUE(linked.IsSet());
  EXPECT_EQ(kRelationNotifyParent, linked->relation & kRelationNotifyParent);
  EXPECT_EQ(parent->hostWindow, linked->eventWindow);
  // The caller tracks its children; the child is owned by the caller.
  EXPECT_GE(parent->childWindows->count, 1);
  EXPECT_EQ(parentWindow, GetWindow(child, GW_OWNER));
  DestroyWindowExt(child, FALSE);
  DestroyWindowExt(parentWindow, FALSE);
}

}  // namespace
