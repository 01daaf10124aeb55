// Dialogs and subscriptions without the platform: which dialog a message
// belongs to, how a dialog is filled from the transaction that makes it,
// the CSeq rule with the one answer a refused request gets, and which
// subscription a transaction belongs to.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "allocation_sweep.h"
#include "sip/builder.h"
#include "sip/dialog_rules.h"
#include "sip/parser.h"
#include "sip_test_support.h"

namespace {

using sipagent::DialogAnswer;
using sipagent::SubscriptionMatch;

SIPDialog Dialog(const char* callId, const char* localTag, const char* remoteTag) {
  SIPDialog d;
  memset(&d, 0, sizeof d);
  strcpy(d.callId, callId);
  strcpy(d.localTag, localTag);
  strcpy(d.remoteTag, remoteTag);
  SIPParseNameAddrText(&d.localURI, "sip:alice@example.com");
  SIPParseNameAddrText(&d.remoteURI, "sip:bob@example.com");
  SIPParseNameAddrText(&d.remoteTarget, "sip:bob@10.0.0.2:5062");
  return d;
}

TEST(SipDialogRules, ADialogIsFoundByCallIdAndTagsInTheOrderOfTheTransactionsSide) {
  const SIPDialog d = Dialog("Call-7@Example.com", "LocalTag", "RemoteTag");
  struct {
    const char* name;
    int mode;
    const char* callId;
    const char* tagA;
    const char* tagB;
    bool matches;
  } cases[] = {
      {"server: own tag first", 0, "Call-7@Example.com", "LocalTag", "RemoteTag", true},
      {"server: tags swapped", 0, "Call-7@Example.com", "RemoteTag", "LocalTag", false},
      {"client: remote tag first", 1, "Call-7@Example.com", "RemoteTag", "LocalTag", true},
      {"client: tags swapped", 1, "Call-7@Example.com", "LocalTag", "RemoteTag", false},
      {"unknown mode counts as client", -1, "Call-7@Example.com", "RemoteTag", "LocalTag", true},
      {"letter case of Call-ID and tags", 0, "CALL-7@EXAMPLE.COM", "localtag", "REMOTETAG", true},
      {"another Call-ID", 0, "Call-8@Example.com", "LocalTag", "RemoteTag", false},
      {"a Call-ID that only begins alike", 0, "Call-7@Example.co", "LocalTag", "RemoteTag", false},
      {"a missing remote tag", 0, "Call-7@Example.com", "LocalTag", "", false},
      {"null texts", 0, nullptr, nullptr, nullptr, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sipagent::DialogMatches(c.mode, d, c.callId, c.tagA, c.tagB), c.matches) << c.name;
}

// A 200 to an INVITE as the client sees it, and the INVITE as the server
// sees it: three Record-Route entries, the middle one empty.
struct Made {
  TestRecord account;
  TestRecord record;
  explicit Made(const char* text) {
    SetTestAccount(account.get());
    record->based = account.get();
    EXPECT_EQ(SIPParseMessage(record.get(), text, strlen(text), nullptr, 0), kSIPParsed);
    // An entry the parser left empty (a route to this system) is not used.
    SIPRouteSet& r = record->msg.routes;
    r.entries[3] = r.entries[2];
    r.entries[2] = r.entries[1];
    memset(&r.entries[1], 0, sizeof r.entries[1]);
  }
};

const char kResponse[] =
    "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 10.0.0.1;branch=z9hG4bKa\r\n"
    "Record-Route: <sip:p1.example.com;lr>\r\nRecord-Route: <sip:p2.example.com;lr>\r\n"
    "Record-Route: <sip:p3.example.com;lr>\r\n"
    "From: \"Alice\" <sip:alice@example.com>;tag=a1\r\nTo: \"Bob\" <sip:bob@example.com>;tag=b1\r\n"
    "Call-ID: c-1\r\nCSeq: 12 INVITE\r\nContact: <sip:bob@10.0.0.2:5062>\r\nContent-Length: 0\r\n\r\n";
const char kRequest[] =
    "INVITE sip:alice@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.2;branch=z9hG4bKb\r\n"
    "Record-Route: <sip:p1.example.com;lr>\r\nRecord-Route: <sip:p2.example.com;lr>\r\n"
    "Record-Route: <sip:p3.example.com;lr>\r\n"
    "From: \"Bob\" <sip:bob@example.com>;tag=b1\r\nTo: <sip:alice@example.com>;tag=a9\r\n"
    "Call-ID: c-2\r\nCSeq: 44 INVITE\r\nContact: <sip:bob@10.0.0.2:5062>\r\nContent-Length: 0\r\n\r\n";

std::string Hosts(const SIPRouteSet& routes) {
  std::string hosts;
  for (const SIPRouteEntry& e : routes.entries)
    if (e.used) hosts += std::string(e.uri.host) + " ";
  return hosts;
}

TEST(SipDialogRules, AClientDialogTakesTheRouteSetReversedAndTheFromAsLocalParty) {
  Made t(kResponse);
  t.record->msg.cseq = 12;
  SIPDialog d;
  memset(&d, 0, sizeof d);
  ASSERT_TRUE(sipagent::FillDialog(&d, *t.record.get(), sipagent::kUAModeClient));
  EXPECT_EQ(Hosts(d.routes), "p3.example.com p2.example.com p1.example.com ");
  EXPECT_STREQ(d.callId, "c-1");
  EXPECT_STREQ(d.localTag, "a1");
  EXPECT_STREQ(d.localDisplayName, "Alice");
  EXPECT_STREQ(d.localURI.user, "alice");
  EXPECT_EQ(d.localCSeq, 12);
  EXPECT_STREQ(d.remoteTag, "b1");
  EXPECT_STREQ(d.remoteDisplayName, "Bob");
  EXPECT_EQ(d.lastRemoteCSeq, 0);
  EXPECT_STREQ(d.remoteTarget.host, "10.0.0.2");
}

TEST(SipDialogRules, AServerDialogTakesTheRouteSetAsReceivedAndTheRemoteCSeq) {
  Made t(kRequest);
  SIPDialog d;
  memset(&d, 0, sizeof d);
  ASSERT_TRUE(sipagent::FillDialog(&d, *t.record.get(), sipagent::kUAModeServer));
  EXPECT_EQ(Hosts(d.routes), "p1.example.com p2.example.com p3.example.com ");
  EXPECT_STREQ(d.localTag, "a9");
  EXPECT_EQ(d.localCSeq, 0);
  EXPECT_STREQ(d.remoteTag, "b1");
  EXPECT_STREQ(d.remoteDisplayName, "Bob");
  EXPECT_EQ(d.lastRemoteCSeq, 44);
  EXPECT_STREQ(d.lastRemoteCSeqMethod, "INVITE");
}

TEST(SipDialogRules, ATransactionWithoutAToTagMakesNoDialog) {
  Made t(kRequest);
  t.record->msg.to.tag[0] = 0;
  SIPDialog d = Dialog("untouched", "x", "y");
  EXPECT_FALSE(sipagent::FillDialog(&d, *t.record.get(), sipagent::kUAModeServer));
  EXPECT_STREQ(d.callId, "untouched");
}

TEST(SipDialogRules, TheCSeqRuleRefusesOnlyANumberBelowTheLastAccepted) {
  struct {
    const char* name;
    uint32_t last;
    uint32_t cseq;
    bool accepted;
  } cases[] = {
      {"first request of the dialog", 0, 1, true},
      {"first request with a high number", 0, 0xFFFFFFF0u, true},
      {"equal number (a retransmission)", 7, 7, true},
      {"higher number", 7, 8, true},
      {"lower number", 7, 6, false},
      {"numbers compared unsigned", 0x80000001u, 5, false},
      {"a number above 2^31 after a small one", 5, 0x80000001u, true},
  };
  for (const auto& c : cases) {
    SIPDialog d = Dialog("c", "l", "r");
    d.lastRemoteCSeq = static_cast<int32_t>(c.last);
    EXPECT_EQ(sipagent::RemoteCSeqAccepted(d, c.cseq), c.accepted) << c.name;
  }
}

// A BYE received in the dialog of kRequest's INVITE, with its CSeq number.
struct ReceivedBye {
  TestRecord account;
  TestRecord record;
  explicit ReceivedBye(int cseq) {
    SetTestAccount(account.get());
    record->based = account.get();
    record->kind = 9;  // BYE server
    std::string text = "BYE sip:alice@10.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.2;branch=z9hG4bKbye\r\n"
                       "From: <sip:bob@example.com>;tag=b1\r\nTo: <sip:alice@example.com>;tag=a9\r\n"
                       "Call-ID: c-2\r\nCSeq: " + std::to_string(cseq) + " BYE\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(SIPParseMessage(record.get(), text.data(), text.size(), nullptr, 0), kSIPParsed);
  }
  std::string Text() { return std::string(record->prepared.text, record->prepared.length); }
  std::string Line(const char* name) {
    const char* value;
    size_t length;
    std::string text = Text();
    if (!SIPScanMessageLine(text.data(), text.size(), name, &value, &length)) return "";
    return std::string(value, length);
  }
};

TEST(SipDialogRules, ARequestBelowTheDialogsCSeqGetsOnlyTheRefusalAndChangesNothing) {
  ReceivedBye bye(43);
  SIPDialog d = Dialog("c-2", "a9", "b1");
  sipagent::NoteRemoteCSeq(&d, 44, "INVITE");
  SIPDialog before = d;
  EXPECT_EQ(sipagent::PrepareDialogAnswer(bye.record.get(), &d, 200, nullptr, nullptr, nullptr, 0),
            DialogAnswer::kRefused);
  std::string text = bye.Text();
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "SIP/2.0 500 Server Internal Error");
  EXPECT_EQ(text.find("200 OK"), std::string::npos);
  EXPECT_EQ(bye.Line("CSeq"), "43 BYE");  // the request's own, so the peer matches it
  EXPECT_EQ(memcmp(&d, &before, sizeof d), 0);
}

TEST(SipDialogRules, AnAcceptedRequestIsAnsweredAndItsCSeqBecomesTheDialogs) {
  for (int cseq : {44, 45}) {
    ReceivedBye bye(cseq);
    SIPDialog d = Dialog("c-2", "a9", "b1");
    sipagent::NoteRemoteCSeq(&d, 44, "INVITE");
    EXPECT_EQ(sipagent::PrepareDialogAnswer(bye.record.get(), &d, 200, nullptr, nullptr, nullptr, 0),
              DialogAnswer::kBuilt)
        << cseq;
    std::string text = bye.Text();
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "SIP/2.0 200 OK") << cseq;
    EXPECT_EQ(bye.Line("CSeq"), std::to_string(cseq) + " BYE");
    EXPECT_EQ(d.lastRemoteCSeq, cseq);
    EXPECT_STREQ(d.lastRemoteCSeqMethod, "BYE");
  }
}

TEST(SipDialogRules, AnAnswerThatCannotBeBuiltLeavesTheDialogAsItWas) {
  ReceivedBye bye(50);
  SIPDialog d = Dialog("c-2", "a9", "b1");
  sipagent::NoteRemoteCSeq(&d, 44, "INVITE");
  std::string body(kSIPMaxBuiltMessage, 'x');
  EXPECT_EQ(sipagent::PrepareDialogAnswer(bye.record.get(), &d, 200, nullptr, "text/plain", body.data(), body.size()),
            DialogAnswer::kNotBuilt);
  EXPECT_EQ(d.lastRemoteCSeq, 44);
  EXPECT_STREQ(d.lastRemoteCSeqMethod, "INVITE");
}

TEST(SipDialogRules, AnsweringInADialogLeavesNothingBehindWhenAllocationsFail) {
  for (int cseq : {43, 45}) {
    AllocationSweep sweep = SweepAllocationFailures([cseq](AllocationFault& fault) {
      ReceivedBye bye(cseq);
      SIPDialog d = Dialog("c-2", "a9", "b1");
      sipagent::NoteRemoteCSeq(&d, 44, "INVITE");
      fault.Arm();
      try {
        DialogAnswer answer =
            sipagent::PrepareDialogAnswer(bye.record.get(), &d, 200, nullptr, nullptr, nullptr, 0);
        fault.Disarm();
        return answer != DialogAnswer::kNotBuilt;
      } catch (const ZEQOutOfMemory&) {
        fault.Disarm();
        EXPECT_EQ(d.lastRemoteCSeq, 44) << "a failed answer changed the dialog";
        throw;
      }
    });
    EXPECT_GT(sweep.allocations, 0u) << cseq;
  }
}

// A NOTIFY and a SUBSCRIBE response as transactions to be matched.
struct Matched {
  TestRecord record;
  Matched(const char* method, const char* callId, const char* fromTag, const char* toTag, int cseq,
          const char* event, const char* eventId) {
    strcpy(record->msg.method, method);
    strcpy(record->msg.callId, callId);
    strcpy(record->msg.from.tag, fromTag);
    strcpy(record->msg.to.tag, toTag);
    record->msg.cseq = cseq;
    strcpy(record->msg.event.event, event);
    strcpy(record->msg.event.id, eventId);
  }
};

TEST(SipDialogRules, ASubscriptionIsMatchedByItsDialogOrByTheRequestThatMadeIt) {
  const sipagent::SubscriptionKey withoutDialog = {false, false, "presence", "", 3, "sub-1", "f1"};
  const sipagent::SubscriptionKey withDialog = {true, false, "presence", "", 3, "sub-1", "f1"};
  struct {
    const char* name;
    const sipagent::SubscriptionKey* key;
    Matched message;
    bool sameDialog;
    SubscriptionMatch match;
  } cases[] = {
      {"with a dialog: the same dialog", &withDialog, {"NOTIFY", "x", "", "", 1, "", ""}, true,
       SubscriptionMatch::kCandidate},
      {"with a dialog: another dialog", &withDialog, {"NOTIFY", "sub-1", "", "f1", 3, "", ""}, false,
       SubscriptionMatch::kNone},
      {"NOTIFY: To tag is the From tag", &withoutDialog, {"NOTIFY", "sub-1", "n9", "f1", 9, "", ""}, false,
       SubscriptionMatch::kCandidate},
      {"NOTIFY without a To tag", &withoutDialog, {"NOTIFY", "sub-1", "n9", "", 9, "", ""}, false,
       SubscriptionMatch::kCandidate},
      {"NOTIFY with another To tag", &withoutDialog, {"NOTIFY", "sub-1", "n9", "f2", 9, "", ""}, false,
       SubscriptionMatch::kNone},
      {"NOTIFY: Call-ID differs in case", &withoutDialog, {"notify", "SUB-1", "n9", "f1", 9, "", ""}, false,
       SubscriptionMatch::kNone},
      {"response: CSeq, From tag and Call-ID", &withoutDialog, {"", "sub-1", "f1", "t5", 3, "", ""}, false,
       SubscriptionMatch::kAtOnce},
      {"response: another CSeq", &withoutDialog, {"", "sub-1", "f1", "t5", 4, "", ""}, false,
       SubscriptionMatch::kNone},
      {"response without a From tag", &withoutDialog, {"", "sub-1", "", "t5", 3, "", ""}, false,
       SubscriptionMatch::kAtOnce},
      {"response with another From tag", &withoutDialog, {"", "sub-1", "f9", "t5", 3, "", ""}, false,
       SubscriptionMatch::kNone},
  };
  for (auto& c : cases)
    EXPECT_EQ(sipagent::MatchSubscription(*c.key, *c.message.record.get(), c.sameDialog), c.match) << c.name;
}

TEST(SipDialogRules, ACandidateSubscriptionMustAlsoMatchTheEvent) {
  const sipagent::SubscriptionKey presence = {false, false, "presence", "7", 3, "sub-1", "f1"};
  const sipagent::SubscriptionKey refer = {true, true, "refer", "", 3, "sub-1", "f1"};
  struct {
    const char* name;
    const sipagent::SubscriptionKey* key;
    const char* event;
    const char* id;
    bool matches;
  } cases[] = {
      {"same package and id", &presence, "presence", "7", true},
      {"package in other letter case", &presence, "Presence", "7", true},
      {"another id", &presence, "presence", "8", false},
      {"no id", &presence, "presence", "", false},
      {"another package", &presence, "dialog", "7", false},
      {"REFER: always the refer package", &refer, "", "", true},
      {"REFER: a NOTIFY naming another package still counts as refer", &refer, "presence", "", true},
      {"REFER: an id the subscription has not", &refer, "refer", "5", false},
  };
  for (const auto& c : cases) {
    Matched m("NOTIFY", "sub-1", "n", "f1", 1, c.event, c.id);
    EXPECT_EQ(sipagent::SubscriptionEventMatches(*c.key, *m.record.get()), c.matches) << c.name;
  }
}

TEST(SipDialogRules, FieldCopiesAreCutToTheField) {
  char field[5];
  memset(field, 'z', sizeof field);
  sipagent::CopyField(field, sizeof field, "INVITE");
  EXPECT_STREQ(field, "INVI");
  sipagent::CopyField(field, sizeof field, nullptr);
  EXPECT_STREQ(field, "");
}

}  // namespace
