#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "host/containers.h"
#include "host/loader_page.h"
#include "file_test_support.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace {

using filetest::ScratchFolder;

std::string Take(char* text) {
  std::string result = text ? text : "<null>";
  HeapFreeZ(text);
  return result;
}

// The text served for an in-memory address.
std::string Served(const std::string& address) { return Take(CopyLoaderMediaText(address.c_str())); }

// True when the address is "zeq:<package root>\load\mm\<number>.html".
::testing::AssertionResult IsMediaAddress(const std::string& address) {
  const std::string head = std::string("zeq:") + GetPackageRoot() + "\\load\\mm\\";
  const std::string tail = ".html";
  if (address.size() <= head.size() + tail.size() || address.compare(0, head.size(), head) != 0 ||
      address.compare(address.size() - tail.size(), tail.size(), tail) != 0) {
    return ::testing::AssertionFailure() << address;
  }
  const std::string number = address.substr(head.size(), address.size() - head.size() - tail.size());
  if (number.find_first_not_of("0123456789") != std::string::npos) {
    return ::testing::AssertionFailure() << address;
  }
  return ::testing::AssertionSuccess();
}

std::string ExpectedPage(const std::string& title, const std::string& script) {
  return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
         "<html><ZEQ:Initialize />\r\n<head>\r\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\">\r\n"
         "<title>" + title + "</title>\r\n"
         "</head><body onload=\"window.external.KESTOExit( 0 );\">\r\n"
         "<script language=\"javascript\" type=\"text/javascript\" defer=\"false\">\r\n"
         "ZEQLOADER: {\r\n" + script + "\r\n}"
         "\r\n</script>\r\n"
         "</body></html>";
}

// A window registered as a container with the given option flags.
class ContainerWindow {
 public:
  explicit ContainerWindow(uint32_t options) {
    window_ = CreateWindowA("STATIC", "loader", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ZEQSetWindowContainer(window_, ZEQWindowContainer{options, false, 0, true, false, nullptr, 0, 0});
  }
  ~ContainerWindow() {
    ZEQRemoveWindowContainer(window_);
    DestroyWindow(window_);
  }
  HWND window() const { return window_; }

 private:
  HWND window_;
};

TEST(LoaderPage, ScriptLoaderBecomesAGeneratedPage) {
  ScratchFolder folder;
  for (const char* name : {"main.js", "Main.ZEQ"}) {
    const std::string loader = folder.Write(name, "run();\r\n@exit");
    const std::string address = Take(ZEQPrepareLoaderDocument(loader.c_str(), 0, nullptr));
    ASSERT_TRUE(IsMediaAddress(address));
    EXPECT_EQ(ExpectedPage(loader, "run();\r\n@exit"), Served(address));

    // The content routine wraps the next download of that script once.
    EXPECT_TRUE(TakeLastLoaderScriptIfMatches(loader.c_str()));
    EXPECT_FALSE(TakeLastLoaderScriptIfMatches(loader.c_str()));
  }
}

TEST(LoaderPage, ScriptIsServedAsUtf8) {
  ScratchFolder folder;
  const std::string loader = folder.Write("wide.js", std::string("\xFF\xFE" "a\0\xE9\0", 6));
  const std::string address = Take(ZEQPrepareLoaderDocument(loader.c_str(), 0, nullptr));
  ASSERT_TRUE(IsMediaAddress(address));
  EXPECT_EQ(ExpectedPage(loader, "a\xC3\xA9"), Served(address));
  SetLastLoaderScriptPath(nullptr);
}

TEST(LoaderPage, EachPageGetsItsOwnAddress) {
  ScratchFolder folder;
  const std::string loader = folder.Write("main.js", "x();");
  const std::string first = Take(ZEQPrepareLoaderDocument(loader.c_str(), 0, nullptr));
  const std::string second = Take(ZEQPrepareLoaderDocument(loader.c_str(), 0, nullptr));
  EXPECT_NE(first, second);
  EXPECT_EQ(Served(first), Served(second));
  SetLastLoaderScriptPath(nullptr);
}

TEST(LoaderPage, MountedScriptLoader) {
  ScratchFolder folder;
  const std::string loader = folder / "packaged\\start.js";
  ASSERT_TRUE(VFSMountFile(loader.c_str(), "go();", 5));
  const std::string address = Take(ZEQPrepareLoaderDocument(("zeq:" + loader).c_str(), 0, nullptr));
  ASSERT_TRUE(IsMediaAddress(address));
  EXPECT_EQ(ExpectedPage("zeq:" + loader, "go();"), Served(address));
  EXPECT_TRUE(TakeLastLoaderScriptIfMatches(("ZEQ:" + loader).c_str()));
  VFSClearMounts();
}

TEST(LoaderPage, PagesAreNavigatedToDirectly) {
  ScratchFolder folder;
  const std::string page = folder / "Loader.htm";
  EXPECT_EQ(page, Take(ZEQPrepareLoaderDocument(page.c_str(), 0, nullptr)));
  EXPECT_EQ("http://example.invalid/a.html",
            Take(ZEQPrepareLoaderDocument("http://example.invalid/a.html", 0, nullptr)));
  EXPECT_EQ("noextension", Take(ZEQPrepareLoaderDocument("noextension", 0, nullptr)));
}

TEST(LoaderPage, LoaderWindowFlagPrefixesZeq) {
  ScratchFolder folder;
  const std::string page = folder / "Loader.htm";
  ContainerWindow loaderWindow(WB_ZEQLOADERWINDOW);
  ContainerWindow plainWindow(0);
  // The container's own flags decide, not the options of the call.
  EXPECT_EQ("zeq:" + page, Take(ZEQPrepareLoaderDocument(page.c_str(), 0, loaderWindow.window())));
  EXPECT_EQ(page, Take(ZEQPrepareLoaderDocument(page.c_str(), WB_ZEQLOADERWINDOW, plainWindow.window())));
  EXPECT_EQ("ZEQ:" + page,
            Take(ZEQPrepareLoaderDocument(("ZEQ:" + page).c_str(), 0, loaderWindow.window())));

  const std::string script = folder.Write("main.js", "x();");
  const std::string address = Take(ZEQPrepareLoaderDocument(script.c_str(), 0, loaderWindow.window()));
  EXPECT_TRUE(IsMediaAddress(address));
  SetLastLoaderScriptPath(nullptr);
}

TEST(LoaderPage, AddressAsCode) {
  const char page[] = "<html><body>code page.js</body></html>";
  const std::string address = Take(ZEQPrepareLoaderDocument(page, WB_USEADDRESSASCODE, nullptr));
  ASSERT_TRUE(IsMediaAddress(address));
  EXPECT_EQ(page, Served(address));
}

TEST(LoaderPage, NothingToNavigateTo) {
  ScratchFolder folder;
  EXPECT_EQ(nullptr, ZEQPrepareLoaderDocument(nullptr, 0, nullptr));
  EXPECT_EQ(nullptr, ZEQPrepareLoaderDocument((folder / "missing.js").c_str(), 0, nullptr));
  EXPECT_FALSE(TakeLastLoaderScriptIfMatches((folder / "missing.js").c_str()));
}

TEST(LoaderPage, LastLoaderScriptRecord) {
  SetLastLoaderScriptPath("C:\\App\\Main.js");
  EXPECT_FALSE(TakeLastLoaderScriptIfMatches(nullptr));
  EXPECT_FALSE(TakeLastLoaderScriptIfMatches("C:\\App\\Other.js"));
  EXPECT_TRUE(TakeLastLoaderScriptIfMatches("c:\\app\\MAIN.JS"));
  EXPECT_FALSE(TakeLastLoaderScriptIfMatches("C:\\App\\Main.js"));
  const std::string longPath = "C:\\" + std::string(400, 'a') + ".js";
  SetLastLoaderScriptPath(longPath.c_str());
  EXPECT_TRUE(TakeLastLoaderScriptIfMatches(longPath.c_str()));
  SetLastLoaderScriptPath("");
  EXPECT_FALSE(TakeLastLoaderScriptIfMatches(""));
}

}  // namespace
