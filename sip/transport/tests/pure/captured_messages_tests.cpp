// Messages captured from real peers (sipp and kamailio on loopback, see
// tools/capture-fixtures.sh): each parses to its fields, and the digest
// answer sipp gave kamailio's challenge (which kamailio accepted) is the
// one this stack computes from the same values.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "sip/builder.h"
#include "sip/digest.h"
#include "sip/parser.h"
#include "sip_test_support.h"

namespace {

struct CapturedCase {
  const char* file;
  const char* startLine;  // method, or status code and reason
  std::function<void(SIPRecord*)> check;
};

const CapturedCase kCaptured[] = {
    {"captured/sipp-register.sip", "REGISTER",
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.from.uri.displayName, "Alice");
       EXPECT_STREQ(r->msg.contact.uri.transport, "UDP");
       EXPECT_EQ(r->msg.cseq, 1);
     }},
    {"captured/kamailio-401.sip", "401 Unauthorized",
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.digest.scheme, "Digest");
       EXPECT_STREQ(r->msg.digest.realm, "127.0.0.1");
       EXPECT_STREQ(r->msg.digest.qop, "auth");
       EXPECT_STREQ(r->msg.digest.algorithm, "MD5");
       EXPECT_GT(strlen(r->msg.digest.nonce), 20u);
       EXPECT_STREQ(r->msg.via[0].received, "127.0.0.1");
       EXPECT_GT(r->msg.via[0].rport, 0);
     }},
    {"captured/sipp-register-credentials.sip", "REGISTER", [](SIPRecord* r) { EXPECT_EQ(r->msg.cseq, 2); }},
    {"captured/kamailio-200.sip", "200 OK",
     [](SIPRecord* r) {
       EXPECT_EQ(r->msg.contact.expires, 60);
       EXPECT_STREQ(r->msg.cseqMethod, "REGISTER");
     }},
    {"captured/sipp-invite.sip", "INVITE",
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.contentType, "application/sdp");
       ASSERT_NE(r->msg.body.text, nullptr);
       EXPECT_EQ(r->msg.body.length, static_cast<uint32_t>(atoi(r->msg.contentLength)));
       EXPECT_EQ(strncmp(r->msg.body.text, "v=0", 3), 0);
     }},
    {"captured/sipp-180.sip", "180 Ringing", [](SIPRecord* r) { EXPECT_GT(strlen(r->msg.to.tag), 0u); }},
    {"captured/sipp-invite-200.sip", "200 OK",
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.contact.uri.user, "");
       EXPECT_STREQ(r->msg.contact.uri.transport, "UDP");
       EXPECT_GT(r->msg.body.length, 0u);
     }},
    {"captured/sipp-ack.sip", "ACK", [](SIPRecord* r) { EXPECT_EQ(r->msg.cseq, 1); }},
    {"captured/sipp-bye.sip", "BYE", [](SIPRecord* r) { EXPECT_EQ(r->msg.cseq, 2); }},
    {"captured/sipp-bye-200.sip", "200 OK", [](SIPRecord* r) { EXPECT_STREQ(r->msg.cseqMethod, "BYE"); }},
};

TEST(CapturedMessages, EachParsesToItsFields) {
  for (const CapturedCase& c : kCaptured) {
    std::string bytes = ReadSIPTestFile(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    TestRecord r;
    ASSERT_EQ(SIPParseMessage(r.get(), bytes.data(), bytes.size(), nullptr, 0), kSIPParsed) << c.file;
    std::string start = r->messageMode == kSIPModeRequest
                            ? std::string(r->msg.method)
                            : std::to_string(r->msg.statusCode) + " " + r->msg.reason;
    EXPECT_EQ(start, c.startLine) << c.file;
    EXPECT_EQ(bytes.compare(0, 8, "SIP/2.0 ") == 0, r->messageMode == kSIPModeResponse);
    c.check(r.get());
  }
}

std::map<std::string, std::string> CredentialParams(const std::string& header) {
  std::map<std::string, std::string> params;
  size_t pos = header.find(' ') + 1;
  while (pos < header.size()) {
    size_t comma = header.find(',', pos);
    if (comma == std::string::npos) comma = header.size();
    std::string piece = header.substr(pos, comma - pos);
    size_t eq = piece.find('=');
    std::string value = piece.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    params[piece.substr(0, eq)] = value;
    pos = comma + 1;
  }
  return params;
}

TEST(CapturedMessages, SippsAcceptedAnswerIsTheOneThisStackComputes) {
  std::string challenge = ReadSIPTestFile("captured/kamailio-401.sip");
  std::string answer = ReadSIPTestFile("captured/sipp-register-credentials.sip");
  TestRecord account, r;
  SetTestAccount(account.get(), "secret");
  r->based = account.get();
  ASSERT_EQ(SIPParseMessage(r.get(), challenge.data(), challenge.size(), nullptr, 0), kSIPParsed);
  const char* value;
  size_t length;
  ASSERT_NE(SIPScanMessageLine(answer.data(), answer.size(), "Authorization", &value, &length), nullptr);
  auto params = CredentialParams(std::string(value, length));
  EXPECT_EQ(params["nonce"], r->msg.digest.nonce);
  char ha1[33], response[33];
  SIPDigestHA1(r->msg.digest.algorithm, "alice", r->msg.digest.realm, "secret", r->msg.digest.nonce,
               params["cnonce"].c_str(), ha1);
  SIPDigestResponse(ha1, r->msg.digest.nonce, params["nc"].c_str(), params["cnonce"].c_str(), r->msg.digest.qop,
                    "REGISTER", params["uri"].c_str(), "", response);
  EXPECT_EQ(params["response"], response);
}

TEST(CapturedMessages, ARegisterAnsweringKamailiosChallengeCarriesItsNonceAndRealm) {
  std::string challenge = ReadSIPTestFile("captured/kamailio-401.sip");
  TestRecord account, r;
  SetTestAccount(account.get(), "secret");
  r->based = account.get();
  r->kind = 2;
  ASSERT_EQ(SIPParseMessage(r.get(), challenge.data(), challenge.size(), nullptr, 0), kSIPParsed);
  strcpy(r->msg.digest.headerName, "Authorization");
  strcpy(r->msg.via[0].branch, "z9hG4bKnext");
  r->msg.cseq = 2;
  ASSERT_EQ(SIPPrepareRequestBuffer(r.get(), "REGISTER", nullptr, nullptr, 0), kSIPBuilt);
  std::string text(r->prepared.text, r->prepared.length);
  const char* value;
  size_t length;
  ASSERT_NE(SIPScanMessageLine(text.data(), text.size(), "Authorization", &value, &length), nullptr);
  auto params = CredentialParams(std::string(value, length));
  EXPECT_EQ(params["realm"], "127.0.0.1");
  EXPECT_EQ(params["nonce"], r->msg.digest.nonce);
  EXPECT_EQ(params["uri"], "sip:example.com");
  EXPECT_EQ(params["nc"], "00000001");
  EXPECT_EQ(params["qop"], "auth");
  EXPECT_EQ(params["response"].size(), 32u);
}

}  // namespace
