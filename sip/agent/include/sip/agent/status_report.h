// The SIP figures of the status report: transactions allocated and
// pushed, live sockets, dialogs allocated and listed, and subscriptions
// listed.
#pragma once

#include "host/debug_output.h"

// Fills the SIP fields of counters; the others are left as they are.
void SIPFillStatusCounters(ZEQDebugCounters* counters);
