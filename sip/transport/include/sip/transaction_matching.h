// Which transaction a received message belongs to: the two rule sets for
// requests and responses (messages with an RFC 3261 branch, and all
// others), compared against the transaction's companion record, which
// carries its own request as received or sent.
// Pure logic: standard headers only.
#pragma once

#include "sip/record.h"

// The branch prefix that marks RFC 3261 transaction identifiers.
constexpr char kSIPBranchMagic[] = "z9hG4bK";

// Whether the received message (a request or a response, told by its
// message mode) matches the candidate transaction, whose own request is
// `companion`. Flag A: for requests, tolerate a differing RFC 3261 branch
// and look for an ACK of a 2xx (one with a To tag); flag B: a CANCEL looks
// for the transaction it cancels.
bool SIPMessageMatchesTransaction(const SIPRecord* message, const SIPRecord* candidate, const SIPRecord* companion,
                                  bool flagA, bool flagB);

// The Request-URI comparison of the matching rules.
bool SIPRequestURIsMatch(const SIPURI& a, const SIPURI& b);
