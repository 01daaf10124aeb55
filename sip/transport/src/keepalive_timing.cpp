// Re-registration and keep-alive schedules. See sip/keepalive_timing.h.
#include "sip/keepalive_timing.h"

uint32_t SIPReRegisterIntervalMs(int32_t grantedExpiry) {
  if (grantedExpiry <= 0) return 0;
  // Seconds beyond this would overflow the tick arithmetic; no server grants
  // seven weeks.
  int64_t expiry = grantedExpiry > 4000000 ? 4000000 : grantedExpiry;
  int64_t margin = expiry / 10 > 1 ? expiry / 10 : 1;
  int64_t interval = (expiry - margin) * 1000;
  return interval < kSIPMinimumReRegisterMs ? kSIPMinimumReRegisterMs : static_cast<uint32_t>(interval);
}

bool SIPReRegisterDue(uint32_t now, uint32_t lastReRegister, int32_t grantedExpiry) {
  uint32_t interval = SIPReRegisterIntervalMs(grantedExpiry);
  return interval && now - lastReRegister > interval;
}

uint32_t SIPKeepAliveIntervalMs(int32_t natKeepAlive) {
  if (natKeepAlive <= 0) return 0;
  return natKeepAlive > 4000000 ? 4000000000u : static_cast<uint32_t>(natKeepAlive) * 1000u;
}

bool SIPKeepAliveDue(uint32_t now, uint32_t lastKeepAlive, int32_t natKeepAlive) {
  uint32_t interval = SIPKeepAliveIntervalMs(natKeepAlive);
  return interval && now - lastKeepAlive > interval;
}

bool SIPKeepAliveAnswerMissing(uint32_t lastKeepAliveTick, uint32_t lastReceiveTick) {
  return lastKeepAliveTick != 0 && lastReceiveTick - lastKeepAliveTick > kSIPKeepAliveAnswerMs;
}

const char* SIPKeepAlivePayload(bool stream, size_t* length) {
  *length = stream ? 4 : 2;
  return stream ? "\r\n\r\n" : "\r\n";
}
