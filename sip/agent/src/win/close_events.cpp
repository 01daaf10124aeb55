// The end of a registration and of a call whose BYE failed. See
// sip/agent/end_events.h.
#include <windows.h>

#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "host/js_array.h"
#include "sip/agent/end_events.h"
#include "sip/agent/user_agent.h"
#include "sip/connections.h"
#include "sip/server_startup.h"
#include "sip/transaction_list.h"

namespace {

constexpr int32_t kRemoteConnected = 1;
constexpr int32_t kRegistered = 2;

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
  if (StartupRunning(connection)) {
    if (connection->resultCode) RaiseCloseEvent(registration, "!ZEQOnSIPError", 0, connection->resultCode);
  } else {
    if (connection->stateBits & kRegistered) {
      connection->stateBits &= ~kRegistered;
      RaiseCloseEvent(registration, "!ZEQOnSIPUnRegister", 1, 0);
    }
    if (connection->stateBits & kRemoteConnected) {
      connection->stateBits &= ~kRemoteConnected;
      RaiseCloseEvent(registration, "!ZEQOnSIPRemoteDisconnect", 0, 0);
    }
  }
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
