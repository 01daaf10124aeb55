// SIP URIs and name-addresses: reading, writing, escaping, route lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/uri.h"

namespace {

std::string Format(const SIPURI& uri, unsigned flags) {
  char text[2048];
  SIPTextOut out(text, sizeof text);
  EXPECT_EQ(SIPFormatURI(&uri, &out, flags), 1);
  return text;
}

SIPURI Parse(const char* text) {
  SIPURI uri;
  SIPParseNameAddrText(&uri, text);
  return uri;
}

TEST(SipUri, ANameAddressGivesEveryPartAndWritesBackUnchanged) {
  SIPURI uri = Parse(" \"Alice\" <sip:alice%40home@host:5070;transport=tcp;lr?h=v> ");
  EXPECT_STREQ(uri.displayName, "Alice");
  EXPECT_STREQ(uri.scheme, "sip");
  EXPECT_STREQ(uri.user, "alice%40home");
  EXPECT_STREQ(uri.host, "host");
  EXPECT_STREQ(uri.port, "5070");
  EXPECT_STREQ(uri.transport, "tcp");
  EXPECT_EQ(uri.looseRoute, 1);
  EXPECT_STREQ(uri.headers, "h=v");
  EXPECT_EQ(Format(uri, 0), "sip:alice%40home@host:5070;transport=tcp;lr?h=v");
}

struct ParamCase {
  const char* text;
  const char* maddr;
  const char* userParam;
  const char* method;
  int ttl;
  const char* other;
};

TEST(SipUri, NamedParametersAreTakenAndTheRestKeptWithoutBlanks) {
  const ParamCase cases[] = {
      {"sip:h;maddr=10.0.0.1;ttl=16", "10.0.0.1", "", "", 16, ""},
      {"sip:+1@h;user=phone;method=INVITE", "", "phone", "INVITE", 0, ""},
      {"sip:h;x = \"a b\";TRANSPORT=udp;y", "", "", "", 0, "x=\"a b\";y"},
      {"sip:h;LR", "", "", "", 0, ""},
  };
  for (const ParamCase& c : cases) {
    SIPURI uri = Parse(c.text);
    EXPECT_STREQ(uri.maddr, c.maddr) << c.text;
    EXPECT_STREQ(uri.userParam, c.userParam) << c.text;
    EXPECT_STREQ(uri.method, c.method) << c.text;
    EXPECT_EQ(uri.ttl, c.ttl) << c.text;
    EXPECT_STREQ(uri.otherParams, c.other) << c.text;
  }
}

TEST(SipUri, IPv6ReferencesKeepTheirColonsAndTakeAPortOnlyAfterTheBracket) {
  struct {
    const char* text;
    const char* host;
    const char* port;
  } cases[] = {
      {"sip:[2001:db8::10]", "[2001:db8::10]", ""},
      {"sip:u@[2001:db8::10]:5070;lr", "[2001:db8::10]", "5070"},
      {"<sip:[::1]:5060>", "[::1]", "5060"},
      {"sip:host:5061", "host", "5061"},
  };
  for (const auto& c : cases) {
    SIPURI uri = Parse(c.text);
    EXPECT_STREQ(uri.host, c.host) << c.text;
    EXPECT_STREQ(uri.port, c.port) << c.text;
  }
}

TEST(SipUri, TextsWithoutSchemeOrUserLeaveThosePartsEmpty) {
  SIPURI noUser = Parse("sip:example.com");
  EXPECT_STREQ(noUser.user, "");
  EXPECT_STREQ(noUser.host, "example.com");
  SIPURI noScheme = Parse("example.com;x=1");
  EXPECT_STREQ(noScheme.scheme, "");
  EXPECT_STREQ(noScheme.host, "example.com");
  EXPECT_STREQ(noScheme.otherParams, "x=1");
}

TEST(SipUri, ALongerPartIsCutToItsFieldAndReported) {
  std::string longHost = "sip:u@" + std::string(400, 'h') + ";" + std::string(900, 'p');
  SIPURI uri;
  bool fitted = true;
  SIPParseNameAddrText(&uri, longHost.c_str(), longHost.size(), &fitted);
  EXPECT_FALSE(fitted);
  EXPECT_EQ(strlen(uri.host), sizeof uri.host - 1);
  EXPECT_EQ(strlen(uri.otherParams), 0u);  // a parameter that does not fit is dropped whole
}

TEST(SipUri, FormatFlagsChooseSchemeAndStopAfterTheHost) {
  SIPURI uri = Parse("<sip:bob@biloxi.com:5080;transport=udp>");
  EXPECT_EQ(Format(uri, kSIPURIHostOnly), "sip:bob@biloxi.com");
  EXPECT_EQ(Format(uri, kSIPURINoScheme), "bob@biloxi.com:5080;transport=udp");
  SIPURI noScheme = Parse("bob@biloxi.com");
  EXPECT_EQ(Format(noScheme, kSIPURIDefaultScheme), "sip:bob@biloxi.com");
  EXPECT_EQ(Format(noScheme, 0), ":bob@biloxi.com");
}

TEST(SipUri, AFormatThatDoesNotFitIsRefusedNotOverrun) {
  SIPURI uri = Parse("sip:bob@biloxi.com;x=1234567890");
  char text[16];
  memset(text, 'Z', sizeof text);
  SIPTextOut out(text, 12);
  EXPECT_EQ(SIPFormatURI(&uri, &out, 0), 0);
  EXPECT_TRUE(out.overflow);
  EXPECT_LT(strlen(text), 12u);
  EXPECT_EQ(text[12], 'Z');
}

TEST(SipUri, UserPartsAreEscapedUnlessAlreadyEscaped) {
  struct {
    const char* user;
    const char* escaped;
  } cases[] = {
      {"a;b", "a%3Bb"},
      {"a:b", "a:b"},
      {"a/b?c@d&e=f+g$h,i", "a%2Fb%3Fc%40d%26e%3Df%2Bg%24h%2Ci"},
      {"100%", "100%"},
      {"alice%40home", "alice%40home"},
  };
  for (const auto& c : cases) {
    char out[SIPEscapedSize(64)];
    ASSERT_EQ(SIPEscapeURIUser(c.user, out, sizeof out), 1);
    EXPECT_STREQ(out, c.escaped) << c.user;
  }
  char keepColonOff[32];
  SIPEscapeReservedChars("a:b", false, keepColonOff, sizeof keepColonOff);
  EXPECT_STREQ(keepColonOff, "a%3Ab");
  char tooSmall[4];
  EXPECT_EQ(SIPEscapeURIUser(";;;", tooSmall, sizeof tooSmall), 0);
}

TEST(SipUri, SplittingAHeaderValueKeepsQuotedCommasAndSemicolons) {
  const char* value = "\"a;b,c\" <sip:x@y;lr> ; tag=1;q=0.5";
  const char* na;
  size_t naLength;
  const char* params;
  size_t paramsLength;
  SIPSplitNameAddr(value, strlen(value), &na, &naLength, &params, &paramsLength);
  EXPECT_EQ(std::string(na, naLength), "\"a;b,c\" <sip:x@y;lr>");
  EXPECT_EQ(std::string(params, paramsLength), "tag=1;q=0.5");
  const char* bare = "sip:x@y;tag=2";
  SIPSplitNameAddr(bare, strlen(bare), &na, &naLength, &params, &paramsLength);
  EXPECT_EQ(std::string(na, naLength), "sip:x@y");
  EXPECT_EQ(std::string(params, paramsLength), "tag=2");
}

SIPRouteSet ThreeRoutes() {
  SIPRouteSet routes;
  memset(&routes, 0, sizeof routes);
  const char* uris[] = {"<sip:p1.example.com>", "<sip:p2.example.com;lr>", "\"P3\" <sip:p3.example.com>"};
  for (int i = 0; i < 3; ++i) {
    routes.entries[i].used = 1;
    SIPParseNameAddrText(&routes.entries[i].uri, uris[i]);
  }
  return routes;
}

TEST(SipUri, RouteLinesSkipTheFirstAndEndWithTheExtraUri) {
  SIPRouteSet routes = ThreeRoutes();
  EXPECT_EQ(SIPRouteSetCount(&routes), 3);
  SIPURI target = Parse("sip:bob@biloxi.com");
  char text[4096];
  SIPTextOut out(text, sizeof text);
  ASSERT_EQ(SIPWriteRouteHeaders(&routes, "Route", &out, true, &target), 1);
  EXPECT_STREQ(text,
               "Route: <sip:p2.example.com;lr>\r\n"
               "Route: \"P3\"<sip:p3.example.com>\r\n"
               "Route: <sip:bob@biloxi.com>");
}

TEST(SipUri, AnEmptyRouteSetWritesNothingEvenWithAnExtraUri) {
  SIPRouteSet routes;
  memset(&routes, 0, sizeof routes);
  SIPURI target = Parse("sip:bob@biloxi.com");
  char text[256];
  SIPTextOut out(text, sizeof text);
  EXPECT_EQ(SIPWriteRouteHeaders(&routes, "Route", &out, false, &target), 1);
  EXPECT_STREQ(text, "");
}

TEST(SipUri, ANameAddressLineWithoutHostHasOnlyNameAndDisplayName) {
  SIPRouteEntry entry;
  memset(&entry, 0, sizeof entry);
  strcpy(entry.uri.displayName, "Nobody");
  char text[256];
  SIPTextOut out(text, sizeof text);
  SIPWriteNameAddrHeader(&entry, "To", &out);
  EXPECT_STREQ(text, "To: \"Nobody\"");
}

TEST(SipUri, TenLongRoutesThatDoNotFitAreRefusedNotOverrun) {
  SIPRouteSet routes;
  memset(&routes, 0, sizeof routes);
  std::string uri = "<sip:" + std::string(120, 'r') + ";" + std::string(500, 'p') + ">";
  for (auto& e : routes.entries) {
    e.used = 1;
    SIPParseNameAddrText(&e.uri, uri.c_str());
  }
  char text[1024];
  SIPTextOut out(text, sizeof text);
  EXPECT_EQ(SIPWriteRouteHeaders(&routes, "Route", &out, false, nullptr), 0);
  EXPECT_TRUE(out.overflow);
  EXPECT_LT(strlen(text), sizeof text);
}

}  // namespace
