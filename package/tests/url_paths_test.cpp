#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/heap.h"
#include "net/http_helpers.h"
#include "package/vfs.h"
#include "loopback_http.h"

namespace {

// One loopback server for the whole group: starting python costs more than
// the requests do.
class UrlPaths : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new httptest::LoopbackServer;
    if (server_->Start()) {
      // A name of this run, so that the URL cache holds no copy from before.
      name_ = "page-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + ".html";
      filetest::WriteTextFile(server_->folder() / name_, "<p>served over http</p>");
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_->problem().empty()) GTEST_SKIP() << "loopback server: " << server_->problem();
  }

  static httptest::LoopbackServer* server_;
  static std::string name_;
};

httptest::LoopbackServer* UrlPaths::server_ = nullptr;
std::string UrlPaths::name_;

TEST_F(UrlPaths, ExistenceIsAnHttpGetThatAnswers200) {
  EXPECT_TRUE(HTTPCheckURL(server_->Url(name_).c_str()));
  EXPECT_TRUE(PathFileExistsExt(("zeq:" + server_->Url(name_)).c_str()));
  EXPECT_FALSE(PathFileExistsExt(server_->Url("missing.html").c_str()));
  EXPECT_FALSE(HTTPCheckURL(""));
  // A URL has no attributes, whether or not it exists.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesExt(server_->Url(name_).c_str()));
  EXPECT_FALSE(PathIsDirectoryExt(server_->Url(name_).c_str()));
}

TEST_F(UrlPaths, OpeningAUrlGivesASystemHandleOnTheCacheCopy) {
  HANDLE handle = CreateFileExt(server_->Url(name_).c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  EXPECT_FALSE(IsVFSHandleRecord(handle));
  EXPECT_EQ(23u, GetFileSizeExt(handle));
  EXPECT_EQ(7u, SetFilePointerExt(handle, FILE_END, -16));
  char text[32] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFileExt(handle, sizeof text, text, &got));
  EXPECT_EQ(16u, got);
  EXPECT_STREQ("over http</p>", text + 3);
  EXPECT_TRUE(CloseHandleExt(&handle));

  void* data = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(ReadWholeFileExt(("zeq:" + server_->Url(name_)).c_str(), &data, &size));
  EXPECT_EQ("<p>served over http</p>", std::string(static_cast<char*>(data), size));
  HeapFreeZ(data);
}

TEST_F(UrlPaths, AUrlThatCannotBeFetchedFailsWithoutRetries) {
  const DWORD start = GetTickCount();
  HANDLE missing = CreateFileExt(server_->Url("missing.html").c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0,
                                 kCreateFileRetry);
  EXPECT_EQ(INVALID_HANDLE_VALUE, missing);
  EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());

  // Nothing listens on a fresh port: the connection is refused at once.
  const std::string refused = "http://127.0.0.1:" + std::to_string(httptest::FreePort()) + "/x.html";
  HANDLE nowhere = CreateFileExt(refused.c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0, kCreateFileRetry);
  EXPECT_EQ(INVALID_HANDLE_VALUE, nowhere);
  EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_FALSE(PathFileExistsExt(refused.c_str()));
  // No retry pause was taken (the five attempts would need two seconds).
  EXPECT_LT(GetTickCount() - start, 1500u);
}

}  // namespace
