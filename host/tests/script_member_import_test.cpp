// Functions of a container's page script imported as methods of a script
// object: the method's DISPID carries the page's own, and removing the
// import takes the name away.
#include <gtest/gtest.h>
#include <windows.h>

#include "container_test_support.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "host/dispatch_ex.h"
#include "windows/records.h"

namespace {

HRESULT ImporterInvoke(CZEQDispatchEx*, DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, IServiceProvider*) {
  return DISP_E_MEMBERNOTFOUND;
}

DISPID PageDispId(HWND host, const wchar_t* name) {
  ZEQContainerHolder container = ZEQGetBaseContainer(host);
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return DISPID_UNKNOWN;
  IWebBrowser2* browser = site->GetWebBrowser2();
  static_cast<IOleClientSite*>(site)->Release();
  IDispatchEx* script = browser ? GetDocumentScriptDispatchEx(browser) : nullptr;
  if (browser) browser->Release();
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  if (script) {
    script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    script->Release();
  }
  return id;
}

class ScriptMemberImport : public container_test::ContainerPagesTest {};

TEST_F(ScriptMemberImport, PageFunctionsBecomeMethodsUntilTheImportIsRemoved) {
  HWND window = pages_.Open(WB_ALLOWSZEQ, "function pageFunction() { return 1; }");
  ASSERT_NE(nullptr, window);
  HWND host = container_test::ContainerOf(window)->hostWindow;
  CZEQDispatchEx* object =
      CZEQDispatchEx::Create(L"Importer", host, ZEQLookupMemberCallback, ImporterInvoke, kZEQDispPlain);
  const DISPID pageId = PageDispId(host, L"pageFunction");
  ASSERT_NE(DISPID_UNKNOWN, pageId);

  EXPECT_EQ(0, ZEQImportScriptMember(object, L"pageFunction", true));
  DISPID id = DISPID_UNKNOWN;
  ASSERT_EQ(S_OK, ZEQLookupMember(object, L"pageFunction", &id));
  EXPECT_EQ(pageId + kZEQImportedMemberOffset, id);

  const struct {
    const char* name;
    const wchar_t* member;
    bool import;
    int expected;
  } cases[] = {
      {"a name the page does not have", L"noSuchFunction", true, 2},
      {"an empty name", L"", true, 2},
      {"removing the import", L"pageFunction", false, 0},
      {"removing it again", L"pageFunction", false, 2},
      {"removing a name never imported", L"other", false, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ZEQImportScriptMember(object, c.member, c.import)) << c.name;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, ZEQLookupMember(object, L"pageFunction", &id));
  object->Release();

  // An object whose owner has no container imports nothing.
  CZEQDispatchEx* orphan =
      CZEQDispatchEx::Create(L"Importer", nullptr, ZEQLookupMemberCallback, ImporterInvoke, kZEQDispPlain);
  EXPECT_EQ(2, ZEQImportScriptMember(orphan, L"pageFunction", true));
  orphan->Release();
}

}  // namespace
