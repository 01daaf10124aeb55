// The torture messages of RFC 4475 and the IPv6 messages of RFC 5118, one
// table: each file is parsed as received, and either gives the values the
// RFC names or is refused for the reason a robust parser has.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "sip/parser.h"
#include "sip/record.h"
#include "sip_test_support.h"

namespace {

struct MessageCase {
  const char* file;
  int expected;  // kSIPParsed or the refusal
  std::function<void(SIPRecord*)> check;
};

const MessageCase kMessages[] = {
    // RFC 4475, valid messages.
    {"torture/wsinv.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.method, "INVITE");
       EXPECT_STREQ(r->msg.requestURI.user, "vivekg");
       EXPECT_STREQ(r->msg.requestURI.host, "chair-dnrc.example.com");
       EXPECT_STREQ(r->msg.requestURI.otherParams, "unknownparam");
       EXPECT_STREQ(r->msg.to.tag, "1918181833n");
       EXPECT_STREQ(r->msg.from.uri.displayName, "J Rosenberg \\\\\\\"");
       EXPECT_STREQ(r->msg.from.tag, "98asjd8");
       EXPECT_STREQ(r->msg.callId, "wsinv.ndaksdj@192.0.2.1");
       EXPECT_EQ(r->msg.cseq, 9);
       EXPECT_STREQ(r->msg.cseqMethod, "INVITE");
       EXPECT_STREQ(r->msg.via[0].protocol, "SIP/2.0/UDP");
       EXPECT_STREQ(r->msg.via[0].sentBy, "192.0.2.2");
       EXPECT_STREQ(r->msg.via[0].branch, "390skdjuw");
       EXPECT_STREQ(r->msg.via[1].protocol, "SIP/2.0/TCP");
       EXPECT_STREQ(r->msg.via[1].sentBy, "spindle.example.com");
       EXPECT_STREQ(r->msg.via[1].branch, "z9hG4bK9ikj8");
       EXPECT_STREQ(r->msg.via[2].sentBy, "192.168.255.111");
       EXPECT_STREQ(r->msg.via[2].branch, "z9hG4bK30239");
       EXPECT_FALSE(r->msg.via[3].used);
       EXPECT_STREQ(r->msg.contact.uri.displayName, "Quoted string \\\"\\\"");
       EXPECT_DOUBLE_EQ(r->msg.contact.q, 0.33);
       EXPECT_STREQ(r->msg.contact.params, "newparam=newvalue;secondparam");
       EXPECT_STREQ(r->msg.routes.entries[0].uri.host, "services.example.com");
       EXPECT_EQ(r->msg.routes.entries[0].uri.looseRoute, 1);
       EXPECT_STREQ(r->msg.contentType, "application/sdp");
       EXPECT_EQ(r->msg.body.length, 150u);
     }},
    // An unknown method is no request this stack reads.
    {"torture/intmeth.sip", kSIPParseNotSIP, nullptr},
    {"torture/esc01.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.requestURI.user, "sips%3Auser%40example.com");
       EXPECT_STREQ(r->msg.requestURI.host, "example.net");
       EXPECT_STREQ(r->msg.to.uri.user, "%75se%72");
       EXPECT_STREQ(r->msg.from.uri.user, "I%20have%20spaces");
       EXPECT_STREQ(r->msg.callId, "esc01.239409asdfakjkn23onasd0-3234");
       EXPECT_STREQ(r->msg.contact.uri.user, "cal%6Cer");
       EXPECT_STREQ(r->msg.contact.uri.otherParams, "%6C%72;n%61me=v%61lue%25%34%31");
       EXPECT_STREQ(r->msg.contentType, "application/sdp");
     }},
    {"torture/escnull.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.to.uri.user, "null-%00-null");
       EXPECT_STREQ(r->msg.contact.uri.user, "%00");  // the first of the two Contacts
       EXPECT_STREQ(r->msg.contentLength, "0");
     }},
    // "RE%47IST%45R" is not REGISTER: an unknown method.
    {"torture/esc02.sip", kSIPParseNotSIP, nullptr},
    {"torture/lwsdisp.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.from.uri.displayName, "caller");
       EXPECT_STREQ(r->msg.from.uri.user, "caller");
       EXPECT_STREQ(r->msg.from.tag, "323");
     }},
    // The Call-ID is longer than the record keeps: refused, never cut.
    {"torture/longreq.sip", kSIPParseFieldTooLong, nullptr},
    // Only the first message of the datagram; what follows its declared
    // length is no part of it.
    {"torture/dblreq.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.method, "REGISTER");
       EXPECT_STREQ(r->msg.callId, "dblreq.0ha0isndaksdj99sdfafnl3lk233412");
       EXPECT_EQ(r->msg.body.length, 0u);
     }},
    {"torture/semiuri.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.requestURI.user, "user;par=u%40example.net");
       EXPECT_STREQ(r->msg.requestURI.host, "example.com");
     }},
    {"torture/transports.sip", kSIPParsed,
     [](SIPRecord* r) {
       const char* protocols[] = {"SIP/2.0/UDP", "SIP/2.0/SCTP", "SIP/2.0/TLS", "SIP/2.0/UNKNOWN", "SIP/2.0/TCP"};
       for (int i = 0; i < 5; ++i) EXPECT_STREQ(r->msg.via[i].protocol, protocols[i]);
       EXPECT_STREQ(r->msg.callId, "transports.kijh4akdnaqjkwendsasfdj");
     }},
    // The reason phrase is the whole rest of the status line.
    {"torture/unreason.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_EQ(r->msg.statusCode, 200);
       EXPECT_EQ(strncmp(r->msg.reason, "= 2**3 * 5**2 ", 14), 0);
       EXPECT_GT(strlen(r->msg.reason), 40u);
     }},
    {"torture/noreason.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_EQ(r->msg.statusCode, 100);
       EXPECT_STREQ(r->msg.reason, "");
     }},
    // RFC 4475, invalid messages: each refused.
    {"torture/badinv01.sip", kSIPParseBadHeader, nullptr},
    {"torture/clerr.sip", kSIPParseBodyShort, nullptr},
    {"torture/ncl.sip", kSIPParseBadNumber, nullptr},
    {"torture/scalar02.sip", kSIPParseBadNumber, nullptr},
    {"torture/scalarlg.sip", kSIPParseBadNumber, nullptr},
    {"torture/quotbal.sip", kSIPParseBadHeader, nullptr},
    {"torture/ltgtruri.sip", kSIPParseBadStartLine, nullptr},
    {"torture/lwsruri.sip", kSIPParseBadStartLine, nullptr},
    {"torture/lwsstart.sip", kSIPParseBadStartLine, nullptr},
    {"torture/trws.sip", kSIPParseNotSIP, nullptr},
    {"torture/escruri.sip", kSIPParseBadStartLine, nullptr},
    // An unknown time zone in Date is no reason to refuse.
    {"torture/baddate.sip", kSIPParsed,
     [](SIPRecord* r) { EXPECT_STREQ(r->msg.callId, "baddate.239423mnsadf3j23lj42--sedfnm234"); }},
    {"torture/regbadct.sip", kSIPParseBadHeader, nullptr},
    // Liberal in what is accepted: blanks inside the angle brackets.
    {"torture/badaddress.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.to.uri.displayName, "Watson, Thomas");
       EXPECT_STREQ(r->msg.to.uri.user, "t.watson");
       EXPECT_STREQ(r->msg.to.uri.host, "example.org");
     }},
    {"torture/baddn.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.from.uri.displayName, "Bell, Alexander");
       EXPECT_STREQ(r->msg.to.uri.host, "example.org");
     }},
    // Another protocol version parses, so the dispatch can answer it 505.
    {"torture/badvers.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_STREQ(r->msg.version, "SIP/7.0"); }},
    {"torture/mismatch01.sip", kSIPParseMethodMismatch, nullptr},
    {"torture/mismatch02.sip", kSIPParseNotSIP, nullptr},
    {"torture/bigcode.sip", kSIPParseNotSIP, nullptr},
    // Transaction and application layer messages parse; their layers decide.
    {"torture/badbranch.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_STREQ(r->msg.via[0].branch, "z9hG4bK"); }},
    {"torture/insuf.sip", kSIPParseMissingHeader, nullptr},
    {"torture/unkscm.sip", kSIPParsed,
     [](SIPRecord* r) { EXPECT_EQ(strncmp(r->msg.requestURI.scheme, "nobodyKnows", 11), 0); }},
    {"torture/novelsc.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_STREQ(r->msg.requestURI.scheme, "soap.beep"); }},
    {"torture/unksm2.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.to.uri.scheme, "isbn");
       EXPECT_STREQ(r->msg.from.uri.scheme, "http");
       EXPECT_STREQ(r->msg.contact.uri.scheme, "name");
     }},
    {"torture/bext01.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_STREQ(r->msg.method, "OPTIONS"); }},
    {"torture/invut.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.contentType, "application/unknownformat");
       ASSERT_NE(r->msg.body.text, nullptr);
       EXPECT_EQ(strncmp(r->msg.body.text, "<audio>", 7), 0);
     }},
    // A multipart body with a binary part (zero bytes, CR LF and "--" inside
    // it): kept whole, to the byte count of Content-Length.
    {"torture/mimebody.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.method, "MESSAGE");
       EXPECT_STREQ(r->msg.contentType, "multipart/mixed;boundary=7a9cbec02ceef655");
       ASSERT_NE(r->msg.body.text, nullptr);
       EXPECT_EQ(std::to_string(r->msg.body.length), r->msg.contentLength);
       const std::string body(r->msg.body.text, r->msg.body.length);
       EXPECT_EQ(body.rfind("\r\n--7a9cbec02ceef655--\r\n"), body.size() - 24);
       EXPECT_NE(body.find(std::string("\x31\x00\x00\r\n", 5)), std::string::npos);
     }},
    // An offer in a format the sender does not accept back: a valid message,
    // its Accept line left to the user agent.
    {"torture/sdp01.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.method, "INVITE");
       EXPECT_STREQ(r->msg.contentType, "application/sdp");
       EXPECT_EQ(r->msg.body.length, 150u);
       const char* value = nullptr;
       size_t valueLength = 0;
       const std::string text = ReadSIPTestFile("torture/sdp01.sip");
       ASSERT_NE(SIPScanMessageLine(text.data(), text.size(), "Accept", &value, &valueLength), nullptr);
       EXPECT_EQ(std::string(value, valueLength), "text/nobodyKnowsThis");
     }},
    {"torture/regaut01.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_STREQ(r->msg.method, "REGISTER"); }},
    {"torture/multi01.sip", kSIPParseDuplicateHeader, nullptr},
    {"torture/mcl01.sip", kSIPParseDuplicateHeader, nullptr},
    {"torture/bcast.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_STREQ(r->msg.via[1].sentBy, "255.255.255.255"); }},
    {"torture/zeromf.sip", kSIPParsed, [](SIPRecord* r) { EXPECT_EQ(r->msg.cseq, 39234321); }},
    {"torture/cparam01.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.contact.uri.user, "+19725552222");
       EXPECT_STREQ(r->msg.contact.uri.otherParams, "");
       EXPECT_STREQ(r->msg.contact.params, "unknownparam");
     }},
    {"torture/cparam02.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.contact.uri.otherParams, "unknownparam");
       EXPECT_STREQ(r->msg.contact.params, "");
     }},
    {"torture/regescrt.sip", kSIPParsed,
     [](SIPRecord* r) { EXPECT_STREQ(r->msg.contact.uri.headers, "Route=%3Csip:sip.example.com%3E"); }},
    // RFC 5118.
    {"ipv6/ipv6-good.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.requestURI.host, "[2001:db8::10]");
       EXPECT_STREQ(r->msg.requestURI.port, "");
       EXPECT_STREQ(r->msg.via[0].sentBy, "[2001:db8::9:1]");
       EXPECT_STREQ(r->msg.contact.uri.host, "[2001:db8::1]");
     }},
    {"ipv6/ipv6-bad.sip", kSIPParseBadStartLine, nullptr},
    {"ipv6/port-ambiguous.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.requestURI.host, "[2001:db8::10:5070]");
       EXPECT_STREQ(r->msg.requestURI.port, "");
     }},
    {"ipv6/port-unambiguous.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.requestURI.host, "[2001:db8::10]");
       EXPECT_STREQ(r->msg.requestURI.port, "5070");
     }},
    {"ipv6/via-received-param-with-delim.sip", kSIPParsed,
     [](SIPRecord* r) { EXPECT_STREQ(r->msg.via[0].received, "[2001:db8::9:255]"); }},
    {"ipv6/via-received-param-no-delim.sip", kSIPParsed,
     [](SIPRecord* r) { EXPECT_STREQ(r->msg.via[0].received, "2001:db8::9:255"); }},
    {"ipv6/ipv6-in-sdp.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.requestURI.host, "[2001:db8::10]");
       ASSERT_NE(r->msg.body.text, nullptr);
       EXPECT_NE(strstr(r->msg.body.text, "c=IN IP6 2001:db8::20"), nullptr);
     }},
    {"ipv6/mult-ip-in-header.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.via[0].sentBy, "[2001:db8::9:1]:6050");
       EXPECT_STREQ(r->msg.via[1].sentBy, "192.0.2.1");
       EXPECT_STREQ(r->msg.via[2].received, "192.0.2.200");
     }},
    {"ipv6/ipv4-mapped-ipv6.sip", kSIPParsed,
     [](SIPRecord* r) {
       EXPECT_STREQ(r->msg.via[0].sentBy, "[::ffff:192.0.2.10]:19823");
       EXPECT_STREQ(r->msg.contact.uri.host, "[::ffff:192.0.2.2]");
     }},
    {"ipv6/ipv6-correct-abnf-2-colons.sip", kSIPParsed,
     [](SIPRecord* r) { EXPECT_STREQ(r->msg.requestURI.host, "[2001:db8::192.0.2.1]"); }},
    {"ipv6/ipv6-incorrect-abnf-3-colons.sip", kSIPParseBadStartLine, nullptr},
};

class TortureMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(TortureMessage, ParsesToTheValuesTheRfcGivesOrIsRefused) {
  const MessageCase& c = GetParam();
  std::string bytes = ReadSIPTestFile(c.file);
  ASSERT_FALSE(bytes.empty()) << c.file;
  TestRecord record;
  int result = SIPParseMessage(record.get(), bytes.data(), bytes.size(), nullptr, 0);
  ASSERT_EQ(result, c.expected) << c.file;
  if (c.check) c.check(record.get());
}

// A received message need not be terminated: the parser reads only the
// bytes it is given, here with nothing readable after the last byte.
TEST_P(TortureMessage, IsReadWithinItsOwnBytes) {
  const MessageCase& c = GetParam();
  std::string bytes = ReadSIPTestFile(c.file);
  std::unique_ptr<char[]> exact(new char[bytes.size()]);
  memcpy(exact.get(), bytes.data(), bytes.size());
  TestRecord record;
  EXPECT_EQ(SIPParseMessage(record.get(), exact.get(), bytes.size(), nullptr, 0), c.expected) << c.file;
}

std::string CaseName(const ::testing::TestParamInfo<MessageCase>& info) {
  std::string name = info.param.file;
  for (char& ch : name)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Rfc4475AndRfc5118, TortureMessage, ::testing::ValuesIn(kMessages), CaseName);

}  // namespace
