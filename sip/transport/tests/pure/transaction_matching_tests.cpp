// Matching received messages to transactions: requests and responses with
// RFC 3261 branches, and older messages matched by their dialog fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/parser.h"
#include "sip/transaction_matching.h"
#include "sip_test_support.h"

namespace {

// A request text with the given start, branch, tags and CSeq.
std::string Request(const char* method, const char* uri, const char* branch, const char* toTag, int cseq,
                    const char* cseqMethod, const char* sentBy = "192.0.2.7:5060") {
  std::string via = std::string("Via: SIP/2.0/UDP ") + sentBy + (branch[0] ? std::string(";branch=") + branch : "");
  return std::string(method) + " " + uri + " SIP/2.0\r\n" + via + "\r\n" +
         "From: <sip:bob@example.com>;tag=from1\r\nTo: <sip:alice@example.com>" +
         (toTag[0] ? std::string(";tag=") + toTag : "") + "\r\nCall-ID: call-1@192.0.2.7\r\nCSeq: " +
         std::to_string(cseq) + " " + cseqMethod + "\r\nContent-Length: 0\r\n\r\n";
}

std::string Response(int code, const char* branch, int cseq, const char* cseqMethod) {
  return "SIP/2.0 " + std::to_string(code) + " X\r\nVia: SIP/2.0/UDP 10.0.0.2:5070;branch=" + branch +
         "\r\nFrom: <sip:alice@example.com>;tag=a1\r\nTo: <sip:bob@example.com>;tag=b2\r\n"
         "Call-ID: out-1\r\nCSeq: " + std::to_string(cseq) + " " + cseqMethod + "\r\nContent-Length: 0\r\n\r\n";
}

void Parse(SIPRecord* record, const std::string& text) {
  ASSERT_EQ(SIPParseMessage(record, text.data(), text.size(), nullptr, 0), kSIPParsed) << text;
}

constexpr const char* kUri = "sip:alice@example.com";
constexpr const char* kB1 = "z9hG4bK-invite-1";

struct Case {
  const char* name;
  std::string companion;  // the transaction's own request
  const char* ownToTag;   // the tag the transaction gave in its response
  std::string message;
  bool flagA, flagB;
  bool matches;
};

TEST(SipTransactionMatching, ReceivedMessagesFindTheirTransactionByTheRuleSets) {
  const std::string invite = Request("INVITE", kUri, kB1, "", 1, "INVITE");
  const std::string oldInvite = Request("INVITE", kUri, "", "", 1, "INVITE");
  const std::string oldBye = Request("BYE", kUri, "", "t9", 2, "BYE");
  const std::string cancel = Request("CANCEL", kUri, kB1, "", 1, "CANCEL");
  const std::string sentOptions = "OPTIONS sip:bob@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.2:5070;branch=z9hG4bK-o\r\n"
                                  "From: <sip:alice@example.com>;tag=a1\r\nTo: <sip:bob@example.com>\r\n"
                                  "Call-ID: out-1\r\nCSeq: 7 OPTIONS\r\nContent-Length: 0\r\n\r\n";
  const Case cases[] = {
      // Rule set 1 (RFC 3261 branches).
      {"a retransmitted INVITE", invite, "", invite, false, false, true},
      {"an INVITE from another sender", invite, "", Request("INVITE", kUri, kB1, "", 1, "INVITE", "192.0.2.8"), false,
       false, false},
      {"an INVITE with another branch", invite, "", Request("INVITE", kUri, "z9hG4bK-other", "", 1, "INVITE"), false,
       false, false},
      {"the ACK of a non-2xx (same branch)", invite, "t1", Request("ACK", kUri, kB1, "t1", 1, "ACK"), false, false, true},
      {"an ACK with another branch, tolerated, same CSeq", invite, "t1",
       Request("ACK", kUri, "z9hG4bK-ack", "t1", 1, "ACK"), true, false, true},
      {"an ACK with another branch, tolerated, other CSeq", invite, "t1",
       Request("ACK", kUri, "z9hG4bK-ack", "t1", 2, "ACK"), true, false, false},
      {"a CANCEL finds the INVITE it cancels", invite, "", cancel, false, true, true},
      {"a CANCEL looking for its own transaction skips the INVITE", invite, "", cancel, false, false, false},
      {"a retransmitted CANCEL finds the earlier CANCEL", cancel, "", cancel, false, false, true},
      {"a response finds its client transaction", sentOptions, "", Response(200, "z9hG4bK-o", 7, "OPTIONS"), false,
       true, true},
      {"a response to another method finds nothing", sentOptions, "", Response(200, "z9hG4bK-o", 7, "CANCEL"), false,
       true, false},
      {"a response with another branch finds nothing", sentOptions, "", Response(200, "z9hG4bK-p", 7, "OPTIONS"),
       false, true, false},
      // Rule set 2 (no branch, or a branch without the prefix).
      {"an INVITE without branch, same dialog fields", oldInvite, "", oldInvite, false, false, true},
      {"an INVITE without branch, other CSeq", oldInvite, "", Request("INVITE", kUri, "", "", 2, "INVITE"), false,
       false, false},
      {"an INVITE without branch, other Request-URI", oldInvite, "",
       Request("INVITE", "sip:alice@example.com:5062", "", "", 1, "INVITE"), false, false, false},
      {"an INVITE without branch, Request-URI host in other case", oldInvite, "",
       Request("INVITE", "sip:alice@EXAMPLE.com", "", "", 1, "INVITE"), false, false, true},
      {"an INVITE without branch, Request-URI user in other case", oldInvite, "",
       Request("INVITE", "sip:Alice@example.com", "", "", 1, "INVITE"), false, false, false},
      {"an INVITE without branch, other sender", oldInvite, "",
       Request("INVITE", kUri, "", "", 1, "INVITE", "192.0.2.9:5060"), false, false, false},
      {"an INVITE with an old-style branch matches the same branch", Request("INVITE", kUri, "1234", "", 1, "INVITE"),
       "", Request("INVITE", kUri, "1234", "", 1, "INVITE"), false, false, true},
      {"an INVITE with an old-style branch, another branch", Request("INVITE", kUri, "1234", "", 1, "INVITE"), "",
       Request("INVITE", kUri, "5678", "", 1, "INVITE"), false, false, false},
      {"the ACK of a non-2xx without branch (no To tag, flag A clear)", oldInvite, "t1",
       Request("ACK", kUri, "", "", 1, "ACK"), false, false, true},
      {"the ACK of a 2xx is not taken for the ACK of a non-2xx", oldInvite, "t1", Request("ACK", kUri, "", "t1", 1, "ACK"),
       false, false, false},
      {"the ACK of a 2xx without branch (To tag, flag A set)", oldInvite, "t1", Request("ACK", kUri, "", "t1", 1, "ACK"),
       true, false, true},
      {"an ACK with a To tag the transaction never gave", oldInvite, "t1", Request("ACK", kUri, "", "t2", 1, "ACK"), true,
       false, false},
      {"a CANCEL without branch finds the INVITE with flag B", oldInvite, "", Request("CANCEL", kUri, "", "", 1, "CANCEL"),
       false, true, true},
      {"a CANCEL without branch skips the INVITE without flag B", oldInvite, "",
       Request("CANCEL", kUri, "", "", 1, "CANCEL"), false, false, false},
      {"a BYE without branch, same fields", oldBye, "", oldBye, false, false, true},
      {"a BYE without branch, other To tag", oldBye, "", Request("BYE", kUri, "", "t8", 2, "BYE"), false, false, false},
      {"a BYE without To tag is tag-compatible", oldBye, "", Request("BYE", kUri, "", "", 2, "BYE"), false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRecord message, candidate, companion;
    Parse(companion.get(), c.companion);
    Parse(message.get(), c.message);
    strcpy(candidate->msg.to.tag, c.ownToTag);
    EXPECT_EQ(SIPMessageMatchesTransaction(message.get(), candidate.get(), companion.get(), c.flagA, c.flagB),
              c.matches);
  }
}

TEST(SipTransactionMatching, RequestURIsCompareTheirPartsAndParameters) {
  struct UriCase {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"sip:alice@example.com", "sip:alice@example.com", true},
      {"sip:alice@example.com:5060", "sip:alice@example.com:05060", true},
      {"sip:alice@example.com", "sip:alice@example.com:5060", false},
      {"sip:alice@example.com", "sips:alice@example.com", false},
      {"sip:alice@example.com;transport=udp", "sip:alice@example.com;transport=UDP", true},
      {"sip:alice@example.com;transport=udp", "sip:alice@example.com;transport=tcp", false},
      {"sip:alice@example.com;lr", "sip:alice@example.com", false},
      {"sip:alice@example.com;ttl=5", "sip:alice@example.com;ttl=6", false},
      {"sip:alice@example.com;maddr=239.1.1.1", "sip:alice@example.com", false},
      {"sip:alice@example.com;user=phone", "sip:alice@example.com;user=ip", false},
  };
  for (const UriCase& c : cases) {
    SIPURI a{}, b{};
    ASSERT_TRUE(SIPParseAddrSpec(&a, c.a, strlen(c.a))) << c.a;
    ASSERT_TRUE(SIPParseAddrSpec(&b, c.b, strlen(c.b))) << c.b;
    EXPECT_EQ(SIPRequestURIsMatch(a, b), c.equal) << c.a << " / " << c.b;
  }
}

}  // namespace
