// Extraction reaching page script: a failed entry offered to the function
// the package's owner script object keeps as its extract-error handler, on
// the page's thread, whose answer decides whether the entry is tried again;
// and a script file that an entry asks to run, run as a page in a container
// window of its own.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <string>

#include "container_test_support.h"
#include "file_test_support.h"
#include "foundation/git_table.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "host/containers.h"
#include "host/dispatch_ex.h"
#include "host/script_calls.h"
#include "package/package.h"
#include "package/package_extract.h"
#include "windows/records.h"
#include "windows/runtime_messages.h"
#include "windows/window_close.h"

namespace {

using container_test::Narrow;

HRESULT OwnerInvoke(CZEQDispatchEx*, DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, IServiceProvider*) {
  return DISP_E_MEMBERNOTFOUND;
}

// A package file of (path, data) file entries, opened; null on failure.
ZEQPackageDATA* OpenPackage(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files) {
  ZEQPackageDATA* made = ZEQPackageCreate(0x8, path.c_str(), ZEQPKG_TYPE_MULTIPLE, "pw");
  if (!made) return nullptr;
  for (const auto& file : files)
    ZEQPackageAddData(made, file.first.c_str(), "1", file.second.data(), uint32_t(file.second.size()));
  const bool closed = ZEQPackageClose(made, INVALID_HANDLE_VALUE, 0);
  ZEQPackageRelease(made);
  return closed ? ZEQPackageOpen(path.c_str(), "pw", nullptr, 0) : nullptr;
}

class PackageExtractEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    ZEQInstallScriptCalls();
    window_ = pages_.Open(WB_ALLOWSZEQ, "var got = [], answers = [];");
    ASSERT_NE(nullptr, window_);
    ZEQContainerHolder container = container_test::ReadyContainerOf(window_);
    ASSERT_TRUE(container.IsSet());
    owner_ = CZEQDispatchEx::Create(L"PackageOwner", container->hostWindow, ZEQLookupMemberCallback, OwnerInvoke,
                                    kZEQDispPlain);
    ASSERT_TRUE(container_test::PagePublish(window_, L"owner", static_cast<IDispatchEx*>(owner_)));
  }
  void TearDown() override {
    if (cookie_) RevokeGITCookie(cookie_);
    pages_.Close();
    if (owner_) owner_->Release();
    OleUninitialize();
  }

  // Makes the page's function `name` the handler: its Global Interface
  // Table cookie, as the package's owner object keeps it.
  DWORD HandlerCookie(const wchar_t* name) {
    ZEQContainerHolder container = container_test::ContainerOf(window_);
    CZEQRenderer* site = container.IsSet() ? ZEQGetContainerRenderer(container) : nullptr;
    IWebBrowser2* browser = site ? site->GetWebBrowser2() : nullptr;
    if (site) static_cast<IOleClientSite*>(site)->Release();
    IDispatchEx* script = browser ? GetDocumentScriptDispatchEx(browser) : nullptr;
    if (browser) browser->Release();
    if (!script) return 0;
    DISPID id = DISPID_UNKNOWN;
    BSTR member = SysAllocString(name);
    HRESULT hr = script->GetDispID(member, fdexNameCaseSensitive, &id);
    SysFreeString(member);
    VARIANT function;
    VariantInit(&function);
    if (SUCCEEDED(hr)) {
      DISPPARAMS none = {};
      hr = script->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &function, nullptr, nullptr);
    }
    script->Release();
    DWORD cookie = 0;
    if (SUCCEEDED(hr) && V_VT(&function) == VT_DISPATCH) cookie = ZEQGITRegister(V_DISPATCH(&function));
    VariantClear(&function);
    cookie_ = cookie;
    return cookie;
  }

  container_test::ContainerPages pages_;
  HWND window_ = nullptr;
  CZEQDispatchEx* owner_ = nullptr;
  DWORD cookie_ = 0;
};

TEST_F(PackageExtractEvents, TheHandlersOwnAnswerDecidesWhetherAFailedEntryIsTriedAgain) {
  pages_.Evaluate(window_,
                  L"extractFailed = function (code, output, entry, object) {"
                  L"  got.push(code + '|' + output + '|' + entry + '|' + (object === owner) + '|' + "
                  L"arguments.length);"
                  L"  var a = answers.shift(); if (a === 'throw') throw 1; return a; }, 0");
  ASSERT_NE(0u, HandlerCookie(L"extractFailed"));
  const struct {
    const char* name;
    const wchar_t* answers;
    int calls;
  } cases[] = {
      {"true asks again, false ends", L"[true, false]", 2},
      {"a number other than 0 asks again, 0 ends", L"[5, 0]", 2},
      {"no answer is a refusal", L"[]", 1},
      {"a text is a refusal", L"['1']", 1},
      {"a handler that throws refuses", L"['throw', true]", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    filetest::ScratchFolder scratch;
    CreateDirectoryA((scratch / "out").c_str(), nullptr);
    ZEQPackageDATA* package = OpenPackage(scratch / "p.zpk", {{"\\:ref( missing.txt )", ""}});
    ASSERT_NE(nullptr, package);
    package->owner = owner_;
    package->errorHandlerCookie = cookie_;
    pages_.Evaluate(window_, std::wstring(L"(got = [], answers = ") + c.answers + L", 0)");
    EXPECT_EQ(ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE,
              ZEQPackageExtract(package, nullptr, nullptr, (scratch / "out").c_str(), "*", "", "pw", 0));
    ZEQPackageRelease(package);
    const std::string call = "12|" + (scratch / "out") + "\\missing.txt|\\:ref( missing.txt )|true|4";
    std::string expected;
    for (int i = 0; i < c.calls; ++i) expected += (i ? "," : "") + call;
    EXPECT_EQ(expected, Narrow(pages_.Evaluate(window_, L"got.join()")));
  }
}

TEST_F(PackageExtractEvents, AnOwnerWhoseHandlerIsGoneRefusesWithoutACall) {
  pages_.Evaluate(window_, L"extractFailed = function () { got.push(1); return true; }, 0");
  const DWORD cookie = HandlerCookie(L"extractFailed");
  ASSERT_NE(0u, cookie);
  RevokeGITCookie(cookie);
  cookie_ = 0;
  filetest::ScratchFolder scratch;
  ZEQPackageDATA* package = OpenPackage(scratch / "p.zpk", {{"\\:ref( missing.txt )", ""}});
  ASSERT_NE(nullptr, package);
  package->owner = owner_;
  package->errorHandlerCookie = cookie;
  EXPECT_EQ(ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE,
            ZEQPackageExtract(package, nullptr, nullptr, scratch.path().c_str(), "*", "", "pw", 0));
  ZEQPackageRelease(package);
  EXPECT_EQ(L"", pages_.Evaluate(window_, L"got.join()"));
}

struct Closer {
  std::string title;
  DWORD waitingThread;
  bool closed;
};

// Asks the window titled `title` to close once it shows up. Should it not
// show up or not close in time, the waiting loop is ended with a quit, so the
// test fails rather than hangs.
unsigned __stdcall CloseWhenShown(void* context) {
  auto* closer = static_cast<Closer*>(context);
  HWND window = nullptr;
  for (int i = 0; i < 500 && !window; ++i) {
    window = FindWindowA("KESTO Window", closer->title.c_str());
    if (!window) Sleep(20);
  }
  if (window) ZEQPostCloseWindow(window, 0, false);
  for (int i = 0; i < 250 && window && IsWindow(window); ++i) Sleep(20);
  closer->closed = window && !IsWindow(window);
  if (!closer->closed) PostThreadMessageA(closer->waitingThread, WM_QUIT, 0, 0);
  return 0;
}

TEST_F(PackageExtractEvents, OnlyAnEntryThatAsksToRunAtOnceOpensAWindowOfItsOwn) {
  filetest::ScratchFolder scratch;
  ZEQPackageDATA* package =
      OpenPackage(scratch / "p.zpk", {{"\\run.js:exec( immediate )", "window.external.Record('ran');"},
                                      {"\\kept.js:exec( wait )", "window.external.Record('never');"}});
  ASSERT_NE(nullptr, package);
  EXPECT_EQ(0, ZEQPackageExtract(package, nullptr, nullptr, scratch.path().c_str(), "*", "", "pw",
                                 ZEQPKG_EXTRACT_EXECUTE | ZEQPKG_EXTRACT_TRUSTED));
  ZEQPackageRelease(package);
  // The window of the page is titled with the written file's path.
  HWND ran = FindWindowA("KESTO Window", (scratch / "run.js").c_str());
  EXPECT_NE(nullptr, ran);
  EXPECT_EQ(nullptr, FindWindowA("KESTO Window", (scratch / "kept.js").c_str()));
  if (ran) DestroyWindow(ran);
}

TEST_F(PackageExtractEvents, ARunThatWaitsEndsWhenItsWindowIsGone) {
  filetest::ScratchFolder scratch;
  ZEQPackageDATA* package =
      OpenPackage(scratch / "p.zpk", {{"\\waited.html:exec( immediate wait )", "window.external.Record('waited');"}});
  ASSERT_NE(nullptr, package);
  Closer closer{scratch / "waited.html", GetCurrentThreadId(), false};
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CloseWhenShown, &closer, 0, nullptr));
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(0, ZEQPackageExtract(package, nullptr, nullptr, scratch.path().c_str(), "*", "", "pw",
                                 ZEQPKG_EXTRACT_EXECUTE | ZEQPKG_EXTRACT_TRUSTED));
  ZEQPackageRelease(package);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 15000));
  CloseHandle(thread);
  EXPECT_TRUE(closer.closed);
  EXPECT_EQ(nullptr, FindWindowA("KESTO Window", (scratch / "waited.html").c_str()));
}

}  // namespace
