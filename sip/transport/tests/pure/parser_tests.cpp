// The message parser: normalisation, start lines, the headers the stack
// reads, and the bounds every received value is held to.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/parser.h"
#include "sip/record.h"
#include "sip_test_support.h"

namespace {

const char kInvite[] =
    "INVITE sip:bob@biloxi.com SIP/2.0\r\n"
    "Via: SIP/2.0/UDP pc33.atlanta.com;branch=z9hG4bK776asdhds;received=192.0.2.1;rport=5066;maddr=224.2.0.1;ttl=5;x=1\r\n"
    "Max-Forwards: 70\r\n"
    "To: Bob <sip:bob@biloxi.com>\r\n"
    "From: Alice <sip:alice@atlanta.com>;tag=1928301774\r\n"
    "Call-ID: a84b4c76e66710@pc33.atlanta.com\r\n"
    "CSeq: 314159 INVITE\r\n"
    "Contact: <sip:alice@pc33.atlanta.com>;expires=60;q=0.7;+sip.instance=\"<urn:x>\"\r\n"
    "Content-Type: application/sdp\r\n"
    "Content-Length: 4\r\n"
    "\r\n"
    "v=0\n";

int Parse(SIPRecord* r, const std::string& text) { return SIPParseMessage(r, text.data(), text.size(), nullptr, 0); }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(SipParser, AnInviteFillsTheAddressingFields) {
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), kInvite), kSIPParsed);
  EXPECT_EQ(r->messageMode, kSIPModeRequest);
  EXPECT_STREQ(r->msg.method, "INVITE");
  EXPECT_STREQ(r->msg.version, "SIP/2.0");
  EXPECT_STREQ(r->msg.to.uri.displayName, "Bob");
  EXPECT_STREQ(r->msg.from.tag, "1928301774");
  EXPECT_EQ(r->msg.cseq, 314159);
  const SIPVia& via = r->msg.via[0];
  EXPECT_STREQ(via.branch, "z9hG4bK776asdhds");
  EXPECT_STREQ(via.received, "192.0.2.1");
  EXPECT_EQ(via.rport, 5066);
  EXPECT_STREQ(via.maddr, "224.2.0.1");
  EXPECT_EQ(via.ttl, 5);
  EXPECT_STREQ(via.otherParams, "x=1");
  EXPECT_EQ(r->msg.contact.expires, 60);
  EXPECT_DOUBLE_EQ(r->msg.contact.q, 0.7);
  EXPECT_STREQ(r->msg.contact.params, "+sip.instance=\"<urn:x>\"");
  ASSERT_EQ(r->msg.body.length, 4u);
  EXPECT_STREQ(r->msg.body.text, "v=0\n");
}

TEST(SipParser, BareLineFeedsParseLikeCarriageReturnLineFeeds) {
  std::string lf = kInvite;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  TestRecord crlf, bare;
  ASSERT_EQ(Parse(crlf.get(), kInvite), kSIPParsed);
  ASSERT_EQ(Parse(bare.get(), lf), kSIPParsed);
  EXPECT_STREQ(bare->msg.callId, crlf->msg.callId);
  EXPECT_STREQ(bare->msg.via[0].branch, crlf->msg.via[0].branch);
  EXPECT_STREQ(bare->msg.contact.uri.host, crlf->msg.contact.uri.host);
}

struct NormalizeCase {
  const char* name;
  const char* header;   // header lines put in place of the Contact line
  const char* contactUser;
  int viaCount;
};

TEST(SipParser, FoldedCompactAndCommaSeparatedHeadersAreNormalised) {
  const NormalizeCase cases[] = {
      {"folded", "Contact: <sip:folded@h>\r\n  ;expires=5", "folded", 1},
      {"compact contact", "m: \"A, B\" <sip:compact@h>", "compact", 1},
      {"two contacts keep the first", "Contact: <sip:first@h>, <sip:second@h>", "first", 1},
      {"two contact lines keep the first", "Contact: <sip:one@h>\r\nContact: <sip:two@h>", "one", 1},
      {"compact via list", "Contact: <sip:x@h>\r\nv: SIP/2.0/UDP a.example.com;branch=z9hG4bKa, SIP/2.0/TCP "
                           "b.example.com;branch=z9hG4bKb",
       "x", 3},
      {"a comma inside angle brackets", "Contact: <sip:comma@h;p=a,b>", "comma", 1},
  };
  for (const NormalizeCase& c : cases) {
    std::string text = Replace(kInvite, "Contact: <sip:alice@pc33.atlanta.com>;expires=60;q=0.7;+sip.instance=\"<urn:x>\"",
                               c.header);
    TestRecord r;
    ASSERT_EQ(Parse(r.get(), text), kSIPParsed) << c.name;
    EXPECT_STREQ(r->msg.contact.uri.user, c.contactUser) << c.name;
    int vias = 0;
    for (const SIPVia& v : r->msg.via) vias += v.used ? 1 : 0;
    EXPECT_EQ(vias, c.viaCount) << c.name;
  }
}

TEST(SipParser, TheNormalisedTextHasFullNamesOneLinePerValueAndTheBodyAsGiven) {
  const char text[] = "OPTIONS sip:a@b SIP/2.0\nv : SIP/2.0/UDP h;branch=z9hG4bK1 ,SIP/2.0/UDP g\nl:3\ni: x\n  y\n\nA\tB";
  SIPNormalizedMessage m;
  SIPNormalizedInit(&m);
  ASSERT_TRUE(SIPNormalizeMessage(text, strlen(text), &m));
  EXPECT_EQ(std::string(m.text, m.length),
            "OPTIONS sip:a@b SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK1\r\nVia: SIP/2.0/UDP g\r\n"
            "Content-Length: 3\r\nCall-ID: x y\r\n\r\nA\tB");
  EXPECT_TRUE(SIPHasHeader(&m, kSIPHVia));
  EXPECT_TRUE(SIPHasHeader(&m, kSIPHCallID));
  EXPECT_FALSE(SIPHasHeader(&m, kSIPHFrom));
  SIPNormalizedFree(&m);
}

TEST(SipParser, AHeaderLineWithoutAColonMakesTheMessageUnparseable) {
  TestRecord r;
  EXPECT_EQ(Parse(r.get(), Replace(kInvite, "Max-Forwards: 70", "Max-Forwards 70")), kSIPParseBadHeader);
  std::string longName = std::string(600, 'X') + ": 1";
  EXPECT_EQ(Parse(r.get(), Replace(kInvite, "Max-Forwards: 70", longName)), kSIPParseBadHeader);
}

TEST(SipParser, TheStatusLineKeepsTheWholeReasonPhrase) {
  std::string text = "SIP/2.0 183 Session Progress\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK1\r\nTo: <sip:b@h>;tag=2\r\n"
                     "From: <sip:a@h>;tag=1\r\nCall-ID: c\r\nCSeq: 2 INVITE\r\nContent-Length: 0\r\n\r\n";
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), text), kSIPParsed);
  EXPECT_EQ(r->messageMode, kSIPModeResponse);
  EXPECT_EQ(r->msg.statusCode, 183);
  EXPECT_STREQ(r->msg.reason, "Session Progress");
}

TEST(SipParser, StartLineTestsReadOnlyTheFirstLine) {
  struct {
    const char* text;
    int method;
    int status;
  } cases[] = {
      {"REGISTER sip:x SIP/2.0\r\n", kSIPMethodRegister, -1},
      {"prack sip:x sip/2.0\n", kSIPMethodPrack, -1},
      {"INVITE sip:x SIP/2.0", 0, -1},   // no line end
      {"INVITEX sip:x SIP/2.0\r\n", 0, -1},
      {"SIP/2.0 486 Busy Here\r\n", 0, 486},
      {"SIP/2.0 99 Low\r\n", 0, -1},
      {"SIP/2.0 4860 Long\r\n", 0, -1},
      {"SIP/3.0 200 OK\r\n", 0, -1},
      // Another version is still a request (answered 505), not noise.
      {"OPTIONS sip:x SIP/1.0\r\n", kSIPMethodOptions, -1},
      {"OPTIONS sip:x SIP/10.25\r\n", kSIPMethodOptions, -1},
      {"OPTIONS sip:x SIP/2\r\n", 0, -1},
      {"OPTIONS sip:x SIP/.0\r\n", 0, -1},
      {"OPTIONS sip:x HTTP/1.1\r\n", 0, -1},
      {"OPTIONS sip:x SIP/2.0x\r\n", 0, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SIPGetRequestMethod(c.text, strlen(c.text)), c.method) << c.text;
    EXPECT_EQ(SIPGetStatusCode(c.text, strlen(c.text)), c.status) << c.text;
  }
}

TEST(SipParser, ContentLengthIsFoundByFullOrCompactName) {
  long length = -1;
  const char full[] = "SIP/2.0 200 OK\r\nContent-Length: 12\r\n\r\n";
  EXPECT_TRUE(SIPGetContentLength(full, strlen(full), &length));
  EXPECT_EQ(length, 12);
  const char compact[] = "SIP/2.0 200 OK\r\nl : 7\r\n\r\n";
  EXPECT_TRUE(SIPGetContentLength(compact, strlen(compact), &length));
  EXPECT_EQ(length, 7);
  const char none[] = "SIP/2.0 200 OK\r\nlength: 7\r\n\r\nl: 9";
  EXPECT_FALSE(SIPGetContentLength(none, strlen(none), &length));
  EXPECT_EQ(length, 0);
}

TEST(SipParser, RecordRouteFillsTheRouteSetBeforeRoute) {
  std::string text = Replace(kInvite, "Max-Forwards: 70",
                             "Route: <sip:r1@h;lr>\r\nRecord-Route: <sip:rr1@h;lr>, <sip:rr2@h>\r\nMax-Forwards: 70");
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), text), kSIPParsed);
  EXPECT_EQ(SIPRouteSetCount(&r->msg.routes), 2);
  EXPECT_STREQ(r->msg.routes.entries[0].uri.user, "rr1");
  EXPECT_STREQ(r->msg.routes.entries[1].value, "<sip:rr2@h>");
}

TEST(SipParser, ARouteToTheOwnListenerIsNotStored) {
  TestRecord account, r;
  strcpy(account->connection.listenerAddressText, "10.0.0.5");
  account->connection.listenerPort = 5062;
  r->based = account.get();
  std::string text = Replace(kInvite, "Max-Forwards: 70",
                             "Route: <sip:10.0.0.5:5062;lr>, <sip:next@proxy;lr>, <sip:10.0.0.5:5070;lr>\r\n"
                             "Max-Forwards: 70");
  ASSERT_EQ(Parse(r.get(), text), kSIPParsed);
  ASSERT_EQ(SIPRouteSetCount(&r->msg.routes), 2);
  EXPECT_STREQ(r->msg.routes.entries[0].uri.user, "next");
  EXPECT_STREQ(r->msg.routes.entries[1].uri.port, "5070");
}

TEST(SipParser, SubscriptionAndTransferHeadersFillTheirBlocks) {
  std::string text = Replace(
      kInvite, "Max-Forwards: 70",
      "Event: refer;id=93809824\r\nSubscription-State: terminated;reason=noresource;retry-after=30;expires=0\r\n"
      "Refer-To: <sip:carol@h?Replaces=x>;method=INVITE\r\nb: <sip:bob@h>;cid=\"<c@h>\";x=1\r\n"
      "Replaces: 98732@h;to-tag=r33th4x0r;from-tag=ff87ff;early-only;z=1\r\nExpires: 30;refresher=uac\r\n"
      "Reason: SIP;cause=200;text=\"Call completed elsewhere\"\r\nMax-Forwards: 70");
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), text), kSIPParsed);
  EXPECT_STREQ(r->msg.event.event, "refer");
  EXPECT_STREQ(r->msg.event.id, "93809824");
  EXPECT_STREQ(r->msg.subscriptionState.state, "terminated");
  EXPECT_STREQ(r->msg.subscriptionState.reason, "noresource");
  EXPECT_STREQ(r->msg.subscriptionState.retryAfter, "30");
  EXPECT_STREQ(r->msg.subscriptionState.expires, "0");
  EXPECT_STREQ(r->msg.referTo.uri.user, "carol");
  EXPECT_STREQ(r->msg.referTo.uri.headers, "Replaces=x");
  EXPECT_STREQ(r->msg.referTo.value, "method=INVITE");
  EXPECT_STREQ(r->msg.referredBy.uri.user, "bob");
  EXPECT_STREQ(r->msg.referredBy.cid, "\"<c@h>\"");
  EXPECT_STREQ(r->msg.referredBy.value, "x=1");
  EXPECT_STREQ(r->msg.replaces.callId, "98732@h");
  EXPECT_STREQ(r->msg.replaces.toTag, "r33th4x0r");
  EXPECT_STREQ(r->msg.replaces.fromTag, "ff87ff");
  EXPECT_EQ(r->msg.replaces.earlyOnly, 1);
  EXPECT_STREQ(r->msg.replaces.value, "z=1");
  EXPECT_STREQ(r->msg.expires, "30");
  EXPECT_STREQ(r->msg.reasonHeader.protocol, "SIP");
  EXPECT_EQ(r->msg.reasonHeader.cause, 200);
  EXPECT_STREQ(r->msg.reasonHeader.text, "Call completed elsewhere");
}

TEST(SipParser, SipfragBodiesGiveTheirStatusCode) {
  std::string text = "NOTIFY sip:a@h SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK1\r\nTo: <sip:b@h>;tag=2\r\n"
                     "From: <sip:a@h>;tag=1\r\nCall-ID: c\r\nCSeq: 2 NOTIFY\r\nContent-Type: message/sipfrag;version=2.0\r\n"
                     "Content-Length: 21\r\n\r\nSIP/2.0 180 Ringing\r\n\r\n";
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), text.substr(0, text.size() - 2)), kSIPParsed);
  int code = 0;
  EXPECT_TRUE(SIPHasSipfragBody(r.get()));
  ASSERT_TRUE(SIPGetSipfragStatusCode(r.get(), &code));
  EXPECT_EQ(code, 180);
}

struct BoundCase {
  const char* name;
  std::string from;
  std::string to;
  int expected;
};

TEST(SipParser, IdentifiersLongerThanTheirFieldsAreRefusedNeverCut) {
  const BoundCase cases[] = {
      {"call-id", "Call-ID: a84b4c76e66710@pc33.atlanta.com", "Call-ID: " + std::string(132, 'c'),
       kSIPParseFieldTooLong},
      {"call-id at its limit", "Call-ID: a84b4c76e66710@pc33.atlanta.com", "Call-ID: " + std::string(131, 'c'),
       kSIPParsed},
      {"from tag", "tag=1928301774", "tag=" + std::string(200, 't'), kSIPParseFieldTooLong},
      {"branch", "branch=z9hG4bK776asdhds", "branch=" + std::string(129, 'b'), kSIPParseFieldTooLong},
      {"method", "INVITE sip:bob@biloxi.com", "INVITE" + std::string(40, 'X') + " sip:bob@biloxi.com", kSIPParseNotSIP},
      {"cseq number", "CSeq: 314159 INVITE", "CSeq: 2147483648 INVITE", kSIPParseBadNumber},
      {"cseq method", "CSeq: 314159 INVITE", "CSeq: 1 INV ITE", kSIPParseBadHeader},
      {"content-length larger than the body", "Content-Length: 4", "Content-Length: 5", kSIPParseBodyShort},
      {"content-length not a number", "Content-Length: 4", "Content-Length: 4x", kSIPParseBadNumber},
  };
  for (const BoundCase& c : cases) {
    TestRecord r;
    EXPECT_EQ(Parse(r.get(), Replace(kInvite, c.from, c.to)), c.expected) << c.name;
  }
}

TEST(SipParser, LongValuesOfOtherFieldsAreCutToTheirFields) {
  std::string text = Replace(kInvite, "To: Bob <sip:bob@biloxi.com>",
                             "To: \"" + std::string(300, 'd') + "\" <sip:bob@" + std::string(300, 'h') + ">");
  text = Replace(text, "Content-Type: application/sdp", "Content-Type: application/" + std::string(300, 's'));
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), text), kSIPParsed);
  EXPECT_EQ(strlen(r->msg.to.uri.displayName), sizeof r->msg.to.uri.displayName - 1);
  EXPECT_EQ(strlen(r->msg.to.uri.host), sizeof r->msg.to.uri.host - 1);
  EXPECT_EQ(strlen(r->msg.contentType), sizeof r->msg.contentType - 1);
}

TEST(SipParser, MoreThanFifteenViasKeepTheFirstFifteen) {
  std::string vias;
  for (int i = 0; i < 20; ++i) vias += "Via: SIP/2.0/UDP h" + std::to_string(i) + ";branch=z9hG4bK" + std::to_string(i) + "\r\n";
  TestRecord r;
  ASSERT_EQ(Parse(r.get(), Replace(kInvite, "Max-Forwards: 70\r\n", vias + "Max-Forwards: 70\r\n")), kSIPParsed);
  EXPECT_STREQ(r->msg.via[14].sentBy, "h13");
  EXPECT_EQ(r->msg.via[14].used, 1);
}

TEST(SipParser, AMessageOverTheSizeLimitIsRefused) {
  std::string big = Replace(kInvite, "Max-Forwards: 70", "X-Big: " + std::string(kSIPMaxParsedMessage, 'x'));
  TestRecord r;
  EXPECT_EQ(Parse(r.get(), big), kSIPParseTooLarge);
}

TEST(SipParser, AnAccountHookCanRefuseTheMessageAfterItsAddressingHeaders) {
  struct Seen {
    char callId[132];
  } seen{};
  SIPParseHooks hooks{&seen, [](void* context, SIPRecord* r) {
                        strcpy(static_cast<Seen*>(context)->callId, r->msg.callId);
                        return false;
                      }};
  TestRecord r;
  std::string text = kInvite;
  EXPECT_EQ(SIPParseMessage(r.get(), text.data(), text.size(), nullptr, 0, &hooks), kSIPParseAccountRefused);
  EXPECT_STREQ(seen.callId, "a84b4c76e66710@pc33.atlanta.com");
}

TEST(SipParser, FieldsTheMessageDoesNotCarryKeepTheirValues) {
  TestRecord r;
  strcpy(r->msg.userAgent, "kept");
  strcpy(r->msg.expires, "99");
  ASSERT_EQ(Parse(r.get(), kInvite), kSIPParsed);
  EXPECT_STREQ(r->msg.userAgent, "kept");
  EXPECT_STREQ(r->msg.expires, "99");
}

}  // namespace
