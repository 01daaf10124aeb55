// The events that end a registration, a BYE's call and a transfer's
// subscription. The end event of a single transaction is raised by
// ZEQInvokeSIPDestroyTransactionEvent (sip/agent/user_agent.h).
#pragma once

#include "sip/subscriptions.h"
#include "sip/transaction.h"

// A registration record that closes: while its listener start-up still
// runs, "!ZEQOnSIPError" with the connection's result code (when not 0);
// otherwise "!ZEQOnSIPUnRegister" when it was registered and
// "!ZEQOnSIPRemoteDisconnect" when its registrar had answered (each state
// bit cleared as its event goes). Then the account's key leaves the
// listener list and the registration's end event is raised, forced. true.
bool SIPInvokeCloseEvents(const SIPTransactionHolder& registration);

// A final error response to a BYE this side sent: the BYE is refused, and
// the call it ends (its related transaction), when still open, ends as
// finalized (or as the account's test options say) with its end event.
// 1.
int SIPBYEProccessErrorResponse(const SIPTransactionHolder& bye, const SIPTransactionHolder& same);

// How a failed transfer call's final progress report reaches the referrer:
// a NOTIFY of the REFER's subscription with the body given. Installed by
// the transfer flow; non-zero when sent. Without one the report is logged
// as not sent.
using SIPReferProgressSender = int (*)(const SIPTransactionHolder& invite, const SIPSubscriptionHolder& subscription,
                                       const char* contentType, const char* body);
void SIPSetReferProgressSender(SIPReferProgressSender sender);
