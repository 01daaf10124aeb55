// Digest answers to challenges: the RFC examples, MD5-sess, auth-int,
// challenge parsing, nonce counts and the credentials line.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "foundation/md5.h"
#include "sip/digest.h"
#include "sip/parser.h"
#include "sip/record.h"
#include "sip_test_support.h"

namespace {

const char kNonce2617[] = "dcd98b7102dd2f0e8b11d0f600bfb0c093";

struct DigestCase {
  const char* name;
  const char* algorithm;
  const char* username;
  const char* realm;
  const char* password;
  const char* nonce;
  const char* cnonce;
  const char* nc;
  const char* qop;
  const char* method;
  const char* uri;
  const char* body;
  const char* response;  // computed by an independent MD5 (Python's hashlib)
};

const DigestCase kDigests[] = {
    {"Rfc2617Section3_5", "MD5", "Mufasa", "testrealm@host.com", "Circle Of Life", kNonce2617, "0a4f113b",
     "00000001", "auth", "GET", "/dir/index.html", nullptr, "6629fae49393a05397450978507c4ef1"},
    {"Rfc7616Md5", "MD5", "Mufasa", "http-auth@example.org", "Circle of Life",
     "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", "00000001",
     "auth", "GET", "/dir/index.html", nullptr, "8ca523f5e9506fed4657c9700eebdbec"},
    {"Md5Sess", "MD5-sess", "Mufasa", "testrealm@host.com", "Circle Of Life", kNonce2617, "0a4f113b", "00000001",
     "auth", "GET", "/dir/index.html", nullptr, "68c13aa36c0e5ab2e1e1e684dacc873b"},
    {"WithoutQop", "MD5", "Mufasa", "testrealm@host.com", "Circle Of Life", kNonce2617, "", "", "", "GET",
     "/dir/index.html", nullptr, "670fd8c2df070c60b045671b8b24ff02"},
    {"AuthInt", "MD5", "Mufasa", "testrealm@host.com", "Circle Of Life", kNonce2617, "0a4f113b", "00000001",
     "auth-int", "INVITE", "sip:bob@biloxi.com", "v=0\r\n", "45db95e93ecd6b465210c289844d11df"},
};

TEST(Digest, ResponsesMatchTheWorkedExamples) {
  for (const DigestCase& c : kDigests) {
    char ha1[33], response[33], entity[33] = {};
    SIPDigestHA1(c.algorithm, c.username, c.realm, c.password, c.nonce, c.cnonce, ha1);
    if (c.body) MD5Buffer(c.body, strlen(c.body), entity);
    SIPDigestResponse(ha1, c.nonce, c.nc, c.cnonce, c.qop, c.method, c.uri, entity, response);
    EXPECT_STREQ(response, c.response) << c.name;
  }
}

TEST(Digest, Md5SessHashesTheRawFirstDigestWithNonceAndCnonce) {
  char ha1[33];
  SIPDigestHA1("md5-SESS", "Mufasa", "testrealm@host.com", "Circle Of Life", kNonce2617, "0a4f113b", ha1);
  EXPECT_STREQ(ha1, "71f45625a6e5fcdd072ce44e8e101a01");
}

TEST(Digest, UriTextsAreGivenASipSchemeWhenTheyNameNone) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {" \"example.com\" ", "sip:example.com"},
      {"sips:secure.example.com", "sips:secure.example.com"},
      {"sip:a@b", "sip:a@b"},
      {"tel:+1", "sip:tel:+1"},
  };
  for (const auto& c : cases) {
    char text[64];
    strcpy(text, c.in);
    ASSERT_EQ(SIPEnsureURIScheme(text, sizeof text), 1);
    EXPECT_STREQ(text, c.out) << c.in;
  }
  char small[8] = "abcdef";
  EXPECT_EQ(SIPEnsureURIScheme(small, sizeof small), 0);
  EXPECT_STREQ(small, "abcdef");
}

// A 401 with the challenge in the given header line, parsed into a record
// based on an account record.
struct Challenged {
  TestRecord account;
  TestRecord record;
  int result;
  explicit Challenged(const std::string& header, const char* password = "secret") {
    SetTestAccount(account.get(), password);
    record->based = account.get();
    std::string text =
        "SIP/2.0 401 Unauthorized\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK1\r\nFrom: <sip:alice@example.com>;tag=1\r\n"
        "To: <sip:alice@example.com>;tag=2\r\nCall-ID: c1\r\nCSeq: 1 REGISTER\r\n" +
        header + "\r\nContent-Length: 0\r\n\r\n";
    result = SIPParseMessage(record.get(), text.data(), text.size(), nullptr, 0);
  }
  SIPDigestChallenge& d() { return record->msg.digest; }
};

TEST(Digest, ChallengeParametersAreSplitWithQuotedStringsRespected) {
  Challenged c("WWW-Authenticate: Digest realm=\"a,b.example.com\", nonce=\"n,1\", opaque=\"o\", "
               "qop=\"auth,auth-int\", stale=FALSE, domain=\"sip:example.com\"");
  ASSERT_EQ(c.result, kSIPParsed);
  EXPECT_STREQ(c.d().scheme, "Digest");
  EXPECT_STREQ(c.d().realm, "a,b.example.com");
  EXPECT_STREQ(c.d().nonce, "n,1");
  EXPECT_STREQ(c.d().opaque, "o");
  EXPECT_STREQ(c.d().qop, "auth");
  EXPECT_STREQ(c.d().stale, "FALSE");
  EXPECT_STREQ(c.d().algorithm, "MD5");
  EXPECT_STREQ(c.d().username, "alice");
  EXPECT_STREQ(c.d().password, "secret");
}

TEST(Digest, TheQopChosenIsAuthThenAuthIntThenNone) {
  struct {
    const char* qop;
    const char* chosen;
  } cases[] = {{"qop=\"auth-int\"", "auth-int"}, {"qop=\"auth-int, auth\"", "auth"}, {"qop=\"x-other\"", ""},
               {"qop=auth", "auth"}};
  for (const auto& q : cases) {
    Challenged c(std::string("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", ") + q.qop);
    ASSERT_EQ(c.result, kSIPParsed);
    EXPECT_STREQ(c.d().qop, q.chosen) << q.qop;
  }
}

TEST(Digest, WwwAuthenticateWinsOverProxyAuthenticate) {
  Challenged c("Proxy-Authenticate: Digest realm=\"proxy\", nonce=\"p\"\r\n"
               "WWW-Authenticate: Digest realm=\"www\", nonce=\"w\"");
  ASSERT_EQ(c.result, kSIPParsed);
  EXPECT_STREQ(c.d().realm, "www");
  Challenged proxy("Proxy-Authenticate: Digest realm=\"proxy\", nonce=\"p\", algorithm=MD5-sess");
  EXPECT_STREQ(proxy.d().realm, "proxy");
  EXPECT_STREQ(proxy.d().algorithm, "MD5-sess");
}

TEST(Digest, LongRealServerNoncesFitAndAnOverlongOneLeavesNoChallenge) {
  std::string nonce(200, 'n');
  Challenged fits("WWW-Authenticate: Digest realm=\"r\", nonce=\"" + nonce + "\"", std::string(200, 'p').c_str());
  EXPECT_EQ(fits.d().nonce, nonce);
  EXPECT_EQ(strlen(fits.d().password), 200u);
  Challenged tooLong("WWW-Authenticate: Digest realm=\"r\", nonce=\"" + std::string(600, 'n') + "\"");
  ASSERT_EQ(tooLong.result, kSIPParsed);
  EXPECT_STREQ(tooLong.d().realm, "");
  EXPECT_STREQ(tooLong.d().scheme, "");
}

TEST(Digest, RequestsBuiltForOneChallengeCountNoncesUpWithFreshCnonces) {
  Challenged c("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", qop=\"auth\"");
  strcpy(c.d().headerName, "Authorization");
  std::set<std::string> cnonces;
  const char* counts[] = {"00000001", "00000002", "00000003"};
  for (const char* expected : counts) {
    ASSERT_EQ(SIPComputeDigestResponse(c.record.get(), "\"example.com\"", "REGISTER", nullptr, 0), 1);
    EXPECT_STREQ(c.d().nc, expected);
    EXPECT_EQ(strlen(c.d().cnonce), 16u);
    cnonces.insert(c.d().cnonce);
    EXPECT_STREQ(c.d().uri, "sip:example.com");
    char ha1[33], response[33];
    SIPDigestHA1("MD5", "alice", "r", "secret", "n", c.d().cnonce, ha1);
    SIPDigestResponse(ha1, "n", expected, c.d().cnonce, "auth", "REGISTER", "sip:example.com", "", response);
    EXPECT_STREQ(c.d().response, response);
  }
  EXPECT_EQ(cnonces.size(), 3u);
}

TEST(Digest, TheNonceCountIsHexadecimalPastNine) {
  Challenged c("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", qop=auth, nc=00000009");
  SIPComputeDigestResponse(c.record.get(), "sip:x", "REGISTER", nullptr, 0);
  EXPECT_STREQ(c.d().nc, "0000000a");
}

TEST(Digest, TheCredentialsLineListsParametersInOrder) {
  Challenged c("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", opaque=\"op\", qop=\"auth\"");
  strcpy(c.d().headerName, "Authorization");
  SIPComputeDigestResponse(c.record.get(), "sip:example.com", "REGISTER", nullptr, 0);
  char line[1024];
  SIPTextOut out(line, sizeof line);
  ASSERT_EQ(SIPPrepareAuthenticateResponseHeader(c.record.get(), &out), 1);
  std::string expected = std::string("Authorization: Digest username=\"alice\",realm=\"r\",nonce=\"n\",response=\"") +
                         c.d().response + "\",uri=\"sip:example.com\",opaque=\"op\",algorithm=MD5,qop=auth,cnonce=\"" +
                         c.d().cnonce + "\",nc=00000001";
  EXPECT_EQ(line, expected);
}

TEST(Digest, WithoutQopTheLineHasNoQopCnonceOrNc) {
  Challenged c("Proxy-Authenticate: Digest realm=\"r\", nonce=\"n\"");
  strcpy(c.d().headerName, "Proxy-Authorization");
  SIPComputeDigestResponse(c.record.get(), "sip:example.com", "INVITE", nullptr, 0);
  char line[1024];
  SIPTextOut out(line, sizeof line);
  ASSERT_EQ(SIPPrepareAuthenticateResponseHeader(c.record.get(), &out), 1);
  EXPECT_EQ(strstr(line, "qop"), nullptr);
  EXPECT_EQ(strstr(line, "cnonce"), nullptr);
  EXPECT_EQ(strstr(line, "nc="), nullptr);
  EXPECT_NE(strstr(line, ",algorithm=MD5"), nullptr);
  EXPECT_EQ(strncmp(line, "Proxy-Authorization: Digest ", 28), 0);
}

TEST(Digest, CredentialsComeFromTheRelatedRecordOrNowhere) {
  Challenged c("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"");
  TestRecord other;
  char line[1024] = "untouched";
  SIPTextOut out = SIPTextOut::Continue(line, sizeof line);
  EXPECT_EQ(SIPPrepareAuthenticateResponseHeader(other.get(), &out), 0);
  EXPECT_STREQ(line, "untouched");
  strcpy(c.d().headerName, "Authorization");
  other->related = c.record.get();
  SIPTextOut fresh(line, sizeof line);
  ASSERT_EQ(SIPPrepareAuthenticateResponseHeader(other.get(), &fresh), 1);
  EXPECT_NE(strstr(line, "realm=\"r\""), nullptr);
}

TEST(Digest, NoRealmMeansNoResponse) {
  TestRecord record;
  SIPComputeDigestResponse(record.get(), "sip:x", "REGISTER", nullptr, 0);
  EXPECT_STREQ(record->msg.digest.response, "");
  EXPECT_STREQ(record->msg.digest.nc, "");
}

}  // namespace
