// The SIP figures of the status report. See sip/agent/status_report.h.
#include "sip/agent/status_report.h"

#include "sip/connections.h"
#include "sip/dialogs.h"
#include "sip/subscriptions.h"
#include "sip/transaction_list.h"

void SIPFillStatusCounters(ZEQDebugCounters* counters) {
  if (!counters) return;
  counters->sipTransactionsAllocated = static_cast<int>(SIPAllocatedTransactionCount());
  counters->sipTransactionsPushed = static_cast<int>(SIPPushedTransactionCount());
  counters->sipSockets = static_cast<int>(SIPLiveSocketCount());
  counters->sipDialogsAllocated = static_cast<int>(SIPDialogsAllocated());
  counters->sipDialogsPushed = static_cast<int>(SIPDialogListCount());
  counters->sipSubscriptions = static_cast<int>(SIPSubscriptionListCount());
}
