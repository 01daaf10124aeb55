// The decisions of the received-message dispatch that need no platform:
// whether a request is for this account at all, what a request's top Via
// learns from the address it came from, which handler a response goes to,
// and the simulation of lost messages.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/record.h"

// A request is taken only when it is addressed to the account (its
// Request-URI names the account's user at the account's domain, or at the
// contact or listener address) or comes from the account's own server
// (registrar or outbound proxy, by address). Anything else that reached the
// port must not ring the phone.
bool SIPRequestIsForAccount(const SIPRecord* request, SIPRecord* root, const char* sourceHost);

// Top Via of a received request: a sent-by host other than the source host
// gains the source as its received value; a Via without an rport value
// gains the source port. Responses built from the record carry both.
void SIPMarkViaSource(SIPRecord* request, const char* sourceHost, int sourcePort);

// Where a response goes, by the method of its client transaction and the
// status code.
enum class SIPResponseHandler {
  kProceeding,   // 1xx: to PROCEEDING, nothing more
  kInvite1xx,    // 1xx of an INVITE: also to the user agent
  kRegister200,
  kOptions200,
  kInvite200,
  kBye200,
  kSubscribe2xx,
  kRefer2xx,
  kComplete,     // 2xx that only completes the transaction
  kRedirect,     // 301, 302
  kChallenge,    // 401, 407
  kFinalError,
};
SIPResponseHandler SIPChooseResponseHandler(int clientMethod, int status);
// The status the user agent is given for a provisional answer to an INVITE:
// 100, 180 and 183 as they are, every other one as 183.
int SIPInviteProvisionalStatus(int status);
// A 200 to these requests sets the remote target of the dialog it belongs to.
bool SIPResponseSetsDialogTarget(int clientMethod, int status);

// The simulation of lost messages (an account's TestOptions bit 0x2): per
// Call-ID the messages are dropped, kept, dropped, kept, kept, and again.
// Entries live as long as the table.
class SIPLossSimulation {
 public:
  SIPLossSimulation();
  ~SIPLossSimulation();
  SIPLossSimulation(const SIPLossSimulation&) = delete;
  SIPLossSimulation& operator=(const SIPLossSimulation&) = delete;
  // True when this message of the Call-ID is to be dropped.
  bool Drop(const char* callId);

 private:
  struct Entry;
  ZEQLock* lock_;
  Entry* entries_ = nullptr;
};
