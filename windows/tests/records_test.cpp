// Window and container records found from window handles, on the window's
// own thread and on others; dead and foreign windows yield nothing.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <functional>

#include "windows/program_windows.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

struct Work {
  std::function<void()> fn;
};

unsigned __stdcall RunWork(void* work) {
  static_cast<Work*>(work)->fn();
  return 0;
}

// Runs fn on a thread of its own and waits for it (bounded).
void OnOtherThread(const std::function<void()>& fn) {
  Work work{fn};
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunWork, &work, 0, nullptr));
  ASSERT_NE(nullptr, thread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
  CloseHandle(thread);
}

struct RecordedWindow {
  HWND top = CreateWindowExA(0, "STATIC", "top", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  HWND body = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, top,
                              reinterpret_cast<HMENU>(static_cast<intptr_t>(kBodyWindowId)),
                              GetModuleHandleA(nullptr), nullptr);
  HWND inner = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, body, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
  ZEQWindowHolder record;
  ZEQContainerHolder container;

  explicit RecordedWindow(uint32_t options = 0) {
    ZEQNewWindowRecord(&record, top, "Test", 0x18);
    ZEQSetWindowParam(top, record);
    ZEQBaseContainerInit(&container, body);
    container->options = options;
    ZEQSetContainerProperty(body, "ZEQBASECONTAINER", container);
  }
  ~RecordedWindow() {
    ZEQSetContainerProperty(body, "ZEQBASECONTAINER", ZEQContainerHolder());
    ZEQSetContainerProperty(body, "ZEQTOPCONTAINER", ZEQContainerHolder());
    ZEQFreeWindowParamBlock(top);
    DestroyWindow(top);
  }
};

TEST(RecordLookups, OtherThreadsFindTheSameRecords) {
  RecordedWindow window;
  int32_t seenWindowId = 0;
  int32_t seenContainerId = 0;
  HWND seenContainerWindow = nullptr;
  OnOtherThread([&] {
    ZEQWindowHolder record = ZEQGetWindowParam(window.inner);  // from a grandchild
    if (record.IsSet()) seenWindowId = record->id;
    ZEQContainerHolder container = ZEQGetBaseContainer(window.body);
    if (container.IsSet()) seenContainerId = container->id;
    seenContainerWindow = ZEQFindContainerWindow(window.inner);
  });
  EXPECT_EQ(window.record->id, seenWindowId);
  EXPECT_EQ(window.container->id, seenContainerId);
  EXPECT_EQ(window.body, seenContainerWindow);
  EXPECT_EQ(window.body, ZEQFindParentContainerWindow(window.inner));
  EXPECT_EQ(nullptr, ZEQFindParentContainerWindow(window.body));
  // Each look-up is a counted reference of its own.
  ZEQContainerHolder first = ZEQGetBaseContainer(window.body);
  ZEQContainerHolder second = ZEQGetBaseContainer(window.body);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_GE(first.ShareCount(), 3);
}

TEST(RecordLookups, DeadAndForeignWindowsHaveNoRecords) {
  HWND top = nullptr;
  HWND body = nullptr;
  {
    RecordedWindow window;
    top = window.top;
    body = window.body;
  }
  EXPECT_FALSE(ZEQGetWindowParam(top).IsSet());
  EXPECT_FALSE(ZEQGetBaseContainer(body).IsSet());
  EXPECT_EQ(nullptr, ZEQFindContainerWindow(body));
  EXPECT_FALSE(ZEQGetWindowParam(GetDesktopWindow()).IsSet());
  EXPECT_FALSE(ZEQGetBaseContainer(GetDesktopWindow()).IsSet());
  EXPECT_FALSE(ZEQIsTopWindow(top));
}

TEST(RecordLookups, TheTopContainerIsTheNearestMarkedOneElseTheLoader) {
  RecordedWindow loader;
  ZEQSetLoaderWindows(loader.body, loader.top);
  RecordedWindow plain;
  EXPECT_EQ(loader.body, ZEQGetTopContainer(plain.inner));
  // The loader's own top-level window resolves to the loader host window.
  EXPECT_EQ(loader.body, ZEQResolveMenuWindow(loader.top));
  ZEQSetContainerProperty(plain.body, "ZEQTOPCONTAINER", plain.container);
  EXPECT_EQ(plain.body, ZEQGetTopContainer(plain.inner));
  // A window with no parent goes on through its body container's caller.
  RecordedWindow called;
  called.container->caller.ShareFrom(plain.container);
  EXPECT_EQ(plain.body, ZEQGetTopContainer(called.top));
  ZEQSetLoaderWindows(nullptr, nullptr);
}

TEST(ContainerRecords, NewRecordsStartUnknownAndReleaseTheirHolders) {
  ZEQContainerHolder parent;
  ZEQBaseContainerInit(&parent, nullptr);
  {
    ZEQContainerHolder child;
    ZEQBaseContainerInit(&child, nullptr);
    ASSERT_TRUE(child.IsSet());
    EXPECT_NE(parent->id, child->id);
    EXPECT_EQ(100, child->zoom);
    EXPECT_EQ(-2, child->windowState[0]);
    EXPECT_EQ(-2, child->browserFlags[9]);
    EXPECT_FALSE(ZEQIsContainerReady(child));
    child->parent.ShareFrom(parent);
    EXPECT_EQ(2, parent.ShareCount());
    InterlockedExchange(&child->ready, 1);
    EXPECT_TRUE(ZEQIsContainerReady(child));
  }
  // The child's deletion gave its parent reference back.
  EXPECT_EQ(1, parent.ShareCount());
}

TEST(WindowRecords, FrameFlagsAreTranslatedFromCreationFlags) {
  struct Case {
    const char* name;
    uint32_t flags;
    uint32_t frame;
  } cases[] = {
      {"minimise and maximise", WB_ALLOWSMINIMIZE | WB_ALLOWSMAXIMIZE, 0x30},
      {"close refused and fixed frame", WB_DENYCLOSE | WB_DONTMOVEFRAME, 0x48},
      {"grip, modal, taskbar, icon, full screen",
       WB_ALLOWSRESIZEGRIP | WB_MODAL | WB_SYSTEMAPPWINDOW | WB_ALLOWSTITLEICON | WB_ALLOWSFULLSCREEN,
       0x400000 | 0x2000000 | 0x80000 | 0x200 | 0x4000},
      {"other bits dropped", WB_VISIBLE | WB_ALLOWSZEQ | WB_OWNTHREAD, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.frame, ZEQWindowFlagsToFrameFlags(c.flags)) << c.name;
}


// The one template class the loader below knows.
SKINHolder knownClass;
SKINHolder LoadKnownClass(const char* reference) {
  return lstrcmpA(reference, "#Known") == 0 ? knownClass : SKINHolder();
}

TEST(WindowSkins, AttachedWindowsTakeTheirTemplateClassElseABlankSkin) {
  knownClass = SKINNewSkin();
  SKINSetText(&knownClass->className, "Known");
  ZEQSetTemplateClassLoader(LoadKnownClass);
  struct Case {
    const char* name;
    const char* reference;
    bool known;
  } cases[] = {
      {"a class the loader knows", "#Known", true},
      {"a class it does not know", "#Missing", false},
      {"no reference at all", nullptr, false},
  };
  for (const Case& c : cases) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ZEQWindowHolder record = ZEQAttachWindowParam(window, c.reference, "Test", 0);
    ASSERT_TRUE(record.IsSet()) << c.name;
    ASSERT_TRUE(record->skin.IsSet()) << c.name;
    EXPECT_EQ(c.known, record->skin.Get() == knownClass.Get()) << c.name;
    // Without a class the window gets a new skin of its own, not the class.
    if (!c.known) {
      EXPECT_TRUE(SKINIsBlank(record->skin)) << c.name;
    }
    auto block = static_cast<ZEQWINDOWPARAM*>(GetPropA(window, "ZEQWINDOWPARAM"));
    ASSERT_NE(nullptr, block) << c.name;
    EXPECT_EQ(record->skin.Get(), block->skin.Get()) << c.name;
    // A second attachment keeps the record and its skin.
    EXPECT_EQ(record.Get(), ZEQAttachWindowParam(window, "#Other", "Test", 0).Get()) << c.name;
    record.Release();
    ZEQFreeWindowParamBlock(window);
    DestroyWindow(window);
  }
  ZEQSetTemplateClassLoader(nullptr);
  knownClass.Release();
}

}  // namespace
