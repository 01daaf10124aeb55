// The matching rules of received messages against pushed transactions.
#include "sip/transaction_matching.h"

#include <cstring>

#include "sip_text.h"

namespace {

bool Equal(const char* a, const char* b) { return SIPCompareNoCase(a, b) == 0; }
bool Exactly(const char* a, const char* b) { return strcmp(a, b) == 0; }
// Either tag empty, or both the same.
bool TagCompatible(const char* a, const char* b) { return !a[0] || !b[0] || Exactly(a, b); }
// A missing branch is held as "0".
const char* Branch(const SIPRecord* r) { return r->msg.via[0].branch[0] ? r->msg.via[0].branch : "0"; }

bool ViasMatch(const SIPRecord* message, const SIPRecord* companion) {
  const SIPVia& m = message->msg.via[0];
  const SIPVia& c = companion->msg.via[0];
  return Equal(m.protocol, c.protocol) && Equal(m.sentBy, c.sentBy) &&
         (Exactly(Branch(message), "0") || Exactly(Branch(message), Branch(companion)));
}

// Request-URI, tags, Call-ID and CSeq number and top Via; the To tag is
// compared with `toTag` (the companion's, or the transaction's own for an
// ACK).
bool DialogFieldsMatch(const SIPRecord* message, const SIPRecord* companion, const char* toTag) {
  const SIPMessageFields& m = message->msg;
  const SIPMessageFields& c = companion->msg;
  return SIPRequestURIsMatch(m.requestURI, c.requestURI) && TagCompatible(m.to.tag, toTag) &&
         TagCompatible(m.from.tag, c.from.tag) && Exactly(m.callId, c.callId) && m.cseq == c.cseq &&
         ViasMatch(message, companion);
}

// Ports compare as numbers; an empty port is 0, a port that is no number
// matches no other.
long PortNumber(const char* port) {
  long value = 0;
  if (!port[0]) return 0;
  return SIPSpanToInt(SIPSpanOf(port), &value) ? value : -1;
}

bool IsRequest(const SIPRecord* message) { return SIPIsRequestMode(message->messageMode); }

bool RuleSet1(const SIPRecord* message, const SIPRecord* companion, bool flagA, bool flagB) {
  const SIPMessageFields& m = message->msg;
  const SIPMessageFields& c = companion->msg;
  if (!flagA && !Exactly(Branch(message), Branch(companion))) return false;
  if (!IsRequest(message)) return Equal(m.cseqMethod, c.method);
  if (!Exactly(m.via[0].sentBy, c.via[0].sentBy)) return false;
  if (Equal(m.method, "ACK")) {
    if (!Equal(c.method, "INVITE")) return false;
    return !flagA || m.cseq == c.cseq;
  }
  if (Equal(m.method, "CANCEL") && flagB) return !Equal(c.method, "CANCEL") && !Equal(c.method, "ACK");
  return Equal(m.cseqMethod, c.method);
}

bool RuleSet2(const SIPRecord* message, const SIPRecord* candidate, const SIPRecord* companion, bool flagA,
              bool flagB) {
  const SIPMessageFields& m = message->msg;
  const SIPMessageFields& c = companion->msg;
  if (!Exactly(Branch(message), "0") && !Exactly(Branch(message), Branch(companion))) return false;
  if (!IsRequest(message)) return Equal(m.cseqMethod, c.method);
  if (Equal(m.cseqMethod, "ACK")) {
    if (!Equal(c.method, "INVITE")) return false;
    // The To tag is the one this transaction gave in its response.
    if (!DialogFieldsMatch(message, companion, candidate->msg.to.tag)) return false;
    return flagA ? m.to.tag[0] != 0 : m.to.tag[0] == 0;
  }
  if (Equal(m.cseqMethod, "CANCEL")) {
    if (Equal(c.method, "CANCEL") || Equal(c.method, "ACK")) return false;
    if (!DialogFieldsMatch(message, companion, c.to.tag)) return false;
    return flagB == Equal(c.method, "INVITE");
  }
  return DialogFieldsMatch(message, companion, c.to.tag) && Exactly(m.cseqMethod, c.cseqMethod);
}

}  // namespace

bool SIPRequestURIsMatch(const SIPURI& a, const SIPURI& b) {
  return Exactly(a.scheme, b.scheme) && Exactly(a.user, b.user) && Equal(a.host, b.host) &&
         PortNumber(a.port) == PortNumber(b.port) && Equal(a.maddr, b.maddr) && Equal(a.transport, b.transport) &&
         Equal(a.userParam, b.userParam) && Equal(a.method, b.method) && a.ttl == b.ttl &&
         a.looseRoute == b.looseRoute;
}

bool SIPMessageMatchesTransaction(const SIPRecord* message, const SIPRecord* candidate, const SIPRecord* companion,
                                  bool flagA, bool flagB) {
  if (!message || !candidate || !companion) return false;
  const char* branch = Branch(message);
  if (SIPStartsWithNoCase(branch, strlen(branch), kSIPBranchMagic))
    return RuleSet1(message, companion, flagA, flagB);
  return RuleSet2(message, candidate, companion, flagA, flagB);
}
