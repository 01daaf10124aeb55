// Keyboard pre-translation: keys aimed at a page go to its browser first,
// then to the dialog window the loop names, else on to translation.
#include <gtest/gtest.h>
#include <windows.h>

#include "container_test_support.h"
#include "host/browser_documents.h"
#include "host/browser_messages.h"
#include "windows/program_windows.h"

namespace {

// A dialog-like window with two tab-stop inputs.
struct TwoInputs {
  HWND dialog = CreateWindowExA(WS_EX_CONTROLPARENT, "STATIC", "form", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HWND first = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 5, 5, 80, 20, dialog, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  HWND second = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 5, 35, 80, 20, dialog, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ~TwoInputs() { DestroyWindow(dialog); }
};

MSG Key(HWND target, UINT message, WPARAM key) {
  MSG msg = {};
  msg.hwnd = target;
  msg.message = message;
  msg.wParam = key;
  return msg;
}

TEST(BrowserMessages, TabInTheNamedDialogMovesFocusBetweenTwoInputs) {
  TwoInputs form;
  SetActiveWindow(form.dialog);
  SetFocus(form.first);
  ASSERT_EQ(form.first, GetFocus());
  MSG tab = Key(form.first, WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(0, ZEQPreTranslateBrowserMessage(&tab, form.dialog));
  EXPECT_EQ(form.second, GetFocus());
  // Without the dialog the key goes on to translation and focus stays.
  MSG again = Key(form.second, WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(1, ZEQPreTranslateBrowserMessage(&again, nullptr));
  EXPECT_EQ(form.second, GetFocus());
}

TEST(BrowserMessages, KeysOfAPageGoOnWhenItsBrowserDeclinesThemOrIsNotReady) {
  OleInitialize(nullptr);
  {
    container_test::PageContainer page("<html><body><script>window.external.Record('up');</script></body></html>", 1);
    ASSERT_FALSE(page.Failed());
    HWND server = FindIEServerWindow(ZEQGetBodyWindow(page.Window()));
    ASSERT_NE(nullptr, server);
    TwoInputs form;
    struct Case {
      const char* name;
      HWND target;
      UINT message;
      bool ready;
      HWND dialog;
      BOOL translate;
    } cases[] = {
        {"a plain key the browser declines", server, WM_KEYDOWN, true, nullptr, 1},
        {"a key while the container is being created", server, WM_KEYDOWN, false, nullptr, 1},
        {"a character at another class without a dialog", form.first, WM_CHAR, true, nullptr, 1},
        {"a mouse message is never a browser key", server, WM_LBUTTONDOWN, true, nullptr, 1},
    };
    for (const Case& c : cases) {
      InterlockedExchange(&page.Record()->ready, c.ready ? 1 : 0);
      MSG msg = Key(c.target, c.message, 'A');
      EXPECT_EQ(c.translate, ZEQPreTranslateBrowserMessage(&msg, c.dialog)) << c.name;
    }
    InterlockedExchange(&page.Record()->ready, 1);
  }
  OleUninitialize();
}

}  // namespace
