// The "zeq:" protocol object as the URL machinery sees it: its interfaces
// and class object, the start and read of a download, the security URLs of
// addresses and the resolution of relative references.
#include <gtest/gtest.h>

#include <string>

#include "host/zeq_protocol.h"
#include "package/package_root.h"
#include "zeq_test_support.h"

using zeq_test::RecordingSink;

namespace {

template <typename T>
T* As(IUnknown* object, REFIID iid) {
  void* out = nullptr;
  return SUCCEEDED(object->QueryInterface(iid, &out)) ? static_cast<T*>(out) : nullptr;
}

TEST(ZeqProtocolObject, AnswersItsThreeTablesAndRefusesTheRest) {
  CZEQAPP* object = CZEQAPP::New();
  IInternetProtocol* primary = static_cast<IInternetProtocol*>(object);
  IUnknown* unknown = As<IUnknown>(primary, IID_IUnknown);
  IInternetProtocolRoot* root = As<IInternetProtocolRoot>(primary, IID_IInternetProtocolRoot);
  IInternetProtocol* protocol = As<IInternetProtocol>(primary, IID_IInternetProtocol);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(primary));
  EXPECT_EQ(static_cast<void*>(root), static_cast<void*>(primary));
  EXPECT_EQ(static_cast<void*>(protocol), static_cast<void*>(primary));
  IInternetProtocolInfo* info = As<IInternetProtocolInfo>(primary, IID_IInternetProtocolInfo);
  IInternetProtocolSink* sink = As<IInternetProtocolSink>(primary, IID_IInternetProtocolSink);
  ASSERT_NE(info, nullptr);
  ASSERT_NE(sink, nullptr);
  // Every table leads back to the same object.
  EXPECT_EQ(As<IUnknown>(info, IID_IUnknown), unknown);
  EXPECT_EQ(As<IUnknown>(sink, IID_IUnknown), unknown);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(primary->QueryInterface(IID_IWinInetInfo, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(primary->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(primary->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  // Seven references were taken above (four of them through the other
  // tables); giving them back leaves the construction reference.
  for (int i = 0; i < 7; ++i) primary->Release();
  EXPECT_EQ(primary->Release(), 0u);
}

TEST(ZeqProtocolObject, FixedAnswersOfTheOtherSlots) {
  CZEQAPP* object = CZEQAPP::New();
  EXPECT_EQ(object->Suspend(), E_NOTIMPL);
  EXPECT_EQ(object->Resume(), E_NOTIMPL);
  LARGE_INTEGER move = {};
  EXPECT_EQ(object->Seek(move, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(object->Abort(E_ABORT, 0), S_OK);
  EXPECT_EQ(object->LockRequest(0), S_OK);
  EXPECT_EQ(object->UnlockRequest(), S_OK);
  EXPECT_EQ(object->CompareUrl(L"zeq:a", L"zeq:b", 0), INET_E_DEFAULT_ACTION);
  DWORD length = 0;
  EXPECT_EQ(object->QueryInfo(L"zeq:a", QUERY_IS_SECURE, 0, nullptr, 0, &length, 0), INET_E_DEFAULT_ACTION);
  DWORD size = 4;
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(object->QueryOption(0, buffer, &size), S_OK);
  EXPECT_EQ(buffer[0], 'x');
  // Without a sink nobody takes the sink table's calls.
  EXPECT_EQ(object->ReportResult(S_OK, 0, nullptr), E_UNEXPECTED);
  EXPECT_EQ(object->Terminate(0), S_OK);
  EXPECT_EQ(object->Release(), 0u);
}

TEST(ZeqProtocolFactory, CreatesObjectsAndRefusesAggregation) {
  CZEQAPPFactory* factory = CZEQAPPFactory::New();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IInternetProtocol, nullptr), E_POINTER);

  // Never called: only its presence counts.
  int outerObject = 0;
  IUnknown* outer = reinterpret_cast<IUnknown*>(&outerObject);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IInternetProtocol, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  // With IUnknown the outer object is ignored: a plain object.
  IUnknown* plain = nullptr;
  ASSERT_EQ(factory->CreateInstance(outer, IID_IUnknown,
                                    reinterpret_cast<void**>(&plain)),
            S_OK);
  IInternetProtocolInfo* info = As<IInternetProtocolInfo>(plain, IID_IInternetProtocolInfo);
  ASSERT_NE(info, nullptr);
  info->Release();
  EXPECT_EQ(plain->Release(), 0u);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IWinInetInfo, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  IInternetProtocolInfo* made = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInternetProtocolInfo, reinterpret_cast<void**>(&made)), S_OK);
  EXPECT_EQ(made->Release(), 0u);

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->QueryInterface(IID_IInternetProtocol, &out), E_NOINTERFACE);
  EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
  IClassFactory* asFactory = As<IClassFactory>(factory, IID_IClassFactory);
  ASSERT_NE(asFactory, nullptr);
  asFactory->Release();
  EXPECT_EQ(factory->Release(), 0u);
}

TEST(ZeqProtocolRegistration, RegistersTheSchemeForThisProcess) {
  ASSERT_EQ(ZEQRegisterProtocol(), S_OK);
  EXPECT_EQ(ZEQRegisterProtocol(), S_OK);  // kept, not doubled
  // The session hands "zeq:" addresses to the object: the security URL
  // comes from ParseUrl.
  wchar_t result[256] = {};
  DWORD length = 0;
  EXPECT_EQ(CoInternetParseUrl(L"zeq:C:\\app\\main.htm", PARSE_SECURITY_URL, 0, result, 256, &length, 0), S_OK);
  EXPECT_STREQ(result, L"file:///C:\\app\\main.htm");
  ZEQUnregisterProtocol();
  ZEQUnregisterProtocol();  // nothing left to do
  result[0] = 0;
  const HRESULT after = CoInternetParseUrl(L"zeq:C:\\app\\main.htm", PARSE_SECURITY_URL, 0, result, 256, &length, 0);
  EXPECT_TRUE(after != S_OK || std::wstring(result) != L"file:///C:\\app\\main.htm");
}

// ---------------------------------------------------------------------------
// Start and Read on the object itself.

class ZeqProtocolStart : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPackageRoot(zeq_test::kRoot);
    zeq_test::Mount("start\\page.htm", "<html><body>0123456789</body></html>");
    object_ = CZEQAPP::New();
  }
  void TearDown() override {
    if (object_) object_->Release();
    SetPackageRoot(nullptr);
  }
  CZEQAPP* object_ = nullptr;
};

TEST_F(ZeqProtocolStart, ReportsProgressMimeTypeDataAndResultInOrder) {
  RecordingSink sink;
  const std::wstring url = zeq_test::AddressW("start\\page.htm");
  ASSERT_EQ(object_->Start(url.c_str(), &sink, nullptr, 0, 0), S_OK);
  ASSERT_EQ(sink.progress, (std::vector<ULONG>{48, 1, 2, 11, 13}));
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(sink.texts[i], url);
  EXPECT_EQ(sink.texts[4], L"text/html;charset=utf-8");
  EXPECT_EQ(sink.dataCalls, 1);
  EXPECT_EQ(sink.dataFlags, DWORD(BSCF_DATAFULLYAVAILABLE));
  EXPECT_EQ(sink.dataProgress, 36u);
  EXPECT_EQ(sink.dataMaximum, 36u);
  EXPECT_EQ(sink.results, (std::vector<HRESULT>{S_OK}));
  EXPECT_TRUE(sink.switches.empty());
  EXPECT_EQ(zeq_test::ReadAll(object_), "<html><body>0123456789</body></html>");

  // The sink table stands in for the sink until Terminate gives it back.
  EXPECT_GT(sink.references, 0);
  EXPECT_EQ(object_->ReportProgress(99, L"x"), S_OK);
  EXPECT_EQ(sink.progress.back(), 99u);
  EXPECT_EQ(object_->Terminate(0), S_OK);
  EXPECT_EQ(sink.references, 0);
  EXPECT_EQ(object_->Terminate(0), S_OK);
  EXPECT_EQ(sink.references, 0);
  EXPECT_EQ(object_->ReportProgress(99, L"x"), E_UNEXPECTED);
}

TEST_F(ZeqProtocolStart, ReadEdgeCases) {
  char buffer[64];
  ULONG got = 77;
  // Nothing started: nothing to read, the count untouched.
  EXPECT_EQ(object_->Read(buffer, sizeof buffer, &got), S_FALSE);
  EXPECT_EQ(got, 77u);

  RecordingSink sink;
  ASSERT_EQ(object_->Start(zeq_test::AddressW("start\\page.htm").c_str(), &sink, nullptr, 0, 0), S_OK);
  ASSERT_EQ(object_->Read(buffer, 6, &got), S_OK);
  EXPECT_EQ(std::string(buffer, got), "<html>");
  // A read of nothing in the middle answers S_OK and does not move.
  EXPECT_EQ(object_->Read(buffer, 0, &got), S_OK);
  EXPECT_EQ(got, 0u);
  ASSERT_EQ(object_->Read(buffer, sizeof buffer, &got), S_OK);
  EXPECT_EQ(std::string(buffer, got), "<body>0123456789</body></html>");
  got = 77;
  EXPECT_EQ(object_->Read(buffer, sizeof buffer, &got), S_FALSE);
  EXPECT_EQ(got, 77u);
  object_->Terminate(0);
}

TEST_F(ZeqProtocolStart, ParseOnlyStartAndMissingSink) {
  RecordingSink sink;
  const std::wstring url = zeq_test::AddressW("start\\page.htm");
  EXPECT_EQ(object_->Start(url.c_str(), &sink, nullptr, PI_PARSE_URL, 0), S_OK);
  EXPECT_TRUE(sink.progress.empty());
  EXPECT_TRUE(sink.results.empty());
  EXPECT_EQ(sink.references, 0);
  EXPECT_EQ(object_->Start(url.c_str(), nullptr, nullptr, 0, 0), E_POINTER);
}

TEST_F(ZeqProtocolStart, MissingContentForcesASwitchAndContinueEndsTheDownload) {
  RecordingSink sink;
  ASSERT_EQ(object_->Start(zeq_test::AddressW("start\\missing.htm").c_str(), &sink, nullptr, 0, 0), S_OK);
  EXPECT_EQ(sink.switches, (std::vector<DWORD>{0x10000}));
  EXPECT_TRUE(sink.progress.empty());
  EXPECT_TRUE(sink.results.empty());
  PROTOCOLDATA data = {};
  data.grfFlags = 0x10000;
  EXPECT_EQ(object_->Continue(&data), S_OK);
  EXPECT_EQ(sink.results, (std::vector<HRESULT>{S_FALSE}));
  char buffer[8];
  ULONG got = 0;
  EXPECT_EQ(object_->Read(buffer, sizeof buffer, &got), S_FALSE);
  object_->Terminate(0);
}

TEST_F(ZeqProtocolStart, ASinkThatCannotSwitchGetsTheResultAtOnce) {
  RecordingSink sink;
  sink.switchAnswer = E_FAIL;
  ASSERT_EQ(object_->Start(zeq_test::AddressW("start\\missing.htm").c_str(), &sink, nullptr, 0, 0), S_OK);
  EXPECT_EQ(sink.switches, (std::vector<DWORD>{0x10000}));
  EXPECT_EQ(sink.results, (std::vector<HRESULT>{S_FALSE}));
  object_->Terminate(0);
}

TEST_F(ZeqProtocolStart, AnObjectReleasedWithoutTerminateGivesTheSinkBack) {
  RecordingSink sink;
  ASSERT_EQ(object_->Start(zeq_test::AddressW("start\\page.htm").c_str(), &sink, nullptr, 0, 0), S_OK);
  EXPECT_GT(sink.references, 0);
  object_->Release();
  object_ = nullptr;
  EXPECT_EQ(sink.references, 0);
}

// ---------------------------------------------------------------------------
// Security URLs.

struct SecurityCase {
  const wchar_t* address;
  const wchar_t* securityUrl;  // NULL: the browser's own answer
};

class ZeqSecurityUrl : public ::testing::TestWithParam<SecurityCase> {};

// The object as the URL machinery holds it for these questions.
IInternetProtocolInfo* NewInfo() {
  CZEQAPP* made = CZEQAPP::New();
  IInternetProtocolInfo* info = As<IInternetProtocolInfo>(static_cast<IInternetProtocol*>(made), IID_IInternetProtocolInfo);
  made->Release();
  return info;
}

TEST_P(ZeqSecurityUrl, MapsAddressesToTheirZoneOfOrigin) {
  const SecurityCase& c = GetParam();
  IInternetProtocolInfo* object = NewInfo();
  wchar_t result[512] = {};
  DWORD length = 0;
  const HRESULT hr = object->ParseUrl(c.address, PARSE_SECURITY_URL, 0, result, 512, &length, 0);
  if (!c.securityUrl) {
    EXPECT_EQ(hr, INET_E_DEFAULT_ACTION) << c.address;
  } else {
    ASSERT_EQ(hr, S_OK) << c.address;
    EXPECT_STREQ(result, c.securityUrl);
  }
  // The zone mapping agrees, in every letter case: what it puts in the local
  // machine's zone has a file:/// security URL; everything else is left to
  // the zone of its security URL.
  DWORD zone = 99;
  const HRESULT mapped = ZEQMapAddressToZone(c.address, &zone);
  if (ZEQAddressIsLocalContent(c.address)) {
    EXPECT_EQ(mapped, S_OK) << c.address;
    EXPECT_EQ(zone, DWORD(URLZONE_LOCAL_MACHINE)) << c.address;
    EXPECT_EQ(hr, S_OK) << c.address;
    EXPECT_EQ(wcsncmp(result, L"file:///", 8), 0) << c.address;
  } else {
    EXPECT_EQ(mapped, INET_E_DEFAULT_ACTION) << c.address;
    EXPECT_EQ(zone, 99u) << c.address;
  }
  object->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZeqSecurityUrl,
    ::testing::Values(SecurityCase{L"zeq:C:\\app\\main.htm", L"file:///C:\\app\\main.htm"},
                      SecurityCase{L"zeq:file:///C:/app/x.js", L"file:///C:/app/x.js"},
                      SecurityCase{L"zeq:\\\\server\\share\\a.htm", L"file:///\\\\server\\share\\a.htm"},
                      SecurityCase{L"zeq:http://server/p", L"http://server/p"},
                      SecurityCase{L"zeq:https://server/p", L"http://server/p"},
                      SecurityCase{L"zeq:www.example.com/a/b.htm", L"http://www.example.com/a/b.htm"},
                      SecurityCase{L"zeq:HTTP://Server/p", L"http://Server/p"},
                      // A host written with two slashes is remote, never a local file.
                      SecurityCase{L"zeq://host/path", L"http://host/path"},
                      SecurityCase{L"zeq:\\\\", L"file:///\\\\"},
                      // A file URL with a host is its own security URL.
                      SecurityCase{L"zeq:file://server/share/a.htm", L"file://server/share/a.htm"},
                      SecurityCase{L"zeq:file:C:\\a.htm", L"file:///C:\\a.htm"},
                      // Bodies shorter than the prefix are not skipped past their end.
                      SecurityCase{L"zeq:http:", L"http://"}, SecurityCase{L"zeq:https:", L"http://"},
                      SecurityCase{L"zeq:file:", L"file:///"}, SecurityCase{L"zeq:http", nullptr},
                      SecurityCase{L"zeq:", nullptr}, SecurityCase{L"zeq:app\\main.htm", nullptr},
                      SecurityCase{L"http://server/p", nullptr}, SecurityCase{L"file:///C:/x.htm", nullptr},
                      // The scheme in any case; the body is what follows it.
                      SecurityCase{L"ZEQ:C:\\app\\main.htm", L"file:///C:\\app\\main.htm"},
                      SecurityCase{L"Zeq:c:/app/main.htm", L"file:///c:/app/main.htm"},
                      SecurityCase{L"ZEQ:http://a/zeq:C:\\x.htm", L"http://a/zeq:C:\\x.htm"}));

TEST(ZeqSecurityUrlAnswer, OtherActionsAndBufferSizes) {
  IInternetProtocolInfo* object = NewInfo();
  wchar_t result[64];
  DWORD length = 0;
  EXPECT_EQ(object->ParseUrl(L"zeq:C:\\a.htm", PARSE_CANONICALIZE, 0, result, 64, &length, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(object->ParseUrl(nullptr, PARSE_SECURITY_URL, 0, result, 64, &length, 0), INET_E_DEFAULT_ACTION);
  // need = prefix + body + 2 = 8 + 8 + 2.
  const wchar_t* address = L"zeq:C:\\a.htm";
  wchar_t guard[32];
  for (auto& c : guard) c = L'#';
  EXPECT_EQ(object->ParseUrl(address, PARSE_SECURITY_URL, 0, guard, 18, &length, 0), S_FALSE);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(guard[0], L'#');
  EXPECT_EQ(object->ParseUrl(address, PARSE_SECURITY_URL, 0, nullptr, 0, &length, 0), S_FALSE);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(object->ParseUrl(address, PARSE_SECURITY_URL, 0, guard, 19, &length, 0), S_OK);
  EXPECT_EQ(length, 18u);
  EXPECT_STREQ(guard, L"file:///C:\\a.htm");
  EXPECT_EQ(guard[20], L'#');
  object->Release();
}

TEST(ZeqLocalContent, OnlyLocalFilesAndPackageContentAreLocal) {
  EXPECT_TRUE(ZEQAddressIsLocalContent(L"zeq:C:\\app\\a.htm"));
  EXPECT_TRUE(ZEQAddressIsLocalContent(L"ZEQ:c:/app/a.htm"));
  EXPECT_TRUE(ZEQAddressIsLocalContent(L"zeq:FILE:///C:/a.htm"));
  EXPECT_TRUE(ZEQAddressIsLocalContent(L"zeq:file:C:\\a.htm"));
  // Shares of other machines are network files.
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq:\\\\server\\share\\a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq:file://server/share/a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq://host/a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq:http://host/a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq:https://host/a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq:www.host.com/a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"C:\\app\\a.htm"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(L"zeq:"));
  EXPECT_FALSE(ZEQAddressIsLocalContent(nullptr));
}

// ---------------------------------------------------------------------------
// Relative references.

struct CombineCase {
  const wchar_t* base;
  const wchar_t* relative;
  const wchar_t* combined;
};

class ZeqCombineUrl : public ::testing::TestWithParam<CombineCase> {};

TEST_P(ZeqCombineUrl, ResolvesAgainstTheFolderOfThePage) {
  const CombineCase& c = GetParam();
  IInternetProtocolInfo* object = NewInfo();
  wchar_t result[1024] = {};
  DWORD length = 0;
  ASSERT_EQ(object->CombineUrl(c.base, c.relative, 0, result, 1024, &length, 0), S_OK) << c.relative;
  EXPECT_STREQ(result, c.combined);
  EXPECT_EQ(length, wcslen(c.combined) + 1);
  object->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZeqCombineUrl,
    ::testing::Values(CombineCase{L"zeq:C:\\app\\page.htm", L"#top", L"zeq:C:\\app\\page.htm#top"},
                      CombineCase{L"zeq:C:\\app\\page.htm", L"lib/code.js", L"zeq:C:\\app\\lib\\code.js"},
                      CombineCase{L"zeq:C:\\app\\page.htm", L"sub\\x.htm", L"zeq:C:\\app\\sub\\x.htm"},
                      CombineCase{L"zeq:file:///C:/app/page.htm", L"x.css", L"zeq:C:\\app\\x.css"},
                      CombineCase{L"zeq:http://server/p/page.htm", L"x.js", L"zeq:http://server/p/x.js"},
                      // Complete addresses stay as they are.
                      CombineCase{L"zeq:C:\\app\\page.htm", L"http://other/y.js", L"http://other/y.js"},
                      CombineCase{L"zeq:C:\\app\\page.htm", L"zeq:D:\\z.js", L"zeq:D:\\z.js"},
                      CombineCase{L"zeq:C:\\app\\page.htm", L"D:\\z.js", L"D:\\z.js"},
                      // A base of another scheme gives a plain path.
                      CombineCase{L"C:\\app\\page.htm", L"lib\\a.js", L"C:\\app\\lib\\a.js"},
                      // A base without a folder leaves the reference alone.
                      CombineCase{L"page.htm", L"x.js", L"x.js"}, CombineCase{nullptr, L"x.js", L"x.js"}));

TEST(ZeqCombineUrlAnswer, EmptyReferencesAndBufferSizes) {
  IInternetProtocolInfo* object = NewInfo();
  wchar_t result[64] = {};
  DWORD length = 0;
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\a\\p.htm", L"", 0, result, 64, &length, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\a\\p.htm", nullptr, 0, result, 64, &length, 0), INET_E_DEFAULT_ACTION);
  // "zeq:C:\a\p.htm#x": 16 characters, need 17.
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\a\\p.htm", L"#x", 0, result, 17, &length, 0), S_FALSE);
  EXPECT_EQ(length, 19u);
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\a\\p.htm", L"#x", 0, result, 18, &length, 0), S_OK);
  EXPECT_EQ(length, 17u);
  // "zeq:C:\a\x.js": 13 characters, need 14.
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\a\\p.htm", L"x.js", 0, result, 14, &length, 0), S_FALSE);
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\a\\p.htm", L"x.js", 0, result, 15, &length, 0), S_OK);
  EXPECT_STREQ(result, L"zeq:C:\\a\\x.js");
  object->Release();
}

TEST(ZeqCombineUrlAnswer, AResultLongerThanTheReferenceAndItsRoomIsWhole) {
  // The environment string makes the resolved text far longer than the
  // reference plus the 260 characters of room a working text has.
  const std::string longName(1000, 'n');
  SetEnvironmentVariableA("ZEQ_LONG_FOLDER", longName.c_str());
  IInternetProtocolInfo* object = NewInfo();
  std::wstring expected = L"zeq:C:\\app\\" + std::wstring(longName.begin(), longName.end()) + L"\\x.js";
  std::vector<wchar_t> result(4096, L'#');
  DWORD length = 0;
  ASSERT_EQ(object->CombineUrl(L"zeq:C:\\app\\page.htm", L"%ZEQ_LONG_FOLDER%\\x.js", 0, result.data(), 4096, &length, 0),
            S_OK);
  EXPECT_EQ(std::wstring(result.data()), expected);
  EXPECT_EQ(length, expected.size() + 1);
  // Too small a buffer is told the size it needs and stays untouched.
  wchar_t small[32];
  for (auto& c : small) c = L'#';
  EXPECT_EQ(object->CombineUrl(L"zeq:C:\\app\\page.htm", L"%ZEQ_LONG_FOLDER%\\x.js", 0, small, 32, &length, 0),
            S_FALSE);
  EXPECT_EQ(length, expected.size() + 3);
  EXPECT_EQ(small[0], L'#');
  object->Release();
  SetEnvironmentVariableA("ZEQ_LONG_FOLDER", nullptr);
}

}  // namespace
