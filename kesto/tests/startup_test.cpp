// The product's start: which loader it chooses, what stops it, and how it
// ends, seen from outside as exit codes and log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/package.h"
#include "product_process.h"

namespace {

using product_test::ProductFolder;

struct StartCase {
  const char* name;
  const char* arguments;
  long exitCode;
  std::vector<std::string> logLines;  // each must appear in the log
  std::vector<std::string> absentLines;
};

// Every case has these loaders beside the executable: Loader.html ends with
// 7, other.html with 8, script.zeq (no definitions) with 9; nodef.html has
// no definitions file.
void WriteLoaders(const ProductFolder& product) {
  product.WriteLoader("Loader.html", "window.external.KESTOExit(7);");
  product.WriteLoader("other.html", "window.external.KESTOExit(8);");
  product.Write("script.zeq", "window.external.KESTOExit(9);\n");
  product.WriteLoader("nodef.html", "window.external.KESTOExit(10);", false);
}

const StartCase kStartCases[] = {
    {"LoaderBesideTheExecutableEndsWhenItsScriptAsks", "", 7,
     {"[STARTED]", "KESTOAdjustLoader: Adjusted to", "Loader.html\"", "KESTOExit: the page ends the process with exit code 7",
      "[CLOSED]"},
     {"KESTOError"}},
    {"FirstParameterNamesTheLoader", "other.html", 8, {"other.html\"", "exit code 8"}, {}},
    {"UnfilledPlaceholderIsSkippedForTheNextParameter", "%1 other.html", 8, {"other.html\""}, {}},
    {"NoloaderKeepsTheLoaderBesideTheExecutable", "opt(noloader) other.html", 7, {"Loader.html\""}, {"other.html\""}},
    {"ZeqLoaderStartsWithoutDefinitions", "script.zeq", 9, {"script.zeq\"", "exit code 9"}, {"KESTOError"}},
    {"LoaderWithoutDefinitionsStopsWith0019", "nodef.html", 0x19,
     {"KESTOError: Description: \"Arquivo de defini\xE7\xF5" "es do Loader (.DEF) n\xE3o encontrado!\", Code: 80000019",
      "C\xF3" "digo: KESTO.0019", "[CLOSED]"},
     {"exit code 10"}},
    {"MissingPackageArgumentFallsBackToTheLoaderBesideTheExecutable", "absent.pkg", 7, {"Loader.html\""}, {}},
    {"SetupIdentifierStartsThePipeButWatchesNoMainInstance", "ipcid(x.ZEQ{0001.0000.0011.0000}.setup)", 7,
     {"MonitorMainProcess: Setup \"x.ZEQ{0001.0000.0011.0000}.setup\" must not monitor its associated process id."},
     {"Finalizing current process"}},
};

class StartCases : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartCases, EndWithTheirExitCodeAndLogLines) {
  const StartCase& c = GetParam();
  ProductFolder product;
  WriteLoaders(product);
  EXPECT_EQ(c.exitCode, product.Run(c.arguments));
  const std::string log = product.Log();
  for (const std::string& line : c.logLines) EXPECT_NE(std::string::npos, log.find(line)) << line << "\n" << log;
  for (const std::string& line : c.absentLines) EXPECT_EQ(std::string::npos, log.find(line)) << line << "\n" << log;
}

INSTANTIATE_TEST_SUITE_P(Product, StartCases, ::testing::ValuesIn(kStartCases),
                         [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST(StartPackage, APackageArgumentIsMountedAndItsLoaderRuns) {
  ProductFolder product;
  WriteLoaders(product);
  const std::string path = product.path() + "\\app.pkg";
  ZEQPackageDATA* package = ZEQPackageCreate(0, path.c_str(), ZEQPKG_TYPE_MULTIPLE, nullptr);
  ASSERT_NE(nullptr, package);
  const std::string page =
      "<html><head><title>p</title></head><body><script>window.external.KESTOExit(11);</script></body></html>";
  const std::string definitions = "application\n\tname:Embalado\n";
  ASSERT_TRUE(ZEQPackageAddData(package, "\\Loader.html", "1", page.data(), static_cast<uint32_t>(page.size())));
  ASSERT_TRUE(ZEQPackageAddData(package, "\\Loader.def", "1", definitions.data(),
                                static_cast<uint32_t>(definitions.size())));
  ASSERT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(package);
  // The loader becomes the package's own Loader.html, not the loose one
  // beside the executable.
  EXPECT_EQ(11, product.Run("\"" + path + "\""));
  const std::string log = product.Log();
  EXPECT_NE(std::string::npos, log.find("exit code 11")) << log;
  EXPECT_EQ(std::string::npos, log.find("exit code 7")) << log;
}

TEST(StartPackage, WithNoArgumentTheSignedDefaultApplicationsLoaderRuns) {
  ProductFolder product(/*keepSignature=*/true);
  ASSERT_TRUE(product.Start(""));
  // The default application does not end by itself: its loader's
  // DocumentComplete, read from the mounted package, is what is waited for.
  EXPECT_TRUE(product_test::WaitUntil(
      [&] { return product.Log().find("OpenLoaderContainer: DocumentComplete") != std::string::npos; }))
      << product.Log();
  const std::string log = product.Log();
  EXPECT_NE(std::string::npos, log.find("KESTOCheckSignature: Signed")) << log;
  EXPECT_NE(std::string::npos, log.find("ZEQCVFS\\PID.")) << log;
  EXPECT_EQ(std::string::npos, log.find("KESTOError")) << log;
  EXPECT_TRUE(product.Running());
}

struct MainWindowSearch {
  DWORD processId;
  HWND found;
};

// Stops at a visible "KESTO Window" titled "ZEQ" of the searched process.
BOOL CALLBACK FindMainWindow(HWND window, LPARAM data) {
  auto search = reinterpret_cast<MainWindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  char title[64] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (owner == search->processId && IsWindowVisible(window) && lstrcmpA(className, "KESTO Window") == 0 &&
      lstrcmpA(title, "ZEQ") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The default application's loader opens the main window: a visible
// program window of the product's process titled with the application's
// name.
TEST(StartPackage, TheDefaultApplicationsLoaderOpensItsMainWindow) {
  ProductFolder product(/*keepSignature=*/true);
  ASSERT_TRUE(product.Start(""));
  MainWindowSearch search = {product.processId(), nullptr};
  const bool shown = product_test::WaitUntil([&] {
    search.found = nullptr;
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  EXPECT_TRUE(shown) << product.Log();
  if (shown) {
    // Centred on its monitor's work area.
    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(search.found, &rect));
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(search.found, MONITOR_DEFAULTTONEAREST), &info));
    EXPECT_GE(rect.left, info.rcWork.left);
    EXPECT_LE(rect.right, info.rcWork.right);
    EXPECT_GE(rect.top, info.rcWork.top);
    EXPECT_LE(rect.bottom, info.rcWork.bottom);
  }
  EXPECT_EQ(std::string::npos, product.Log().find("KESTOError")) << product.Log();
  EXPECT_TRUE(product.Running());
}

}  // namespace
