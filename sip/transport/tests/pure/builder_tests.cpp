// The message builders: every request kind built and parsed back, the
// fixed header order, routing, responses, dialogs and the size limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/builder.h"
#include "sip/parser.h"
#include "sip_test_support.h"

namespace {

// A record of the account alice@example.com with a transaction of a kind,
// a branch, a Call-ID, a From tag and bob as the target.
struct Transaction {
  TestRecord account;
  TestRecord record;
  explicit Transaction(int kind) {
    SetTestAccount(account.get());
    SIPRecord* r = record.get();
    r->based = account.get();
    r->kind = kind;
    strcpy(r->msg.via[0].branch, "z9hG4bKtestbranch");
    strcpy(r->msg.callId, "call-1@example.com");
    strcpy(r->msg.from.tag, "fromtag1");
    strcpy(r->msg.userAgent, "KESTO 3.7");
    SIPParseNameAddrText(&r->msg.to.uri, "\"Bob\" <sip:bob@biloxi.example.com>");
    r->msg.cseq = 1;
  }
  SIPRecord* operator->() { return record.get(); }
  std::string Text() { return std::string(record->prepared.text, record->prepared.length); }
};

std::string Header(const std::string& text, const char* name) {
  const char* value;
  size_t length;
  if (!SIPScanMessageLine(text.data(), text.size(), name, &value, &length)) return "";
  return std::string(value, length);
}

struct KindCase {
  const char* method;
  int kind;
  const char* requestUri;
};

TEST(SipBuilder, EveryRequestKindIsBuiltAndParsesBackToItsFields) {
  const KindCase cases[] = {
      {"REGISTER", 0, "sip:example.com"},           {"REGISTER", 2, "sip:example.com"},
      {"INVITE", 4, "sip:bob@biloxi.example.com"},  {"BYE", 8, "sip:bob@biloxi.example.com"},
      {"MESSAGE", 10, "sip:bob@biloxi.example.com"}, {"NOTIFY", 12, "sip:bob@biloxi.example.com"},
      {"OPTIONS", 14, "sip:bob@biloxi.example.com"}, {"SUBSCRIBE", 16, "sip:example.com"},
      {"REFER", 18, "sip:bob@biloxi.example.com"},   {"INFO", 20, "sip:bob@biloxi.example.com"},
      {"PRACK", 24, "sip:bob@biloxi.example.com"},   {"CANCEL", 6, "sip:carol@chicago.example.com"},
  };
  for (const KindCase& c : cases) {
    Transaction t(c.kind);
    SIPParseNameAddrText(&t->msg.requestURI, "sip:carol@chicago.example.com");  // what a CANCEL repeats
    ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), c.method, nullptr, nullptr, 0), kSIPBuilt) << c.method;
    std::string text = t.Text();
    EXPECT_EQ(text.substr(0, text.find("\r\n")), std::string(c.method) + " " + c.requestUri + " SIP/2.0") << c.method;
    TestRecord back;
    ASSERT_EQ(SIPParseMessage(back.get(), text.data(), text.size(), nullptr, 0), kSIPParsed) << c.method;
    EXPECT_STREQ(back->msg.method, c.method);
    EXPECT_STREQ(back->msg.cseqMethod, c.method);
    EXPECT_EQ(back->msg.cseq, 1);
    EXPECT_STREQ(back->msg.callId, "call-1@example.com");
    EXPECT_STREQ(back->msg.from.uri.user, "alice");
    EXPECT_STREQ(back->msg.from.tag, "fromtag1");
    EXPECT_STREQ(back->msg.via[0].branch, "z9hG4bKtestbranch");
    EXPECT_STREQ(back->msg.via[0].sentBy, "%listener_ip%:%listener_port%");
    EXPECT_EQ(Header(text, "Max-Forwards"), "70") << c.method;
    EXPECT_EQ(text.size() >= 4 && text.compare(text.size() - 4, 4, "\r\n\r\n"), 0) << c.method;
    // The record describes the message that goes out.
    EXPECT_STREQ(t->msg.method, c.method);
  }
}

TEST(SipBuilder, AnInviteHasTheFixedHeaderOrderAndATablessBody) {
  Transaction t(4);
  const char sdp[] = "v=0\r\no=-\t1 1 IN IP4 %contact_ip%\r\ns=-\r\n";
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "INVITE", "application/sdp", sdp, strlen(sdp)), kSIPBuilt);
  EXPECT_EQ(t.Text(),
            "INVITE sip:bob@biloxi.example.com SIP/2.0\r\n"
            "Via: SIP/2.0/UDP %listener_ip%:%listener_port%;branch=z9hG4bKtestbranch;rport\r\n"
            "From: \"Alice\"<sip:alice@example.com>;tag=fromtag1\r\n"
            "To: \"Bob\"<sip:bob@biloxi.example.com>\r\n"
            "Contact: \"Alice\"<sip:alice@%contact_ip%:%contact_port%>\r\n"
            "Call-ID: call-1@example.com\r\n"
            "CSeq: 1 INVITE\r\n"
            "Max-Forwards: 70\r\n"
            "User-Agent: KESTO 3.7\r\n"
            "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY, MESSAGE, SUBSCRIBE, INFO\r\n"
            "Content-Type: application/sdp\r\n"
            "Content-Length: 38\r\n"
            "\r\n"
            "v=0\r\no=-1 1 IN IP4 %contact_ip%\r\ns=-\r\n");
  EXPECT_EQ(t->msg.body.length, 38u);
}

TEST(SipBuilder, ARegisterNeverCarriesRoutesAndAnUnregisterCarriesExpiresZero) {
  Transaction t(2);
  SIPParseNameAddrText(&t->msg.routes.entries[0].uri, "<sip:proxy.example.com;lr>");
  t->msg.routes.entries[0].used = 1;
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "REGISTER", nullptr, nullptr, 0), kSIPBuilt);
  std::string open = t.Text();
  EXPECT_EQ(open.find("Route:"), std::string::npos);
  EXPECT_EQ(Header(open, "Expires"), "3600");
  t->endReason = kSIPEndFinalized;
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "REGISTER", nullptr, nullptr, 0), kSIPBuilt);
  std::string closed = t.Text();
  EXPECT_EQ(Header(closed, "Expires"), "");
  EXPECT_EQ(Header(closed, "Contact"), "\"Alice\"<sip:alice@%contact_ip%:%contact_port%>;expires=0");
}

TEST(SipBuilder, AFreshRegisterNamesTheAccountInFromAndTo) {
  Transaction t(2);
  memset(&t->msg.to, 0, sizeof t->msg.to);
  strcpy(t->msg.to.tag, "ignored");
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "REGISTER", nullptr, nullptr, 0), kSIPBuilt);
  std::string text = t.Text();
  EXPECT_EQ(Header(text, "From"), "\"Alice\"<sip:alice@example.com>;tag=fromtag1");
  EXPECT_EQ(Header(text, "To"), "\"Alice\"<sip:alice@example.com>");
}

TEST(SipBuilder, LooseAndStrictRoutingPlaceTheTargetDifferently) {
  struct {
    const char* name;
    const char* firstRoute;
    const char* startLine;
    const char* routes;
  } cases[] = {
      {"loose", "<sip:p1.example.com;lr>", "INVITE sip:bob@biloxi.example.com SIP/2.0",
       "Route: <sip:p1.example.com;lr>\r\nRoute: <sip:p2.example.com;lr>\r\n"},
      {"strict", "<sip:p1.example.com>", "INVITE sip:p1.example.com SIP/2.0",
       "Route: <sip:p2.example.com;lr>\r\nRoute: \"Bob\"<sip:bob@biloxi.example.com>\r\n"},
  };
  for (const auto& c : cases) {
    Transaction t(4);
    SIPParseNameAddrText(&t->msg.routes.entries[0].uri, c.firstRoute);
    SIPParseNameAddrText(&t->msg.routes.entries[1].uri, "<sip:p2.example.com;lr>");
    t->msg.routes.entries[0].used = t->msg.routes.entries[1].used = 1;
    ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "INVITE", nullptr, nullptr, 0), kSIPBuilt) << c.name;
    std::string text = t.Text();
    EXPECT_EQ(text.substr(0, text.find("\r\n")), c.startLine) << c.name;
    EXPECT_NE(text.find(c.routes), std::string::npos) << c.name << "\n" << text;
  }
}

TEST(SipBuilder, AnAckNeedsItsInviteAndTakesItsAddressing) {
  Transaction ack(22);
  EXPECT_EQ(SIPPrepareRequestBuffer(ack.record.get(), "ACK", nullptr, nullptr, 0), kSIPBuildNoRequest);
  Transaction invite(4);
  invite->msg.cseq = 42;
  SIPParseNameAddrText(&invite->msg.requestURI, "sip:bob@10.0.0.9:5070");
  strcpy(invite->msg.via[0].branch, "z9hG4bKinvite");
  strcpy(invite->msg.callId, "invite-call");
  ack->request = invite.record.get();
  strcpy(ack->msg.to.tag, "totag9");
  ASSERT_EQ(SIPPrepareRequestBuffer(ack.record.get(), "ACK", nullptr, nullptr, 0), kSIPBuilt);
  std::string text = ack.Text();
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "ACK sip:bob@10.0.0.9:5070 SIP/2.0");
  EXPECT_EQ(Header(text, "CSeq"), "42 ACK");
  EXPECT_EQ(Header(text, "Call-ID"), "invite-call");
  EXPECT_NE(Header(text, "Via").find("branch=z9hG4bKinvite"), std::string::npos);
  EXPECT_EQ(Header(text, "To"), "\"Bob\"<sip:bob@biloxi.example.com>;tag=totag9");
}

TEST(SipBuilder, OnlyAcksAndCancelsCarryTheToTag) {
  struct {
    const char* method;
    int kind;
    bool tagged;
  } cases[] = {{"INVITE", 4, false}, {"CANCEL", 6, true}, {"BYE", 8, false}};
  for (const auto& c : cases) {
    Transaction t(c.kind);
    strcpy(t->msg.to.tag, "remote");
    SIPParseNameAddrText(&t->msg.requestURI, "sip:bob@biloxi.example.com");
    ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), c.method, nullptr, nullptr, 0), kSIPBuilt);
    EXPECT_EQ(Header(t.Text(), "To").find(";tag=remote") != std::string::npos, c.tagged) << c.method;
    EXPECT_EQ(Header(t.Text(), "Contact").empty(), c.kind == 6) << c.method;
  }
}

TEST(SipBuilder, OverTcpTheViaAndContactNameTcp) {
  Transaction t(4);
  t.account->connection.transport = kSIPTransportTCP;
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "INVITE", nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(Header(t.Text(), "Via").rfind("SIP/2.0/TCP ", 0), 0u);
  EXPECT_EQ(Header(t.Text(), "Contact"), "\"Alice\"<sip:alice@%contact_ip%:%contact_port%;transport=tcp>");
}

TEST(SipBuilder, TheRequestTargetIsTheUriGivenOrTheAccountItself) {
  Transaction t(14);
  SIPURI carol;
  SIPParseNameAddrText(&carol, "sip:carol@chicago.example.com;transport=tcp");
  SIPSetRequestTarget(t.record.get(), &carol);
  EXPECT_STREQ(t->msg.to.uri.displayName, "carol");
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "OPTIONS", nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(t.Text().substr(0, t.Text().find("\r\n")), "OPTIONS sip:carol@chicago.example.com;transport=tcp SIP/2.0");
  strcpy(t.account->account.user, "a;b");
  SIPSetRequestTarget(t.record.get(), nullptr);
  EXPECT_STREQ(t->msg.to.uri.user, "a%3Bb");
  EXPECT_STREQ(t->msg.to.uri.host, "example.com");
  EXPECT_STREQ(t->msg.to.uri.displayName, "");
}

TEST(SipBuilder, AReferNamesTheAccountAsReferrer) {
  Transaction t(18);
  SIPParseNameAddrText(&t->msg.referTo.uri, "<sip:carol@chicago.example.com>");
  strcpy(t->msg.referTo.value, "method=INVITE");
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "REFER", nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(Header(t.Text(), "Refer-To"), "<sip:carol@chicago.example.com;method=INVITE>");
  EXPECT_EQ(Header(t.Text(), "Referred-By"), "\"Alice\"<sip:alice@example.com>");
}

TEST(SipBuilder, SubscriptionHeadersGoWithTheirMethods) {
  Transaction notify(12);
  strcpy(notify->msg.event.event, "refer");
  strcpy(notify->msg.subscriptionState.state, "active");
  strcpy(notify->msg.subscriptionState.expires, "3600");
  ASSERT_EQ(SIPPrepareRequestBuffer(notify.record.get(), "NOTIFY", "message/sipfrag", "SIP/2.0 200 OK", 14), kSIPBuilt);
  EXPECT_EQ(Header(notify.Text(), "Event"), "refer");
  EXPECT_EQ(Header(notify.Text(), "Subscription-State"), "active;expires=3600");
  Transaction subscribe(16);
  strcpy(subscribe->msg.event.event, "presence");
  strcpy(subscribe->msg.event.id, "7");
  strcpy(subscribe->msg.expires, "600");
  ASSERT_EQ(SIPPrepareRequestBuffer(subscribe.record.get(), "SUBSCRIBE", nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(Header(subscribe.Text(), "Event"), "presence;id=7");
  EXPECT_EQ(Header(subscribe.Text(), "Expires"), "600");
}

TEST(SipBuilder, AnInviteWithReplacesAndCustomHeaders) {
  Transaction t(4);
  strcpy(t->msg.replaces.callId, "425928@bobster.example.org");
  strcpy(t->msg.replaces.toTag, "7743");
  strcpy(t->msg.replaces.fromTag, "6472");
  t->msg.replaces.earlyOnly = 1;
  SIPHeaderListAdd(&t->requestHeaders, "X-First", "1");
  SIPHeaderListAdd(&t->requestHeaders, "X-Second", std::string(2000, 'v').c_str());
  SIPHeaderListAdd(&t->responseHeaders, "X-Response-Only", "no");
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "INVITE", nullptr, nullptr, 0), kSIPBuilt);
  std::string text = t.Text();
  EXPECT_EQ(Header(text, "Replaces"), "425928@bobster.example.org;to-tag=7743;from-tag=6472;early-only");
  EXPECT_LT(text.find("X-First: 1"), text.find("X-Second: "));
  EXPECT_EQ(Header(text, "X-Second").size(), 1024u);
  EXPECT_EQ(Header(text, "X-Response-Only"), "");
}

TEST(SipBuilder, RequestsWithCredentialsCarryTheAuthorizationLine) {
  Transaction t(2);
  SIPDigestChallenge& d = t->msg.digest;
  strcpy(d.scheme, "Digest");
  strcpy(d.realm, "example.com");
  strcpy(d.nonce, "abc");
  strcpy(d.qop, "auth");
  strcpy(d.algorithm, "MD5");
  strcpy(d.username, "alice");
  strcpy(d.password, "secret");
  strcpy(d.headerName, "Authorization");
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "REGISTER", nullptr, nullptr, 0), kSIPBuilt);
  std::string auth = Header(t.Text(), "Authorization");
  EXPECT_EQ(auth.rfind("Digest username=\"alice\",realm=\"example.com\",nonce=\"abc\",response=\"", 0), 0u);
  EXPECT_NE(auth.find("uri=\"sip:example.com\""), std::string::npos);
  EXPECT_NE(auth.find(",nc=00000001"), std::string::npos);
  EXPECT_LT(t.Text().find("Authorization:"), t.Text().find("User-Agent:"));
}

// A received request parsed into a record, answered.
struct Answered {
  TestRecord account;
  TestRecord record;
  explicit Answered(int kind) {
    SetTestAccount(account.get());
    record->based = account.get();
    record->kind = kind;
    std::string text =
        "INVITE sip:alice@example.com SIP/2.0\r\n"
        "Via: SIP/2.0/UDP proxy.example.com;branch=z9hG4bKp;received=10.0.0.1;rport=5080;maddr=10.9.9.9;ttl=3\r\n"
        "Via: SIP/2.0/UDP bob.example.com:5062;branch=z9hG4bKb\r\n"
        "Record-Route: <sip:proxy.example.com;lr>\r\n"
        "From: \"Bob\" <sip:bob@example.com>;tag=b1\r\nTo: <sip:alice@example.com>\r\n"
        "Call-ID: in-1\r\nCSeq: 7 INVITE\r\nContact: <sip:bob@10.0.0.2:5062>\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(SIPParseMessage(record.get(), text.data(), text.size(), nullptr, 0), kSIPParsed);
    strcpy(record->msg.to.tag, "a1");
  }
  std::string Text() { return std::string(record->prepared.text, record->prepared.length); }
};

TEST(SipBuilder, ResponsesEchoEveryViaAndRecordRouteOnlyFor18xAnd2xx) {
  struct {
    int code;
    const char* reason;
    bool recordRoute;
  } cases[] = {{100, "Trying", false}, {183, "Session Progress", true}, {200, "OK", true}, {486, "Busy Here", false},
               {299, "Undefined", true}};
  for (const auto& c : cases) {
    Answered a(3);
    ASSERT_EQ(SIPPrepareResponseBuffer(a.record.get(), c.code, nullptr, nullptr, nullptr, 0), kSIPBuilt) << c.code;
    std::string text = a.Text();
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "SIP/2.0 " + std::to_string(c.code) + " " + c.reason);
    EXPECT_NE(text.find("Via: SIP/2.0/UDP proxy.example.com;branch=z9hG4bKp;received=10.0.0.1;rport=5080\r\n"
                        "Via: SIP/2.0/UDP bob.example.com:5062;branch=z9hG4bKb\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Record-Route: <sip:proxy.example.com;lr>") != std::string::npos, c.recordRoute) << c.code;
    EXPECT_EQ(Header(text, "To"), "\"\"<sip:alice@example.com>;tag=a1");
    for (const char* absent : {"User-Agent", "Max-Forwards", "Authorization"}) EXPECT_EQ(Header(text, absent), "");
    EXPECT_STREQ(a.record->msg.reason, c.reason);
  }
}

TEST(SipBuilder, AllowGoesInto405AndOptionsAnswers) {
  Answered refused(3);
  ASSERT_EQ(SIPPrepareResponseBuffer(refused.record.get(), 405, nullptr, nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_NE(Header(refused.Text(), "Allow"), "");
  Answered busy(3);
  ASSERT_EQ(SIPPrepareResponseBuffer(busy.record.get(), 486, nullptr, nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(Header(busy.Text(), "Allow"), "");
  Answered options(13);
  strcpy(options.record->msg.cseqMethod, "INVITE");
  ASSERT_EQ(SIPPrepareResponseBuffer(options.record.get(), 200, nullptr, nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(Header(options.Text(), "Accept"), "application/sdp");
  EXPECT_EQ(Header(options.Text(), "Accept-Language"), "en");
}

TEST(SipBuilder, ARedirectNamesTheTargetWithADefaultScheme) {
  Answered a(3);
  memset(&a.record->msg.contact, 0, sizeof a.record->msg.contact);
  SIPParseNameAddrText(&a.record->msg.contact.uri, "carol@chicago.example.com");
  ASSERT_EQ(SIPPrepareResponseBuffer(a.record.get(), 302, nullptr, nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(Header(a.Text(), "Contact"), "\"\"<sip:carol@chicago.example.com>");
}

SIPDialog MakeDialog() {
  SIPDialog d;
  memset(&d, 0, sizeof d);
  strcpy(d.callId, "dialog-1");
  SIPParseNameAddrText(&d.localURI, "sip:alice@example.com");
  strcpy(d.localTag, "L1");
  strcpy(d.localDisplayName, "Alice");
  SIPParseNameAddrText(&d.remoteURI, "sip:bob@example.com");
  strcpy(d.remoteTag, "R1");
  SIPParseNameAddrText(&d.remoteTarget, "sip:bob@10.0.0.2:5062");
  d.lastRemoteCSeq = 7;
  strcpy(d.lastRemoteCSeqMethod, "INVITE");
  return d;
}

TEST(SipBuilder, DialogRequestsCountTheirCSeqFromAFreshStartExceptAckAndCancel) {
  Transaction t(8);
  t->msg.cseq = 10;
  SIPDialog d = MakeDialog();
  ASSERT_EQ(SIPPrepareDialogRequestBuffer(t.record.get(), &d, "BYE", nullptr, nullptr, 0), kSIPBuilt);
  int first = t->msg.cseq;
  EXPECT_GE(first, 11);
  EXPECT_LE(first, 266);
  EXPECT_EQ(t->messageMode, kSIPModeDialogRequest);
  std::string text = t.Text();
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "BYE sip:bob@10.0.0.2:5062 SIP/2.0");
  EXPECT_EQ(Header(text, "From"), "\"Alice\"<sip:alice@example.com>;tag=L1");
  EXPECT_EQ(Header(text, "To"), "\"\"<sip:bob@example.com>;tag=R1");
  EXPECT_EQ(Header(text, "Call-ID"), "dialog-1");
  EXPECT_EQ(strlen(t->msg.via[0].branch), 39u);
  ASSERT_EQ(SIPPrepareDialogRequestBuffer(t.record.get(), &d, "INFO", nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(t->msg.cseq, first + 1);
  ASSERT_EQ(SIPPrepareDialogRequestBuffer(t.record.get(), &d, "ACK", nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_EQ(t->msg.cseq, first + 1);
  EXPECT_EQ(Header(t.Text(), "CSeq"), std::to_string(first + 1) + " ACK");
}

TEST(SipBuilder, ADialogAnswerTakesTheRemoteTargetAndTheRemoteCSeq) {
  Answered a(3);
  SIPDialog d = MakeDialog();
  memset(&d.remoteTarget, 0, sizeof d.remoteTarget);
  d.routes = a.record->msg.routes;
  ASSERT_EQ(SIPPrepareDialogResponseBuffer(a.record.get(), &d, 200, nullptr, nullptr, nullptr, 0), kSIPBuilt);
  EXPECT_STREQ(d.remoteTarget.host, "10.0.0.2");
  EXPECT_EQ(Header(a.Text(), "CSeq"), "7 INVITE");
  EXPECT_NE(a.Text().find("Record-Route: <sip:proxy.example.com;lr>"), std::string::npos);
  EXPECT_NE(Header(a.Text(), "Allow"), "");
}

TEST(SipBuilder, AMessageLongerThanTheLimitIsRefusedAndThePreparedTextKept) {
  Transaction t(4);
  ASSERT_EQ(SIPPrepareRequestBuffer(t.record.get(), "INVITE", nullptr, nullptr, 0), kSIPBuilt);
  std::string before = t.Text();
  std::string body(kSIPMaxBuiltMessage, 'b');
  EXPECT_EQ(SIPPrepareRequestBuffer(t.record.get(), "INVITE", "text/plain", body.data(), body.size()),
            kSIPBuildTooLong);
  EXPECT_EQ(t.Text(), before);
}

TEST(SipBuilder, AnInsertedHeaderEndsTheHeaderBlockAndGrowsTheText) {
  Answered a(15);
  const char sipfrag[] = "SIP/2.0 200 OK\r\n\r\n";
  ASSERT_EQ(SIPPrepareResponseBuffer(a.record.get(), 500, nullptr, "message/sipfrag", sipfrag, strlen(sipfrag)),
            kSIPBuilt);
  std::string before = a.Text();
  ASSERT_EQ(SIPInsertMessageHeader(a.record.get(), "Retry-After: ", "%d", 2), 1);
  std::string after = a.Text();
  EXPECT_EQ(after.size(), before.size() + strlen("\r\nRetry-After: 2"));
  // The body holds an empty line too: the header goes before the last one.
  EXPECT_NE(after.find("SIP/2.0 200 OK\r\nRetry-After: 2\r\n\r\n"), std::string::npos);
  EXPECT_EQ(SIPInsertMessageHeader(a.record.get(), "X-Empty: ", "%s", ""), 0);
  EXPECT_EQ(a.Text(), after);
  // Values are cut at 1024 characters; inserting them again and again
  // stops at the message limit.
  std::string huge(4000, 'x');
  int inserted = 0;
  while (inserted < 20 && SIPInsertMessageHeader(a.record.get(), "X-Huge: ", "%s", huge.c_str())) ++inserted;
  EXPECT_EQ(inserted, static_cast<int>((kSIPMaxBuiltMessage - after.size()) / (strlen("\r\nX-Huge: ") + 1024)));
  EXPECT_LE(a.record->prepared.length, kSIPMaxBuiltMessage);
}

}  // namespace
