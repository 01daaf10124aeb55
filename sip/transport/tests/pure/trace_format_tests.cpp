// The text of SIP trace records: message, event, alert and look-up
// layouts, addresses by direction, message texts kept as they are.
#include <gtest/gtest.h>

#include <string>

#include "sip/trace_format.h"

namespace {

SIPTraceRecordFields Base() {
  SIPTraceRecordFields f;
  f.id = 0x00A1B2C3;
  f.baseId = 0x00000010;
  f.rootId = 0x12340001;
  f.groupId = "call-1@192.0.2.7";
  f.localHost = "10.0.0.2";
  f.localPort = 5070;
  f.remoteHost = "192.0.2.7";
  f.remotePort = 5060;
  f.thread = 0x2A;
  f.day = 11;
  f.month = 12;
  f.year = 2026;
  f.hour = 6;
  f.minute = 5;
  f.second = 4;
  f.millisecond = 3;
  f.counterSeconds = 1234.4;
  return f;
}

const char kClosing[] =
    "\r\nThread=\"0000002A\", Date=\"11/12/2026\", Time=\"06:05:04:003\", HRCounter=\"1234\"/>>";

struct Case {
  const char* name;
  SIPTraceRecordFields fields;
  std::string expected;
};

SIPTraceRecordFields With(void (*change)(SIPTraceRecordFields*)) {
  SIPTraceRecordFields f = Base();
  change(&f);
  return f;
}

TEST(SipTraceFormat, RecordsFollowTheLayoutOfTheirTypeAndDirection) {
  const Case cases[] = {
      {"an incoming INVITE names the listener as target",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:Message";
         f->attributes = "Direction=\"IN\"";
         f->account = "alice@example.com";
         f->category = "INVITE";
         f->header = "INVITE sip:alice@example.com SIP/2.0\r\nCall-ID: call-1@192.0.2.7\r\n";
       }),
       "<<\\Type=\"SIP:Message\", Account=\"alice@example.com\", Category=\"INVITE\", Id=\"00A1B2C3\", "
       "BaseId=\"00000010\", RootId=\"12340001\", GroupId=\"call-1@192.0.2.7\", Target=\"10.0.0.2:5070\", "
       "Source=\"192.0.2.7:5060\", ResultCode=\"00000000\", ResultMessage=\"\", Direction=\"IN\"\r\n"
       "< INVITE sip:alice@example.com SIP/2.0\r\nCall-ID: call-1@192.0.2.7\r\n" + std::string(kClosing)},
      {"an outgoing probe REGISTER with a body names the listener as source",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:Message";
         f->attributes = "Direction=\"OUT\"";
         f->category = "REGISTER";
         f->probe = true;
         f->header = "REGISTER sip:example.com SIP/2.0";
         f->body = "v=0";
       }),
       "<<\\Type=\"SIP:Message\", Account=\"\", Category=\"REGISTER\", Id=\"00A1B2C3\", BaseId=\"00000010\", "
       "RootId=\"12340001\", GroupId=\"call-1@192.0.2.7\", Source=\"10.0.0.2:5070\", Target=\"192.0.2.7:5060\", "
       "ResultCode=\"00000000\", ResultMessage=\"\", Direction=\"OUT\", Mode=\"Probe\"\r\n"
       "> REGISTER sip:example.com SIP/2.0\r\nv=0" + std::string(kClosing)},
      {"a message without category has no group",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:Message";
         f->attributes = "Label=\"Network Connection Failure\", Direction=\"OUT\"";
         f->resultCode = 2;
         f->resultMessage = "Error Connecting to Destination";
       }),
       "<<\\Type=\"SIP:Message\", Account=\"\", Category=\"\", Id=\"00A1B2C3\", BaseId=\"00000010\", "
       "RootId=\"12340001\", GroupId=\"\", Source=\"10.0.0.2:5070\", Target=\"192.0.2.7:5060\", "
       "ResultCode=\"00000002\", ResultMessage=\"Error Connecting to Destination\", "
       "Label=\"Network Connection Failure\", Direction=\"OUT\"" + std::string(kClosing)},
      {"an alert has no addresses and its label right after its type",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:Alert";
         f->attributes = "Label=\"Invalid Status\"";
       }),
       "<<\\Type=\"SIP:Alert\", Label=\"Invalid Status\", Id=\"00A1B2C3\", BaseId=\"00000010\", "
       "RootId=\"12340001\", GroupId=\"call-1@192.0.2.7\", ResultCode=\"00000000\", ResultMessage=\"\"" +
           std::string(kClosing)},
      {"an event carries its label and direction first",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:Event";
         f->attributes = "Label=\"ZEQOnSIPRinging\", Direction=\"OUT\"";
         f->header = "180";
       }),
       "<<\\Type=\"SIP:Event\", Label=\"ZEQOnSIPRinging\", Direction=\"OUT\", Id=\"00A1B2C3\", "
       "BaseId=\"00000010\", RootId=\"12340001\", GroupId=\"call-1@192.0.2.7\", ResultCode=\"00000000\", "
       "ResultMessage=\"\"\r\n180" + std::string(kClosing)},
      {"a destination look-up names only its target",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:GetDestination";
         f->attributes = "Direction=\"OUT\"";
       }),
       "<<\\Type=\"SIP:GetDestination\", Id=\"00A1B2C3\", BaseId=\"00000010\", RootId=\"12340001\", "
       "GroupId=\"call-1@192.0.2.7\", Target=\"192.0.2.7:5060\", ResultCode=\"00000000\", ResultMessage=\"\", "
       "Direction=\"OUT\"" + std::string(kClosing)},
      {"an incoming stream report names its source",
       With([](SIPTraceRecordFields* f) {
         f->type = "SIP:RTPStreamInfo";
         f->attributes = "Rate=\"8000\", Direction=\"in\"";
       }),
       "<<\\Type=\"SIP:RTPStreamInfo\", Id=\"00A1B2C3\", BaseId=\"00000010\", RootId=\"12340001\", "
       "GroupId=\"call-1@192.0.2.7\", Source=\"192.0.2.7:5060\", ResultCode=\"00000000\", ResultMessage=\"\", "
       "Rate=\"8000\", Direction=\"in\"" + std::string(kClosing)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SIPFormatTraceRecord(c.fields), c.expected);
  }
}

TEST(SipTraceFormat, PercentSignsAndFormatDirectivesFromPeersAreWrittenAsTheyAre) {
  SIPTraceRecordFields f = Base();
  f.type = "SIP:Message";
  f.attributes = "Direction=\"IN\"";
  f.category = "MESSAGE";
  f.groupId = "%s%n%x@peer";
  f.header = "MESSAGE sip:alice@example.com SIP/2.0";
  f.body = "100% sure %d";
  std::string text = SIPFormatTraceRecord(f);
  EXPECT_NE(text.find("GroupId=\"%s%n%x@peer\""), std::string::npos) << text;
  EXPECT_NE(text.find("\r\n100% sure %d\r\n"), std::string::npos) << text;
}

}  // namespace
