#include <gtest/gtest.h>

#include <string>

#include "foundation/heap.h"
#include "net/http_helpers.h"
#include "socket_pair.h"

namespace {

using nettest::PacedSender;
using nettest::SocketPair;

// What ReceiveHTTPMessage gave, freed with the object.
struct Received {
  char* headers = nullptr;
  char* body = nullptr;
  int32_t length = -1;
  int result = -1;
  explicit Received(SOCKET s) { result = ReceiveHTTPMessage(s, &headers, &body, &length); }
  ~Received() {
    if (headers) HeapFreeZ(headers);
    if (body) HeapFreeZ(body);
  }
};

struct MessageCase {
  const char* name;
  std::vector<std::string> pieces;
  const char* headers;
  const char* body;  // null: none
  int32_t length;
};

const std::string kLongHeader = "X-Long: " + std::string(5000, 'v') + "\r\n";

const MessageCase kMessages[] = {
    {"WithoutContentLengthHasNoBody", {"GET / HTTP/1.0\r\nHost: a\r\n\r\n"}, "GET / HTTP/1.0\r\nHost: a\r\n\r\n",
     nullptr, 0},
    {"AHeaderBlockInSeveralPieces",
     {"POST /x HTTP/1.0\r\nCont", "ent-Length: 5\r", "\n\r", "\nhello"},
     "POST /x HTTP/1.0\r\nContent-Length: 5\r\n\r\n", "hello", 5},
    {"BodyBytesThatCameWithTheHeaderAreKept",
     {"POST /x HTTP/1.0\r\ncontent-length: 11\r\n\r\nhello", " world"},
     "POST /x HTTP/1.0\r\ncontent-length: 11\r\n\r\n", "hello world", 11},
    {"ALongHeaderBlockGrowsTheBuffer",
     {"GET / HTTP/1.0\r\n" + kLongHeader, "\r\n"}, nullptr, nullptr, 0},
    {"AZeroContentLengthHasNoBody", {"POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n"},
     "POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n", nullptr, 0},
};

class HttpMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(HttpMessage, IsReceivedWholeWithItsBody) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  PacedSender sender(pair.client, GetParam().pieces, 30);
  Received got(pair.server);
  ASSERT_EQ(1, got.result);
  const std::string expected =
      GetParam().headers ? GetParam().headers : "GET / HTTP/1.0\r\n" + kLongHeader + "\r\n";
  EXPECT_EQ(expected, got.headers);
  if (GetParam().body) {
    ASSERT_NE(nullptr, got.body);
    EXPECT_EQ(std::string(GetParam().body), got.body);
  } else {
    EXPECT_EQ(nullptr, got.body);
  }
  EXPECT_EQ(GetParam().length, got.length);
}

INSTANTIATE_TEST_SUITE_P(Messages, HttpMessage, testing::ValuesIn(kMessages),
                         [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

struct BadMessageCase {
  const char* name;
  std::vector<std::string> pieces;
};

const BadMessageCase kBadMessages[] = {
    {"APeerThatClosesBeforeTheEmptyLine", {"GET / HTTP/1.0\r\nHost: a\r\n"}},
    {"ABodyShorterThanItsContentLength", {"POST / HTTP/1.0\r\nContent-Length: 50\r\n\r\nshort"}},
    {"AContentLengthTooLongForItsBuffer", {"POST / HTTP/1.0\r\nContent-Length: 00000000000000005\r\n\r\nhello"}},
    {"AContentLengthThatIsNoNumber", {"POST / HTTP/1.0\r\nContent-Length: 5x\r\n\r\nhello"}},
    {"ANegativeContentLength", {"POST / HTTP/1.0\r\nContent-Length: -5\r\n\r\nhello"}},
    {"AHeaderBlockWithoutEnd", {std::string(70 * 1024, 'a')}},
};

class HttpBadMessage : public testing::TestWithParam<BadMessageCase> {};

TEST_P(HttpBadMessage, FailsWithEveryOutputCleared) {
  SocketPair pair;
  ASSERT_TRUE(pair.Ready());
  PacedSender sender(pair.client, GetParam().pieces, 10, true);
  Received got(pair.server);
  EXPECT_EQ(0, got.result);
  EXPECT_EQ(nullptr, got.headers);
  EXPECT_EQ(nullptr, got.body);
  EXPECT_EQ(0, got.length);
}

INSTANTIATE_TEST_SUITE_P(Messages, HttpBadMessage, testing::ValuesIn(kBadMessages),
                         [](const testing::TestParamInfo<BadMessageCase>& info) {
                           return std::string(info.param.name);
                         });

// A one-shot HTTP server on loopback: takes one connection, keeps the
// request's header block and answers with the given reply.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply) : reply_(std::move(reply)) {
    nettest::StartWinsock();
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(at);
    bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof(at));
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
    port_ = ntohs(at.sin_port);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~OneShotServer() {
    closesocket(listener_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  OneShotServer(const OneShotServer&) = delete;
  OneShotServer& operator=(const OneShotServer&) = delete;
  int port() const { return port_; }
  // The request's header block, once the answer has gone.
  std::string Request() {
    WaitForSingleObject(thread_, 10000);
    return request_;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* server = static_cast<OneShotServer*>(self);
    SOCKET s = accept(server->listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return 0;
    const DWORD limit = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof(limit));
    char chunk[512];
    int got;
    while (server->request_.find("\r\n\r\n") == std::string::npos && (got = recv(s, chunk, sizeof(chunk), 0)) > 0)
      server->request_.append(chunk, got);
    send(s, server->reply_.data(), static_cast<int>(server->reply_.size()), 0);
    shutdown(s, SD_SEND);
    closesocket(s);
    return 0;
  }
  std::string reply_;
  SOCKET listener_;
  int port_ = 0;
  std::string request_;
  HANDLE thread_ = nullptr;
};

struct CheckCase {
  const char* name;
  const char* reply;
  bool found;
};

const CheckCase kCheckCases[] = {
    {"Ok", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", true},
    {"OkInPiecesWithALongHeader", "HTTP/1.1 200 OK\r\nServer: a-server-name-longer-than-eighty-characters-so-that-the-"
                                  "header-comes-in-several-reads\r\n\r\n", true},
    {"NotFound", "HTTP/1.0 404 Not Found\r\n\r\n", false},
    {"MovedPermanently", "HTTP/1.0 301 Moved Permanently\r\nLocation: /x/\r\n\r\n", false},
    {"NotHttp", "SSH-2.0-OpenSSH\r\n", false},
    {"Nothing", "", false},
};

class HttpUrlCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(HttpUrlCheck, IsTrueOnlyForAnAnswerOf200AndSendsAnHttp10Get) {
  OneShotServer server(GetParam().reply);
  const std::string url = "zeq:http://127.0.0.1:" + std::to_string(server.port()) + "/a b/file.txt?q=1";
  EXPECT_EQ(GetParam().found, HTTPCheckURL(url.c_str()));
  // The port and the query are not sent; the blank is escaped.
  EXPECT_EQ("GET http://127.0.0.1/a%20b/file.txt HTTP/1.0\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1 )\r\n\r\n",
            server.Request());
}

INSTANTIATE_TEST_SUITE_P(Replies, HttpUrlCheck, testing::ValuesIn(kCheckCases),
                         [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST(HttpUrlCheckFailures, AreFalseWithoutAServer) {
  nettest::StartWinsock();
  EXPECT_FALSE(HTTPCheckURL("http://127.0.0.1:1/here.txt"));     // nothing listens
  EXPECT_FALSE(HTTPCheckURL("http://127.0.0.1:port/here.txt"));  // no port number
  EXPECT_FALSE(HTTPCheckURL("http://0.0.0.0/here.txt"));         // not resolved
  EXPECT_FALSE(HTTPCheckURL(nullptr));
}

TEST(UrlEscaping, EscapesBlanksOnlyAndRefusesAShortBuffer) {
  char text[32] = "http://h/a b/c?d+e";
  ASSERT_EQ(1, UrlEscapeInPlace(text, sizeof(text)));
  EXPECT_STREQ("http://h/a%20b/c?d+e", text);
  char small[12] = "a b c d";
  EXPECT_EQ(0, UrlEscapeInPlace(small, 12));
  EXPECT_STREQ("a b c d", small);
  char* copy = UrlEscapeToHeap("x y");
  ASSERT_NE(nullptr, copy);
  EXPECT_STREQ("x%20y", copy);
  HeapFreeZ(copy);
}

}  // namespace
