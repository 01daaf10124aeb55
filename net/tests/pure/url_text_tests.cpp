#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/url_text.h"

namespace {

struct UrlCase {
  const char* name;
  const char* text;
  const char* scheme;
  const char* slashes;
  const char* user;
  const char* host;
  const char* port;
  const char* path;
  const char* query;
};

const UrlCase kUrlCases[] = {
    {"PrefixedWithPathAndQuery", "zeq:http://www.example.com/a/b.html?x=1&y=2", "http:", "//", "", "www.example.com",
     "", "/a/b.html", "?x=1&y=2"},
    {"BackslashesAfterTheScheme", "https:\\\\host.example\\folder", "https:", "//", "", "host.example", "",
     "\\folder", ""},
    {"UserPasswordHostPortPath", "joe:secret@host.example:8080/inbox", "", "", "joe:secret@", "host.example", "8080",
     "/inbox", ""},
    {"NoSeparatorAfterTheHost", "ftp://files.example", "ftp:", "//", "", "files.example", "", "", ""},
    {"AColonAfterTheFirstSlashStillCounts", "http://h/p:1/x", "http:", "//", "", "h/p", "1", "/x", ""},
    {"SchemeWithoutCase", "HTTP://H.EXAMPLE:81", "http:", "//", "", "H.EXAMPLE", "81", "", ""},
    {"AnUnknownSchemeIsPartOfTheHost", "gopher://x", "", "", "", "gopher", "", "//x", ""},
    {"OneSlashOnly", "file:/c/x", "file:", "/", "", "c", "", "/x", ""},
    {"Empty", "", "", "", "", "", "", "", ""},
};

class UrlParts : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlParts, AreSplitAsTheTableSays) {
  const UrlCase& c = GetParam();
  URLComponents parts;
  ASSERT_EQ(1, ParseURL(c.text, &parts));
  EXPECT_STREQ(c.scheme, parts.scheme);
  EXPECT_STREQ(c.slashes, parts.slashes);
  EXPECT_STREQ(c.user, parts.user);
  EXPECT_STREQ(c.host, parts.host);
  EXPECT_STREQ(c.port, parts.port);
  EXPECT_STREQ(c.path, parts.path);
  EXPECT_STREQ(c.query, parts.query);
  parts.Free();
  EXPECT_EQ(nullptr, parts.host);
}

INSTANTIATE_TEST_SUITE_P(Texts, UrlParts, testing::ValuesIn(kUrlCases),
                         [](const testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

TEST(UrlParsing, ANullTextFailsAndLongPartsAreCutToTheirCapacity) {
  URLComponents parts;
  EXPECT_EQ(0, ParseURL(nullptr, &parts));
  const std::string host(5000, 'h');
  const std::string text = "http://" + host + ":" + std::string(100, '9') + "/" + std::string(3000, 'p');
  ASSERT_EQ(1, ParseURL(text.c_str(), &parts));
  EXPECT_EQ(URLComponents::kHostSize, std::string(parts.host).size());
  EXPECT_EQ(URLComponents::kPortSize, std::string(parts.port).size());
  EXPECT_EQ(URLComponents::kPathSize, std::string(parts.path).size());
  // Parsing again into the same record frees what it held first.
  ASSERT_EQ(1, ParseURL("http://x", &parts));
  EXPECT_STREQ("x", parts.host);
  parts.Free();
}

struct TypedCase {
  const char* name;
  const char* text;
  int flags;
  bool control;
  bool shift;
  const char* completed;
};

const TypedCase kTypedCases[] = {
    {"NoFlagsOnlyAddsTheScheme", "example", 0, true, true, "http://example"},
    {"NoKeyOnlyAddsTheScheme", "example", 2, false, false, "http://example"},
    {"ControlMakesABareNameACom", "example", 2, true, false, "http://www.example.com"},
    {"ControlKeepsAnExistingPrefix", "web.example", 2, true, false, "http://web.example.com"},
    {"ShiftMakesComIntoComBr", "example.com", 2, false, true, "http://www.example.com.br"},
    {"ShiftAddsBrToABareName", "example", 2, false, true, "http://www.example.br"},
    {"ShiftLeavesABrHostAlone", "www.example.com.br", 2, false, true, "http://www.example.com.br"},
    {"BothKeysGiveComBr", "example", 2, true, true, "http://www.example.com.br"},
    {"AnExplicitPortIsKept", "example:8080/x?y", 2, true, false, "http://www.example.com:8080/x?y"},
    {"AGivenSchemeGetsNoPrefix", "https://example", 2, true, false, "https://example.com"},
    {"BlanksAroundTheHostAreTrimmed", "  example  ", 2, true, false, "http://www.example.com"},
};

class TypedAddress : public testing::TestWithParam<TypedCase> {};

TEST_P(TypedAddress, IsCompletedAsTheKeysAsk) {
  const TypedCase& c = GetParam();
  char out[kTypedURLSize];
  ASSERT_EQ(1, AdjustTypedURLWithKeys(out, c.text, c.flags, c.control, c.shift));
  EXPECT_STREQ(c.completed, out);
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedAddress, testing::ValuesIn(kTypedCases),
                         [](const testing::TestParamInfo<TypedCase>& info) { return std::string(info.param.name); });

TEST(TypedAddressCompletion, ALongResultIsCutToTheOutputAndANullTextFails) {
  char out[kTypedURLSize + 8];
  std::memset(out, 'Z', sizeof(out));
  const std::string text(1000, 'a');
  ASSERT_EQ(1, AdjustTypedURLWithKeys(out, text.c_str(), 2, true, true));
  EXPECT_EQ(kTypedURLSize - 1, std::strlen(out));
  EXPECT_EQ('Z', out[kTypedURLSize]);
  EXPECT_EQ(0, AdjustTypedURLWithKeys(out, nullptr, 0, false, false));
  EXPECT_STREQ("", out);
}

TEST(HttpStatusLine, GivesVersionCodeAndContentLength) {
  HTTPStatus status;
  ASSERT_EQ(1, ParseHTTPStatusLine("HTTP/1.1 404 Not Found\r\nServer: x\r\ncontent-length :  12\r\n\r\n", &status));
  EXPECT_STREQ("1.1", status.version);
  EXPECT_EQ(404, status.code);
  EXPECT_EQ(12, status.contentLength);
  ASSERT_EQ(1, ParseHTTPStatusLine("HTTP/1.0 200 OK\r\n\r\n", &status));
  EXPECT_EQ(0, status.contentLength);
  EXPECT_EQ(0, ParseHTTPStatusLine("SIP/2.0 200 OK\r\n", &status));
  EXPECT_EQ(0, IsHTTPStatusLine("GET / HTTP/1.0\r\n"));
  EXPECT_EQ(1, IsHTTPStatusLine("HTTP/1.1 301 Moved\r\n"));
  // An over-long version is cut to its field, never written past it.
  const std::string longVersion = "HTTP/" + std::string(200, '1') + " 200 OK\r\n";
  ASSERT_EQ(1, ParseHTTPStatusLine(longVersion.c_str(), &status));
  EXPECT_EQ(19u, std::strlen(status.version));
}

struct LengthCase {
  const char* name;
  const char* headers;
  int found;
  int32_t length;
};

const LengthCase kLengthCases[] = {
    {"Plain", "HTTP/1.0 200 OK\r\nContent-Length: 42\r\n\r\n", 1, 42},
    {"LowerCaseWithBlanks", "POST / HTTP/1.0\r\ncontent-length \t:  7 \r\n\r\n", 1, 7},
    {"Absent", "HTTP/1.0 200 OK\r\n\r\n", 0, 0},
    {"NegativeIsSkipped", "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", 0, 0},
    {"TooLargeIsSkipped", "HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", 0, 0},
    {"TrailingGarbageIsSkipped", "HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n", 0, 0},
    {"AMalformedOneThenAGoodOne", "X: 1\r\nContent-Length: x\r\nContent-Length: 9\r\n\r\n", 1, 9},
    {"ALongerHeaderNameIsNotIt", "X-Content-Length: 5\r\nContent-Lengthy: 6\r\n\r\n", 0, 0},
    {"TheLargestValue", "Content-Length: 2147483647\r\n", 1, 2147483647},
};

class HttpContentLength : public testing::TestWithParam<LengthCase> {};

TEST_P(HttpContentLength, IsReadOnlyFromAWellFormedHeader) {
  int32_t length = -1;
  EXPECT_EQ(GetParam().found, GetHTTPContentLength(GetParam().headers, &length));
  if (GetParam().found) {
    EXPECT_EQ(GetParam().length, length);
  } else {
    EXPECT_EQ(-1, length);
  }
}

INSTANTIATE_TEST_SUITE_P(Headers, HttpContentLength, testing::ValuesIn(kLengthCases),
                         [](const testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

struct ValueCase {
  const char* name;
  const char* header;
  const char* headers;
  size_t size;
  int found;
  const char* value;
};

const ValueCase kValueCases[] = {
    {"LowerCaseBlankBeforeTwoAfter", "Host", "GET / HTTP/1.0\r\nhost :  example.com\r\n\r\n", 64, 1, "example.com"},
    {"TheFirstOfTwo", "Via", "Via: a\r\nVia: b\r\n", 64, 1, "a"},
    {"WithoutItsCrLfIsNotMatched", "Host", "GET / HTTP/1.0\r\nHost: example.com", 64, 0, ""},
    {"AnotherHeaderEndingInTheNameIsNotIt", "Host", "X-Forwarded-Host: a\r\nHost: b\r\n", 64, 1, "b"},
    {"ANameWithoutAColonIsPassedOver", "Host", "Hostname x\r\nHost: b\r\n", 64, 1, "b"},
    {"AValueThatFillsTheBuffer", "Content-Length", "Content-Length: 1234567890123456\r\n", 17, 1,
     "1234567890123456"},
    {"AValueTooLongForTheBufferIsRefused", "Content-Length", "Content-Length: 12345678901234567\r\n", 17, 0, ""},
    {"AnEmptyValue", "X-Empty", "X-Empty:\r\n", 4, 1, ""},
    {"Absent", "Host", "GET / HTTP/1.0\r\n\r\n", 64, 0, ""},
};

class HttpHeaderValue : public testing::TestWithParam<ValueCase> {};

TEST_P(HttpHeaderValue, IsCopiedWholeIntoTheCallersBufferOrNotAtAll) {
  const ValueCase& c = GetParam();
  std::string buffer(c.size + 4, 'Z');
  EXPECT_EQ(c.found, GetHTTPHeaderValue(c.header, c.headers, &buffer[0], c.size));
  EXPECT_STREQ(c.value, buffer.c_str());
  EXPECT_EQ(std::string(4, 'Z'), buffer.substr(c.size));  // nothing written past the buffer
}

INSTANTIATE_TEST_SUITE_P(Headers, HttpHeaderValue, testing::ValuesIn(kValueCases),
                         [](const testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

}  // namespace
