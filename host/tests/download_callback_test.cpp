// The bind-status callback of downloads: its interfaces and bind options,
// the data path into the output file, and whole downloads from the loopback
// HTTP server, written to a file or failing as write failures.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <string>

#include "file_test_support.h"
#include "host/download_callback.h"
#include "loopback_http.h"
#include "test_support.h"

namespace {

using dochost_test::PumpUntil;

// A stream over bytes whose reads end with the given answer.
IStream* StreamOf(const std::string& bytes) {
  return SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
}

HRESULT Deliver(CZEQBindStatusCallback* callback, IStream* stream, DWORD flags) {
  STGMEDIUM medium = {};
  medium.tymed = TYMED_ISTREAM;
  medium.pstm = stream;
  FORMATETC format = {};
  return callback->OnDataAvailable(flags, 0, &format, &medium);
}

TEST(DownloadCallback, InterfacesAndBindOptions) {
  CZEQBindStatusCallback* callback = CZEQBindStatusCallback::Create();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, callback->QueryInterface(IID_IHttpNegotiate, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_INVALIDARG, callback->QueryInterface(IID_IUnknown, nullptr));
  IServiceProvider* provider = nullptr;
  ASSERT_EQ(S_OK, callback->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider)));
  IHttpNegotiate* negotiate = nullptr;
  EXPECT_EQ(S_OK, provider->QueryService(IID_IHttpNegotiate, IID_IHttpNegotiate, reinterpret_cast<void**>(&negotiate)));
  ASSERT_NE(nullptr, negotiate);
  LPWSTR headers = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(S_OK, negotiate->BeginningTransaction(L"http://x/", L"", 0, &headers));
  EXPECT_EQ(nullptr, headers);
  negotiate->Release();
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, provider->QueryService(IID_IAuthenticate, IID_IAuthenticate, &refused));
  provider->Release();

  DWORD flags = 0;
  BINDINFO info;
  memset(&info, 0xAA, sizeof info);
  info.cbSize = 0;
  EXPECT_EQ(E_INVALIDARG, callback->GetBindInfo(&flags, &info));
  info.cbSize = sizeof info;
  EXPECT_EQ(S_OK, callback->GetBindInfo(&flags, &info));
  EXPECT_EQ(0x893u, flags);
  EXPECT_EQ(static_cast<DWORD>(BINDVERB_GET), info.dwBindVerb);
  EXPECT_EQ(sizeof info, info.cbSize);
  // A caller's smaller record is never written past its end.
  struct {
    BINDINFO info;
    BYTE guard[16];
  } small;
  memset(&small, 0xAA, sizeof small);
  small.info.cbSize = 12;
  EXPECT_EQ(S_OK, callback->GetBindInfo(&flags, &small.info));
  EXPECT_EQ(12u, small.info.cbSize);
  EXPECT_EQ(0xAA, reinterpret_cast<BYTE*>(&small)[12]);
  EXPECT_EQ(0u, callback->Release());
}

TEST(DownloadCallback, BlocksAreWrittenOrTheDownloadFailsAsAWriteFailure) {
  filetest::ScratchFolder folder;
  const std::string body(40000, 'x');  // three blocks
  struct Case {
    const char* name;
    int file;  // 0 none, 1 writable, 2 read-only handle
    DWORD flags;
    HRESULT answer;
    bool failed;
    uint32_t received;
  } cases[] = {
      {"into a writable file, last block", 1, BSCF_LASTDATANOTIFICATION, S_OK, false, 40000},
      {"into a writable file, more to come", 1, 0, S_FALSE, false, 40000},
      {"with no output file", 0, BSCF_LASTDATANOTIFICATION, S_FALSE, true, 0},
      {"into a file that cannot be written", 2, BSCF_LASTDATANOTIFICATION, S_FALSE, true, 0},
  };
  for (const Case& c : cases) {
    CZEQBindStatusCallback* callback = CZEQBindStatusCallback::Create();
    const std::string path = folder / (std::string("out") + std::to_string(c.file) + ".bin");
    if (c.file == 2) filetest::WriteTextFile(path, "");
    if (c.file) {
      HANDLE file = CreateFileA(path.c_str(), c.file == 1 ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                                c.file == 1 ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, file) << c.name;
      callback->SetOutputFile(file, path.c_str());
    }
    IStream* stream = StreamOf(body);
    EXPECT_EQ(c.answer, Deliver(callback, stream, c.flags)) << c.name;
    stream->Release();
    EXPECT_EQ(c.failed, callback->Failed()) << c.name;
    EXPECT_EQ(c.failed ? ZEQERROR_WRITING : 0u, callback->ErrorCode()) << c.name;
    EXPECT_EQ(c.received, callback->BytesReceived()) << c.name;
    callback->Release();  // closes the file
    if (c.file == 1) {
      EXPECT_EQ(body.size(), filetest::ReadTextFile(path).size()) << c.name;
    }
  }
}

class Downloads : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    if (!server_.Start()) GTEST_SKIP() << "loopback HTTP server: " << server_.problem();
  }
  void TearDown() override { OleUninitialize(); }

  // Binds the URL to storage with the callback and pumps until it stops.
  bool Download(const std::string& url, CZEQBindStatusCallback* callback) {
    std::wstring wide(url.begin(), url.end());
    IMoniker* moniker = nullptr;
    if (FAILED(CreateURLMonikerEx(nullptr, wide.c_str(), &moniker, URL_MK_UNIFORM))) return false;
    IBindCtx* context = nullptr;
    if (FAILED(CreateAsyncBindCtx(0, callback, nullptr, &context))) {
      moniker->Release();
      return false;
    }
    IUnknown* storage = nullptr;
    const HRESULT hr = moniker->BindToStorage(context, nullptr, IID_IStream, reinterpret_cast<void**>(&storage));
    if (storage) storage->Release();
    const bool stopped = SUCCEEDED(hr) && PumpUntil([&] { return callback->Stopped(); }, 15000);
    context->Release();
    moniker->Release();
    return stopped;
  }

  httptest::LoopbackServer server_;
};

TEST_F(Downloads, AFileFromTheLoopbackServerArrivesWhole) {
  std::string content;
  for (int i = 0; i < 3000; ++i) content += "line " + std::to_string(i) + "\n";
  server_.folder().Write("data.txt", content);
  const std::string target = server_.folder() / "received.txt";
  CZEQBindStatusCallback* callback = CZEQBindStatusCallback::Create();
  HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  callback->SetOutputFile(file, target.c_str());
  ASSERT_TRUE(Download(server_.Url("data.txt"), callback));
  EXPECT_TRUE(SUCCEEDED(callback->StopResult()));
  EXPECT_FALSE(callback->Failed());
  EXPECT_EQ(content.size(), callback->BytesReceived());
  callback->Release();
  EXPECT_EQ(content, filetest::ReadTextFile(target));
}

TEST_F(Downloads, AnUnwritableOutputAbortsTheBinding) {
  server_.folder().Write("data.bin", std::string(50000, 'z'));
  const std::string target = server_.folder() / "readonly.bin";
  filetest::WriteTextFile(target, "");
  CZEQBindStatusCallback* callback = CZEQBindStatusCallback::Create();
  HANDLE file = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  callback->SetOutputFile(file, target.c_str());
  ASSERT_TRUE(Download(server_.Url("data.bin"), callback));
  EXPECT_TRUE(callback->Failed());
  EXPECT_EQ(ZEQERROR_WRITING, callback->ErrorCode());
  EXPECT_EQ(0u, callback->BytesReceived());
  callback->Release();
  EXPECT_EQ("", filetest::ReadTextFile(target));
}

}  // namespace
