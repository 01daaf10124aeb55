// End to end: an application package written by the package object is
// reopened and its files mounted into the virtual file system, and a browser
// navigates to a "zeq:" page of it. The page's inline script and a script
// it names by a relative address (resolved by the protocol's CombineUrl and
// served through "zeq:" again) call the container's external object.
#include <gtest/gtest.h>

#include <exdispid.h>

#include <string>
#include <vector>

#include "foundation/heap.h"
#include "host/loader_page.h"
#include "host/zeq_protocol.h"
#include "package/application_package.h"
#include "package/package.h"
#include "package/package_format.h"
#include "package/package_root.h"
#include "package/vfs.h"
#include "test_support.h"
#include "zeq_test_support.h"

namespace {

struct PackageFile {
  const char* path;
  std::string text;
};

std::string TempPackagePath() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + "zeq_page_" + std::to_string(GetCurrentProcessId()) + ".zpk";
}

bool WritePackage(const std::string& path, const std::vector<PackageFile>& files) {
  ZEQPackageDATA* package = ZEQPackageCreate(ZEQPKG_TAGGED | ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT, path.c_str(),
                                             ZEQPKG_TYPE_MULTIPLE, "page test");
  if (!package) return false;
  bool ok = true;
  for (const PackageFile& file : files) {
    ok = ok && ZEQPackageAddData(package, file.path, "1", file.text.data(), static_cast<uint32_t>(file.text.size()));
  }
  ok = ok && ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0);
  ZEQPackageRelease(package);
  return ok;
}

// Opens the package and mounts it as the application's package under the
// folder, as start-up does; the number of files it holds, or -1 when it
// cannot be read or mounted.
int MountPackage(const std::string& path, const std::string& folder) {
  ZEQPackageDATA* package = ZEQPackageOpen(path.c_str(), "page test", nullptr, 0);
  if (!package) return -1;
  const int files = static_cast<int>(package->header.FilesCount);
  const std::string root = VirtualRootBuffer();
  lstrcpynA(VirtualRootBuffer(), folder.c_str(), MAX_PATH);
  const bool mounted = MountApplicationPackage(package, "", 0);
  lstrcpynA(VirtualRootBuffer(), root.c_str(), MAX_PATH);
  // The mounts stay; the package object is not needed by the pages.
  ReleaseApplicationPackage();
  return mounted ? files : -1;
}

class ZeqPage : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPackageRoot(zeq_test::kRoot);
    ASSERT_EQ(ZEQRegisterProtocol(), S_OK);
  }
  void TearDown() override {
    ZEQUnregisterProtocol();
    SetPackageRoot(nullptr);
    DeleteFileA(TempPackagePath().c_str());
  }
};

TEST_F(ZeqPage, APackagedPageAndItsScriptsReachTheExternalObject) {
  const std::string path = TempPackagePath();
  ASSERT_TRUE(WritePackage(
      path, {{"\\page\\main.htm",
              "<html><head><title>Packaged</title><script src=\"lib/code.js\"></script></head><body>"
              "<script>window.external.Record('inline', fromFile); var done = 'yes';</script></body></html>"},
             {"\\page\\lib\\code.js", "var fromFile = 'external file'; window.external.Record('from code.js');"}}));
  ASSERT_EQ(MountPackage(path, zeq_test::kRoot), 2);

  dochost_test::Harness harness;
  ASSERT_NE(harness.browser, nullptr);
  ASSERT_TRUE(harness.Load(zeq_test::AddressW("page\\main.htm")));
  ASSERT_TRUE(harness.sink.Has(DISPID_DOCUMENTCOMPLETE));
  EXPECT_EQ(harness.Global(L"done"), L"yes");
  EXPECT_EQ(harness.site.external.recorded,
            (std::vector<std::wstring>{L"from code.js", L"inline", L"external file"}));
}

TEST_F(ZeqPage, AMissingScriptLeavesThePageRunning) {
  zeq_test::Mount("page\\broken.htm",
                  "<html><head><script src=\"lib/absent.js\"></script></head><body>"
                  "<script>window.external.Record(typeof missingValue);</script></body></html>");
  dochost_test::Harness harness;
  ASSERT_TRUE(harness.Load(zeq_test::AddressW("page\\broken.htm")));
  EXPECT_EQ(harness.site.external.recorded, (std::vector<std::wstring>{L"undefined"}));
}

TEST_F(ZeqPage, AScriptLoaderRunsInItsGeneratedPage) {
  // The loader script is wrapped into a page held in memory; served through
  // "zeq:", its import is put in and "@exit" leaves the loader block.
  zeq_test::Mount("lib\\util.js", "function util() { return 'util'; }");
  zeq_test::Mount("loader.js",
                  "window.external.Record('loader');\r\n"
                  "@import " + zeq_test::Address("lib\\util.js") + ", inline untagged\r\n"
                  "window.external.Record(util());\r\n"
                  "@exit\r\n"
                  "window.external.Record('after exit');\r\n");
  char* address = ZEQPrepareLoaderDocument(zeq_test::Address("loader.js").c_str(), 0, nullptr);
  ASSERT_NE(address, nullptr);
  const std::string page = address;
  HeapFreeZ(address);
  ASSERT_NE(page.find("\\load\\mm\\"), std::string::npos) << page;

  dochost_test::Harness harness;
  ASSERT_TRUE(harness.Load(std::wstring(page.begin(), page.end())));
  EXPECT_EQ(harness.site.external.recorded, (std::vector<std::wstring>{L"loader", L"util"}));
}

}  // namespace
