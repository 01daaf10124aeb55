// The end of a registration and of a call whose BYE failed. See
// sip/agent/end_events.h.
#include <windows.h>

#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "host/js_array.h"
#include "sip/agent/close_rules.h"
#include "sip/agent/end_events.h"
#include "sip/agent/user_agent.h"
#include "sip/connections.h"
#include "sip/server_startup.h"
#include "sip/transaction_list.h"

namespace {

bool StartupRunning(const SIPConnectionSettings* connection) {
  HANDLE thread = reinterpret_cast<HANDLE>(connection->startupThread);
  return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

void RaiseCloseEvent(const SIPTransactionHolder& registration, const char* name, int number, int code) {
  JSArray arguments;
  arguments.Init();
  if (code) arguments.AppendInt(code);
  SIPInvokeEvent(registration, name, "", number, code ? &arguments : nullptr, kZEQApcResultCoded);
  arguments.Destroy();
}

}  // namespace

bool SIPInvokeCloseEvents(const SIPTransactionHolder& registration) {
  if (!registration.Get()) return true;
  SIPConnectionSettings* connection = SIPGetRootConnection(&registration->record);
  sipagent::CloseEvent events[2];
  int count = sipagent::PlanCloseEvents(StartupRunning(connection), &connection->stateBits, connection->resultCode,
                                        events);
  for (int i = 0; i < count; ++i) RaiseCloseEvent(registration, events[i].name, events[i].number, events[i].code);
  SIPListenerListRelease(SIPStartupAccountKey(registration).c_str());
  ZEQInvokeSIPDestroyTransactionEvent(registration, nullptr, true, kZEQApcResultCoded);
  return true;
}

int SIPBYEProccessErrorResponse(const SIPTransactionHolder& bye, const SIPTransactionHolder&) {
  if (!SIPTransactionHolderIsValid(bye)) return 1;
  SIPSetEndReason(bye, kSIPEndRefused, false);
  SIPTransactionHolder call = bye->related;
  if (!SIPTransactionHolderIsValid(call)) return 1;
  // Finalized, unless the account's test options choose another end.
  SIPSetEndReason(call, kSIPEndFinalized, false);
  ZEQInvokeSIPDestroyTransactionEvent(call, nullptr, false, kZEQApcResultCoded);
  return 1;
}
