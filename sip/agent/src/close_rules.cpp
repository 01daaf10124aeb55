// The events of a closing registration. See sip/agent/close_rules.h.
#include "sip/agent/close_rules.h"

namespace sipagent {

int PlanCloseEvents(bool startupRunning, int32_t* stateBits, int32_t resultCode, CloseEvent out[2]) {
  int count = 0;
  if (startupRunning) {
    if (resultCode) out[count++] = {"!ZEQOnSIPError", 0, resultCode};
    return count;
  }
  if (*stateBits & kConnectionRegistered) {
    *stateBits &= ~kConnectionRegistered;
    out[count++] = {"!ZEQOnSIPUnRegister", 1, 0};
  }
  if (*stateBits & kConnectionRemoteConnected) {
    *stateBits &= ~kConnectionRemoteConnected;
    out[count++] = {"!ZEQOnSIPRemoteDisconnect", 0, 0};
  }
  return count;
}

}  // namespace sipagent
