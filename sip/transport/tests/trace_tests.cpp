// SIP trace records in the process log: named after the transaction a
// message belongs to, or after the message itself when none matches.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "sip/parser.h"
#include "sip/trace.h"
#include "sip/transaction_list.h"
#include "sip_runtime_support.h"

namespace {

const char kInvite[] =
    "INVITE sip:alice@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 192.0.2.7:5060;branch=z9hG4bK-trace-1\r\n"
    "From: <sip:bob@example.com>;tag=b\r\nTo: <sip:alice@example.com>\r\nCall-ID: trace-%s-1\r\n"
    "CSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n";
const char kResponse[] =
    "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 10.0.0.2:5070;branch=z9hG4bK-nobody\r\n"
    "From: <sip:alice@example.com>;tag=a\r\nTo: <sip:bob@example.com>;tag=b\r\nCall-ID: stray-1\r\n"
    "CSeq: 4 OPTIONS\r\nContent-Length: 0\r\n\r\n";

SIPTransactionHolder ParsedInto(const SIPTransactionHolder& based, const char* text, int32_t mode) {
  SIPTransactionHolder record = SIPTransactionCreate(based);
  EXPECT_EQ(SIPParseMessage(&record->record, text, strlen(text), nullptr, 0), kSIPParsed);
  record->record.messageMode = mode;
  return record;
}

std::string Hex(const void* pointer) {
  char text[9];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

TEST(SipTrace, AnIncomingRequestIsRecordedUnderItsTransactionWithTheListenerAsTarget) {
  SIPCapturedLog log;
  SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
  strcpy(account->record.connection.listenerAddressText, "10.0.0.2");
  account->record.connection.listenerPort = 5070;
  SIPTransactionHolder server = SIPTransactionCreate(account);
  SIPPushTransaction(server, 3, SIPTransactionHolder(), SIPTransactionHolder());
  ASSERT_EQ(SIPParseMessage(&server->companion->record, kInvite, strlen(kInvite), nullptr, 0), kSIPParsed);
  strcpy(server->record.msg.callId, "trace-%s-1");
  SIPTransactionHolder message = ParsedInto(account, kInvite, kSIPModeRequest);

  EXPECT_EQ(SIPWriteTraceRecord("SIP:Message", kInvite, "", 0, "", "Direction=\"IN\"", "192.0.2.7", 5060, 0, message),
            1);
  std::string expected = "<<\\Type=\"SIP:Message\", Account=\"\", Category=\"INVITE\", Id=\"" + Hex(server.Get()) +
                         "\", BaseId=\"" + Hex(account.Get()) + "\", RootId=\"";
  EXPECT_EQ(log.Count(expected), 1u) << log.Contents();
  EXPECT_EQ(log.Count("GroupId=\"trace-%s-1\", Target=\"10.0.0.2:5070\", Source=\"192.0.2.7:5060\""), 1u);
  EXPECT_EQ(log.Count("< INVITE sip:alice@example.com SIP/2.0"), 1u);
  SIPDestroyTransaction(server);
}

TEST(SipTrace, AResponseMatchingNoTransactionIsRecordedUnderItsOwnRecord) {
  SIPCapturedLog log;
  SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
  SIPTransactionHolder response = ParsedInto(account, kResponse, kSIPModeResponse);
  EXPECT_EQ(SIPWriteTraceRecord("SIP:Message", kResponse, "", 0, "", "Direction=\"IN\"", "192.0.2.9", 5060,
                                kSIPTracePost, response),
            1);
  EXPECT_EQ(log.Count("Id=\"" + Hex(response.Get()) + "\", BaseId=\"" + Hex(account.Get()) + "\""), 1u)
      << log.Contents();
  EXPECT_EQ(SIPWriteTraceRecord("SIP:Message", "", "", 0, "", "", "", 0, 0, SIPTransactionHolder()), 0);
}

}  // namespace
