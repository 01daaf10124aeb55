// The site's answers that reach the page: script errors through the
// command target, the commands it takes over, the context menu and HTTP
// authentication, each decided by the page's ZEQOn handler.
#include <gtest/gtest.h>
#include <windows.h>
#include <mshtmcid.h>

#include <string>
#include <vector>

#include "container_test_support.h"
#include "host/browser_services.h"
#include "host/script_exec.h"

namespace {

using container_test::PageContainer;
using container_test::WaitUntil;

const char kCommandPage[] =
    "<html><head><title>commands</title><script>"
    "var answers = {Print: false, PrintPreview: true, ContextMenu: undefined};"
    "function list(a) { try { return new VBArray(a).toArray(); } catch (e) { return []; } }"
    "var containers = '';"
    "function seen(ibc) {"
    "  var id = ibc && typeof ibc == 'object' ? String(ibc.Id) : 'none';"
    "  if (containers.indexOf('[' + id + ']') < 0) containers += '[' + id + ']';"
    "}"
    "function ZEQOnScriptError(ibc, a) {"
    "  seen(ibc); var v = list(a);"
    "  window.external.Record('ScriptError(' + v[0] + ',' + (v[2].length > 0) + ',' + v[4] + ',' + v[5] + ')');"
    "  return true;"
    "}"
    "function ZEQOnPrint(ibc) { seen(ibc); window.external.Record('Print()'); return answers.Print; }"
    "function ZEQOnPrintPreview(ibc) {"
    "  seen(ibc); window.external.Record('PrintPreview()'); return answers.PrintPreview;"
    "}"
    "function ZEQOnShowFind(ibc) { seen(ibc); window.external.Record('ShowFind()'); }"
    "function ZEQOnContextMenu(ibc, menu, x, y, scope) {"
    "  seen(ibc); window.external.Record('ContextMenu(' + menu + ',' + x + ',' + y + ',' + (typeof scope) + ')');"
    "  return answers.ContextMenu;"
    "}"
    "function ZEQOnHTTPAuthenticate(ibc, a) {"
    "  seen(ibc); var v = list(a);"
    "  window.external.Record('HTTPAuthenticate(' + (v[0] && v[0].Id === ibc.Id) + ',' + v[1] + ')');"
    "  return [0x2001, answers.Login];"
    "}"
    "window.external.Record('loaded');"
    "</script></head><body>commands</body></html>";

class RendererCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    page_ = new PageContainer(kCommandPage, 1);
    ASSERT_FALSE(page_->Failed());
    // The page takes calls once its document completed.
    ASSERT_TRUE(WaitUntil([&] { return page_->Record()->documentComplete == 1; }));
  }
  void TearDown() override {
    delete page_;
    OleUninitialize();
  }
  // Sets answers.<name> in the page.
  void Answer(const char* name, const char* value) {
    const std::string code = std::string("answers.") + name + " = " + value + ";";
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(code.size()));
    for (size_t i = 0; i < code.size(); ++i) text[i] = static_cast<wchar_t>(code[i]);
    EXPECT_EQ(0, ZEQExecScript(text, page_->Browser()));
    SysFreeString(text);
  }
  // Every handler so far was handed this container's object first.
  void ExpectOwnContainerObjects() {
    EXPECT_EQ(L"[" + std::to_wstring(page_->Record()->id) + L"]",
              container_test::PageGlobal(page_->Window(), L"containers"));
  }
  PageContainer* page_ = nullptr;
};

TEST_F(RendererCommands, AScriptErrorReachesTheCommandTargetAndThePagesHandler) {
  const size_t before = page_->Recorded().size();
  BSTR code = SysAllocString(L"var x = 1;\nnoSuchFunction();");
  ZEQExecScript(code, page_->Browser());
  SysFreeString(code);
  ASSERT_TRUE(WaitUntil([&] { return page_->Recorded().size() > before; }));
  const std::string recorded = page_->Recorded()[before];
  // Line 2 of the code, a message, the page's address and the "zeq" flag.
  EXPECT_EQ(0u, recorded.find("ScriptError(2,true,")) << recorded;
  EXPECT_NE(std::string::npos, recorded.find(",true)")) << recorded;
  ExpectOwnContainerObjects();
}

TEST_F(RendererCommands, TheCommandsTakenOverAnswerAsTheirHandlersSay) {
  CZEQRenderer* site = page_->Site();
  const GUID handler = {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};
  const GUID other = IID_IDispatch;
  struct Case {
    const char* name;
    const GUID* group;
    DWORD command;
    HRESULT answer;
    const char* recorded;
  } cases[] = {
      {"no group", nullptr, OLECMDID_PRINT, OLECMDERR_E_UNKNOWNGROUP, nullptr},
      {"another group", &other, OLECMDID_PRINT, OLECMDERR_E_UNKNOWNGROUP, nullptr},
      {"a command not taken over", &handler, OLECMDID_SAVEAS, OLECMDERR_E_NOTSUPPORTED, nullptr},
      {"print refused by the page lets the control print", &handler, OLECMDID_PRINT, OLECMDERR_E_NOTSUPPORTED,
       "Print()"},
      {"the page's own print preview suppresses the control's", &handler, OLECMDID_PRINTPREVIEW, S_OK,
       "PrintPreview()"},
      {"page set-up without a handler is suppressed", &handler, IDM_PAGESETUP, S_OK, nullptr},
      {"find never shows the control's dialog", &handler, OLECMDID_SHOWFIND, S_OK, "ShowFind()"},
  };
  std::vector<std::string> expected = page_->Recorded();
  for (const Case& c : cases) {
    EXPECT_EQ(c.answer, site->Exec(c.group, c.command, 0, nullptr, nullptr)) << c.name;
    if (c.recorded) expected.push_back(c.recorded);
    WaitUntil([&] { return page_->Recorded().size() >= expected.size(); }, c.recorded ? 5000 : 100);
    EXPECT_EQ(expected, page_->Recorded()) << c.name;
  }
  ExpectOwnContainerObjects();
}

TEST_F(RendererCommands, TheProgramsPagesShowAContextMenuOnlyWhenTheHandlerSaysTrue) {
  CZEQRenderer* site = page_->Site();
  IDispatch* document = nullptr;
  ASSERT_EQ(S_OK, page_->Browser()->get_Document(&document));
  struct Case {
    const char* name;
    const char* answer;
    HRESULT result;
  } cases[] = {
      {"true shows the control's menu", "true", E_NOTIMPL},
      {"false shows none", "false", S_OK},
      {"no answer shows none", "undefined", S_OK},
  };
  for (const Case& c : cases) {
    Answer("ContextMenu", c.answer);
    const size_t before = page_->Recorded().size();
    POINT point = {12, 34};
    EXPECT_EQ(c.result, site->ShowContextMenu(CONTEXT_MENU_DEFAULT, &point, nullptr, document)) << c.name;
    ASSERT_EQ(before + 1, page_->Recorded().size()) << c.name;
    EXPECT_EQ("ContextMenu(0,12,34,object)", page_->Recorded()[before]) << c.name;
  }
  // Without an element the control keeps its own menu and the page is not asked.
  EXPECT_EQ(E_NOTIMPL, site->ShowContextMenu(CONTEXT_MENU_DEFAULT, nullptr, nullptr, nullptr));
  document->Release();
  ExpectOwnContainerObjects();
}

TEST_F(RendererCommands, AuthenticationSplitsTheCredentialsAtTheFirstBackslash) {
  CZEQRenderer* site = page_->Site();
  IAuthenticate* authenticate = nullptr;
  ASSERT_EQ(S_OK, site->QueryService(IID_IAuthenticate, IID_IAuthenticate, reinterpret_cast<void**>(&authenticate)));
  ASSERT_NE(nullptr, authenticate);
  struct Case {
    const char* name;
    const char* login;
    const wchar_t* user;      // null: left as it was
    const wchar_t* password;
  } cases[] = {
      {"user and password", "'me\\\\secret'", L"me", L"secret"},
      {"a backslash inside the password is kept", "'me\\\\pa\\\\ss'", L"me", L"pa\\ss"},
      {"no backslash: all of it is the user", "'alone'", L"alone", L""},
      {"an empty text leaves the dialog to the control", "''", nullptr, nullptr},
      {"no text leaves the dialog to the control", "7", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    Answer("Login", c.login);
    HWND window = reinterpret_cast<HWND>(1);
    LPWSTR user = nullptr, password = nullptr;
    EXPECT_EQ(S_OK, authenticate->Authenticate(&window, &user, &password)) << c.name;
    if (c.user) {
      ASSERT_NE(nullptr, user) << c.name;
      ASSERT_NE(nullptr, password) << c.name;
      EXPECT_STREQ(c.user, user) << c.name;
      EXPECT_STREQ(c.password, password) << c.name;
      EXPECT_EQ(nullptr, window) << c.name;
    } else {
      EXPECT_EQ(nullptr, user) << c.name;
      EXPECT_EQ(reinterpret_cast<HWND>(1), window) << c.name;
    }
    CoTaskMemFree(user);
    CoTaskMemFree(password);
  }
  authenticate->Release();
  // The handler's values begin with the container's object, then its start
  // address.
  const std::vector<std::string> recorded = page_->Recorded();
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ("HTTPAuthenticate(true," + std::string(page_->Record()->startDocument) + ")", recorded.back());
  ExpectOwnContainerObjects();
}

}  // namespace
