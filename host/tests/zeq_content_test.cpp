// What a "zeq:" download delivers: mounted files, loose files under the
// content policy, in-memory loader texts, package-encoded files, the loader
// style sheet, the loader block and the system font values, the MIME type,
// and the "ZEQOnImportFileError" event of a download that fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/builtin_key.h"
#include "foundation/heap.h"
#include "host/containers.h"
#include "host/core_script.h"
#include "host/loader_page.h"
#include "host/script_calls.h"
#include "host/zeq_protocol.h"
#include "package/content_source.h"
#include "package/definitions_defaults.h"
#include "package/macros.h"
#include "package/package.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "file_test_support.h"
#include "loopback_http.h"
#include "script_host.h"
#include "test_classes.h"
#include "zeq_test_support.h"

using zeq_test::Address;
using zeq_test::AddressW;
using zeq_test::FetchUrl;
using zeq_test::Mount;
using zeq_test::RecordingSink;

namespace {

constexpr char kBlockOpen[] = "\r\n/**<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>";
constexpr char kBlockClose[] = "</3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>**/\r\n";

// The content KESTOPreParseData gives, or "<failed>".
std::string PreParse(const std::string& url, IInternetProtocolSink* sink = nullptr) {
  uint32_t size = 0;
  uint8_t* content = nullptr;
  if (!KESTOPreParseData(&size, &content, sink, url.c_str())) return "<failed>";
  std::string text(reinterpret_cast<char*>(content), size);
  EXPECT_EQ(content[size], 0) << "the content is zero-terminated";
  HeapFreeZ(content);
  return text;
}

// A package-encoded file of the text: a single-content package written by
// the package object with the given flags and the built-in key.
std::string EncodeAsPackage(const std::string& text, uint32_t flags) {
  filetest::ScratchFolder folder;
  const std::string path = folder / "encoded.zpk";
  ZEQPackageDATA* package = ZEQPackageCreate(flags, path.c_str(), ZEQPKG_TYPE_SINGLE, "");
  EXPECT_NE(package, nullptr);
  if (!package) return "";
  EXPECT_TRUE(ZEQPackageWriteFile(package, static_cast<uint32_t>(text.size()), text.data()));
  EXPECT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0x1));
  ZEQPackageRelease(package);
  void* data = nullptr;
  DWORD size = 0;
  std::string bytes;
  if (ReadWholeFileExt(path.c_str(), &data, &size)) bytes.assign(static_cast<char*>(data), size);
  HeapFreeZ(data);
  return bytes;
}

class TempFile {
 public:
  TempFile(const std::string& name, const std::string& bytes) : path_(folder_.Write(name, bytes)) {}
  std::string Url() const { return "zeq:" + path_; }
  std::wstring UrlW() const {
    const std::string url = Url();
    return std::wstring(url.begin(), url.end());
  }

 private:
  filetest::ScratchFolder folder_;  // made first: the path is written into it
  std::string path_;
};

class ZeqContent : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(ZEQRegisterProtocol(), S_OK); }
  static void TearDownTestSuite() { ZEQUnregisterProtocol(); }
  void SetUp() override { SetPackageRoot(zeq_test::kRoot); }
  void TearDown() override {
    SetPackageRoot(nullptr);
    WipeApplicationKey();
  }
};

// ---------------------------------------------------------------------------
// Through the platform's URL monikers.

TEST_F(ZeqContent, MountedFilesArriveWhole) {
  const std::string page = "<html><head><title>t</title></head><body>mounted</body></html>";
  Mount("content\\page.htm", page);
  zeq_test::Fetched fetched = FetchUrl(AddressW("content\\page.htm"));
  ASSERT_TRUE(fetched.stopped);
  EXPECT_EQ(fetched.bindResult, S_OK);
  EXPECT_EQ(fetched.bytes, page);
  ASSERT_FALSE(fetched.mimeTypes.empty());
  EXPECT_EQ(fetched.mimeTypes.front().rfind(L"text/html", 0), 0u) << fetched.mimeTypes.front();

  // Byte-order marks pass as they are.
  const std::string utf8 = "\xEF\xBB\xBFvar s = '\xC3\xA7';";
  Mount("content\\bom8.js", utf8);
  EXPECT_EQ(FetchUrl(AddressW("content\\bom8.js")).bytes, utf8);
  const std::string utf16("\xFF\xFEv\0a\0r\0", 8);
  Mount("content\\bom16.js", utf16);
  EXPECT_EQ(FetchUrl(AddressW("content\\bom16.js")).bytes, utf16);
}

TEST_F(ZeqContent, MountedScriptsArriveWithMacrosAndTheRuntimeBlock) {
  ASSERT_EQ(1, RegisterMacro("!zeqcontenttestmacro", "expanded"));
  Mount("content\\macro.js", "var v = '%zeqcontenttestmacro%'; var s = %zeqsystemfontsize%;");
  zeq_test::Fetched fetched = FetchUrl(AddressW("content\\macro.js"));
  ASSERT_TRUE(fetched.stopped);
  EXPECT_EQ(fetched.bindResult, S_OK);
  const std::string size = std::to_string(atoi(CurrentSystemFontDefaults().height));
  EXPECT_EQ(fetched.bytes, "var v = 'expanded'; var s = " + size + ";" + kBlockOpen + "01" + kBlockClose);
  ASSERT_FALSE(fetched.mimeTypes.empty());
  EXPECT_EQ(fetched.mimeTypes.front(), L"text/javascript;charset=utf-8");
}

TEST_F(ZeqContent, AMissingFileEndsTheBindingWithoutData) {
  zeq_test::Fetched fetched = FetchUrl(AddressW("content\\no-such-file.htm"));
  ASSERT_TRUE(fetched.stopped);
  EXPECT_NE(fetched.bindResult, E_PENDING);
  EXPECT_TRUE(fetched.bytes.empty());
  EXPECT_TRUE(fetched.mimeTypes.empty());
}

TEST_F(ZeqContent, InMemoryLoaderTextsAreServedOnlyForIssuedNumbers) {
  char path[MAX_PATH] = {};
  ASSERT_TRUE(MakeLoaderMediaPath("<html><body>in memory 4711</body></html>", path, "html"));
  const std::string url = path;
  zeq_test::Fetched fetched = FetchUrl(std::wstring(url.begin(), url.end()));
  EXPECT_EQ(fetched.bindResult, S_OK);
  EXPECT_NE(fetched.bytes.find("in memory 4711"), std::string::npos) << fetched.bytes;

  // A number that names no issued text is refused, and so is one made from
  // the address of a text the program never issued.
  const size_t at = url.rfind('\\') + 1;
  const unsigned long number = strtoul(url.c_str() + at, nullptr, 10);
  const std::string forged = url.substr(0, at) + std::to_string(number + 1) + ".html";
  EXPECT_EQ(PreParse(forged), "<failed>");
  static const char kSecret[] = "never issued";
  const uintptr_t fromAddress = reinterpret_cast<uintptr_t>(kSecret) + GetCurrentProcessId();
  EXPECT_EQ(PreParse(url.substr(0, at) + std::to_string(static_cast<uint32_t>(fromAddress)) + ".html"), "<failed>");
  EXPECT_EQ(PreParse(url.substr(0, at) + "x.html"), "<failed>");
}

TEST_F(ZeqContent, ServingALoaderPageMakesTheCoreScriptReady) {
  KESTOFreeCoreScript();
  char path[MAX_PATH] = {};
  ASSERT_TRUE(MakeLoaderMediaPath("<html><body>loader</body></html>", path, "html"));
  // Other pages leave it alone.
  PreParse(Address("page.html"));
  size_t length = 0;
  EXPECT_EQ(nullptr, KESTOCopyCoreScript(&length));
  EXPECT_NE(PreParse(path).find("loader"), std::string::npos);
  char* script = KESTOCopyCoreScript(&length);
  ASSERT_NE(nullptr, script);
  EXPECT_NE(std::string(script, length).find("var fromResource"), std::string::npos);
  HeapFreeZ(script);
  KESTOFreeCoreScript();
}

TEST_F(ZeqContent, InMemoryLoaderTextsGetTheirMacrosAndTheSystemFont) {
  char path[MAX_PATH] = {};
  ASSERT_TRUE(MakeLoaderMediaPath("<html><body>face %zeqsystemfontname% size %zeqsystemfontsize%</body></html>",
                                  path, "html"));
  const std::string served = PreParse(path);
  const SystemFontDefaults font = CurrentSystemFontDefaults();
  const std::string expected =
      std::string("face ") + font.face + " size " + std::to_string(atoi(font.height)) + "</body></html>";
  EXPECT_NE(served.find(expected), std::string::npos) << served;
  // The run-time block that led to the values stays at the end.
  EXPECT_NE(served.find("<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>11</3B1E0A7D"), std::string::npos) << served;
}

TEST_F(ZeqContent, MimeTypesGetTheCharsetOnlyWhenTheyNameNone) {
  // A content type of the system's own that names a charset.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".zqcharset", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  const char type[] = "text/plain; charset=windows-1252";
  RegSetValueExA(key, "Content Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(type), sizeof type);
  RegCloseKey(key);
  Mount("content\\a.zqcharset", "plain");
  Mount("content\\b.css", "body {}");

  struct Case {
    const char* name;
    const wchar_t* type;
  } cases[] = {{"content\\a.zqcharset", L"text/plain; charset=windows-1252"},
               {"content\\b.css", L"text/css;charset=utf-8"}};
  for (const Case& c : cases) {
    CZEQAPP* object = CZEQAPP::New();
    RecordingSink sink;
    ASSERT_EQ(object->Start(AddressW(c.name).c_str(), &sink, nullptr, 0, 0), S_OK);
    ASSERT_EQ(sink.progress.size(), 5u) << c.name;
    EXPECT_EQ(sink.progress[4], ULONG(BINDSTATUS_MIMETYPEAVAILABLE));
    EXPECT_EQ(sink.texts[4], c.type);
    object->Terminate(0);
    object->Release();
  }
  zeq_test::Fetched fetched = FetchUrl(AddressW("content\\b.css"));
  ASSERT_FALSE(fetched.mimeTypes.empty());
  EXPECT_EQ(fetched.mimeTypes.front().rfind(L"text/css", 0), 0u) << fetched.mimeTypes.front();
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ".zqcharset");
}

// ---------------------------------------------------------------------------
// Package-encoded files.

TEST_F(ZeqContent, PackageEncodedFilesArriveDecoded) {
  const std::string script = "var decoded = 'compressed and enciphered';";
  const std::string encoded = EncodeAsPackage(script, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT);
  ASSERT_GT(encoded.size(), 176u);
  ASSERT_EQ(encoded.compare(0, 10, "ZEQPACKAGE"), 0);
  Mount("content\\encoded.js", encoded);
  zeq_test::Fetched fetched = FetchUrl(AddressW("content\\encoded.js"));
  EXPECT_EQ(fetched.bindResult, S_OK);
  EXPECT_EQ(fetched.bytes, script);

  const std::string plain = EncodeAsPackage("plain body", 0);
  Mount("content\\plain.txt", plain);
  EXPECT_EQ(PreParse(Address("content\\plain.txt")), "plain body");
}

TEST_F(ZeqContent, CorruptPackageEncodedFilesAreLoggedAndRefused) {
  host_test::LogCapture log;
  std::string encoded = EncodeAsPackage("var x = 1;", ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT);
  ASSERT_GT(encoded.size(), 176u);

  // The enciphered Custom field no longer deciphers to text.
  std::string badHeader = encoded;
  for (size_t i = 75; i < 139; ++i) badHeader[i] = static_cast<char>(0xA5 ^ i);
  Mount("content\\badheader.js", badHeader);
  EXPECT_EQ(PreParse(Address("content\\badheader.js")), "<failed>");
  EXPECT_TRUE(log.Has("KESTOPreParseData - ZEQPackageCheckHeader has FAILED - File: \"" +
                      Address("content\\badheader.js") + "\""));

  // Too short to hold a header.
  Mount("content\\short.js", "ZEQPACKAGE and nothing more");
  EXPECT_EQ(PreParse(Address("content\\short.js")), "<failed>");
  EXPECT_TRUE(log.Has("ZEQPackageCheckHeader has FAILED - File: \"" + Address("content\\short.js") + "\""));

  // A good header over a body that does not decode, and over no body.
  std::string badBody = encoded.substr(0, 176) + std::string(40, '\x5A');
  Mount("content\\badbody.js", badBody);
  EXPECT_EQ(PreParse(Address("content\\badbody.js")), "<failed>");
  EXPECT_TRUE(log.Has("KESTOPreParseData - Contents is empty - File: \"" + Address("content\\badbody.js") + "\""));
  Mount("content\\nobody.js", EncodeAsPackage("", 0));
  EXPECT_EQ(PreParse(Address("content\\nobody.js")), "<failed>");
  EXPECT_TRUE(log.Has("Contents is empty - File: \"" + Address("content\\nobody.js") + "\""));

  // Through the moniker the download fails as a missing file does.
  zeq_test::Fetched fetched = FetchUrl(AddressW("content\\badheader.js"));
  ASSERT_TRUE(fetched.stopped);
  EXPECT_TRUE(fetched.bytes.empty());
}

// ---------------------------------------------------------------------------
// Loose files.

TEST_F(ZeqContent, LooseScriptsFollowTheContentPolicy) {
  TempFile loose("loose.js", "var loose = 1;");
  TempFile picture("loose.png", "PNGDATA");
  EXPECT_EQ(PreParse(loose.Url()), "var loose = 1;");

  SetApplicationKey("application key of the test");
  // A plain script is refused; a picture is no script.
  EXPECT_EQ(PreParse(loose.Url()), "<failed>");
  EXPECT_EQ(PreParse(picture.Url()), "PNGDATA");
  // Mounted files are the package's own.
  Mount("content\\mounted.js", "var mounted = 1;");
  EXPECT_EQ(PreParse(Address("content\\mounted.js")), "var mounted = 1;");
  // An enciphered package file is trusted (and decoded with the key).
  TempFile enciphered("enciphered.js", EncodeAsPackage("var sealed = 1;", ZEQPKG_ENCRYPT));
  EXPECT_EQ(PreParse(enciphered.Url()), "var sealed = 1;");
  // A name the host allows is served.
  ASSERT_TRUE(AllowContentName(loose.Url().c_str()));
  EXPECT_EQ(PreParse(loose.Url()), "var loose = 1;");
}

TEST_F(ZeqContent, RemoteAddressesAreReadOverHttpAndFollowThePolicy) {
  httptest::LoopbackServer server;
  if (!server.Start()) GTEST_SKIP() << "loopback server: " << server.problem();
  // A name of this run, so that the URL cache holds no copy from before.
  const std::string name = "remote-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + ".js";
  filetest::WriteTextFile(server.folder() / name, "var r = %zeqsystemfontsize%;");
  const std::string url = "zeq:" + server.Url(name);
  // Text from the network is served as it came: its macros are not the
  // application's to fill.
  EXPECT_EQ(PreParse(url), "var r = %zeqsystemfontsize%;");
  // Nor are its imports: a remote script cannot pull the application's own
  // files into itself.
  Mount("content\\secret.js", "var secret = 1;");
  const std::string importer = "import-" + name;
  const std::string directive = "@import " + (std::string(zeq_test::kRoot) + "\\content\\secret.js") + ", inline\r\n";
  filetest::WriteTextFile(server.folder() / importer, directive);
  EXPECT_EQ(PreParse("zeq:" + server.Url(importer)), directive);
  // With an application key a remote script is a loose file like any other.
  SetApplicationKey("remote test key");
  EXPECT_EQ(PreParse(url), "<failed>");
}

// ---------------------------------------------------------------------------
// What the host puts into the text.

TEST_F(ZeqContent, FontVariablesFollowTheRuntimeBlock) {
  const SystemFontDefaults font = CurrentSystemFontDefaults();
  const std::string face = font.face;
  const std::string size = std::to_string(atoi(font.height));
  // The pre-processing marks which of the two values a script uses; the
  // values are then put in for those only.
  struct Case {
    const char* body;
    std::string expected;
  } cases[] = {
      {"a=%zeqsystemfontname%;", "a=" + face + ";" + kBlockOpen + "10" + kBlockClose},
      {"b=%zeqsystemfontsize%;", "b=" + size + ";" + kBlockOpen + "01" + kBlockClose},
      {"c=%zeqsystemfontname%%zeqsystemfontsize%;", "c=" + face + size + ";" + kBlockOpen + "11" + kBlockClose},
      {"d=1;", "d=1;"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "content\\font" + std::to_string(++n) + ".js";
    Mount(name, c.body);
    EXPECT_EQ(PreParse(Address(name)), c.expected) << c.body;
  }
  // Only script and markup files are examined.
  const std::string marked = std::string("a=%zeqsystemfontname%;") + kBlockOpen + "11" + kBlockClose;
  Mount("content\\font.txt", marked);
  EXPECT_EQ(PreParse(Address("content\\font.txt")), marked);
  // A text of exactly the closing part is examined without harm, and the
  // digits are found by stepping back from the closing tag.
  const std::string tail = std::string(kBlockClose).substr(0, 46) + "**/\r\n";
  ASSERT_EQ(tail.size(), 51u);
  Mount("content\\tail.js", tail);
  EXPECT_EQ(PreParse(Address("content\\tail.js")), tail);
  Mount("content\\tail2.js", "%zeqsystemfontsize%>11" + tail);
  EXPECT_EQ(PreParse(Address("content\\tail2.js")), size + ">11" + tail + kBlockOpen + "01" + kBlockClose);
}

TEST_F(ZeqContent, ServedScriptAndMarkupArePreprocessed) {
  // Imports resolve against the served file's own folder in the package,
  // statements and dictionary references are applied, pictures pass as
  // they are.
  Mount("pre\\lib\\util.js", "function util() { return 7; }");
  Mount("pre\\main.js", "@import lib\\util.js, inline\r\nif (x) @exit\r\n");
  EXPECT_EQ(PreParse(Address("pre\\main.js")),
            "function util() { return 7; }\r\nif (x) break ZEQLOADER; // @exit\r\n");
  Mount("pre\\page.htm", "<html><ZEQ:Initialize /><body>@noclose</body></html>");
  const std::string page = PreParse(Address("pre\\page.htm"));
  EXPECT_NE(page.find("id=\"ZEQInitialize\""), std::string::npos) << page;
  EXPECT_NE(page.find("document.body.onload = null; // @noclose"), std::string::npos) << page;
  const std::string picture("\x89PNG@exit%[[x]]%", 17);
  Mount("pre\\picture.png", picture);
  EXPECT_EQ(PreParse(Address("pre\\picture.png")), picture);
}

TEST_F(ZeqContent, TheRecordedLoaderScriptIsWrappedOnce) {
  Mount("content\\loader.js", "var loaded = 1;");
  const std::string url = Address("content\\loader.js");
  SetLastLoaderScriptPath(url.c_str());
  EXPECT_EQ(PreParse(url), "ZEQLOADER: {\r\nvar loaded = 1;\r\n}");
  EXPECT_EQ(PreParse(url), "var loaded = 1;");
  // Outside the package root nothing is wrapped (nor is the record used).
  TempFile loose("looseloader.js", "var l = 2;");
  SetLastLoaderScriptPath(loose.Url().c_str());
  EXPECT_EQ(PreParse(loose.Url()), "var l = 2;");
  EXPECT_TRUE(TakeLastLoaderScriptIfMatches(loose.Url().c_str()));
}

class ZeqLoaderStyleSheet : public ZeqContent {
 protected:
  void SetUp() override {
    ZeqContent::SetUp();
    window_ = CreateWindowExA(0, "STATIC", "container", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr);
    child_ = CreateWindowExA(0, "STATIC", "child", WS_CHILD, 0, 0, 5, 5, window_, nullptr, nullptr, nullptr);
    ZEQWindowContainer container = {};
    ZEQSetWindowContainer(window_, container);
    Mount("css\\loader.css", ".zeq { color: red; }");
    ASSERT_TRUE(ZEQSetWindowContainerLoaderCSS(window_, (std::string(zeq_test::kRoot) + "\\css\\loader.css").c_str()));
    ZEQSetWindowContainerState(window_, 0x80);
  }
  void TearDown() override {
    ZEQRemoveWindowContainer(window_);
    DestroyWindow(window_);
    ZeqContent::TearDown();
  }
  HWND window_ = nullptr;
  HWND child_ = nullptr;
};

TEST_F(ZeqLoaderStyleSheet, GoesIntoTheFirstPageOfANavigationOnly) {
  Mount("css\\page.htm", "<html><head title=\"a>b\"><title>x</title></head><body></body></html>");
  Mount("css\\frame.html", "<html><head></head></html>");
  Mount("css\\style.css", "p {}");
  RecordingSink sink(child_);  // the binding's window lies inside the container
  // A style sheet is never given the block, nor does it use up the bit.
  EXPECT_EQ(PreParse(Address("css\\style.css"), &sink), "p {}");
  const std::string page = PreParse(Address("css\\page.htm"), &sink);
  const std::string expectedStart = "<html><head title=\"a>b\">\r\n<STYLE id=\"ZEQLoaderCSS\">\r\n";
  ASSERT_EQ(page.compare(0, expectedStart.size(), expectedStart), 0) << page;
  EXPECT_NE(page.find(".zeq { color: red; }"), std::string::npos) << page;
  const std::string expectedEnd = "\r\n</STYLE>\r\n<title>x</title></head><body></body></html>";
  EXPECT_EQ(page.substr(page.size() - expectedEnd.size()), expectedEnd);
  // A frame loaded later in the same document gets none.
  EXPECT_EQ(PreParse(Address("css\\frame.html"), &sink), "<html><head></head></html>");
  // The next top-level navigation starts again.
  ZEQSetWindowContainerState(window_, 0x80);
  EXPECT_NE(PreParse(Address("css\\frame.html"), &sink).find("ZEQLoaderCSS"), std::string::npos);
  // Without a container window nothing is inserted.
  ZEQSetWindowContainerState(window_, 0x80);
  RecordingSink nowhere;
  EXPECT_EQ(PreParse(Address("css\\frame.html"), &nowhere), "<html><head></head></html>");
}

TEST_F(ZeqLoaderStyleSheet, TheBindingsWindowLeadsToTheContainer) {
  // Through the URL machinery the window comes from the binding's own
  // services, as the browser control gives it.
  Mount("css\\bound.htm", "<html><head></head><body></body></html>");
  zeq_test::Fetched fetched = FetchUrl(AddressW("css\\bound.htm"), child_);
  EXPECT_EQ(fetched.bindResult, S_OK);
  EXPECT_NE(fetched.bytes.find("<head>\r\n<STYLE id=\"ZEQLoaderCSS\">"), std::string::npos) << fetched.bytes;
}

TEST_F(ZeqLoaderStyleSheet, APageWithoutAHeadUsesUpTheNavigation) {
  Mount("css\\nohead.htm", "<html><body>no head</body></html>");
  Mount("css\\later.htm", "<html><head></head></html>");
  RecordingSink sink(window_);
  EXPECT_EQ(PreParse(Address("css\\nohead.htm"), &sink), "<html><body>no head</body></html>");
  EXPECT_EQ(PreParse(Address("css\\later.htm"), &sink), "<html><head></head></html>");
}

// ---------------------------------------------------------------------------
// A failed download raises "ZEQOnImportFileError" in the container's page.

class ZeqImportError : public ZeqContent {
 protected:
  void SetUp() override {
    ZeqContent::SetUp();
    ZEQInstallScriptCalls();
  }
  // Starts a download of url for the page's window and lets it fail.
  static void FailDownload(const std::string& url, RecordingSink* sink) {
    CZEQAPP* object = CZEQAPP::New();
    const std::wstring wide(url.begin(), url.end());
    ASSERT_EQ(object->Start(wide.c_str(), sink, nullptr, 0, 0), S_OK);
    ASSERT_EQ(sink->switches.size(), 1u);
    PROTOCOLDATA data = {};
    data.grfFlags = sink->switches[0];
    EXPECT_EQ(object->Continue(&data), S_OK);
    object->Terminate(0);
    object->Release();
  }
};

TEST_F(ZeqImportError, TheContainerPageHearsOfMissingAndRefusedFiles) {
  host_test::ScriptHost host(0x100000);
  ASSERT_TRUE(host.Ready());
  ZEQSetWindowContainerReady(host.Owner(), true, true, host.Browser().browser);
  ASSERT_TRUE(host.Run(L"var heard = [];"
                       L"function ZEQOnImportFileError(a) { var v = new VBArray(a).toArray();"
                       L"  heard.push(v[0] + '|' + v[1].toString(16)); }"));
  RecordingSink sink(host.Owner());
  const std::string missing = Address("content\\gone.js");
  FailDownload(missing, &sink);
  EXPECT_EQ(sink.results, (std::vector<HRESULT>{S_FALSE}));
  EXPECT_EQ(host.Eval(L"heard.join(',')"), std::wstring(missing.begin(), missing.end()) + L"|80000010");

  // A file that exists but may not be served.
  TempFile loose("refused.js", "var refused = 1;");
  SetApplicationKey("application key of the test");
  RecordingSink second(host.Owner());
  FailDownload(loose.Url(), &second);
  EXPECT_EQ(second.results, (std::vector<HRESULT>{S_FALSE}));
  EXPECT_EQ(host.Eval(L"heard[1]"), loose.UrlW() + L"|80000013");
}

TEST_F(ZeqImportError, OnlyContainersThatAllowTheHostObjectHearOfIt) {
  host_test::ScriptHost host(0);
  ASSERT_TRUE(host.Ready());
  ZEQSetWindowContainerReady(host.Owner(), true, true, host.Browser().browser);
  ASSERT_TRUE(host.Run(L"var heard = 0; function ZEQOnImportFileError(a) { heard++; }"));
  RecordingSink sink(host.Owner());
  FailDownload(Address("content\\gone.js"), &sink);
  EXPECT_EQ(sink.results, (std::vector<HRESULT>{S_FALSE}));
  EXPECT_EQ(host.Eval(L"heard"), L"0");
}

}  // namespace
